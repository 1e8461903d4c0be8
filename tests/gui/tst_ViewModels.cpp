#include "analytics/UsageStatisticsChoice.h"
#include "support/DebugLogRecorder.h"
#include "support/DestinationRig.h"
#include "support/EnvironmentChange.h"
#include "support/GuiRig.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_ViewModels : public QObject
{
    Q_OBJECT

    ScratchDir m_files;

private Q_SLOTS:
    void permissionPollReportsEachGrantOnce()
    {
        GuiRig rig(m_files.testFile());
        rig.recordingSink->unavailable = u"no uinput"_s;
        MappingViewModel& mapping = *rig.app->mapping();
        mapping.refreshPermission();
        QVERIFY(!mapping.hasPermission());
        QSignalSpy changes(&mapping, &MappingViewModel::hasPermissionChanged);

        mapping.pollPermission(); // still refused: nothing
        rig.recordingSink->unavailable.reset();
        mapping.pollPermission();
        mapping.pollPermission();
        QVERIFY(mapping.hasPermission());
        rig.recordingSink->unavailable = u"revoked"_s;
        mapping.pollPermission();
        rig.recordingSink->unavailable.reset();
        mapping.pollPermission();
        QCOMPARE(changes.size(), 3);
        QTRY_COMPARE(rig.events, QStringList(2, u"accessibilityPermissionGranted"_s));

        // A page opened while keys can already be posted reports nothing.
        rig.events.clear();
        mapping.refreshPermission();
        mapping.pollPermission();
        QCoreApplication::processEvents();
        QVERIFY(rig.events.isEmpty());
    }

    void buttonRowsReadAndWriteTheConfiguration()
    {
        GuiRig rig(m_files.testFile());
        MappingViewModel& mapping = *rig.app->mapping();
        QCOMPARE(mapping.actionNames(), (QStringList{u"Shift Up"_s, u"Shift Down"_s, u"Key"_s, u"None"_s}));
        QCOMPARE(mapping.actionIndex(2), 0); // default: button 2 shifts up
        QCOMPARE(mapping.actionIndex(4), 3);
        QVERIFY(!mapping.hasRepeat(4));

        mapping.setRepeatCount(2, 3);
        mapping.setAction(2, 3);
        QVERIFY(!mapping.hasRepeat(2)); // "None" hides the stepper
        mapping.setAction(2, 0);
        QVERIFY(mapping.hasRepeat(2));
        QCOMPARE(mapping.repeatCount(2), 3); // and it comes back with the stored count
        // The recording sink cannot send keys to a paired device: no choice of where they go.
        QVERIFY(!rig.app->settings()->keyDestination()->available());
    }

    // What the rider picks in the Mapping section is what the keys are.
    void trainerAppsAndPickedKeysReachTheKeys()
    {
        GuiRig rig(m_files.testFile());
        MappingViewModel& mapping = *rig.app->mapping();
        mapping.setKeyboardEnabled(true);
        QCOMPARE(mapping.trainerAppNames(),
                 (QStringList{u"Rouvy"_s, u"MyWhoosh"_s, u"TrainingPeaks Virtual"_s,
                              u"MaximumTrainer Redux"_s, u"GoldenCheetah"_s, u"Custom"_s}));
        QCOMPARE(mapping.subtitle(), u"Configure what each Di2 button does in Rouvy"_s);
        QCOMPARE(rig.press(2), u"47 down;47 up"_s);

        QSignalSpy changes(&mapping, &MappingViewModel::trainerAppChanged);
        mapping.setTrainerAppIndex(1);
        mapping.setTrainerAppIndex(1); // the same: nothing
        QCOMPARE(changes.size(), 1);
        QCOMPARE(mapping.shiftUpKeyLabel(), u"I"_s);
        QCOMPARE(rig.press(2), u"34 down;34 up"_s);
        QCOMPARE(rig.press(1), u"40 down;40 up"_s);

        // GoldenCheetah's keys move the load, and the picker says so.
        mapping.setTrainerAppIndex(4);
        QCOMPARE(mapping.trainerAppNote(), u"changes ERG watts or slope, not gears"_s);
        QCOMPARE(rig.press(2), u"69 down;69 up"_s); // keypad +
        mapping.setTrainerAppIndex(1);
        QCOMPARE(mapping.trainerAppNote(), QString());

        // Custom starts from Rouvy's keys; a picked key replaces one of them.
        mapping.setTrainerAppIndex(5);
        QVERIFY(mapping.isCustomTrainerApp());
        QCOMPARE(mapping.shiftUpKeyLabel(), u"."_s);
        QCOMPARE(mapping.pickShiftKey(true, Qt::Key_F5), QString());
        QVERIFY(!mapping.pickShiftKey(false, Qt::Key_Less).isEmpty()); // not a key Cogwise sends
        QCOMPARE(mapping.shiftDownKeyLabel(), u","_s);
        QCOMPARE(rig.press(2), u"96 down;96 up"_s);
        // The keypad's "-" is its own key; other modifiers are not part of one.
        const int keypadMinus = QKeyCombination(Qt::KeypadModifier, Qt::Key_Minus).toCombined();
        QCOMPARE(mapping.pickShiftKey(false, keypadMinus | Qt::ShiftModifier), QString());
        QCOMPARE(mapping.shiftDownKeyLabel(), u"Keypad -"_s);
        QCOMPARE(rig.press(1), u"78 down;78 up"_s);

        // Button 3 to "Key": nothing until a key is picked, then that key, repeated.
        mapping.setAction(3, 2);
        QVERIFY(mapping.hasKey(3));
        QCOMPARE(mapping.keyLabel(3), QString());
        QCOMPARE(rig.press(3), QString());
        QCOMPARE(mapping.pickButtonKey(3, Qt::Key_Space), QString());
        mapping.setRepeatCount(3, 2);
        QCOMPARE(rig.press(3), u"49 down;49 up;49 down;49 up"_s);
        QTRY_COMPARE(rig.graph->viewModel().logs().last().message, u"Keyboard: Key Space x2"_s);

        // Leaving Custom keeps its keys for coming back.
        mapping.setTrainerAppIndex(0);
        QCOMPARE(rig.press(2), u"47 down;47 up"_s);
        mapping.setTrainerAppIndex(5);
        QCOMPARE(mapping.shiftUpKeyLabel(), u"F5"_s);
    }

    void initialGearIsStoredOnlyWhenChosen()
    {
        GuiRig rig(m_files.testFile());
        rig.defaults.setInteger(u"initialVirtualGear"_s, -4);
        SettingsViewModel& settings = *rig.app->settings();
        settings.reload();
        QCOMPARE(settings.selectedGear(), 13);
        QCOMPARE(rig.defaults.integerValue(u"initialVirtualGear"_s), -4); // nothing written

        QSignalSpy changes(&settings, &SettingsViewModel::selectedGearChanged);
        settings.setSelectedGear(13); // equal: nothing
        settings.setSelectedGear(28); // outside the picker: refused
        QCOMPARE(changes.size(), 0);
        settings.setSelectedGear(27);
        QCOMPARE(rig.defaults.integerValue(u"initialVirtualGear"_s), 27);
    }

    void usageStatisticsChoiceIsKeptAndApplied()
    {
        Defaults(m_files.testFile()).setBool(u"hasCompletedOnboarding"_s, true);
        GuiRig rig(m_files.testFile());
        SettingsViewModel& settings = *rig.app->settings();
        QVERIFY(settings.shareUsageStatistics()); // on past a welcome screen that did not ask
        settings.setShareUsageStatistics(false);
        settings.setShareUsageStatistics(false);
        QCOMPARE(rig.analyticsDisabled, QList<bool>{true});
        Defaults reopened(m_files.testFile());
        QVERIFY(!UsageStatisticsChoice::isShared(reopened));
    }

    void keyTimingIsStoredClampedAndApplied()
    {
        {
            GuiRig rig(m_files.testFile());
            SettingsViewModel& settings = *rig.app->settings();
            QCOMPARE(settings.keyHold(), 0); // today's keys: down, then up at once
            QCOMPARE(settings.keyPause(), 50);
            QSignalSpy changes(&settings, &SettingsViewModel::keyTimingChanged);
            settings.setKeyHold(30);
            settings.setKeyHold(30);
            settings.setKeyPause(999); // beyond the range: its end
            QCOMPARE(changes.size(), 2);
            QCOMPARE(settings.keyPause(), 500);
            QCOMPARE(rig.graph->keyboardService().keySequencer().holdTime(), std::chrono::milliseconds{30});
        }
        QCOMPARE(Defaults(m_files.testFile()).integerValue(u"keyPauseMilliseconds"_s), 500);
        // Hand-edited values outside the ranges are read as their ends.
        {
            Defaults edited(m_files.testFile());
            edited.setInteger(u"keyHoldMilliseconds"_s, -5);
            edited.setInteger(u"keyPauseMilliseconds"_s, 3);
        }
        GuiRig rig(m_files.testFile());
        QCOMPARE(rig.app->settings()->keyHold(), 0);
        QCOMPARE(rig.app->settings()->keyPause(), 20);
    }

    void savingReplacesTheDestinationAndReportsFailures()
    {
        GuiRig rig(m_files.testFile());
        DebugLogRecorder recorder;
        DebugLogActions& actions = *rig.app->debugLog();
        const QUrl exported = actions.prepareSave();
        QVERIFY(exported.isLocalFile());

        const QString destination = m_files.filePath(u"saved.txt"_s);
        QVERIFY(ScratchDir::write(destination, "old content"));
        QSignalSpy savedTo(&actions, &DebugLogActions::saved);
        QVERIFY(actions.completeSave(QUrl::fromLocalFile(destination)));
        QCOMPARE(savedTo.size(), 1);
        QCOMPARE(savedTo.constFirst().constFirst().toString(), destination);
        QVERIFY(ScratchDir::read(destination).contains("Cogwise Debug Logs"));
        // The dialog closes: the private copy in the temporary folder goes, the saved file stays.
        actions.discardSave();
        QVERIFY(!QFileInfo::exists(exported.toLocalFile()));
        QVERIFY(QFileInfo::exists(destination));
        // Cancelled after another export: it goes too.
        const QUrl cancelled = actions.prepareSave();
        QVERIFY(QFileInfo::exists(cancelled.toLocalFile()));
        actions.discardSave();
        QVERIFY(!QFileInfo::exists(cancelled.toLocalFile()));
        QVERIFY(actions.prepareSave().isLocalFile());

        QSignalSpy failures(&actions, &DebugLogActions::failed);
        QVERIFY(!actions.completeSave(QUrl::fromLocalFile(m_files.filePath(u"missing/dir/x.txt"_s))));
        QCOMPARE(failures.size(), 1);
        recorder.settle();
        const QStringList lines = recorder.lines();
        QVERIFY(lines.contains(u"DebugLogService: Logs saved to: "_s + destination));
        QVERIFY(std::any_of(lines.begin(), lines.end(), [](const QString& line) {
            return line.startsWith(u"DebugLogService: Failed to save logs: "_s);
        }));
    }

    // What each desktop helper answers, and what the rider then reads in the window.
    void sharingTellsWhatHappened_data()
    {
        QTest::addColumn<QString>("mailError");
        QTest::addColumn<QString>("openError");
        QTest::addColumn<QString>("told");
        QTest::newRow("a mail client takes it") << QString() << QString() << QString();
        QTest::newRow("no mail client: the folder opens")
            << u"xdg-email: no method available"_s << QString()
            << u"No mail client could take the debug logs (xdg-email: no method available). They are "
               "shown in your file manager instead: attach NAME to an email to share them."_s;
        QTest::newRow("neither")
            << u"xdg-email is not installed"_s << u"xdg-open is not installed"_s
            << u"Failed to share logs: no mail client or file manager to open FILE. Set up a mail "
               "client, or attach the file to an email by hand."_s;
    }
    void sharingTellsWhatHappened()
    {
        QFETCH(QString, mailError);
        QFETCH(QString, openError);
        QFETCH(QString, told);
        GuiRig rig(m_files.testFile());
        DebugLogActions& actions = *rig.app->debugLog();
        QStringList ran;
        actions.setRunner(
            [&](const QString& program, const QStringList& arguments, ExternalProgram::Done done) {
                ran << program + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
                const QString& error = program == QLatin1String("xdg-email") ? mailError : openError;
                done(error.isEmpty() ? std::nullopt : std::optional<QString>(error));
            });
        QSignalSpy failures(&actions, &DebugLogActions::failed);
        actions.shareLogs();

        QVERIFY(ran.first().startsWith(u"xdg-email --subject Cogwise Debug Logs --attach "_s));
        const QString file = ran.first().section(u" --attach "_s, 1);
        QVERIFY(QFile::exists(file));
        QCOMPARE(ran.size(), mailError.isEmpty() ? 1 : 2);
        if (!mailError.isEmpty())
            QCOMPARE(ran.last(), u"xdg-open "_s + QFileInfo(file).absolutePath());
        QCOMPARE(failures.size(), told.isEmpty() ? 0 : 1);
        if (!told.isEmpty())
            QCOMPARE(failures.first().first().toString(),
                     QString(told).replace(u"NAME"_s, QFileInfo(file).fileName()).replace(u"FILE"_s, file));
    }

    // A fresh account: no documents folder yet, or one named elsewhere by user-dirs.dirs.
    void saveProposesTheDocumentsFolder_data()
    {
        QTest::addColumn<QString>("userDirs"); // the line of user-dirs.dirs, if any
        QTest::addColumn<QString>("expected"); // under the home folder
        QTest::newRow("documents elsewhere, missing")
            << u"XDG_DOCUMENTS_DIR=\"$HOME/Papers\""_s << u"/Papers"_s;
        QTest::newRow("documents is home") << u"XDG_DOCUMENTS_DIR=\"$HOME/\""_s << QString();
        QTest::newRow("documents cannot be made")
            << u"XDG_DOCUMENTS_DIR=\"$HOME/plain-file/Documents\""_s << QString();
    }
    void saveProposesTheDocumentsFolder()
    {
        QFETCH(QString, userDirs);
        QFETCH(QString, expected);
        GuiRig rig(m_files.testFile());
        QTemporaryDir home;
        const EnvironmentChange environment{{"HOME", home.path().toLocal8Bit()},
                                            {"XDG_CONFIG_HOME", home.filePath(u".config"_s).toLocal8Bit()}};
        QVERIFY(QDir(home.path()).mkpath(u".config"_s));
        QVERIFY(ScratchDir::write(home.filePath(u"plain-file"_s)));
        if (!userDirs.isEmpty())
            QVERIFY(ScratchDir::write(home.filePath(u".config/user-dirs.dirs"_s), userDirs.toUtf8() + '\n'));
        DebugLogActions& actions = *rig.app->debugLog();
        const QString folder = actions.saveFolder().toLocalFile();
        QCOMPARE(QDir(folder), QDir(home.path() + expected));
        QVERIFY(QFileInfo(folder).isDir());
    }

    void saveDestinationFollowsTheName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("file"); // empty: no destination
        QTest::newRow("own suffix") << u"ride.log"_s << u"ride.log"_s;
        QTest::newRow("spaces around") << u"  ride 2 "_s << u"ride 2.txt"_s;
        QTest::newRow("empty") << u"  "_s << QString();
        QTest::newRow("a path") << u"../ride"_s << QString();
        QTest::newRow("parent") << u".."_s << QString();
    }
    void saveDestinationFollowsTheName()
    {
        QFETCH(QString, name);
        QFETCH(QString, file);
        GuiRig rig(m_files.testFile());
        const QUrl destination =
            rig.app->debugLog()->saveDestination(QUrl::fromLocalFile(m_files.path()), name);
        QCOMPARE(destination.toLocalFile(), file.isEmpty() ? QString() : m_files.filePath(file));
    }

    // With a sink that needs the desktop's consent, the card and the event log follow the question
    // and its answer, and a no can be asked again from the card.
    void permissionCardFollowsTheDesktopsConsent()
    {
        GuiRig rig(m_files.testFile());
        RecordingKeySink& sink = *rig.recordingSink;
        sink.sinkName = u"portal"_s;
        sink.consentState = KeySink::Consent::notAsked;
        MappingViewModel& mapping = *rig.app->mapping();
        mapping.refreshPermission();
        QCOMPARE(mapping.permissionTitle(), u"Shift keys are off"_s);
        QVERIFY(mapping.permissionText().contains(u"asks the desktop to let it type keys"_s));
        QVERIFY(!mapping.keysReachApp());

        mapping.setKeyboardEnabled(true);
        QCOMPARE(sink.asked, 1);
        QCOMPARE(mapping.permissionTitle(), u"Cogwise asks to type keys"_s);
        QVERIFY(!mapping.hasPermission());
        sink.answer(KeySink::Consent::refused, u"You did not allow Cogwise to type keys."_s);
        QCOMPARE(mapping.permissionTitle(), u"Cogwise cannot type keys"_s);
        QVERIFY(mapping.canAskAgain());
        QVERIFY(!rig.app->device()->canPostKeys());
        QCOMPARE(rig.graph->viewModel().logs().constLast().message,
                 u"You did not allow Cogwise to type keys."_s);

        mapping.askAgain();
        QCOMPARE(sink.asked, 2);
        sink.answer(KeySink::Consent::granted, u"The desktop lets Cogwise type keys."_s);
        QCOMPARE(mapping.permissionTitle(), u"Cogwise can type keys"_s);
        QVERIFY(mapping.keysReachApp());
        QVERIFY(!mapping.canAskAgain());
        QVERIFY(rig.app->device()->canPostKeys());
        QTRY_COMPARE(rig.events.filter(u"accessibilityPermissionGranted"_s).size(), 1);
    }

    // The card says what Cogwise can do here, and the help page opens or the rider is told.
    void permissionCardSaysWhatToDo_data()
    {
        QTest::addColumn<bool>("switchedOn");
        QTest::addColumn<QString>("unavailable");
        QTest::addColumn<QString>("openError");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("keys can be typed") << true << QString() << QString() << u"Cogwise can type keys"_s
                                           << u"Shift keys go to the app in front through recording."_s;
        QTest::newRow("keys could be typed, the switch is off")
            << false << QString() << QString() << u"Shift keys are off"_s
            << u"Your shifts reach no app until you switch on \u201cSend shift keys\u201d. "
               "Cogwise then types them through recording."_s;
        QTest::newRow("uinput refused, help opens")
            << true << u"Cogwise may not use /dev/uinput to type keys: install the uinput rule."_s
            << QString() << u"Cogwise cannot type keys"_s
            << u"Cogwise may not use /dev/uinput to type keys: install the uinput rule."_s;
        QTest::newRow("help does not open, the switch is off")
            << false << u"No display."_s << u"xdg-open: no method available"_s
            << u"Cogwise cannot type keys"_s << u"No display."_s;
    }
    void permissionCardSaysWhatToDo()
    {
        QFETCH(bool, switchedOn);
        QFETCH(QString, unavailable);
        QFETCH(QString, openError);
        QFETCH(QString, title);
        QFETCH(QString, text);
        GuiRig rig(m_files.testFile());
        MappingViewModel& mapping = *rig.app->mapping();
        mapping.setKeyboardEnabled(switchedOn);
        if (!unavailable.isEmpty())
            rig.recordingSink->unavailable = unavailable;
        QSignalSpy texts(&mapping, &MappingViewModel::permissionTextChanged);
        mapping.refreshPermission();
        mapping.refreshPermission();
        QCOMPARE(texts.size(), unavailable.isEmpty() ? 0 : 1);
        QCOMPARE(mapping.permissionTitle(), title);
        QCOMPARE(mapping.permissionText(), text);
        QCOMPARE(mapping.keysReachApp(), switchedOn && unavailable.isEmpty());

        QStringList opened;
        mapping.setRunner(
            [&](const QString& program, const QStringList& arguments, ExternalProgram::Done done) {
                opened << program << arguments;
                done(openError.isEmpty() ? std::nullopt : std::optional<QString>(openError));
            });
        QSignalSpy failures(&mapping, &MappingViewModel::failed);
        mapping.openPermissionHelp();
        QCOMPARE(opened.value(0), u"xdg-open"_s);
        QVERIFY(QFileInfo(opened.value(1)).fileName() == QLatin1String("README.md"));
        QCOMPARE(failures.size(), openError.isEmpty() ? 0 : 1);
        if (!openError.isEmpty())
            QCOMPARE(failures.first().first().toString(),
                     u"Could not open %1: xdg-open: no method available. Open that file in a text "
                     "editor: its section \u201cLetting Cogwise type keys\u201d explains what to do."_s.arg(
                         opened.value(1)));
    }

    void theDeviceSectionSaysWhenTheUnitIsAway()
    {
        GuiRig rig(m_files.testFile());
        rig.graph->viewModel().handleConnectionAction({ConnectionAction::Kind::scanAgain, {}});
        connectFromList(rig);
        ScanViewModel& scan = *rig.app->scan();
        DeviceViewModel& device = *rig.app->device();
        QTRY_COMPARE(device.linkStatus(), QString());

        rig.simulated->setAsleep(true);
        QTRY_COMPARE(device.linkStatus(), u"Waiting for EW-WU111 — press a shifter button to wake it"_s);
        QCOMPARE(scan.panel(), ScanViewModel::Panel::waiting);
        QCOMPARE(scan.connectingName(), u"EW-WU111"_s);
        rig.simulated->setPowered(false);
        QTRY_COMPARE(device.linkStatus(), u"Bluetooth is off"_s);
        rig.simulated->setAsleep(false);
        rig.simulated->setPowered(true);
        QTRY_COMPARE_WITH_TIMEOUT(device.linkStatus(), QString(), 10000);
    }

    // The link scans again right after a refused connection; the rider still reads why.
    void aFailureStaysUntilTryAgain_data()
    {
        QTest::addColumn<bool>("linkMovesOnFirst");
        QTest::newRow("after the link scans again") << true;
        QTest::newRow("at once") << false;
    }
    void aFailureStaysUntilTryAgain()
    {
        QFETCH(bool, linkMovesOnFirst);
        GuiRig rig(m_files.testFile());
        ScanViewModel& scan = *rig.app->scan();
        rig.simulated->setConnectBehaviour(SimulatedCentral::ConnectBehaviour::refuse);
        scan.scanAgain();
        QTRY_VERIFY(unitRow(rig) >= 0);
        scan.connectDevice(unitRow(rig));
        QTRY_COMPARE(scan.panel(), ScanViewModel::Panel::failed);
        const QString error = scan.errorText();
        QVERIFY(!error.isEmpty());

        if (linkMovesOnFirst) {
            QSignalSpy changes(&scan, &ScanViewModel::changed);
            QSignalSpy linkStates(&rig.graph->connectionService(),
                                  &ConnectionService::connectionStateChanged);
            QVERIFY(linkStates.wait(20000));
            QVERIFY(!rig.graph->connectionService().connectionState().as<ConnectionState::Disconnected>());
            QCOMPARE(scan.panel(), ScanViewModel::Panel::failed);
            QCOMPARE(scan.errorText(), error);
            QVERIFY(changes.isEmpty());
        }

        // The scan that follows shows, whether or not the link had moved on.
        scan.scanAgain();
        QTRY_COMPARE(scan.panel(), ScanViewModel::Panel::found);
        QCOMPARE(scan.errorText(), QString());
    }

    // Rows change in place: a row's delegate, and the focus on its Connect button, outlive an
    // update of the signals.
    void scanListIsSortedAndUpdatedRowByRow()
    {
        DeviceListModel model;
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy moves(&model, &QAbstractItemModel::rowsMoved);
        QSignalSpy inserts(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removals(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        DiscoveredDevice weak{QUuid::createUuid(), u"Weak"_s, -80, {}};
        DiscoveredDevice strong{QUuid::createUuid(), u"EW-WU111 <b>x</b>"_s, -40, {}};
        const auto names = [&model] {
            QStringList shown;
            for (int row = 0; row < model.rowCount(); ++row)
                shown << model.data(model.index(row), DeviceListModel::nameRole).toString();
            return shown;
        };
        model.setDevices({weak, strong});
        QCOMPARE(names(), (QStringList{strong.name, weak.name}));
        QCOMPARE(model.data(model.index(0), DeviceListModel::litBarsRole).toInt(), 4);
        QCOMPARE(inserts.size(), 2);

        model.setDevices({strong, weak}); // the same: nothing
        QVERIFY(changes.isEmpty() && moves.isEmpty());

        weak.rssi = -30; // now the stronger: moves up, and shows its bars
        model.setDevices({weak, strong});
        QCOMPARE(names(), (QStringList{weak.name, strong.name}));
        QCOMPARE(moves.size(), 1);
        QCOMPARE(model.data(model.index(0), DeviceListModel::litBarsRole).toInt(), 4);
        QVERIFY(!changes.isEmpty());

        model.setDevices({strong});
        QCOMPARE(names(), QStringList{strong.name});
        QCOMPARE(removals.size(), 1);
        QVERIFY(resets.isEmpty());
    }
    // Choosing where keys go takes effect at once: each press reaches the chosen sink only, the
    // keyboard not chosen stops existing (and so announcing itself), and the choice is kept. A key
    // held across a switch is released where it was pressed, and its own release later is not sent
    // a second time, nor to the new sink.
    void keysGoWhereTheRiderChoosesWhileRunning()
    {
        DestinationRig keys(m_files.testFile(), KeyDestinationSwitch::Target::thisComputer);
        KeyDestinationViewModel& destination = keys.destination();
        MappingViewModel& mapping = *keys.rig->app->mapping();
        mapping.setKeyboardEnabled(true);
        QCOMPARE(keys.alive, 0);
        QSignalSpy changes(&destination, &KeyDestinationViewModel::destinationChanged);

        KeySink& sink = keys.rig->graph->keySink();
        for (const int index : {1, 0, 1}) {
            const QString held =
                destination.destinationIndex() == 1 ? u"47 down to hci0;47 up to hci0"_s : u"47 down;47 up"_s;
            keys.keys.clear();
            QVERIFY(sink.post(VirtualKey::period(), KeyDirection::down));
            destination.setDestinationIndex(index);
            QVERIFY(sink.post(VirtualKey::period(), KeyDirection::up));
            QCOMPARE(keys.keys.join(QLatin1Char(';')), held);
            QCOMPARE(keys.alive, index);
            QCOMPARE(keys.rig->defaults.stringValue(u"keysTo"_s), index == 1 ? u"bluetooth"_s : u"local"_s);
            if (index == 1) {
                keys.keyboard->setHosts({{u"/org/bluez/hci0/dev_1"_s, u"AA"_s, u"iPad"_s, true}});
                QCOMPARE(keys.press(), u"47 down to hci0;47 up to hci0"_s);
                QVERIFY(mapping.permissionText().startsWith(u"iPad is connected and takes keys"_s));
                QCOMPARE(destination.status(), u"iPad is connected and takes keys"_s);
                QCOMPARE(destination.hosts().size(), 1);
            } else {
                QCOMPARE(keys.press(), u"47 down;47 up"_s);
                QVERIFY(mapping.permissionText().contains(u"through recording"_s));
                QVERIFY(destination.hosts().isEmpty());
            }
        }
        QCOMPARE(changes.size(), 3);
    }

    void pairingCountsDownAndEnds()
    {
        DestinationRig keys(m_files.testFile(), KeyDestinationSwitch::Target::pairedDevice);
        KeyDestinationViewModel& destination = keys.destination();
        QVERIFY(!destination.pairingOpen());
        destination.pair();
        QVERIFY(destination.pairingOpen());
        QCOMPARE(destination.pairingSecondsLeft(), 120);
        keys.keyboard->secondsLeft = 0;
        QTRY_VERIFY(!destination.pairingOpen());
        destination.pair();
        destination.stopPairing();
        QVERIFY(!destination.pairingOpen());
        // Leaving the keyboard ends its pairing.
        destination.pair();
        destination.setDestinationIndex(0);
        QVERIFY(!destination.pairingOpen());
        QCOMPARE(destination.pairingSecondsLeft(), 0);
    }

    // Another adapter for the keyboard starts it again there, kept for the next launch. Choices
    // equal to the current ones, or out of range, change nothing.
    void anotherAdapterRecreatesTheKeyboard()
    {
        DestinationRig keys(m_files.testFile(), KeyDestinationSwitch::Target::pairedDevice,
                            {u"hci0"_s, u"hci1"_s});
        KeyDestinationViewModel& destination = keys.destination();
        QCOMPARE(destination.adapters(), (QStringList{u"hci0"_s, u"hci1"_s}));
        QCOMPARE(destination.adapterIndex(), 0);
        QSignalSpy destinations(&destination, &KeyDestinationViewModel::destinationChanged);
        QSignalSpy adapters(&destination, &KeyDestinationViewModel::adaptersChanged);
        QSignalSpy hosts(&destination, &KeyDestinationViewModel::hostsChanged);
        for (const int index : {1, 2, -1})
            destination.setDestinationIndex(index);
        destination.setAdapterIndex(0);
        destination.setAdapterIndex(5);
        keys.keyboard->setHosts({}); // told, but nothing changed
        QCOMPARE(destinations.size() + adapters.size() + hosts.size(), 0);
        QCOMPARE(keys.alive, 1);

        keys.keySwitch->setBatteryLevel(64);
        destination.setAdapterIndex(1);
        QCOMPARE(keys.keyboard->adapter(), u"hci1"_s);
        QCOMPARE(keys.alive, 1); // the one on hci0 is gone
        QCOMPARE(destination.adapterIndex(), 1);
        QCOMPARE(keys.keyboard->battery, 64); // the unit's charge follows to the new keyboard
        QCOMPARE(keys.rig->defaults.stringValue(u"keyboardAdapter"_s), u"hci1"_s);
        keys.rig->app->mapping()->setKeyboardEnabled(true);
        QCOMPARE(keys.press(), u"47 down to hci1;47 up to hci1"_s);
    }
};

COGWISE_TEST(tst_ViewModels)
#include "tst_ViewModels.moc"
