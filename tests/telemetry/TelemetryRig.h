#pragma once

#include "fakes/IngestionServer.h"
#include "telemetry/TelemetryManagerConfiguration.h"

#include <QMutex>
#include <QTemporaryDir>

// A configuration aimed at a loopback server and a private folder, with times short
// enough for tests, and a log handler that keeps what it is told.
struct TelemetryRig
{
    QTemporaryDir directory;
    IngestionServer server;
    QMutex logMutex;
    QStringList logLines;

    TelemetryManagerConfiguration configuration()
    {
        TelemetryManagerConfiguration configuration(QStringLiteral("3F2C8A10-5B7D-4E21-9C44-A1B2C3D4E5F6"),
                                                    QString(), QUrl(server.baseUrl()));
        configuration.cacheDirectory = directory.filePath(QStringLiteral("cache"));
        configuration.privateSuitePath = directory.filePath(QStringLiteral("suite.ini"));
        configuration.sendInterval = std::chrono::hours{1}; // tests send on demand
        configuration.minimumBackoff = std::chrono::milliseconds{50};
        configuration.maximumBackoff = std::chrono::milliseconds{200};
        configuration.requestTimeout = std::chrono::milliseconds{500};
        configuration.sendNewSessionBeganSignal = false;
        configuration.sessionStatsEnabled = false; // no new-install signal among the test's own
        configuration.logHandler = LogHandler{
            LogHandler::LogLevel::debug, [this](LogHandler::LogLevel level, const QString& message) {
                QMutexLocker lock(&logMutex);
                logLines.append(LogHandler::text(level) + QLatin1Char(' ') + message);
            }};
        return configuration;
    }

    QStringList logged(const QString& fragment)
    {
        QMutexLocker lock(&logMutex);
        return logLines.filter(fragment);
    }

    QString journalPath() const { return directory.filePath(QStringLiteral("cache/telemetrysignalcache")); }
};

// The records' sequence numbers `from` to `to`, as the cache and the server list them.
inline QStringList sequenceNumbers(int from, int to)
{
    QStringList values;
    for (int i = from; i <= to; ++i)
        values.append(QString::number(i));
    return values;
}
