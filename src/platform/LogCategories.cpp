#include "platform/LogCategories.h"

#include <QHash>

namespace {

Q_LOGGING_CATEGORY(lcGeneral, "cogwise", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDi2, "cogwise.di2", QtInfoMsg)
Q_LOGGING_CATEGORY(lcBluetooth, "cogwise.bluetooth", QtInfoMsg)
Q_LOGGING_CATEGORY(lcShifting, "cogwise.shifting", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTelemetry, "cogwise.telemetry", QtInfoMsg)
Q_LOGGING_CATEGORY(lcApp, "cogwise.app", QtInfoMsg)
Q_LOGGING_CATEGORY(lcGui, "cogwise.gui", QtInfoMsg)

} // namespace

namespace LogCategories {

const QLoggingCategory& general()
{
    return lcGeneral();
}

const QLoggingCategory& forSource(const QString& source)
{
    using Category = const QLoggingCategory& (*)();
    static const QHash<QString, Category> subsystems{
        {QStringLiteral("DI2Parser"), lcDi2},
        {QStringLiteral("BLEConnectionManager"), lcBluetooth},
        {QStringLiteral("ConnectionService"), lcBluetooth},
        {QStringLiteral("QtBleCentral"), lcBluetooth},
        {QStringLiteral("KeyboardBridge"), lcShifting},
        {QStringLiteral("Storage"), lcShifting},
        {QStringLiteral("GearService"), lcShifting},
        {QStringLiteral("KeyboardService"), lcShifting},
        {QStringLiteral("Telemetry"), lcTelemetry},
        {QStringLiteral("Updater"), lcApp},
        {QStringLiteral("Icons"), lcGui},
        {QStringLiteral("MappingSection"), lcGui},
        {QStringLiteral("DebugLogService"), lcGui},
    };
    const Category category = subsystems.value(source, lcGeneral);
    return category();
}

} // namespace LogCategories
