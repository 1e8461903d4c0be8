#include "app/ShiftLatency.h"

#include "shifting/LatencyFormat.h"

#include <algorithm>
#include <vector>

void ShiftLatency::record(qint64 nanoseconds)
{
    if (m_samples.size() == maxSamples)
        m_samples.pop_front();
    m_samples.push_back(nanoseconds);
}

std::optional<qint64> ShiftLatency::last() const
{
    return m_samples.empty() ? std::nullopt : std::optional(m_samples.back());
}

std::optional<qint64> ShiftLatency::median() const
{
    if (m_samples.empty())
        return std::nullopt;
    std::vector<qint64> sorted(m_samples.begin(), m_samples.end());
    const auto middle = sorted.begin() + std::ptrdiff_t(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    if (sorted.size() % 2 == 1)
        return *middle;
    // The lower middle is the largest of the lower half.
    const qint64 lower = *std::max_element(sorted.begin(), middle);
    return lower + (*middle - lower) / 2;
}

QString ShiftLatency::text() const
{
    const auto lastTime = last();
    if (!lastTime)
        return {};
    return QStringLiteral("Last shift: %1 · median %2 this ride")
        .arg(LatencyFormat::milliseconds(*lastTime), LatencyFormat::milliseconds(*median()));
}
