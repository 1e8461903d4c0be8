#include "platform/ReferenceDate.h"

#include <cmath>

namespace ReferenceDate {

namespace {

const qint64 referenceMSecs = QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();

// Well inside what QDateTime represents; no real profile or signal is dated beyond it.
constexpr double maximumSeconds = 1.0e11;

} // namespace

double secondsSinceReferenceDate(const QDateTime& dateTime)
{
    return double(dateTime.toMSecsSinceEpoch() - referenceMSecs) / 1000.0;
}

std::optional<QDateTime> fromSecondsSinceReferenceDate(double seconds)
{
    if (!std::isfinite(seconds) || std::fabs(seconds) > maximumSeconds)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(referenceMSecs + std::llround(seconds * 1000.0), Qt::UTC);
}

} // namespace ReferenceDate
