#pragma once

#include <QString>

// How a press-to-key time is written for the rider: "0.31 ms", "4.2 ms", "180 ms".
namespace LatencyFormat {

QString milliseconds(qint64 nanoseconds);

} // namespace LatencyFormat
