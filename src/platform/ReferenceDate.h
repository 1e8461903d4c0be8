#pragma once

#include <QDateTime>
#include <optional>

// Dates in stored JSON are seconds since 2001-01-01 00:00:00 UTC, fractions kept.
namespace ReferenceDate {

double secondsSinceReferenceDate(const QDateTime& dateTime);

// Nothing for numbers that name no representable date (NaN, infinities, far out of range).
std::optional<QDateTime> fromSecondsSinceReferenceDate(double seconds);

} // namespace ReferenceDate
