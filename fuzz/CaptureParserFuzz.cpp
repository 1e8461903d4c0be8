// A capture file, as a rider sends it with a bug report, through the capture parser.

#include "FuzzInput.h"
#include "di2/Di2Capture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto parsed = Di2Capture::parse(QByteArrayView(data, static_cast<qsizetype>(size)));
    if (const auto* error = std::get_if<Di2CaptureError>(&parsed)) {
        if (error->lineNumber < 1)
            FuzzInput::broken("an error names its line");
        for (const QChar c : error->message) {
            if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F))
                FuzzInput::broken("an error message holds no control character");
        }
        return 0;
    }
    qint64 previous = 0;
    for (const Di2CaptureRecord& record : std::get<QList<Di2CaptureRecord>>(parsed)) {
        if (record.milliseconds < previous || record.milliseconds > Di2Capture::longestCapture.count())
            FuzzInput::broken("times run forward, within the longest capture");
        if (record.characteristic.size() != 4)
            FuzzInput::broken("a characteristic is four hex digits");
        previous = record.milliseconds;
    }
    return 0;
}
