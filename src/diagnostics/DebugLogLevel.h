#pragma once

#include <QString>

enum class DebugLogLevel { debug, info, warning, error };

inline QString rawValue(DebugLogLevel level)
{
    switch (level) {
    case DebugLogLevel::debug:
        return QStringLiteral("debug");
    case DebugLogLevel::info:
        return QStringLiteral("info");
    case DebugLogLevel::warning:
        return QStringLiteral("warning");
    case DebugLogLevel::error:
        return QStringLiteral("error");
    }
    return {};
}
