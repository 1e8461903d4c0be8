// The window while a repeat is typed: the longest gap between two frames of Cogwise's window
// while the 10 keys of one press are typed, beside the longest gap in as long a stretch just
// before that press, when nothing is typed (the baseline of the same run). Cogwise runs with its
// window on the X server in DISPLAY, over the fake bluetoothd, with buttons 1 and 2 mapped to
// 10 presses each and COGWISE_FRAME_PROBE set: its window asks for a frame about every 16 ms and
// logs each one swapped. The keys go to the bench's key window, which stamps them on the same clock.
//   cogwise-bench-repeat-frames [REPEATS]     (default 6)

#include "Di2Presses.h"
#include "IsolatedProcess.h"
#include "KeyWindowProcess.h"
#include "MonotonicClock.h"
#include "Percentiles.h"
#include "TimedUnit.h"
#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"
#include "shifting/UserDefaultsManager.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTextStream>
#include <QThread>
#include <algorithm>
#include <chrono>

namespace {

constexpr qint64 repeatCount = 10;
constexpr int subscribeTimeoutMs = 60000;
// A window's first press may come before Cogwise is set up and become its baseline.
constexpr int readyAttempts = 20;
constexpr int readyAttemptTimeoutMs = 3000;
constexpr int keyTimeoutMs = 5000;
// After a repeat: its pause, then a quiet stretch longer than a repeat for the next baseline.
constexpr auto quiet = std::chrono::milliseconds{1200};
// The baseline stretch ends this long before its press, clear of anything the press sets off.
constexpr auto baselineMargin = std::chrono::milliseconds{50};

bool fail(const QString& what)
{
    QTextStream(stderr) << "bench: " << what << '\n';
    return false;
}

qint64 nanoseconds(std::chrono::milliseconds duration)
{
    return std::chrono::nanoseconds(duration).count();
}

// One repeat: its notification sent, its last key up; CLOCK_MONOTONIC nanoseconds.
struct Repeat
{
    qint64 sent = 0;
    qint64 lastKeyUp = 0;
};

// The longest time between two frames of which the later comes after `from` and the earlier
// before `to`: the longest the window showed nothing new over that stretch.
qint64 longestGap(const QList<qint64>& frames, qint64 from, qint64 to)
{
    qint64 longest = 0;
    for (qsizetype i = 1; i < frames.size(); ++i) {
        if (frames.at(i) > from && frames.at(i - 1) < to)
            longest = std::max(longest, frames.at(i) - frames.at(i - 1));
    }
    return longest;
}

QList<qint64> framesIn(const QByteArray& standardError)
{
    static const QRegularExpression frame(QStringLiteral("^frame swapped at (\\d+) ns$"),
                                          QRegularExpression::MultilineOption);
    QList<qint64> frames;
    for (auto it = frame.globalMatch(QString::fromLatin1(standardError)); it.hasNext();)
        frames.append(it.next().captured(1).toLongLong());
    std::sort(frames.begin(), frames.end());
    return frames;
}

class Rider
{
public:
    Rider(TimedUnit& unit, KeyWindowProcess& keys)
        : m_unit(unit)
        , m_keys(keys)
    {}

    bool begin() { return m_unit.notify(m_presses.standing()).has_value(); }

    // Presses until a press types its keys; false when none does.
    bool awaitTyping()
    {
        for (int attempt = 0; attempt < readyAttempts; ++attempt) {
            const int button = nextButton();
            if (!m_unit.notify(m_presses.press(button)))
                return false;
            if (const auto key = m_keys.nextDown(readyAttemptTimeoutMs))
                return key->name == Di2Presses::keyOf(button) && collect(button, repeatCount - 1);
        }
        return false;
    }

    std::optional<Repeat> press()
    {
        const int button = nextButton();
        const auto sent = m_unit.notify(m_presses.press(button));
        if (!sent || !collect(button, repeatCount))
            return std::nullopt;
        return Repeat{*sent, m_lastKeyUp};
    }

private:
    int nextButton() { return (m_button = 3 - m_button); }

    // `downs` more key downs of the button's key, and the key ups up to the last.
    bool collect(int button, qint64 downs)
    {
        const QString name = Di2Presses::keyOf(button);
        qint64 ups = 0;
        for (qint64 seen = 0; ups < repeatCount;) {
            const auto key = m_keys.next(keyTimeoutMs);
            if (!key || key->name != name)
                return false;
            if (key->down && ++seen > downs)
                return false;
            if (!key->down && ++ups == repeatCount)
                m_lastKeyUp = key->received;
        }
        return true;
    }

    TimedUnit& m_unit;
    KeyWindowProcess& m_keys;
    Di2Presses m_presses;
    int m_button = 2;
    qint64 m_lastKeyUp = 0;
};

bool writeSettings(const QString& file)
{
    Defaults defaults(file);
    defaults.setBool(SettingsKeys::hasCompletedOnboarding(), true);
    // The default mapping (1 shifts down, 2 up), each press made a repeat.
    UserDefaultsManager shifting(defaults);
    ButtonProfile profile = shifting.loadOrCreateProfile();
    for (const qint64 button : {1, 2})
        profile.buttonConfigs[button].repeatCount = repeatCount;
    shifting.setStoredButtonProfile(profile);
    return defaults.lastWriteSucceeded();
}

QString figures(const QList<double>& gaps)
{
    const Percentiles summary = Percentiles::of(gaps);
    return QStringLiteral("median %1 ms, worst %2 ms")
        .arg(summary.median, 0, 'f', 1)
        .arg(summary.worst, 0, 'f', 1);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int repeats = argc > 1 ? QByteArray(argv[1]).toInt() : 6;
    if (repeats < 1) {
        QTextStream(stderr) << "usage: cogwise-bench-repeat-frames [REPEATS]\n";
        return 2;
    }
    TimedUnit unit;
    KeyWindowProcess keys;
    for (const auto& error : {unit.start(), keys.start()}) {
        if (error) {
            fail(*error);
            return 1;
        }
    }

    IsolatedProcess cogwise;
    if (!writeSettings(cogwise.settingsFile())) {
        fail(QStringLiteral("cannot write Cogwise's settings"));
        return 1;
    }
    cogwise.setEnvironmentValue(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    cogwise.setEnvironmentValue(QStringLiteral("COGWISE_FRAME_PROBE"), QStringLiteral("1"));
    const int subscribed = unit.subscriptions();
    if (const auto error =
            cogwise.start(QStringLiteral(COGWISE_BINARY), {QStringLiteral("--device"), TimedUnit::address(),
                                                           QStringLiteral("--enable-keys")})) {
        fail(*error);
        return 1;
    }
    QDeadlineTimer deadline(subscribeTimeoutMs);
    while (unit.subscriptions() <= subscribed) {
        if (!cogwise.isRunning() || deadline.hasExpired()) {
            fail(QStringLiteral("cogwise never subscribed to the unit's notifications\n") +
                 cogwise.errorTail());
            return 1;
        }
        QThread::msleep(20);
    }

    // Not counted: the first repeats draw the gears and the log for the first time.
    Rider rider(unit, keys);
    if (!rider.begin() || !rider.awaitTyping() || !rider.press()) {
        fail(QStringLiteral("cogwise did not type its repeats\n") + cogwise.errorTail());
        return 1;
    }
    QList<Repeat> timed;
    for (int i = 0; i < repeats; ++i) {
        QThread::msleep(quiet.count());
        const auto repeat = rider.press();
        if (!repeat) {
            fail(QStringLiteral("repeat %1 gave fewer keys or the wrong ones\n%2")
                     .arg(i + 1)
                     .arg(cogwise.errorTail()));
            return 1;
        }
        timed.append(*repeat);
    }
    QThread::msleep(quiet.count());
    cogwise.stop();

    const QList<qint64> frames = framesIn(cogwise.standardError());
    QList<double> typing;
    QList<double> baseline;
    QList<double> durations;
    for (qsizetype i = 0; i < timed.size(); ++i) {
        const Repeat& repeat = timed.at(i);
        const qint64 length = repeat.lastKeyUp - repeat.sent;
        const qint64 baselineEnd = repeat.sent - nanoseconds(baselineMargin);
        if (frames.isEmpty() || frames.constFirst() > baselineEnd - length ||
            frames.constLast() < repeat.lastKeyUp) {
            fail(QStringLiteral(
                     "cogwise logged no frames around repeat %1 (is COGWISE_FRAME_PROBE in this build?)")
                     .arg(i + 1));
            return 1;
        }
        typing.append(MonotonicClock::milliseconds(longestGap(frames, repeat.sent, repeat.lastKeyUp)));
        baseline.append(MonotonicClock::milliseconds(longestGap(frames, baselineEnd - length, baselineEnd)));
        durations.append(MonotonicClock::milliseconds(length));
    }

    QTextStream out(stdout);
    out << "longest frame gap while a press types 10 keys, " << repeats
        << " presses: cogwise's window on Xvfb, asked for a frame every 16 ms\n"
        << "  idle, as long a stretch just before each press (baseline)  " << figures(baseline) << '\n'
        << "  from the notification to the 10th key up                  " << figures(typing)
        << "   (goal: at most 50 ms; 450 ms before keys went out on timers)\n"
        << QStringLiteral("  the 10 keys took                                          median %1 ms\n")
               .arg(Percentiles::of(durations).median, 0, 'f', 0);
    return 0;
}
