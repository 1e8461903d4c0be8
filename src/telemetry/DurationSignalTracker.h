#pragma once

#include "platform/Clock.h"

#include <QMap>
#include <QMutex>
#include <QString>
#include <optional>

// Measures named durations and reports each as a signal when it stops.
// Callable from any thread.
class DurationSignalTracker
{
public:
    using Parameters = QMap<QString, QString>;
    using SendSignal = std::function<void(const QString& name, const Parameters& parameters)>;

    explicit DurationSignalTracker(Clock clock = systemNow);

    void startSignal(const QString& name, const Parameters& parameters = {},
                     bool includeBackgroundTime = false);
    // Elapsed seconds and the start parameters; nothing when `name` was not started.
    std::optional<std::pair<double, Parameters>> stopSignal(const QString& name);
    // Sends `name` with "Telemetry.Signal.durationInSeconds", the start parameters and then `parameters`.
    void stopAndSendSignal(const QString& name, const Parameters& parameters, const SendSignal& send);

    void applicationDidResignActive();
    void applicationWillBecomeActive();

private:
    struct CachedData
    {
        QDateTime startTime;
        Parameters parameters;
        bool includeBackgroundTime = false;
    };

    Clock m_clock;
    QMutex m_mutex;
    QMap<QString, CachedData> m_startedSignals;
    std::optional<QDateTime> m_lastEnteredBackground;
};
