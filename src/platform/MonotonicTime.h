#pragma once

#include <QtGlobal>
#include <chrono>

// Nanoseconds on the monotonic clock, for the time from a press's Bluetooth value to its first
// key: immune to the wall clock being set. Zero stands for "not known".
namespace MonotonicTime {

inline qint64 nowNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace MonotonicTime
