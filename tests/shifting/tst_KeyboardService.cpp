#include "shifting/KeyboardRig.h"
#include "support/DebugLogRecorder.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const ButtonConfig disabled{KeyboardAction::none, 1};

} // namespace

class tst_KeyboardService : public QObject
{
    Q_OBJECT

    ScratchDir m_files;

private Q_SLOTS:
    void cleanup() { DebugLogRecorder::settle(); }

    void mappingNotifiesOnlyWhatTheFourButtonsShow()
    {
        KeyboardRig rig(m_files.testFile());
        QSignalSpy changes(&rig.service, &KeyboardService::buttonConfigsChanged);

        rig.service.setRepeatCount(2, 1); // already so
        QCOMPARE(changes.size(), 0);
        rig.service.setRepeatCount(2, 30);
        QCOMPARE(changes.size(), 1);
        QCOMPARE(rig.service.buttonConfigs().value(2), (ButtonConfig{KeyboardAction::shiftUp, 10}));

        // A button beyond the four is kept and pressed, but not shown.
        rig.service.setAction(7, KeyboardAction::shiftDown);
        QCOMPARE(changes.size(), 1);
        QCOMPARE(rig.service.buttonConfigs().keys(), (QList<qint64>{1, 2, 3, 4}));
        rig.service.setEnabled(true);
        rig.service.handleButtonPress(7);
        QCOMPARE(rig.keys, (QStringList{u"43 down"_s, u"43 up"_s}));

        rig.service.disableAllButtons();
        rig.service.disableAllButtons();
        QCOMPARE(changes.size(), 2);
        QCOMPARE(rig.service.buttonConfigs(),
                 (ButtonConfigs{{1, disabled}, {2, disabled}, {3, disabled}, {4, disabled}}));
        QCOMPARE(rig.storage.storedButtonProfile()->buttonConfigs.value(7), disabled);

        rig.service.resetToDefaults();
        QCOMPARE(changes.size(), 3);
        QCOMPARE(rig.service.buttonConfigs(), defaultButtonConfigs());

        // Every action choice and reset is reported, also one that changes nothing shown.
        QTRY_COMPARE(rig.events, (QStringList{u"buttonMappingChanged"_s, u"buttonMappingReset"_s}));
    }

    void switchIsStoredAndGatesThePresses()
    {
        Defaults(m_files.testFile()).setBool(u"enableKeyboardEmulation"_s, true);
        {
            KeyboardRig rig(m_files.testFile());
            QVERIFY(rig.service.isEnabled());
            QSignalSpy switched(&rig.service, &KeyboardService::isEnabledChanged);
            rig.service.handleButtonPress(2);
            QCOMPARE(rig.keys.size(), 2);

            rig.service.setEnabled(false);
            rig.service.setEnabled(false);
            QCOMPARE(switched.size(), 1);
            rig.service.handleButtonPress(2);
            QCOMPARE(rig.keys.size(), 2);
        }
        KeyboardRig restarted(m_files.testFile());
        QVERIFY(!restarted.service.isEnabled());
    }

    void completedSequencesAreRelayedAfterTheKeys()
    {
        KeyboardRig rig(m_files.testFile());
        rig.service.setEnabled(true);
        rig.service.setRepeatCount(1, 2);
        QSignalSpy simulated(&rig.service, &KeyboardService::didSimulate);
        rig.service.handleButtonPress(1);
        QCOMPARE(rig.keys.size(), 2); // the second press after the pause
        QVERIFY(rig.scheduler->advance());
        QCOMPARE(rig.keys.size(), 4);
        QVERIFY(simulated.isEmpty()); // queued, so that listeners never hold up the keys
        QVERIFY(simulated.wait());
        QCOMPARE(simulated.constFirst().at(0).value<KeyboardAction>(), KeyboardAction::shiftDown);
        QCOMPARE(simulated.constFirst().at(1).toLongLong(), 2);
    }

    void stoppingMidSequenceReleasesTheKey_data()
    {
        QTest::addColumn<bool>("quit");
        QTest::newRow("emulation off") << false;
        QTest::newRow("quit") << true;
    }

    void stoppingMidSequenceReleasesTheKey()
    {
        QFETCH(bool, quit);
        KeyboardRig rig(m_files.testFile());
        // A service of its own, to be destroyed as on quitting while the keys are kept.
        auto service = std::make_unique<KeyboardService>(rig.storage, rig.sink, rig.analytics);
        auto manual = std::make_unique<ManualScheduler>();
        ManualScheduler* scheduler = manual.get();
        service->keySequencer().setScheduler(std::move(manual));
        service->setEnabled(true);
        service->setRepeatCount(2, 3);
        service->keySequencer().setHoldTime(std::chrono::milliseconds{10});
        QSignalSpy simulated(service.get(), &KeyboardService::didSimulate);
        service->handleButtonPress(2);
        service->handleButtonPress(1);
        QCOMPARE(rig.keys, (QStringList{u"47 down"_s}));

        DebugLogRecorder recorder;
        if (quit)
            service.reset();
        else
            service->setEnabled(false);
        QCOMPARE(rig.keys, (QStringList{u"47 down"_s, u"47 up"_s}));
        recorder.settle();
        const QStringList lines = recorder.lines();
        QVERIFY(lines.contains(u"KeyboardBridge: Key sequence stopped; queued presses dropped: 3"_s));
        QVERIFY(lines.contains(u"KeyboardBridge: 🔄 Button 2 -> Keyboard press 'Shift Up' x1"_s));
        if (quit)
            return;
        QCOMPARE(simulated.size(), 1); // the gear follows the press that went out
        QCOMPARE(simulated.constFirst().at(1).toLongLong(), 1);
        QVERIFY(!scheduler->isPending());
        service->setEnabled(true);
        service->handleButtonPress(1);
        QCOMPARE(rig.keys.mid(2), (QStringList{u"43 down"_s}));
    }
};

COGWISE_TEST(tst_KeyboardService)
#include "tst_KeyboardService.moc"
