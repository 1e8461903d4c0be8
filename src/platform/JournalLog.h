#pragma once

#include "platform/SystemLog.h"

// The systemd journal, with our subsystem and log category as structured fields.
class JournalLog final : public SystemLog
{
public:
    static QString socketPath() { return QStringLiteral("/run/systemd/journal/socket"); }

protected:
    void writeLine(Level level, const QLoggingCategory& category, const QString& text) override;
};
