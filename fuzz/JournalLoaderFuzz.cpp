// The analytics queue's journal of any content through its loader, with small caps so
// that inputs reach them; then one record settled, which rewrites the journal.

#include "FuzzInput.h"
#include "telemetry/SignalCache.h"

#include <QFile>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzInput::application();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = FuzzInput::folder().filePath(QStringLiteral("telemetrysignalcache"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    const SignalCache::Limits limits{8, 4'000, 1'000};
    SignalCache cache(path, std::nullopt, limits);
    if (cache.count() > limits.maximumRecords || cache.byteCount() > limits.maximumBytes)
        FuzzInput::broken("a loaded queue stays within its caps");
    cache.remove(cache.peek(1));
    SignalCache again(path, std::nullopt, limits);
    if (again.count() != cache.count())
        FuzzInput::broken("the rewritten journal reads back whole");
    return 0;
}
