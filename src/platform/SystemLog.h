#pragma once

#include "platform/LogCategories.h"

#include <QString>
#include <memory>

// The platform's system log: one handle for the whole application. Lines marked
// private are redacted unless private logging is switched on
// (COGWISE_LOG_PRIVATE=1), because they may carry device identifiers.
class SystemLog
{
public:
    // The four levels of the unified log; `notice` is its "default" level.
    enum class Level { debug, info, notice, error };
    enum class Privacy { publicText, privateText };

    SystemLog();
    virtual ~SystemLog() = default;
    SystemLog(const SystemLog&) = delete;
    SystemLog& operator=(const SystemLog&) = delete;

    // The journal when its socket exists, else standard error.
    static std::unique_ptr<SystemLog> createDefault();
    // The journal when its socket exists, else none.
    static std::unique_ptr<SystemLog> createJournal();

    static QString redactedText() { return QStringLiteral("<private>"); }

    bool isEnabled(Level level, const QLoggingCategory& category = LogCategories::general()) const;
    void write(Level level, const QString& text, Privacy privacy,
               const QLoggingCategory& category = LogCategories::general());
    void setShowsPrivateText(bool shows) { m_showsPrivateText = shows; }

protected:
    virtual void writeLine(Level level, const QLoggingCategory& category, const QString& text) = 0;

private:
    bool m_showsPrivateText;
};
