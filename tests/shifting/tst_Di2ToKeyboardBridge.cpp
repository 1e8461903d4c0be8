#include "diagnostics/DebugLogService.h"
#include "fakes/RecordingKeySink.h"
#include "platform/Defaults.h"
#include "platform/MonotonicTime.h"
#include "shifting/Di2ToKeyboardBridge.h"
#include "shifting/ManualScheduler.h"
#include "shifting/UserDefaultsManager.h"
#include "support/DebugLogRecorder.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString comma = QStringLiteral("43 down|43 up");
const QString period = QStringLiteral("47 down|47 up");
const QString pauseStep = QStringLiteral("wait 50");

// Keys, waits and reports land in one list, so their order is checked together.
struct Rig
{
    explicit Rig(const QString& settingsPath)
        : defaults(settingsPath)
        , storage(defaults)
        , sink(events)
        , bridge(storage, sink)
    {
        auto manual = std::make_unique<ManualScheduler>(&events);
        scheduler = manual.get();
        bridge.keySequencer().setScheduler(std::move(manual));
        QObject::connect(
            &bridge, &Di2ToKeyboardBridge::didSimulate, [this](KeyboardAction action, qint64 repeatCount) {
                events.append(
                    QStringLiteral("did %1 x%2").arg(KeyboardActions::rawValue(action)).arg(repeatCount));
            });
        bridge.setEnabled(true);
        DebugLogRecorder::settle();
    }

    // Runs the sequence to its end, letting queued reports land between the waits as
    // the event loop would.
    QString press(qint64 button)
    {
        events.clear();
        bridge.handleButtonPress(button);
        do
            QCoreApplication::sendPostedEvents();
        while (scheduler->advance());
        DebugLogRecorder::settle();
        return events.join(QLatin1Char('|'));
    }

    QStringList events;
    Defaults defaults;
    UserDefaultsManager storage;
    RecordingKeySink sink;
    Di2ToKeyboardBridge bridge;
    ManualScheduler* scheduler = nullptr;
};

QString sequence(const QStringList& steps)
{
    return steps.join(QLatin1Char('|'));
}

} // namespace

class tst_Di2ToKeyboardBridge : public QObject
{
    Q_OBJECT

    ScratchDir m_files;
    std::unique_ptr<Rig> m_rig;

private Q_SLOTS:
    void init() { m_rig = std::make_unique<Rig>(m_files.testFile()); }
    void cleanup() { m_rig.reset(); }

    void defaultMapping()
    {
        // Every report comes after the sequence's last key event.
        QCOMPARE(m_rig->press(1), sequence({comma, pauseStep, QStringLiteral("did shift_down x1")}));
        QCOMPARE(m_rig->press(2), sequence({period, pauseStep, QStringLiteral("did shift_up x1")}));

        DebugLogRecorder recorder;
        QCOMPARE(m_rig->press(3), QString());
        QCOMPARE(m_rig->press(9), QString());
        QCOMPARE(
            recorder.lines(),
            (QStringList{QStringLiteral("KeyboardBridge: Button 3 is disabled for keyboard emulation."),
                         QStringLiteral("KeyboardBridge: Button 9 is disabled for keyboard emulation.")}));
    }

    void repeatsArePausedAndLogged()
    {
        m_rig->bridge.setRepeatCount(2, 3);
        DebugLogRecorder recorder;
        QCOMPARE(m_rig->press(2), sequence({period, pauseStep, period, pauseStep, period, pauseStep,
                                            QStringLiteral("did shift_up x3")}));

        const auto start = recorder.withMessage(QStringLiteral("Starting key simulation for button 2"));
        QCOMPARE(start.size(), 1);
        QCOMPARE(start.constFirst().details,
                 std::optional(DebugLogDetails{{QStringLiteral("action"), QStringLiteral("Shift Up")},
                                               {QStringLiteral("repeatCount"), QStringLiteral("3")},
                                               {QStringLiteral("keyCode"), QStringLiteral("47")}}));
        QStringList indexes;
        for (const DebugLogEntry& entry : recorder.withMessage(QStringLiteral("Key simulation: Shift Up")))
            indexes.append(entry.details->value(QStringLiteral("pressIndex")));
        QCOMPARE(indexes, (QStringList{QStringLiteral("1/3"), QStringLiteral("2/3"), QStringLiteral("3/3")}));

        const QStringList lines = recorder.lines();
        for (int press = 1; press <= 3; ++press)
            QVERIFY(lines.contains(
                QStringLiteral("KeyboardBridge: Simulating key press for Button 2, press %1").arg(press)));
        QVERIFY(lines.contains(QStringLiteral("KeyboardBridge: 🔄 Button 2 -> Keyboard press 'Shift Up' x3")));
    }

    // Only the first key of a press is timed, from the arrival of the press's value.
    void theFirstKeyOfAPressIsTimed()
    {
        m_rig->bridge.setRepeatCount(2, 2);
        QSignalSpy timed(&m_rig->bridge, &Di2ToKeyboardBridge::pressTimed);
        DebugLogRecorder recorder;
        const qint64 arrival = MonotonicTime::nowNanoseconds() - 1'500'000; // 1.5 ms ago
        m_rig->bridge.handleButtonPress(2, arrival);
        m_rig->bridge.handleButtonPress(1); // arrival unknown: not timed
        m_rig->press(9);
        QTRY_COMPARE(timed.size(), 1);
        QVERIFY(timed.first().first().toLongLong() >= 1'500'000);

        QStringList latencies;
        for (const QString& message :
             {QStringLiteral("Key simulation: Shift Up"), QStringLiteral("Key simulation: Shift Down")}) {
            for (const DebugLogEntry& entry : recorder.withMessage(message))
                latencies.append(entry.details->value(QStringLiteral("latency"), QStringLiteral("-")));
        }
        QCOMPARE(latencies.size(), 3);
        QVERIFY2(QRegularExpression(QStringLiteral("^1\\.[0-9] ms$")).match(latencies.at(0)).hasMatch(),
                 qPrintable(latencies.at(0)));
        QCOMPARE(latencies.mid(1), (QStringList{QStringLiteral("-"), QStringLiteral("-")}));
    }

    void repeatCountsAreClampedAndStored()
    {
        DebugLogRecorder recorder;
        m_rig->bridge.setRepeatCount(1, 0);
        QCOMPARE(m_rig->storage.loadOrCreateProfile().buttonConfigs.value(1),
                 (ButtonConfig{KeyboardAction::shiftDown, 1}));
        m_rig->bridge.setRepeatCount(1, 25);
        QCOMPARE(m_rig->storage.loadOrCreateProfile().buttonConfigs.value(1),
                 (ButtonConfig{KeyboardAction::shiftDown, 10}));
        m_rig->bridge.setAction(7, KeyboardAction::shiftUp);
        m_rig->bridge.setRepeatCount(8, 4);
        const ButtonConfigs stored = m_rig->storage.loadOrCreateProfile().buttonConfigs;
        QCOMPARE(stored.value(7), (ButtonConfig{KeyboardAction::shiftUp, 1}));
        QCOMPARE(stored.value(8), (ButtonConfig{KeyboardAction::none, 4}));
        QCOMPARE(m_rig->bridge.buttonConfigs(), stored);
        recorder.settle();
        QVERIFY(recorder.lines().contains(
            QStringLiteral("KeyboardBridge: Configured Button 1 repeat count -> 1")));
        QVERIFY(recorder.lines().contains(
            QStringLiteral("KeyboardBridge: Configured Button 1 repeat count -> 10")));
        QVERIFY(recorder.lines().contains(QStringLiteral("KeyboardBridge: Configured Button 7 -> Shift Up")));
    }

    void storedCountsOutsideTheRange_data()
    {
        QTest::addColumn<qint64>("stored");
        QTest::addColumn<QString>("expected");
        // A press always types what its log line says.
        QTest::newRow("zero presses once")
            << qint64(0) << sequence({comma, pauseStep, QStringLiteral("did shift_down x1")});
        QTest::newRow("negative presses once")
            << qint64(-4) << sequence({comma, pauseStep, QStringLiteral("did shift_down x1")});
        QStringList steps;
        for (int i = 0; i < 10; ++i)
            steps << comma << pauseStep;
        steps << QStringLiteral("did shift_down x10");
        QTest::newRow("above ten is capped") << qint64(40) << sequence(steps);
    }

    void storedCountsOutsideTheRange()
    {
        QFETCH(qint64, stored);
        QFETCH(QString, expected);
        m_rig->storage.updateButtonConfig(1, {KeyboardAction::shiftDown, stored});
        m_rig->bridge.loadConfiguration();
        QCOMPARE(m_rig->press(1), expected);
    }

    void emulationOffPostsNothing()
    {
        DebugLogRecorder recorder;
        m_rig->bridge.setEnabled(false);
        m_rig->bridge.setEnabled(false);
        QCOMPARE(m_rig->press(1), QString());
        // Logger lines and direct entries may land in either order.
        QStringList lines = recorder.lines();
        lines.sort();
        QCOMPARE(lines,
                 (QStringList{
                     QStringLiteral("KeyboardBridge: Button 1 pressed but keyboard emulation is disabled"),
                     QStringLiteral("KeyboardBridge: ⌨️ Stopped Keyboard emulation")}));
        QCOMPARE(recorder.withMessage(QStringLiteral("Button 1 pressed but keyboard emulation is disabled"))
                     .constFirst()
                     .level,
                 DebugLogLevel::debug);
        QCOMPARE(QStringLiteral("⌨️ Stopped Keyboard emulation").toUtf8().size(), 33);
    }

    // A press that cannot reach the trainer app types nothing and says why; the gear, which
    // follows what was typed, does not move. Keys to another device never land in Cogwise.
    void pressesThatCannotReachTheAppTypeNothing_data()
    {
        QTest::addColumn<bool>("canType");
        QTest::addColumn<bool>("ownWindowInFront");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("why");
        QTest::newRow("no way to type")
            << false << false << QString() << QStringLiteral("Shift Up not typed: There is no X display.");
        QTest::newRow("Cogwise in front") << true << true << QString()
                                          << QStringLiteral("Shift Up not typed: Cogwise's own window is in "
                                                            "front: bring the trainer app to the front.");
        QTest::newRow("Cogwise in front, keys to an iPad")
            << true << true << QStringLiteral("iPad") << QString();
    }

    void pressesThatCannotReachTheAppTypeNothing()
    {
        QFETCH(bool, canType);
        QFETCH(bool, ownWindowInFront);
        QFETCH(QString, destination);
        QFETCH(QString, why);
        if (!canType)
            m_rig->sink.unavailable = QStringLiteral("There is no X display");
        m_rig->sink.destinationName = destination;
        m_rig->bridge.setOwnWindowInFront([ownWindowInFront] { return ownWindowInFront; });
        QSignalSpy notTyped(&m_rig->bridge, &Di2ToKeyboardBridge::notTyped);
        const QString events = m_rig->press(2);
        if (why.isEmpty()) {
            QCOMPARE(events, sequence({period, pauseStep, QStringLiteral("did shift_up x1")}));
            QCOMPARE(notTyped.size(), 0);
        } else {
            QCOMPARE(events, QString());
            QCOMPARE(notTyped.size(), 1);
            QCOMPARE(notTyped.constFirst().constFirst().toString(), why);
        }
    }

    void refusedKeysAreLoggedAndTheSequenceGoesOn()
    {
        m_rig->sink.refuses = true;
        DebugLogRecorder recorder;
        QCOMPARE(m_rig->press(2), sequence({pauseStep, QStringLiteral("did shift_up x1")}));
        QCOMPARE(recorder.lines().filter(QStringLiteral("Could not post key 47")).size(), 2);
    }

    void resetAndDisableAll()
    {
        m_rig->bridge.setAction(3, KeyboardAction::shiftUp);
        m_rig->bridge.disableAllButtons();
        const ButtonConfigs disabled{{1, {KeyboardAction::none, 1}},
                                     {2, {KeyboardAction::none, 1}},
                                     {3, {KeyboardAction::none, 1}},
                                     {4, {KeyboardAction::none, 1}}};
        QCOMPARE(m_rig->bridge.buttonConfigs(), disabled);
        QCOMPARE(m_rig->storage.loadOrCreateProfile().buttonConfigs, disabled);

        m_rig->bridge.resetToDefaults();
        QCOMPARE(m_rig->bridge.buttonConfigs(), defaultButtonConfigs());
        QCOMPARE(m_rig->storage.loadOrCreateProfile().buttonConfigs, defaultButtonConfigs());
    }
};

COGWISE_TEST(tst_Di2ToKeyboardBridge)
#include "tst_Di2ToKeyboardBridge.moc"
