#pragma once

#include "telemetry/LogHandler.h"
#include "telemetry/SignalEnricher.h"

#include <QMap>
#include <QUrl>
#include <QUuid>
#include <chrono>
#include <memory>
#include <optional>

// Everything the analytics client reads. A value: the manager keeps the current
// copy under its lock and hands snapshots to the threads that need one.
struct TelemetryManagerConfiguration
{
    explicit TelemetryManagerConfiguration(QString appID, QString salt = {}, QUrl baseURL = {},
                                           std::optional<QString> telemetryNamespace = std::nullopt);

    QString telemetryAppID;
    QUrl apiBaseURL;
    std::optional<QString> telemetryNamespace;
    QString salt;
    std::optional<QString> defaultUser;
    std::optional<QString> defaultSignalPrefix;
    std::optional<QString> defaultParameterPrefix;
    std::function<QMap<QString, QString>()> defaultParameters = [] { return QMap<QString, QString>(); };
    bool sendNewSessionBeganSignal = true;
    QUuid sessionID = QUuid::createUuid();
    bool sessionStatsEnabled = true;
    bool sendSignalsInDebugConfiguration = false;
    std::optional<bool> testMode;
    std::optional<bool> swiftUIPreviewMode;
    bool analyticsDisabled = false;
    bool reservedParameterWarningsEnabled = true;
    bool showDebugLogs = false;
    std::optional<LogHandler> logHandler = LogHandler::standard();
    QList<std::shared_ptr<SignalEnricher>> metadataEnrichers;

    // Where the client keeps its files and how it paces delivery. The defaults are
    // the product's; tests shorten the times and point the files elsewhere.
    QString cacheDirectory;   // the queue's journal; empty: the user's cache directory
    QString privateSuitePath; // session history and user identifier; empty: beside the settings
    QString appVersion;       // empty: the application's version
    QString buildNumber;      // empty: as appVersion
    std::chrono::milliseconds sendInterval{10'000};
    std::chrono::milliseconds minimumBackoff{10'000};
    std::chrono::milliseconds maximumBackoff{300'000};
    std::chrono::milliseconds maximumRetryAfter{3'600'000};
    std::chrono::milliseconds requestTimeout{60'000};
    std::chrono::milliseconds newSessionDelay{500};

    bool isPreviewMode() const;

    // COGWISE_TELEMETRY_URL when set, else the URL built in. Plain http is accepted
    // for loopback addresses only.
    static QUrl defaultBaseURL();
    // Why the client must not send to `url`, or nothing when it may.
    static std::optional<QString> refusalFor(const QUrl& url);
};
