#include "platform/JournalLog.h"

#include "platform/AppIdentity.h"

#include <syslog.h>
#include <systemd/sd-journal.h>

namespace {

int priorityOf(SystemLog::Level level)
{
    switch (level) {
    case SystemLog::Level::debug:
        return LOG_DEBUG;
    case SystemLog::Level::info:
        return LOG_INFO;
    case SystemLog::Level::notice:
        return LOG_NOTICE;
    case SystemLog::Level::error:
        return LOG_ERR;
    }
    return LOG_INFO;
}

} // namespace

void JournalLog::writeLine(Level level, const QLoggingCategory& category, const QString& text)
{
    static const QByteArray subsystem = AppIdentity::applicationId().toUtf8();
    const QByteArray message = text.toUtf8();
    sd_journal_send("MESSAGE=%s", message.constData(), "PRIORITY=%i", priorityOf(level),
                    "SYSLOG_IDENTIFIER=cogwise", "COGWISE_SUBSYSTEM=%s", subsystem.constData(),
                    "COGWISE_CATEGORY=%s", category.categoryName(), nullptr);
}
