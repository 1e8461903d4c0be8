// Press to key: from the fake bluetoothd sending a Di2 button notification to the key down
// that a focused X client reads, for `cogwise --headless --enable-keys` typing through XTest.
// Beside it, measured in the same run, the floor: cogwise-bench-press-floor, which posts one
// XTest key per notification and does nothing else. Beside both, press to report: the same
// notification to the key down report that the fake bluetoothd's host (an iPad) receives from
// `cogwise --headless --enable-keys --pair` serving as a Bluetooth keyboard. It is set against
// Cogwise's XTest figures: the keyboard has no floor of its own.
// One press at a time, so that each key belongs to one notification: the next goes out once
// the key has arrived and Cogwise's pause after it is over. The buttons alternate (comma,
// period), so that a key out of step shows. Floor, Cogwise through XTest and Cogwise as a
// keyboard take turns in blocks, each in a process of its own, so that a busy moment of the
// machine falls on all of them.
//   cogwise-bench-press-to-key [PRESSES]     presses of each (default 200), on the X server in DISPLAY

#include "Di2Presses.h"
#include "IsolatedProcess.h"
#include "KeyWindowProcess.h"
#include "KeyboardHost.h"
#include "MonotonicClock.h"
#include "Percentiles.h"
#include "TimedUnit.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QTextStream>
#include <QThread>
#include <array>
#include <chrono>

namespace {

constexpr int blockPresses = 25;
// Not counted: the first presses of a block warm the caches of its process.
constexpr int warmUpPresses = 5;
// Cogwise pauses 50 ms after each key; the next press comes later than that, at a time
// that drifts against its timers.
constexpr auto spacing = std::chrono::milliseconds{80};
constexpr int spacingJitterMs = 20;
constexpr int keyTimeoutMs = 5000;
constexpr int subscribeTimeoutMs = 30000;
// While a subscriber sets itself up a press may become its baseline and type nothing.
constexpr int readyAttempts = 20;
constexpr int readyAttemptTimeoutMs = 1000;
constexpr auto settle = std::chrono::milliseconds{300};

struct Subject
{
    QString name;
    QString program;
    QStringList arguments;
    KeyArrivals& keys;
    // The keyboard's host, for a Cogwise that sends keys over Bluetooth.
    KeyboardHost* host = nullptr;
};

bool fail(const QString& what)
{
    QTextStream(stderr) << "bench: " << what << '\n';
    return false;
}

qint64 after(qint64 nanoseconds, std::chrono::milliseconds delay)
{
    return nanoseconds + std::chrono::nanoseconds(delay).count();
}

class Block
{
public:
    Block(TimedUnit& unit, QRandomGenerator& random)
        : m_unit(unit)
        , m_random(random)
    {}

    // `count` timed presses through a fresh process of the subject, in milliseconds.
    bool run(const Subject& subject, int count, QList<double>& latencies)
    {
        IsolatedProcess process;
        if (subject.host)
            process.setEnvironmentValue(QStringLiteral("COGWISE_KEY_SINK"), QStringLiteral("bluetooth"));
        const int subscribed = m_unit.subscriptions();
        if (const auto error = process.start(subject.program, subject.arguments))
            return fail(*error);
        QDeadlineTimer deadline(subscribeTimeoutMs);
        while (m_unit.subscriptions() <= subscribed) {
            if (!process.isRunning() || deadline.hasExpired())
                return fail(subject.name + QStringLiteral(" never subscribed to the unit's notifications\n") +
                            process.errorTail());
            QThread::msleep(20);
        }
        if (subject.host) {
            if (const auto error = subject.host->attach())
                return fail(subject.name + QStringLiteral(": ") + *error + QLatin1Char('\n') +
                            process.errorTail());
        }
        m_keys = &subject.keys;
        if (!m_unit.notify(m_presses.standing()) || !awaitTyping())
            return fail(subject.name + QStringLiteral(" typed no key\n") + process.errorTail());
        for (int i = 0; i < warmUpPresses + count; ++i) {
            const auto latency = press();
            if (!latency)
                return fail(QStringLiteral("%1: press %2 gave no key or the wrong one\n%3")
                                .arg(subject.name)
                                .arg(i + 1)
                                .arg(process.errorTail()));
            if (i >= warmUpPresses)
                latencies.append(*latency);
        }
        process.stop();
        m_unit.dropLink();
        if (subject.host) {
            if (const auto error = subject.host->detach())
                return fail(subject.name + QStringLiteral(": ") + *error);
        }
        return true;
    }

private:
    int nextButton() { return (m_button = 3 - m_button); }

    bool awaitTyping()
    {
        for (int attempt = 0; attempt < readyAttempts; ++attempt) {
            if (!m_unit.notify(m_presses.press(nextButton())))
                return false;
            if (m_keys->nextDown(readyAttemptTimeoutMs)) {
                // A key of an earlier attempt that came late must not pass for the next one's.
                QThread::msleep(settle.count());
                m_keys->discardArrived();
                return true;
            }
        }
        return false;
    }

    // One press, timed from its notification to its key down; then the spacing.
    std::optional<double> press()
    {
        const int button = nextButton();
        const auto sent = m_unit.notify(m_presses.press(button));
        const auto key = m_keys->nextDown(keyTimeoutMs);
        if (!sent || !key || key->name != Di2Presses::keyOf(button))
            return std::nullopt;
        MonotonicClock::sleepUntil(
            after(key->received, spacing + std::chrono::milliseconds(m_random.bounded(spacingJitterMs))));
        return MonotonicClock::milliseconds(key->received - *sent);
    }

    TimedUnit& m_unit;
    KeyArrivals* m_keys = nullptr;
    QRandomGenerator& m_random;
    Di2Presses m_presses;
    int m_button = 2;
};

QString row(const QString& name, const Percentiles& figures)
{
    return QStringLiteral("  %1 %2 ms %3 ms %4 ms")
        .arg(name, -44)
        .arg(figures.median, 8, 'f', 3)
        .arg(figures.p90, 8, 'f', 3)
        .arg(figures.p99, 8, 'f', 3);
}

QString excess(double value)
{
    return QStringLiteral("%1%2 ms").arg(value < 0 ? QString() : QStringLiteral("+")).arg(value, 0, 'f', 3);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int presses = argc > 1 ? QByteArray(argv[1]).toInt() : 200;
    if (presses < 1) {
        QTextStream(stderr) << "usage: cogwise-bench-press-to-key [PRESSES]\n";
        return 2;
    }
    TimedUnit unit;
    KeyWindowProcess keys;
    KeyboardHost host;
    for (const auto& error : {unit.start(), keys.start()}) {
        if (error) {
            fail(*error);
            return 1;
        }
    }

    const QStringList cogwiseArguments{QStringLiteral("--headless"), QStringLiteral("--device"),
                                       TimedUnit::address(), QStringLiteral("--enable-keys")};
    const std::array<Subject, 3> subjects{
        Subject{QStringLiteral("the floor"),
                QStringLiteral(COGWISE_BENCH_PRESS_FLOOR),
                {TimedUnit::devicePath()},
                keys},
        Subject{QStringLiteral("cogwise"), QStringLiteral(COGWISE_BINARY), cogwiseArguments, keys},
        Subject{QStringLiteral("cogwise as a Bluetooth keyboard"), QStringLiteral(COGWISE_BINARY),
                cogwiseArguments + QStringList{QStringLiteral("--pair")}, host, &host}};
    QRandomGenerator random(20261213);
    Block block(unit, random);
    std::array<QList<double>, subjects.size()> latencies;
    for (int done = 0, round = 0; done < presses; done += blockPresses, ++round) {
        const int count = std::min(blockPresses, presses - done);
        // Each goes first in turn.
        for (std::size_t turn = 0; turn < subjects.size(); ++turn) {
            const std::size_t which = (std::size_t(round) + turn) % subjects.size();
            if (!block.run(subjects.at(which), count, latencies.at(which)))
                return 1;
        }
    }

    const Percentiles floorFigures = Percentiles::of(latencies[0]);
    const Percentiles cogwiseFigures = Percentiles::of(latencies[1]);
    const Percentiles keyboardFigures = Percentiles::of(latencies[2]);
    QTextStream out(stdout);
    out << "press to key, " << presses
        << " presses each: Di2 notification sent by the fake bluetoothd to key down in a focused X window\n"
        << QStringLiteral("  %1 %2    %3    %4\n")
               .arg(QString(), -44)
               .arg(QStringLiteral("median"), 8)
               .arg(QStringLiteral("p90"), 8)
               .arg(QStringLiteral("p99"), 8)
        << row(QStringLiteral("floor: one XTest key per notification"), floorFigures) << '\n'
        << row(QStringLiteral("cogwise --headless --enable-keys (XTest)"), cogwiseFigures) << '\n'
        << "  cogwise over the floor: median " << excess(cogwiseFigures.median - floorFigures.median)
        << " (goal: at most +0.100 ms), p99 " << excess(cogwiseFigures.p99 - floorFigures.p99)
        << " (goal: at most +0.500 ms)\n"
        << QStringLiteral("  worst: floor %1 ms, cogwise %2 ms\n")
               .arg(floorFigures.worst, 0, 'f', 3)
               .arg(cogwiseFigures.worst, 0, 'f', 3)
        << "  press to report: the same notification to the key down report at the fake bluetoothd's host\n"
        << row(QStringLiteral("cogwise --enable-keys --pair (Bluetooth)"), keyboardFigures) << '\n'
        << "  Bluetooth over XTest: median " << excess(keyboardFigures.median - cogwiseFigures.median)
        << ", p99 " << excess(keyboardFigures.p99 - cogwiseFigures.p99)
        << QStringLiteral("; worst %1 ms\n").arg(keyboardFigures.worst, 0, 'f', 3);
    return 0;
}
