#include "support/DebugLogRecorder.h"

#include "diagnostics/DebugLogService.h"
#include "diagnostics/Logger.h"
#include "diagnostics/QueuedWork.h"

DebugLogRecorder::DebugLogRecorder(DebugLogService& debugLog)
{
    connect(&debugLog, &DebugLogService::entryAppended, this,
            [this](const DebugLogEntry& entry) { entries.append(entry); });
}

DebugLogRecorder::DebugLogRecorder()
    : DebugLogRecorder(DebugLogService::shared())
{}

void DebugLogRecorder::settle()
{
    QueuedWork::settle(Logger::shared(), DebugLogService::shared());
}

QStringList DebugLogRecorder::lines() const
{
    QStringList result;
    for (const DebugLogEntry& entry : entries)
        result.append(entry.category + QStringLiteral(": ") + entry.message);
    return result;
}

QList<DebugLogEntry> DebugLogRecorder::withMessage(const QString& message) const
{
    QList<DebugLogEntry> result;
    for (const DebugLogEntry& entry : entries) {
        if (entry.message == message)
            result.append(entry);
    }
    return result;
}
