// An answer of the analytics service through the delivery policy: its status code, its
// Retry-After header and the sender's state. Input: two bytes of status, a failure count,
// a random byte, then the header's value up to a line break; the rest is the body.

#include "FuzzInput.h"
#include "telemetry/DeliveryPolicy.h"
#include "telemetry/TelemetryError.h"

using std::chrono::milliseconds;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    const int status = (data[0] << 8 | data[1]) % 1000;
    const int failures = data[2];
    const double random = data[3] / 256.0;
    const QByteArray rest = FuzzInput::bytes(data + 4, size - 4);
    const qsizetype lineBreak = rest.indexOf('\n');
    const QByteArray header = lineBreak < 0 ? rest : rest.first(lineBreak);

    const milliseconds minimum{10'000}, maximum{300'000}, longest{3'600'000};
    const QDateTime now(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);
    const auto outcome = DeliveryPolicy::classify(status);
    const bool blamesBatch = status == 400 || status == 413 || status == 422;
    if ((outcome == DeliveryPolicy::Outcome::split) != blamesBatch)
        FuzzInput::broken("only 400, 413 and 422 lead towards a drop");
    TelemetryError::forStatus(status).description();

    const auto retryAfter = DeliveryPolicy::retryAfter(header, now, longest);
    if (retryAfter && (retryAfter->count() < 0 || *retryAfter > longest))
        FuzzInput::broken("Retry-After stays within [0, the cap]");
    const auto delay = DeliveryPolicy::retryDelay(failures, retryAfter, minimum, maximum, longest, random);
    if (delay < milliseconds{8'000} || delay > longest)
        FuzzInput::broken("the pause stays between the shortest back-off and the cap");
    return 0;
}
