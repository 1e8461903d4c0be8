// A process that uses the analytics client the way Cogwise does, for tests that
// kill it: telemetry-child BASE_URL CACHE_DIR SUITE FIRST_SEQ COUNT
// It queues signals "rideEvent" with seq = FIRST_SEQ.., prints "queued N" once
// signal N is on disk, and keeps sending until it is killed.

#include "telemetry/SignalManager.h"
#include "telemetry/TelemetryManager.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 6)
        return 2;

    TelemetryManagerConfiguration configuration(QStringLiteral("child"), QString(), QUrl(args.at(1)));
    configuration.cacheDirectory = args.at(2);
    configuration.privateSuitePath = args.at(3);
    configuration.sendInterval = std::chrono::milliseconds{40};
    configuration.minimumBackoff = std::chrono::milliseconds{40};
    configuration.maximumBackoff = std::chrono::milliseconds{200};
    configuration.requestTimeout = std::chrono::milliseconds{2000};
    configuration.sendNewSessionBeganSignal = false;
    configuration.sessionStatsEnabled = false;
    configuration.logHandler = std::nullopt;
    TelemetryManager manager(configuration);

    int next = args.at(4).toInt();
    const int last = next + args.at(5).toInt() - 1;
    QTimer timer;
    timer.setInterval(std::chrono::milliseconds{5});
    QObject::connect(&timer, &QTimer::timeout, &app, [&] {
        if (next > last) {
            timer.stop();
            return;
        }
        const int seq = next++;
        manager.signal(QStringLiteral("rideEvent"), {{QStringLiteral("seq"), QString::number(seq)}});
        // Runs after the hand-over queued by signal(); flush() returns once the record is journaled.
        QMetaObject::invokeMethod(
            &app,
            [&manager, seq] {
                manager.signalManager().flush();
                std::printf("queued %d\n", seq);
                std::fflush(stdout);
            },
            Qt::QueuedConnection);
    });
    timer.start();
    return app.exec();
}
