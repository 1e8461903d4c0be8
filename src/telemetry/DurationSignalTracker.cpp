#include "telemetry/DurationSignalTracker.h"

#include "telemetry/DefaultSignalPayload.h"

#include <cmath>

DurationSignalTracker::DurationSignalTracker(Clock clock)
    : m_clock(std::move(clock))
{}

void DurationSignalTracker::startSignal(const QString& name, const Parameters& parameters,
                                        bool includeBackgroundTime)
{
    QMutexLocker lock(&m_mutex);
    m_startedSignals.insert(name, {m_clock(), parameters, includeBackgroundTime});
}

std::optional<std::pair<double, DurationSignalTracker::Parameters>>
DurationSignalTracker::stopSignal(const QString& name)
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_startedSignals.constFind(name);
    if (it == m_startedSignals.cend())
        return std::nullopt;
    const CachedData data = *it;
    m_startedSignals.erase(it);
    return std::pair{double(data.startTime.msecsTo(m_clock())) / 1000.0, data.parameters};
}

void DurationSignalTracker::stopAndSendSignal(const QString& name, const Parameters& parameters,
                                              const SendSignal& send)
{
    const auto stopped = stopSignal(name);
    if (!stopped)
        return;
    // Whole milliseconds.
    const double seconds = std::trunc(stopped->first * 1000.0) / 1000.0;
    Parameters all{
        {QStringLiteral("Telemetry.Signal.durationInSeconds"), DefaultSignalPayload::doubleText(seconds)}};
    all.insert(stopped->second);
    all.insert(parameters);
    send(name, all);
}

void DurationSignalTracker::applicationDidResignActive()
{
    QMutexLocker lock(&m_mutex);
    m_lastEnteredBackground = m_clock();
}

void DurationSignalTracker::applicationWillBecomeActive()
{
    QMutexLocker lock(&m_mutex);
    if (!m_lastEnteredBackground)
        return;
    const qint64 inactiveMs = m_lastEnteredBackground->msecsTo(m_clock());
    for (CachedData& data : m_startedSignals) {
        if (!data.includeBackgroundTime)
            data.startTime = data.startTime.addMSecs(inactiveMs);
    }
    m_lastEnteredBackground.reset();
}
