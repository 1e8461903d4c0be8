#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>

struct TelemetryManagerConfiguration;
class SessionManager;

// The parameters that accompany every signal: platform, application, device,
// preferences, calendar and retention. Read on the GUI thread (screens live there).
namespace DefaultSignalPayload {

inline constexpr char clientVersion[] = "2.11.0";
inline constexpr char clientName[] = "CogwiseTelemetry";

QMap<QString, QString> parameters(const TelemetryManagerConfiguration& configuration,
                                  const SessionManager* sessions, const QDateTime& now);

// A number as the client writes every double: "40.0", "40.25", "1.5".
QString doubleText(double value);
// "UTC+1", "UTC-5", "UTC+5:30", "UTC+0".
QString timeZoneText(int offsetFromUtcSeconds);
QMap<QString, QString> calendarParameters(const QDateTime& now);
// Three version components, missing ones as 0: "12" gives 12.0.0.
QStringList versionComponents(const QString& version);

} // namespace DefaultSignalPayload
