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
    // Any answer that does not blame the batch: transport errors, 3xx (never followed
    // for a POST), 401, 403, 404, 408, 429, 5xx... The batch stays at the head.
    retry,
    // 400, 413, 422: the service blames the batch. Halve it until the record it
    // refuses is alone; only that record is dropped.
    split,
};

// statusCode 0 stands for a transport error (no answer, reset, time-out).
Outcome classify(int statusCode);

// Doubling from `minimum` with each consecutive failure (1 for the first), capped
// at `maximum`, spread by ±20 % with `random` in [0, 1).
std::chrono::milliseconds backoff(int failures, std::chrono::milliseconds minimum,
                                  std::chrono::milliseconds maximum, double random);

// A Retry-After header (delay-seconds or an HTTP date) as a delay from `now`, at most
// `longest`: a server may name any number, and only the caller's cap is meaningful.
std::optional<std::chrono::milliseconds> retryAfter(const QByteArray& header, const QDateTime& now,
                                                    std::chrono::milliseconds longest);

// The pause before the next attempt: the back-off, or the service's Retry-After when it
// asks for longer, within [minimum, longestRetryAfter].
std::chrono::milliseconds retryDelay(int failures, std::optional<std::chrono::milliseconds> retryAfter,
                                     std::chrono::milliseconds minimum, std::chrono::milliseconds maximum,
                                     std::chrono::milliseconds longestRetryAfter, double random);

} // namespace DeliveryPolicy
