#include "diagnostics/Logger.h"

#include "diagnostics/DebugLogService.h"
#include "diagnostics/LowPriorityPost.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

// Receives the hand-over's low-priority posts on the GUI thread, and drops them with itself.
class Handover final : public QObject
{
protected:
    bool event(QEvent* event) override { return LowPriorityPost::run(event) || QObject::event(event); }
};

bool onGuiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

DebugLogLevel debugLogLevelFor(SystemLog::Level level)
{
    switch (level) {
    case SystemLog::Level::debug:
        return DebugLogLevel::debug;
    case SystemLog::Level::info:
    case SystemLog::Level::notice:
        return DebugLogLevel::info;
    case SystemLog::Level::error:
        return DebugLogLevel::error;
    }
    return DebugLogLevel::info;
}

} // namespace

Logger::Logger(DebugLogService& debugLog, std::unique_ptr<SystemLog> systemLog)
    : m_debugLog(debugLog)
    , m_systemLog(std::move(systemLog))
    , m_context(new QObject)
{
    m_thread.setObjectName(QStringLiteral("Logger"));
    m_context->moveToThread(&m_thread);
    m_thread.start();
}

Logger::~Logger()
{
    handOver();
    flush();
    delete m_handover.data();
    m_thread.quit();
    m_thread.wait();
    delete m_context;
}

Logger& Logger::shared()
{
    static Logger instance(DebugLogService::shared());
    return instance;
}

void Logger::logDebug(const QString& message, const QString& category)
{
    submit(SystemLog::Level::debug, message, category);
}

void Logger::logInfo(const QString& message, const QString& category)
{
    submit(SystemLog::Level::info, message, category);
}

void Logger::logDefault(const QString& message, const QString& category)
{
    submit(SystemLog::Level::notice, message, category);
}

void Logger::logError(const QString& message, const QString& category)
{
    submit(SystemLog::Level::error, message, category);
}

void Logger::setSystemLog(std::unique_ptr<SystemLog> systemLog)
{
    // shared_ptr because queued functors must be copyable.
    auto handover = std::make_shared<std::unique_ptr<SystemLog>>(std::move(systemLog));
    QMetaObject::invokeMethod(
        m_context, [this, handover] { m_systemLog = std::move(*handover); }, Qt::QueuedConnection);
}

void Logger::setLoggingEnabled(bool enabled)
{
    m_accepting = enabled;
    QMetaObject::invokeMethod(
        m_context, [this, enabled] { m_enableLogging = enabled; }, Qt::QueuedConnection);
}

void Logger::flush()
{
    Q_ASSERT(QThread::currentThread() != &m_thread);
    if (onGuiThread())
        handOver();
    QMetaObject::invokeMethod(
        m_context, [] {}, Qt::BlockingQueuedConnection);
}

void Logger::submit(SystemLog::Level level, const QString& message, const QString& category)
{
    // Lines of a switched-off log are dropped before they cost anything more.
    if (!m_accepting.load(std::memory_order_relaxed))
        return;
    if (!onGuiThread()) {
        QMetaObject::invokeMethod(
            m_context, [this, line = Line{level, message, category}] { write(line); }, Qt::QueuedConnection);
        return;
    }
    m_waiting.push_back(Line{level, message, category});
    if (std::exchange(m_handoverPosted, true))
        return;
    if (!m_handover)
        m_handover = new Handover;
    LowPriorityPost::post(m_handover, [this] { handOver(); });
}

void Logger::handOver()
{
    m_handoverPosted = false;
    if (m_waiting.empty())
        return;
    QMetaObject::invokeMethod(
        m_context,
        [this, lines = std::exchange(m_waiting, {})] {
            for (const Line& line : lines)
                write(line);
        },
        Qt::QueuedConnection);
}

void Logger::write(const Line& line)
{
    // Named copies, not structured bindings: lambdas capture them on every compiler we build with.
    const SystemLog::Level level = line.level;
    const QString& message = line.message;
    const QString& category = line.category;
    if (!m_enableLogging)
        return;

    const QString entryCategory = category.isEmpty() ? QStringLiteral("General") : category;
    DebugLogService* debugLog = &m_debugLog;
    QMetaObject::invokeMethod(
        debugLog,
        [debugLog, message, entryCategory, level] {
            debugLog->log(message, entryCategory, debugLogLevelFor(level));
        },
        Qt::QueuedConnection);

    if (m_systemLog) {
        const QString text =
            category.isEmpty() ? message : QStringLiteral("[") + category + QStringLiteral("] ") + message;
        // Only info lines are public: the others can carry device identifiers and raw values.
        const auto privacy = level == SystemLog::Level::info ? SystemLog::Privacy::publicText
                                                             : SystemLog::Privacy::privateText;
        m_systemLog->write(level, text, privacy, LogCategories::forSource(category));
    }
}
