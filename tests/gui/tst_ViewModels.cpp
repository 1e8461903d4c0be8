#include "analytics/UsageStatisticsChoice.h"
#include "support/DebugLogRecorder.h"
#include "support/GuiRig.h"
#include "support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class tst_ViewModels : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path() const
    {
        return m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + QStringLiteral(".conf"));
    }

private Q_SLOTS:
    void permissionPollReportsEachGrantOnce()
    {
        GuiRig rig(path());
        rig.recordingSink->unavailable = QStringLiteral("no uinput");
        MappingViewModel& mapping = *rig.app->mapping();
        mapping.refreshPermission();
        QVERIFY(!mapping.hasPermission());
        QSignalSpy changes(&mapping, &MappingViewModel::hasPermissionChanged);

        mapping.pollPermission(); // still refused: nothing
        rig.recordingSink->unavailable.reset();
        mapping.pollPermission();
        mapping.pollPermission();
        QVERIFY(mapping.hasPermission());
        rig.recordingSink->unavailable = QStringLiteral("revoked");
        mapping.pollPermission();
        rig.recordingSink->unavailable.reset();
        mapping.pollPermission();
        QCOMPARE(changes.size(), 3);
        QTRY_COMPARE(rig.events, QStringList(2, QStringLiteral("accessibilityPermissionGranted")));

        // A page opened while keys can already be posted reports nothing.
        rig.events.clear();
        mapping.refreshPermission();
        mapping.pollPermission();
        QCoreApplication::processEvents();
        QVERIFY(rig.events.isEmpty());
    }

    void buttonRowsReadAndWriteTheConfiguration()
    {
        GuiRig rig(path());
        MappingViewModel& mapping = *rig.app->mapping();
        QCOMPARE(mapping.actionNames(), (QStringList{QStringLiteral("Shift Up"), QStringLiteral("Shift Down"),
                                                     QStringLiteral("None")}));
        QCOMPARE(mapping.actionIndex(2), 0); // default: button 2 shifts up
        QCOMPARE(mapping.actionIndex(4), 2);
        QVERIFY(!mapping.hasRepeat(4));

        mapping.setRepeatCount(2, 3);
        mapping.setAction(2, 2);
        QVERIFY(!mapping.hasRepeat(2)); // "None" hides the stepper
        mapping.setAction(2, 0);
        QVERIFY(mapping.hasRepeat(2));
        QCOMPARE(mapping.repeatCount(2), 3); // and it comes back with the stored count
        mapping.setRepeatCount(2, 99);
        QCOMPARE(mapping.repeatCount(2), 10);

        QSignalSpy changes(&mapping, &MappingViewModel::buttonConfigsChanged);
        mapping.disableAll();
        QVERIFY(!changes.isEmpty());
        for (auto button = Di2Buttons::first; button <= Di2Buttons::last; ++button)
            QCOMPARE(mapping.actionIndex(int(button)), 2);
    }

    void initialGearIsStoredOnlyWhenChosen()
    {
        GuiRig rig(path());
        rig.defaults.setInteger(QStringLiteral("initialVirtualGear"), -4);
        SettingsViewModel& settings = *rig.app->settings();
        settings.reload();
        QCOMPARE(settings.selectedGear(), 13);
        QCOMPARE(rig.defaults.integerValue(QStringLiteral("initialVirtualGear")), -4); // nothing written

        QSignalSpy changes(&settings, &SettingsViewModel::selectedGearChanged);
        settings.setSelectedGear(13); // equal: nothing
        settings.setSelectedGear(28); // outside the picker: refused
        QCOMPARE(changes.size(), 0);
        settings.setSelectedGear(27);
        QCOMPARE(rig.defaults.integerValue(QStringLiteral("initialVirtualGear")), 27);
        QCOMPARE(rig.graph->viewModel().logs().last().message,
                 QStringLiteral("Set initial virtual gear to 27"));

        Defaults reopened(path());
        QCOMPARE(UserDefaultsManager(reopened).initialVirtualGear(), 27);
    }

    void settingsShowTheGearALaunchStartsIn_data()
    {
        QTest::addColumn<qint64>("stored");
        QTest::addColumn<int>("gear");
        QTest::newRow("in the range") << qint64(9) << 9;
        QTest::newRow("28, above the range") << qint64(28) << 13;
        QTest::newRow("30, above the range") << qint64(30) << 13;
        QTest::newRow("0, below the range") << qint64(0) << 13;
    }

    void settingsShowTheGearALaunchStartsIn()
    {
        QFETCH(qint64, stored);
        QFETCH(int, gear);
        Defaults(path()).setInteger(QStringLiteral("initialVirtualGear"), stored);
        GuiRig rig(path());
        QCOMPARE(rig.app->settings()->selectedGear(), gear);
        QCOMPARE(rig.graph->gearService().currentVirtualGear(), gear);
    }

    void usageStatisticsChoiceIsKeptAndApplied()
    {
        GuiRig rig(path());
        SettingsViewModel& settings = *rig.app->settings();
        QVERIFY(settings.shareUsageStatistics()); // on by default
        settings.setShareUsageStatistics(false);
        settings.setShareUsageStatistics(false);
        QCOMPARE(rig.analyticsDisabled, QList<bool>{true});
        Defaults reopened(path());
        QVERIFY(!UsageStatisticsChoice::isShared(reopened));
    }

    void keyTimingIsStoredClampedAndApplied()
    {
        {
            GuiRig rig(path());
            SettingsViewModel& settings = *rig.app->settings();
            QCOMPARE(settings.keyHold(), 0); // today's keys: down, then up at once
            QCOMPARE(settings.keyPause(), 50);
            QSignalSpy changes(&settings, &SettingsViewModel::keyTimingChanged);
            settings.setKeyHold(30);
            settings.setKeyHold(30);
            settings.setKeyPause(999); // beyond the range: its end
            QCOMPARE(changes.size(), 2);
            QCOMPARE(settings.keyPause(), 500);
        }
        {
            GuiRig rig(path());
            // Applied at launch (the rig itself shortens the pause for speed).
            QCOMPARE(rig.graph->keyboardService().keySequencer().holdTime(), std::chrono::milliseconds{30});
            QCOMPARE(rig.app->settings()->keyPause(), 500);
        }
        // Hand-edited values outside the ranges are read as their ends.
        {
            Defaults edited(path());
            edited.setInteger(QStringLiteral("keyHoldMilliseconds"), -5);
            edited.setInteger(QStringLiteral("keyPauseMilliseconds"), 3);
        }
        GuiRig rig(path());
        QCOMPARE(rig.app->settings()->keyHold(), 0);
        QCOMPARE(rig.app->settings()->keyPause(), 20);
    }

    void savingReplacesTheDestinationAndReportsFailures()
    {
        GuiRig rig(path());
        DebugLogRecorder recorder;
        DebugLogActions& actions = *rig.app->debugLog();
        const QUrl exported = actions.prepareSave();
        QVERIFY(exported.isLocalFile());
        QVERIFY(exported.fileName().startsWith(QStringLiteral("Cogwise_DebugLogs_")));

        const QString destination = m_dir.filePath(QStringLiteral("saved.txt"));
        QFile old(destination);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old content");
        old.close();
        QVERIFY(actions.completeSave(QUrl::fromLocalFile(destination)));
        QFile saved(destination);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readAll().contains("Cogwise Debug Logs"));

        QSignalSpy failures(&actions, &DebugLogActions::failed);
        QVERIFY(
            !actions.completeSave(QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("missing/dir/x.txt")))));
        QCOMPARE(failures.size(), 1);
        recorder.settle();
        const QStringList lines = recorder.lines();
        QVERIFY(lines.contains(QStringLiteral("DebugLogService: Logs saved to: ") + destination));
        QVERIFY(std::any_of(lines.begin(), lines.end(), [](const QString& line) {
            return line.startsWith(QStringLiteral("DebugLogService: Failed to save logs: "));
        }));
    }

    void sharingFallsBackToTheFolder()
    {
        GuiRig rig(path());
        DebugLogActions& actions = *rig.app->debugLog();
        QStringList launched;
        QList<QUrl> opened;
        actions.setLauncher([&](const QString& program, const QStringList& arguments) {
            launched << program << arguments;
            return true;
        });
        actions.setOpener([&](const QUrl& url) {
            opened << url;
            return true;
        });

        // A mail client on the path gets the file attached.
        QTemporaryDir bin;
        QFile mailer(bin.filePath(QStringLiteral("xdg-email")));
        QVERIFY(mailer.open(QIODevice::WriteOnly));
        mailer.close();
        mailer.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        actions.setSearchPaths({bin.path()});
        actions.shareLogs();
        QVERIFY(launched.contains(QStringLiteral("--attach")));
        QVERIFY(QFile::exists(launched.last()));

        // Without one, the folder holding the file opens.
        actions.setSearchPaths({m_dir.path()});
        actions.shareLogs();
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.first().toLocalFile(), QFileInfo(launched.last()).absolutePath());
    }

    void theDeviceSectionSaysWhenTheUnitIsAway()
    {
        GuiRig rig(path());
        rig.graph->viewModel().handleConnectionAction({ConnectionAction::Kind::scanAgain, {}});
        connectFromList(rig);
        ScanViewModel& scan = *rig.app->scan();
        DeviceViewModel& device = *rig.app->device();
        QTRY_COMPARE(device.linkStatus(), QString());

        rig.simulated->setAsleep(true);
        QTRY_COMPARE(device.linkStatus(),
                     QStringLiteral("Waiting for EW-WU111 — press a shifter button to wake it"));
        QCOMPARE(scan.panel(), ScanViewModel::Panel::waiting);
        QCOMPARE(scan.connectingName(), QStringLiteral("EW-WU111"));
        rig.simulated->setPowered(false);
        QTRY_COMPARE(device.linkStatus(), QStringLiteral("Bluetooth is off"));
        rig.simulated->setAsleep(false);
        rig.simulated->setPowered(true);
        QTRY_COMPARE_WITH_TIMEOUT(device.linkStatus(), QString(), 10000);
    }

    void scanListIsSortedAndQuietOnEqualStates()
    {
        DeviceListModel model;
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        const DiscoveredDevice weak{QUuid::createUuid(), QStringLiteral("Weak"), -80, {}};
        const DiscoveredDevice strong{QUuid::createUuid(), QStringLiteral("EW-WU111 <b>x</b>"), -40, {}};
        model.setDevices({weak, strong});
        QCOMPARE(model.data(model.index(0), DeviceListModel::nameRole).toString(), strong.name);
        QCOMPARE(model.data(model.index(0), DeviceListModel::litBarsRole).toInt(), 4);
        QCOMPARE(model.data(model.index(0), DeviceListModel::shortIdRole).toString().size(), 18);
        model.setDevices({strong, weak});
        QCOMPARE(resets.size(), 1);
    }
};

COGWISE_TEST(tst_ViewModels)
#include "tst_ViewModels.moc"
