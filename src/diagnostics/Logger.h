#pragma once

#include "platform/SystemLog.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>
#include <atomic>
#include <memory>
#include <vector>

class DebugLogService;

// The one entry point for log lines. Call sites never wait: each line is handed to
// the logger's own thread, which writes it to the system log and passes it back to
// the debug log on the GUI thread. Lines keep the order in which they were issued.
// Lines issued on the GUI thread are handed over once its other queued work is done:
// waking the logger's thread in the middle of a press would delay the press's key.
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
    struct Line
    {
        SystemLog::Level level;
        QString message;
        QString category;
    };

    void submit(SystemLog::Level level, const QString& message, const QString& category);
    void write(const Line& line);
    // Hands the GUI thread's waiting lines to the logger's thread.
    void handOver();

    DebugLogService& m_debugLog;
    // Touched only on m_thread.
    std::unique_ptr<SystemLog> m_systemLog;
    bool m_enableLogging = true;
    // The same, read by the callers: a line nobody will write never crosses to the thread.
    std::atomic_bool m_accepting = true;

    QThread m_thread;
    QObject* m_context; // lives on m_thread; the receiver of queued lines

    // Touched only on the GUI thread.
    std::vector<Line> m_waiting;
    QPointer<QObject> m_handover; // lives on the GUI thread; receives the low-priority hand-over
    bool m_handoverPosted = false;
};
