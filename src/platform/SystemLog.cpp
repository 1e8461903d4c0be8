#include "platform/SystemLog.h"

#include "platform/StandardErrorLog.h"

#include <QFileInfo>

#ifdef COGWISE_HAVE_JOURNAL
#include "platform/JournalLog.h"
#endif

// Debug lines stay off unless asked for (--verbose, or QT_LOGGING_RULES="cogwise.debug=true").
Q_LOGGING_CATEGORY(lcCogwise, "cogwise", QtInfoMsg)

SystemLog::SystemLog()
    : m_showsPrivateText(qEnvironmentVariableIntValue("COGWISE_LOG_PRIVATE") != 0)
{}

std::unique_ptr<SystemLog> SystemLog::createDefault()
{
#ifdef COGWISE_HAVE_JOURNAL
    if (QFileInfo::exists(JournalLog::socketPath()))
        return std::make_unique<JournalLog>();
#endif
    return std::make_unique<StandardErrorLog>();
}

bool SystemLog::isEnabled(Level level) const
{
    switch (level) {
    case Level::debug:
        return lcCogwise().isDebugEnabled();
    case Level::info:
    case Level::notice:
        return lcCogwise().isInfoEnabled();
    case Level::error:
        return lcCogwise().isCriticalEnabled();
    }
    return false;
}

void SystemLog::write(Level level, const QString& text, Privacy privacy)
{
    if (!isEnabled(level))
        return;
    const bool redact = privacy == Privacy::privateText && !m_showsPrivateText;
    writeLine(level, redact ? redactedText() : text);
}
