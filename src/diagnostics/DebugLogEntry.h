#pragma once

#include "diagnostics/DebugLogLevel.h"

#include <QDateTime>
#include <QMap>
#include <QMetaType>
#include <QUuid>
#include <optional>

using DebugLogDetails = QMap<QString, QString>;

struct DebugLogEntry
{
    QUuid id;
    QDateTime timestamp;
    QString category;
    DebugLogLevel level = DebugLogLevel::debug;
    QString message;
    std::optional<DebugLogDetails> details;

    bool operator==(const DebugLogEntry&) const = default;
};

Q_DECLARE_METATYPE(DebugLogEntry)
