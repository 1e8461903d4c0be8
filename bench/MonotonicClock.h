#pragma once

#include <QtGlobal>
#include <ctime>

// CLOCK_MONOTONIC in nanoseconds: the one clock of the key window, the fake's timed
// notifications and Cogwise's frame probe, so that their times can be subtracted.
namespace MonotonicClock {

inline qint64 now()
{
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);
    return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

inline void sleepUntil(qint64 nanoseconds)
{
    const timespec until{time_t(nanoseconds / 1'000'000'000), long(nanoseconds % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
    }
}

constexpr double milliseconds(qint64 nanoseconds)
{
    return double(nanoseconds) / 1e6;
}

} // namespace MonotonicClock
