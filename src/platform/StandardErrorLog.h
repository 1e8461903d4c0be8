#pragma once

#include "platform/SystemLog.h"

// System log without a journal: Qt's message handler, which writes to standard error.
class StandardErrorLog final : public SystemLog
{
protected:
    void writeLine(Level level, const QLoggingCategory& category, const QString& text) override;
};
