#pragma once

#include "diagnostics/DebugLogEntry.h"

#include <QList>
#include <QObject>
#include <QStringList>

class DebugLogService;

// Collects the entries a debug log receives from now on.
class DebugLogRecorder : public QObject
{
    Q_OBJECT

public:
    explicit DebugLogRecorder(DebugLogService& debugLog);
    DebugLogRecorder(); // the shared debug log

    QList<DebugLogEntry> entries;

    // Lets every queued task and pending Logger line land.
    static void settle();

    // "category: message" of every entry, for compact comparisons.
    QStringList lines() const;
    QList<DebugLogEntry> withMessage(const QString& message) const;
};
