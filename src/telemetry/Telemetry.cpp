#include "telemetry/Telemetry.h"

#include "telemetry/TelemetryManager.h"

#include <QReadWriteLock>

namespace Telemetry {

namespace {

struct Storage
{
    QReadWriteLock lock;
    std::unique_ptr<TelemetryManager> manager;
};

Storage& storage()
{
    static Storage instance;
    return instance;
}

} // namespace

void initialize(const TelemetryManagerConfiguration& configuration)
{
    auto manager = std::make_unique<TelemetryManager>(configuration);
    QWriteLocker lock(&storage().lock);
    storage().manager = std::move(manager);
}

TelemetryManager* manager()
{
    QReadLocker lock(&storage().lock);
    return storage().manager.get();
}

void signal(const QString& name, const QMap<QString, QString>& parameters, std::optional<double> floatValue,
            const std::optional<QString>& customUserID)
{
    QReadLocker lock(&storage().lock);
    if (!storage().manager) {
        // A client without an app identifier would queue records the service cannot place.
        LogHandler::standard().log(
            LogHandler::LogLevel::error,
            QStringLiteral("Dropped the signal %1: the analytics client is not initialised").arg(name));
        return;
    }
    storage().manager->signal(name, parameters, floatValue, customUserID);
}

void shutdown()
{
    std::unique_ptr<TelemetryManager> manager;
    {
        QWriteLocker lock(&storage().lock);
        manager = std::move(storage().manager);
    }
}

} // namespace Telemetry
