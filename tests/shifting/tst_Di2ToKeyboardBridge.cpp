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

using namespace Qt::StringLiterals;

namespace {

const QString comma = u"43 down|43 up"_s;
const QString period = u"47 down|47 up"_s;
const QString pauseStep = u"wait 50"_s;

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
                events.append(u"did %1 x%2"_s.arg(KeyboardActions::rawValue(action)).arg(repeatCount));
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
        QCOMPARE(m_rig->press(1), sequence({comma, pauseStep, u"did shift_down x1"_s}));
        QCOMPARE(m_rig->press(2), sequence({period, pauseStep, u"did shift_up x1"_s}));

        DebugLogRecorder recorder;
        QCOMPARE(m_rig->press(3), QString());
        QCOMPARE(m_rig->press(9), QString());
        QCOMPARE(recorder.lines(),
                 (QStringList{u"KeyboardBridge: Button 3 is disabled for keyboard emulation."_s,
                              u"KeyboardBridge: Button 9 is disabled for keyboard emulation."_s}));
    }

    void repeatsArePausedAndLogged()
    {
        m_rig->bridge.setRepeatCount(2, 3);
        DebugLogRecorder recorder;
        QCOMPARE(m_rig->press(2),
                 sequence({period, pauseStep, period, pauseStep, period, pauseStep, u"did shift_up x3"_s}));

        const auto start = recorder.withMessage(u"Starting key simulation for button 2"_s);
        QCOMPARE(start.size(), 1);
        QCOMPARE(start.constFirst().details,
                 std::optional(DebugLogDetails{
                     {u"action"_s, u"Shift Up"_s}, {u"repeatCount"_s, u"3"_s}, {u"keyCode"_s, u"47"_s}}));
        QStringList indexes;
        for (const DebugLogEntry& entry : recorder.withMessage(u"Key simulation: Shift Up"_s))
            indexes.append(entry.details->value(u"pressIndex"_s));
        QCOMPARE(indexes, (QStringList{u"1/3"_s, u"2/3"_s, u"3/3"_s}));

        const QStringList lines = recorder.lines();
        for (int press = 1; press <= 3; ++press)
            QVERIFY(
                lines.contains(u"KeyboardBridge: Simulating key press for Button 2, press %1"_s.arg(press)));
        QVERIFY(lines.contains(u"KeyboardBridge: 🔄 Button 2 -> Keyboard press 'Shift Up' x3"_s));
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
        for (const QString& message : {u"Key simulation: Shift Up"_s, u"Key simulation: Shift Down"_s}) {
            for (const DebugLogEntry& entry : recorder.withMessage(message))
                latencies.append(entry.details->value(u"latency"_s, u"-"_s));
        }
        QCOMPARE(latencies.size(), 3);
        QVERIFY2(QRegularExpression(u"^1\\.[0-9] ms$"_s).match(latencies.at(0)).hasMatch(),
                 qPrintable(latencies.at(0)));
        QCOMPARE(latencies.mid(1), (QStringList{u"-"_s, u"-"_s}));
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
        QVERIFY(recorder.lines().contains(u"KeyboardBridge: Configured Button 1 repeat count -> 1"_s));
        QVERIFY(recorder.lines().contains(u"KeyboardBridge: Configured Button 7 -> Shift Up"_s));
    }

    void storedCountsOutsideTheRange_data()
    {
        QTest::addColumn<qint64>("stored");
        QTest::addColumn<QString>("expected");
        // A press always types what its log line says.
        QTest::newRow("zero presses once")
            << qint64(0) << sequence({comma, pauseStep, u"did shift_down x1"_s});
        QStringList steps;
        for (int i = 0; i < 10; ++i)
            steps << comma << pauseStep;
        steps << u"did shift_down x10"_s;
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
        QCOMPARE(lines, (QStringList{u"KeyboardBridge: Button 1 pressed but keyboard emulation is disabled"_s,
                                     u"KeyboardBridge: ⌨️ Stopped Keyboard emulation"_s}));
        QCOMPARE(
            recorder.withMessage(u"Button 1 pressed but keyboard emulation is disabled"_s).constFirst().level,
            DebugLogLevel::debug);
        QCOMPARE(u"⌨️ Stopped Keyboard emulation"_s.toUtf8().size(), 33);
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
            << false << false << QString() << u"Shift Up not typed: There is no X display."_s;
        QTest::newRow("Cogwise in front") << true << true << QString()
                                          << QStringLiteral("Shift Up not typed: Cogwise's own window is in "
                                                            "front: bring the trainer app to the front.");
        QTest::newRow("Cogwise in front, keys to an iPad") << true << true << u"iPad"_s << QString();
    }

    void pressesThatCannotReachTheAppTypeNothing()
    {
        QFETCH(bool, canType);
        QFETCH(bool, ownWindowInFront);
        QFETCH(QString, destination);
        QFETCH(QString, why);
        if (!canType)
            m_rig->sink.unavailable = u"There is no X display"_s;
        m_rig->sink.destinationName = destination;
        m_rig->bridge.setOwnWindowInFront([ownWindowInFront] { return ownWindowInFront; });
        QSignalSpy notTyped(&m_rig->bridge, &Di2ToKeyboardBridge::notTyped);
        const QString events = m_rig->press(2);
        if (why.isEmpty()) {
            QCOMPARE(events, sequence({period, pauseStep, u"did shift_up x1"_s}));
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
        QCOMPARE(m_rig->press(2), sequence({pauseStep, u"did shift_up x1"_s}));
        QCOMPARE(recorder.lines().filter(u"Could not post key 47"_s).size(), 2);
    }
};

} // namespace

COGWISE_TEST(tst_Di2ToKeyboardBridge)
#include "tst_Di2ToKeyboardBridge.moc"
