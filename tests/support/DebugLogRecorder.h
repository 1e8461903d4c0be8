#pragma once

#include "diagnostics/DebugLogService.h"
#include "diagnostics/Logger.h"
#include "diagnostics/QueuedWork.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <algorithm>

// Collects the entries the debug log receives from now on.
class DebugLogRecorder : public QObject
{
    Q_OBJECT

public:
    DebugLogRecorder()
    {
        connect(&DebugLogService::shared(), &DebugLogService::entryAppended, this,
                [this](const DebugLogEntry& entry) { entries.append(entry); });
    }

    QList<DebugLogEntry> entries;

    // Lets every queued task and pending Logger line land.
    static void settle() { QueuedWork::settle(Logger::shared(), DebugLogService::shared()); }

    // "category: message" of every entry, for compact comparisons.
    QStringList lines() const
    {
        QStringList result;
        for (const DebugLogEntry& entry : entries)
            result.append(entry.category + QStringLiteral(": ") + entry.message);
        return result;
    }

    QList<DebugLogEntry> withMessage(const QString& message) const
    {
        QList<DebugLogEntry> result;
        std::copy_if(entries.begin(), entries.end(), std::back_inserter(result),
                     [&](const DebugLogEntry& entry) { return entry.message == message; });
        return result;
    }
};
