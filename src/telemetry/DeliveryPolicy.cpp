#include "telemetry/DeliveryPolicy.h"

#include <cmath>

namespace DeliveryPolicy {

Outcome classify(int statusCode)
{
    if (statusCode >= 200 && statusCode <= 299)
        return Outcome::delivered;
    if (statusCode == 0 || statusCode == 408 || statusCode == 429)
        return Outcome::retry;
    if (statusCode == 413)
        return Outcome::split;
    if (statusCode >= 500 && statusCode <= 599 && statusCode != 501 && statusCode != 505)
        return Outcome::retry;
    return Outcome::drop;
}

std::chrono::milliseconds backoff(int failures, std::chrono::milliseconds minimum,
                                  std::chrono::milliseconds maximum, double random)
{
    const double doublings = std::min(std::max(failures, 1) - 1, 30);
    const double base = std::min(double(minimum.count()) * std::pow(2.0, doublings), double(maximum.count()));
    const double spread = 0.8 + 0.4 * std::clamp(random, 0.0, 1.0);
    return std::chrono::milliseconds{std::llround(base * spread)};
}

std::optional<std::chrono::milliseconds> retryAfter(const QByteArray& header, const QDateTime& now)
{
    const QByteArray value = header.trimmed();
    if (value.isEmpty())
        return std::nullopt;
    bool isNumber = false;
    const qint64 seconds = value.toLongLong(&isNumber);
    if (isNumber)
        return seconds < 0 ? std::nullopt : std::optional(std::chrono::milliseconds{seconds * 1000});
    // HTTP dates end in "GMT", which the RFC 2822 parser does not take.
    QString text = QString::fromLatin1(value);
    if (text.endsWith(QLatin1String(" GMT")))
        text = text.chopped(4) + QStringLiteral(" +0000");
    const QDateTime date = QDateTime::fromString(text, Qt::RFC2822Date);
    if (!date.isValid())
        return std::nullopt;
    return std::chrono::milliseconds{std::max<qint64>(0, now.msecsTo(date))};
}

} // namespace DeliveryPolicy
