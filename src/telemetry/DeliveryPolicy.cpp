#include "telemetry/DeliveryPolicy.h"

#include <algorithm>
#include <cmath>

namespace DeliveryPolicy {

Outcome classify(int statusCode)
{
    if (statusCode >= 200 && statusCode <= 299)
        return Outcome::delivered;
    if (statusCode == 400 || statusCode == 413 || statusCode == 422)
        return Outcome::split;
    return Outcome::retry;
}

std::chrono::milliseconds backoff(int failures, std::chrono::milliseconds minimum,
                                  std::chrono::milliseconds maximum, double random)
{
    const double doublings = std::min(std::max(failures, 1) - 1, 30);
    const double base = std::min(double(minimum.count()) * std::pow(2.0, doublings), double(maximum.count()));
    const double spread = 0.8 + 0.4 * std::clamp(random, 0.0, 1.0);
    return std::chrono::milliseconds{std::llround(base * spread)};
}

std::optional<std::chrono::milliseconds> retryAfter(const QByteArray& header, const QDateTime& now,
                                                    std::chrono::milliseconds longest)
{
    const QByteArray value = header.trimmed();
    if (value.isEmpty() || longest.count() < 0)
        return std::nullopt;
    if (std::all_of(value.cbegin(), value.cend(), [](char c) { return c >= '0' && c <= '9'; })) {
        // Digit by digit, stopping at the cap: no number of digits can overflow.
        const qint64 limitSeconds = longest.count() / 1000 + 1;
        qint64 seconds = 0;
        for (const char digit : value) {
            seconds = seconds * 10 + (digit - '0');
            if (seconds >= limitSeconds)
                return longest;
        }
        return std::min(std::chrono::milliseconds{seconds * 1000}, longest);
    }
    // HTTP dates end in "GMT", which the RFC 2822 parser does not take.
    QString text = QString::fromLatin1(value);
    if (text.endsWith(QLatin1String(" GMT")))
        text = text.chopped(4) + QStringLiteral(" +0000");
    const QDateTime date = QDateTime::fromString(text, Qt::RFC2822Date);
    if (!date.isValid() || !now.isValid())
        return std::nullopt;
    return std::clamp(std::chrono::milliseconds{now.msecsTo(date)}, std::chrono::milliseconds{0}, longest);
}

std::chrono::milliseconds retryDelay(int failures, std::optional<std::chrono::milliseconds> retryAfter,
                                     std::chrono::milliseconds minimum, std::chrono::milliseconds maximum,
                                     std::chrono::milliseconds longestRetryAfter, double random)
{
    const auto delay = backoff(failures, minimum, maximum, random);
    if (!retryAfter)
        return delay;
    return std::max(delay, std::clamp(*retryAfter, minimum, std::max(minimum, longestRetryAfter)));
}

} // namespace DeliveryPolicy
