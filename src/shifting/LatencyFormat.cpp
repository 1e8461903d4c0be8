#include "shifting/LatencyFormat.h"

namespace LatencyFormat {

QString milliseconds(qint64 nanoseconds)
{
    const double ms = double(qMax<qint64>(nanoseconds, 0)) / 1e6;
    // Enough digits to tell a fast computer from a slow one, no more.
    const int decimals = ms < 1 ? 2 : ms < 100 ? 1 : 0;
    return QString::number(ms, 'f', decimals) + QStringLiteral(" ms");
}

} // namespace LatencyFormat
