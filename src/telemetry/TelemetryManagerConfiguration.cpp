#include "telemetry/TelemetryManagerConfiguration.h"

#include "platform/NetworkPolicy.h"

TelemetryManagerConfiguration::TelemetryManagerConfiguration(QString appID, QString saltText, QUrl baseURL,
                                                             std::optional<QString> ns)
    : telemetryAppID(std::move(appID))
    , apiBaseURL(baseURL.isEmpty() ? defaultBaseURL() : std::move(baseURL))
    , telemetryNamespace(std::move(ns))
    , salt(std::move(saltText))
{}

bool TelemetryManagerConfiguration::isPreviewMode() const
{
    if (swiftUIPreviewMode)
        return *swiftUIPreviewMode;
    return qgetenv("XCODE_RUNNING_FOR_PREVIEWS") == "1";
}

QUrl TelemetryManagerConfiguration::defaultBaseURL()
{
    const QString fromEnvironment = qEnvironmentVariable("COGWISE_TELEMETRY_URL");
    return QUrl(fromEnvironment.isEmpty() ? QStringLiteral(COGWISE_TELEMETRY_URL) : fromEnvironment);
}

std::optional<QString> TelemetryManagerConfiguration::refusalFor(const QUrl& url)
{
    if (NetworkPolicy::isAllowedEndpoint(url))
        return std::nullopt;
    if (!url.isValid() || url.host().isEmpty())
        return QStringLiteral("the analytics URL \"%1\" is not valid").arg(url.toString());
    return QStringLiteral("refusing to send analytics to %1: only https, or http to this machine, is allowed")
        .arg(url.toString());
}
