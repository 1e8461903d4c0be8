#pragma once

#include <QString>
#include <deque>
#include <optional>

// The press-to-key times of the ride under way: from a press's Bluetooth value reaching
// Cogwise to its first key handed to the system.
class ShiftLatency
{
public:
    // A long ride's presses; beyond, the oldest make room.
    static constexpr std::size_t maxSamples = 10000;

    void record(qint64 nanoseconds);
    // A new ride: a unit connected.
    void reset() { m_samples.clear(); }

    std::optional<qint64> last() const;
    std::optional<qint64> median() const;
    // "Last shift: 0.31 ms · median 0.30 ms this ride"; empty before the first timed press.
    QString text() const;

private:
    std::deque<qint64> m_samples;
};
