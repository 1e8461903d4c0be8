#include "platform/StandardErrorLog.h"

void StandardErrorLog::writeLine(Level level, const QLoggingCategory& category, const QString& text)
{
    // A journal keeps redacted lines as markers; on a terminal they only add noise.
    if (text == redactedText())
        return;
    switch (level) {
    case Level::debug:
        qCDebug(category).noquote() << text;
        break;
    case Level::info:
    case Level::notice:
        qCInfo(category).noquote() << text;
        break;
    case Level::error:
        qCCritical(category).noquote() << text;
        break;
    }
}
