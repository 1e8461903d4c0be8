#pragma once

#include "platform/SystemLog.h"

#include <QList>
#include <utility>

// Keeps what would have reached the system log, after redaction. Written on the
// logger's thread: read it only after Logger::flush().
class RecordingSystemLog final : public SystemLog
{
public:
    QList<std::pair<Level, QString>> lines;

protected:
    void writeLine(Level level, const QLoggingCategory&, const QString& text) override
    {
        lines.append({level, text});
    }
};
