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
                                                     QStringLiteral("Key"), QStringLiteral("None")}));
        QCOMPARE(mapping.actionIndex(2), 0); // default: button 2 shifts up
        QCOMPARE(mapping.actionIndex(4), 3);
        QVERIFY(!mapping.hasRepeat(4));

        mapping.setRepeatCount(2, 3);
        mapping.setAction(2, 3);
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
            QCOMPARE(mapping.actionIndex(int(button)), 3);
    }

    // What the rider picks in the Mapping section is what the keys are, now and after a restart.
    void trainerAppsAndPickedKeysReachTheKeys()
    {
        const auto press = [](GuiRig& rig, int button) {
            rig.keys.clear();
            rig.graph->keyboardService().handleButtonPress(button);
            KeySequencer& keys = rig.graph->keyboardService().keySequencer();
            return QTest::qWaitFor([&keys] { return keys.isIdle(); }) ? rig.keys.join(QLatin1Char(';'))
                                                                      : QStringLiteral("still typing");
        };
        {
            GuiRig rig(path());
            MappingViewModel& mapping = *rig.app->mapping();
            mapping.setKeyboardEnabled(true);
            QCOMPARE(
                mapping.trainerAppNames(),
                (QStringList{QStringLiteral("Rouvy"), QStringLiteral("MyWhoosh"), QStringLiteral("Custom")}));
            QCOMPARE(mapping.subtitle(), QStringLiteral("Configure what each Di2 button does in Rouvy"));
            QCOMPARE(press(rig, 2), QStringLiteral("47 down;47 up"));

            QSignalSpy changes(&mapping, &MappingViewModel::trainerAppChanged);
            mapping.setTrainerAppIndex(1);
            mapping.setTrainerAppIndex(1); // the same: nothing
            QCOMPARE(changes.size(), 1);
            QCOMPARE(mapping.shiftUpKeyLabel(), QStringLiteral("I"));
            QCOMPARE(press(rig, 2), QStringLiteral("34 down;34 up"));
            QCOMPARE(press(rig, 1), QStringLiteral("40 down;40 up"));

            // Custom starts from Rouvy's keys; a picked key replaces one of them.
            mapping.setTrainerAppIndex(2);
            QVERIFY(mapping.isCustomTrainerApp());
            QCOMPARE(mapping.shiftUpKeyLabel(), QStringLiteral("."));
            QCOMPARE(mapping.pickShiftKey(true, Qt::Key_F5), QString());
            QVERIFY(!mapping.pickShiftKey(false, Qt::Key_Less).isEmpty()); // not a key Cogwise sends
            QCOMPARE(mapping.shiftDownKeyLabel(), QStringLiteral(","));
            QCOMPARE(press(rig, 2), QStringLiteral("96 down;96 up"));

            // Button 3 to "Key": nothing until a key is picked, then that key, repeated.
            mapping.setAction(3, 2);
            QVERIFY(mapping.hasKey(3));
            QCOMPARE(mapping.keyLabel(3), QString());
            QCOMPARE(press(rig, 3), QString());
            QCOMPARE(mapping.pickButtonKey(3, Qt::Key_Space), QString());
            mapping.setRepeatCount(3, 2);
            QCOMPARE(press(rig, 3), QStringLiteral("49 down;49 up;49 down;49 up"));
            QTRY_COMPARE(rig.graph->viewModel().logs().last().message,
                         QStringLiteral("Keyboard: Key Space x2"));
        }
        GuiRig reopened(path());
        MappingViewModel& mapping = *reopened.app->mapping();
        QCOMPARE(mapping.trainerAppIndex(), 2);
        QCOMPARE(mapping.shiftUpKeyLabel(), QStringLiteral("F5"));
        QCOMPARE(mapping.keyLabel(3), QStringLiteral("Space"));
        QCOMPARE(press(reopened, 2), QStringLiteral("96 down;96 up"));
        QCOMPARE(press(reopened, 3), QStringLiteral("49 down;49 up;49 down;49 up"));
        // Leaving Custom keeps its keys for coming back.
        mapping.setTrainerAppIndex(0);
        QCOMPARE(press(reopened, 2), QStringLiteral("47 down;47 up"));
        mapping.setTrainerAppIndex(2);
        QCOMPARE(mapping.shiftUpKeyLabel(), QStringLiteral("F5"));
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
