#pragma once

#include "platform/SystemLog.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <atomic>
#include <memory>

class DebugLogService;

// The one entry point for log lines. Call sites never wait: each line is handed to
// the logger's own thread, which writes it to the system log and passes it back to
// the debug log on the GUI thread. Lines keep the order in which they were issued.
class Logger
{
public:
    explicit Logger(DebugLogService& debugLog,
                    std::unique_ptr<SystemLog> systemLog = SystemLog::createDefault());
    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    static Logger& shared();

    void logDebug(const QString& message, const QString& category = {});
    void logInfo(const QString& message, const QString& category = {});
    void logDefault(const QString& message, const QString& category = {});
    void logError(const QString& message, const QString& category = {});

    // Replaces the system log handle (null: debug log only). Takes effect for
    // lines issued after this call.
    void setSystemLog(std::unique_ptr<SystemLog> systemLog);
    void setLoggingEnabled(bool enabled);
    // From any thread: whether lines are taken at all, so that callers can spare formatting them.
    bool isLoggingEnabled() const { return m_accepting.load(std::memory_order_relaxed); }

    // Blocks until every line issued before this call has been written and handed
    // to the debug log's thread. Never call it from the logger's own thread.
    void flush();

private:
    void submit(SystemLog::Level level, const QString& message, const QString& category);
    void write(SystemLog::Level level, const QString& message, const QString& category);

    DebugLogService& m_debugLog;
    // Touched only on m_thread.
    std::unique_ptr<SystemLog> m_systemLog;
    bool m_enableLogging = true;
    // The same, read by the callers: a line nobody will write never crosses to the thread.
    std::atomic_bool m_accepting = true;

    QThread m_thread;
    QObject* m_context; // lives on m_thread; the receiver of queued lines
};
