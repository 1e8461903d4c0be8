#pragma once

#include "telemetry/TelemetryManagerConfiguration.h"

#include <QMap>
#include <optional>

class TelemetryManager;

// The analytics client's entry points. signal() may be called from any thread.
namespace Telemetry {

void initialize(const TelemetryManagerConfiguration& configuration);

void signal(const QString& name, const QMap<QString, QString>& parameters = {},
            std::optional<double> floatValue = std::nullopt,
            const std::optional<QString>& customUserID = std::nullopt);

// The process-wide manager; null before initialize().
TelemetryManager* manager();

// Ends the client: stops the sender (the queue is on disk already). For exit and tests.
void shutdown();

} // namespace Telemetry
