// Per-key cost of the portal sink beside XTest's, in the same run: the GUI-thread time of one
// KeySink::post(), and how fast the posted keys reach their receiver. XTestKeySink types on the
// X server in DISPLAY into the bench's key window; PortalKeySink types through the fake
// RemoteDesktop portal (python-dbusmock on a private bus) once it has consented. Keys go out
// back to back in blocks, the two sinks taking turns, so that a busy moment falls on both.
//   cogwise-bench-key-cost [PRESSES]     presses of each, down and up (default 500)

#include "KeyWindowProcess.h"
#include "MonotonicClock.h"
#include "Percentiles.h"
#include "platform/Defaults.h"
#include "shifting/keysinks/PortalKeySink.h"
#include "shifting/keysinks/XTestKeySink.h"
#include "support/FakePortal.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

namespace {

constexpr int blockPresses = 50;
// Not counted: the first keys of each sink fill caches on both ends.
constexpr int warmUpPresses = 10;
constexpr int timeoutMs = 20000;

struct Figures
{
    QList<double> postMicroseconds;
    qint64 events = 0;
    qint64 deliveryNanoseconds = 0;
};

bool fail(const QString& what)
{
    QTextStream(stderr) << "bench: " << what << '\n';
    return false;
}

// Alternating, so that a key out of step shows.
VirtualKey keyOf(int press)
{
    return press % 2 ? VirtualKey::period() : VirtualKey::comma();
}

// Latin-1 keysyms are their characters.
int keysymOf(int press)
{
    return press % 2 ? '.' : ',';
}

// Posts the block's keys back to back, timing each call; the time of the first post.
std::optional<qint64> post(KeySink& sink, int presses, Figures* figures)
{
    const qint64 first = MonotonicClock::now();
    for (int press = 0; press < presses; ++press) {
        for (const auto direction : {KeyDirection::down, KeyDirection::up}) {
            const qint64 before = MonotonicClock::now();
            const bool posted = sink.post(keyOf(press), direction);
            const qint64 after = MonotonicClock::now();
            if (!posted) {
                fail(sink.name() + QStringLiteral(": ") + sink.lastError());
                return std::nullopt;
            }
            if (figures)
                figures->postMicroseconds.append(double(after - before) / 1e3);
        }
    }
    return first;
}

// Delivered once the key window has read the block's last key up.
bool xtestBlock(XTestKeySink& sink, KeyWindowProcess& window, int presses, Figures* figures)
{
    const auto first = post(sink, presses, figures);
    if (!first)
        return false;
    qint64 last = 0;
    for (int event = 0; event < 2 * presses; ++event) {
        const auto key = window.next(timeoutMs);
        if (!key || key->down != (event % 2 == 0) || key->name != keyOf(event / 2).name())
            return fail(
                QStringLiteral("xtest: key event %1 of the block missing or out of step").arg(event + 1));
        last = key->received;
    }
    if (figures) {
        figures->events += 2 * presses;
        figures->deliveryNanoseconds += last - *first;
    }
    return true;
}

// Delivered once the fake portal has recorded the block's last key; `recorded` counts all so far.
bool portalBlock(PortalKeySink& sink, const FakePortal& desktop, int presses, qsizetype& recorded,
                 Figures* figures)
{
    const auto first = post(sink, presses, figures);
    if (!first)
        return false;
    const qsizetype expected = recorded + 2 * presses;
    qint64 delivered = 0;
    QList<FakePortal::KeyEvent> events;
    const bool arrived = QTest::qWaitFor(
        [&] {
            // A cheap query on the sink's own connection, behind its keys: the fake handles calls
            // in order, so its answer marks them all handled without waiting for the long list.
            desktop.sessions();
            delivered = MonotonicClock::now();
            events = desktop.keyEvents();
            return events.size() >= expected;
        },
        timeoutMs);
    if (!arrived)
        return fail(
            QStringLiteral("portal: the fake recorded %1 of %2 key events").arg(events.size()).arg(expected));
    for (qsizetype event = 0; event < 2 * presses; ++event) {
        const FakePortal::KeyEvent want{QStringLiteral("keysym"), keysymOf(int(event / 2)),
                                        event % 2 ? 0u : 1u};
        if (events.at(recorded + event) != want)
            return fail(QStringLiteral("portal: key event %1 of the block out of step").arg(event + 1));
    }
    recorded = expected;
    if (figures) {
        figures->events += 2 * presses;
        figures->deliveryNanoseconds += delivered - *first;
    }
    return true;
}

double perSecond(const Figures& figures)
{
    return figures.deliveryNanoseconds > 0
               ? double(figures.events) * 1e9 / double(figures.deliveryNanoseconds)
               : 0;
}

QString row(const QString& name, const Percentiles& post, double delivered)
{
    return QStringLiteral("  %1 %2 us %3 us %4 events/s\n")
        .arg(name, -40)
        .arg(post.median, 9, 'f', 2)
        .arg(post.p99, 9, 'f', 2)
        .arg(delivered, 10, 'f', 0);
}

QString ratio(double portal, double xtest)
{
    return xtest > 0 ? QStringLiteral("%1x").arg(portal / xtest, 0, 'f', 2) : QStringLiteral("-");
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int presses = argc > 1 ? QByteArray(argv[1]).toInt() : 500;
    if (presses < 1) {
        QTextStream(stderr) << "usage: cogwise-bench-key-cost [PRESSES]\n";
        return 2;
    }
    if (const auto missing = FakePortal::missing()) {
        fail(*missing);
        return 1;
    }

    XTestKeySink xtest;
    if (const auto reason = xtest.unavailableReason()) {
        fail(QStringLiteral("xtest: ") + *reason);
        return 1;
    }
    KeyWindowProcess window;
    if (const auto error = window.start()) {
        fail(*error);
        return 1;
    }

    FakePortal desktop;
    if (const auto error = desktop.start(std::nullopt, FakePortal::RemoteDesktop{})) {
        fail(*error);
        return 1;
    }
    QTemporaryDir home;
    Defaults settings(home.filePath(QStringLiteral("bench.conf")));
    PortalKeySink portal(desktop.bus(), settings);
    portal.askConsent();
    if (!QTest::qWaitFor([&] { return portal.consent() == KeySink::Consent::granted; }, timeoutMs)) {
        fail(QStringLiteral("portal: no consent: ") + portal.unavailableReason().value_or(QString()));
        return 1;
    }

    qsizetype recorded = 0;
    if (!xtestBlock(xtest, window, warmUpPresses, nullptr) ||
        !portalBlock(portal, desktop, warmUpPresses, recorded, nullptr))
        return 1;
    Figures xtestFigures;
    Figures portalFigures;
    for (int done = 0, round = 0; done < presses; done += blockPresses, ++round) {
        const int count = std::min(blockPresses, presses - done);
        const bool xtestFirst = round % 2 == 0;
        const auto runXTest = [&] { return xtestBlock(xtest, window, count, &xtestFigures); };
        const auto runPortal = [&] { return portalBlock(portal, desktop, count, recorded, &portalFigures); };
        if (!(xtestFirst ? runXTest() && runPortal() : runPortal() && runXTest()))
            return 1;
    }

    const Percentiles xtestPost = Percentiles::of(xtestFigures.postMicroseconds);
    const Percentiles portalPost = Percentiles::of(portalFigures.postMicroseconds);
    const double xtestRate = perSecond(xtestFigures);
    const double portalRate = perSecond(portalFigures);
    QTextStream out(stdout);
    out << "key sink cost, " << presses << " presses each (" << 2 * presses
        << " key events), back to back in blocks of " << blockPresses << ", the sinks taking turns\n"
        << "  post: GUI-thread time of one KeySink::post(); delivered: a block's first post to its last\n"
        << "  key event at the receiver, XTest's a focused X client, the portal's the fake portal\n"
        << "  (python-dbusmock: its rate is a floor set by the fake, not the desktop's)\n"
        << QStringLiteral("  %1 %2    %3    %4\n")
               .arg(QString(), -40)
               .arg(QStringLiteral("median"), 9)
               .arg(QStringLiteral("p99"), 9)
               .arg(QStringLiteral("delivered"), 10)
        << row(QStringLiteral("xtest (XTEST on %1)").arg(QString::fromLocal8Bit(qgetenv("DISPLAY"))),
               xtestPost, xtestRate)
        << row(QStringLiteral("portal (NotifyKeyboardKeysym, fake)"), portalPost, portalRate)
        << QStringLiteral("  %1 %2    %3    %4\n")
               .arg(QStringLiteral("portal / xtest"), -40)
               .arg(ratio(portalPost.median, xtestPost.median), 9)
               .arg(ratio(portalPost.p99, xtestPost.p99), 9)
               .arg(ratio(portalRate, xtestRate), 10);
    return 0;
}
