#include "telemetry/LogHandler.h"

#include "platform/StandardErrorLog.h"
#include "platform/SystemLog.h"

#include <QMutex>

QString LogHandler::text(LogLevel level)
{
    switch (level) {
    case LogLevel::debug:
        return QStringLiteral("DEBUG");
    case LogLevel::info:
        return QStringLiteral("INFO");
    case LogLevel::error:
        return QStringLiteral("ERROR");
    }
    return {};
}

LogHandler LogHandler::standard(LogLevel level, bool onTerminal)
{
    struct Sink
    {
        QMutex mutex; // the handler is called from the sender's thread and from callers of signal()
        std::unique_ptr<SystemLog> log;
    };
    auto sink = std::make_shared<Sink>();
    sink->log = onTerminal ? std::make_unique<StandardErrorLog>() : SystemLog::createJournal();
    if (!sink->log)
        return {level, {}};
    return {level, [sink](LogLevel messageLevel, const QString& message) {
                const SystemLog::Level systemLevel = messageLevel == LogLevel::debug ? SystemLog::Level::debug
                                                     : messageLevel == LogLevel::info
                                                         ? SystemLog::Level::info
                                                         : SystemLog::Level::error;
                // Debug lines carry signal payloads: private, like the application's own.
                const auto privacy = messageLevel == LogLevel::debug ? SystemLog::Privacy::privateText
                                                                     : SystemLog::Privacy::publicText;
                QMutexLocker lock(&sink->mutex);
                sink->log->write(systemLevel, QStringLiteral("[Telemetry] [LogHandler] ") + message, privacy,
                                 LogCategories::forSource(QStringLiteral("Telemetry")));
            }};
}
