#include "telemetry/SignalNaming.h"

#include <QSet>

namespace SignalNaming {

namespace {

const QString reservedPrefix = QStringLiteral("telemetry.");

void warn(const TelemetryManagerConfiguration& configuration, const QString& message)
{
    if (configuration.logHandler)
        configuration.logHandler->log(LogHandler::LogLevel::error, message);
}

} // namespace

bool isReservedName(const QString& name)
{
    static const QSet<QString> reserved = [] {
        const QStringList names{QStringLiteral("type"),
                                QStringLiteral("clientUser"),
                                QStringLiteral("appID"),
                                QStringLiteral("sessionID"),
                                QStringLiteral("floatValue"),
                                QStringLiteral("newSessionBegan"),
                                QStringLiteral("platform"),
                                QStringLiteral("systemVersion"),
                                QStringLiteral("majorSystemVersion"),
                                QStringLiteral("majorMinorSystemVersion"),
                                QStringLiteral("appVersion"),
                                QStringLiteral("buildNumber"),
                                QStringLiteral("isSimulator"),
                                QStringLiteral("isDebug"),
                                QStringLiteral("isTestFlight"),
                                QStringLiteral("isAppStore"),
                                QStringLiteral("modelName"),
                                QStringLiteral("architecture"),
                                QStringLiteral("operatingSystem"),
                                QStringLiteral("targetEnvironment"),
                                QStringLiteral("locale"),
                                QStringLiteral("region"),
                                QStringLiteral("appLanguage"),
                                QStringLiteral("preferredLanguage"),
                                QStringLiteral("telemetryClientVersion")};
        QSet<QString> lowered;
        for (const QString& reservedName : names)
            lowered.insert(reservedName.toLower());
        return lowered;
    }();
    return reserved.contains(name.toLower());
}

QMap<QString, QString> prefixedKeys(const QMap<QString, QString>& parameters,
                                    const TelemetryManagerConfiguration& configuration)
{
    const QString prefix = configuration.defaultParameterPrefix.value_or(QString());
    QMap<QString, QString> result;
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
        result.insert(it.key().startsWith(QLatin1String("Telemetry.")) ? it.key() : prefix + it.key(),
                      it.value());
    return result;
}

void warnAboutReservedType(const QString& type, const TelemetryManagerConfiguration& configuration)
{
    if (!configuration.reservedParameterWarningsEnabled)
        return;
    if (type.toLower().startsWith(reservedPrefix)) {
        warn(configuration,
             QStringLiteral("Sending signal with reserved prefix 'Telemetry.' will cause unexpected "
                            "behavior. Please use another prefix instead."));
    } else if (isReservedName(type)) {
        warn(configuration,
             QStringLiteral("Sending signal with reserved name '%1' will cause unexpected behavior. "
                            "Please use another name instead.")
                 .arg(type));
    }
}

void warnAboutReservedKeys(const QMap<QString, QString>& parameters,
                           const TelemetryManagerConfiguration& configuration)
{
    if (!configuration.reservedParameterWarningsEnabled)
        return;
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it) {
        if (it.key().toLower().startsWith(reservedPrefix)) {
            warn(configuration,
                 QStringLiteral("Sending parameter with reserved key prefix 'Telemetry.' will cause "
                                "unexpected behavior. Please use another prefix instead."));
        } else if (isReservedName(it.key())) {
            warn(configuration,
                 QStringLiteral("Sending parameter with reserved key '%1' will cause unexpected "
                                "behavior. Please use another key instead.")
                     .arg(it.key()));
        }
    }
}

} // namespace SignalNaming
