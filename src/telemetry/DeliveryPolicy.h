#pragma once

#include <QByteArray>
#include <QDateTime>
#include <chrono>
#include <optional>

// What to do with a batch after the service answered, and how long to wait
// before trying again.
namespace DeliveryPolicy {

enum class Outcome {
    delivered, // 2xx
    retry,     // transport error, 408, 429, 5xx but 501 and 505: the batch stays at the head
    split,     // 413: send halves; a single record still refused is dropped
    drop,      // any other answer: the service will never take this batch
};

// statusCode 0 stands for a transport error (no answer, reset, time-out).
Outcome classify(int statusCode);

// Doubling from `minimum` with each consecutive failure (1 for the first), capped
// at `maximum`, spread by ±20 % with `random` in [0, 1).
std::chrono::milliseconds backoff(int failures, std::chrono::milliseconds minimum,
                                  std::chrono::milliseconds maximum, double random);

// A Retry-After header (seconds or an HTTP date) as a delay from `now`.
std::optional<std::chrono::milliseconds> retryAfter(const QByteArray& header, const QDateTime& now);

} // namespace DeliveryPolicy
