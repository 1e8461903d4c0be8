#include "platform/StandardErrorLog.h"

void StandardErrorLog::writeLine(Level level, const QString& text)
{
    // A journal keeps redacted lines as markers; on a terminal they only add noise.
    if (text == redactedText())
        return;
    switch (level) {
    case Level::debug:
        qCDebug(lcCogwise).noquote() << text;
        break;
    case Level::info:
    case Level::notice:
        qCInfo(lcCogwise).noquote() << text;
        break;
    case Level::error:
        qCCritical(lcCogwise).noquote() << text;
        break;
    }
}
