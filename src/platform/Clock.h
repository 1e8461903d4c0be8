#pragma once

#include <QDateTime>
#include <functional>

// Source of wall-clock time. Injected where time is recorded, so that tests and
// capture replays decide what "now" is.
using Clock = std::function<QDateTime()>;

inline QDateTime systemNow()
{
    return QDateTime::currentDateTime();
}
