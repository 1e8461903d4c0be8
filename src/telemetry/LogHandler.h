#pragma once

#include <QString>
#include <functional>

// Where the analytics client's own log lines go.
struct LogHandler
{
    enum class LogLevel { debug, info, error };

    LogLevel logLevel = LogLevel::info;
    std::function<void(LogLevel, const QString&)> handler;

    // Passes the message on when its level is at or above logLevel. Thread-safe as long as `handler` is.
    void log(LogLevel level, const QString& message) const
    {
        if (level >= logLevel && handler)
            handler(level, message);
    }

    static QString text(LogLevel level);
    // Writes to the system log as subsystem "Telemetry", category "LogHandler": to the journal, or
    // to standard error when `onTerminal`. The client's troubles (no network, say) are not the
    // rider's, so the terminal shows them only when asked to (--verbose).
    static LogHandler standard(LogLevel level = LogLevel::info, bool onTerminal = false);
};
