#include "platform/SystemLog.h"

#include "platform/StandardErrorLog.h"

#include <QFileInfo>

#ifdef COGWISE_HAVE_JOURNAL
#include "platform/JournalLog.h"
#endif

SystemLog::SystemLog()
    : m_showsPrivateText(qEnvironmentVariableIntValue("COGWISE_LOG_PRIVATE") != 0)
{}

std::unique_ptr<SystemLog> SystemLog::createDefault()
{
    if (auto journal = createJournal())
        return journal;
    return std::make_unique<StandardErrorLog>();
}

std::unique_ptr<SystemLog> SystemLog::createJournal()
{
#ifdef COGWISE_HAVE_JOURNAL
    if (QFileInfo::exists(JournalLog::socketPath()))
        return std::make_unique<JournalLog>();
#endif
    return nullptr;
}

bool SystemLog::isEnabled(Level level, const QLoggingCategory& category) const
{
    switch (level) {
    case Level::debug:
        return category.isDebugEnabled();
    case Level::info:
    case Level::notice:
        return category.isInfoEnabled();
    case Level::error:
        return category.isCriticalEnabled();
    }
    return false;
}

void SystemLog::write(Level level, const QString& text, Privacy privacy, const QLoggingCategory& category)
{
    if (!isEnabled(level, category))
        return;
    const bool redact = privacy == Privacy::privateText && !m_showsPrivateText;
    writeLine(level, category, redact ? redactedText() : text);
}
