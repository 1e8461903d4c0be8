#pragma once

#include "telemetry/TelemetryManagerConfiguration.h"

// The rules every signal's names go through.
namespace SignalNaming {

// "Telemetry." keys stay as they are; others get the configured parameter prefix.
QMap<QString, QString> prefixedKeys(const QMap<QString, QString>& parameters,
                                    const TelemetryManagerConfiguration& configuration);

// Warns through the log handler about reserved names; never stops the signal.
void warnAboutReservedType(const QString& type, const TelemetryManagerConfiguration& configuration);
void warnAboutReservedKeys(const QMap<QString, QString>& parameters,
                           const TelemetryManagerConfiguration& configuration);

bool isReservedName(const QString& name);

} // namespace SignalNaming
