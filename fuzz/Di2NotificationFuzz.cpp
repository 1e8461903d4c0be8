// A stream of Di2 notification values through the decoder and the press detection, as the
// unit's data characteristic delivers them. Input: values, each preceded by its length.

#include "FuzzInput.h"
#include "di2/Di2Parser.h"
#include "diagnostics/DebugLogService.h"
#include "diagnostics/Logger.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzInput::application();
    Logger::shared().setSystemLog(nullptr);
    // Their lines are not what is fuzzed here, and a debug log that keeps entries would look like a leak.
    Logger::shared().setLoggingEnabled(false);
    DebugLogService::shared().setLoggingEnabled(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Di2Parser parser;
    int presses = 0;
    QObject::connect(&parser, &Di2Parser::channelReceived,
                     [&presses](const QList<int>& pressed, const Di2Channel&) {
                         for (const int button : pressed) {
                             if (button < 1 || button > 4)
                                 FuzzInput::broken("only buttons 1 to 4 are pressed");
                         }
                         presses += int(pressed.size());
                     });
    QObject::connect(&parser, &Di2Parser::batteryLevelUpdated, [](int level) {
        if (level < 0 || level > 100)
            FuzzInput::broken("a battery level is 0..100");
    });
    size_t at = 0;
    while (at < size) {
        const size_t length = std::min<size_t>(data[at], size - at - 1);
        const QByteArray value = FuzzInput::bytes(data + at + 1, length);
        at += 1 + length;
        // One in eight values goes to the battery characteristic instead.
        if (length > 0 && (value.at(0) & 0x07) == 0x07)
            parser.processBatteryLevel(value);
        else
            parser.handle(parser.parse(value));
    }
    // Everything queued by this input is done before the next: libFuzzer's leak check
    // compares what each input allocated with what it freed.
    QCoreApplication::sendPostedEvents();
    Logger::shared().flush();
    QCoreApplication::sendPostedEvents();
    return 0;
}
