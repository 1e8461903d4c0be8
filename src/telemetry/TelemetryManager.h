#pragma once

#include "platform/Clock.h"
#include "telemetry/DurationSignalTracker.h"
#include "telemetry/TelemetryManagerConfiguration.h"

#include <QObject>
#include <QReadWriteLock>
#include <memory>

class PrivateSuite;
class SessionManager;
class SignalManager;

// One analytics client: its configuration, sender, session history and durations.
// Lives on the GUI thread; signal() may be called from any thread.
class TelemetryManager : public QObject
{
    Q_OBJECT

public:
    explicit TelemetryManager(const TelemetryManagerConfiguration& configuration, Clock clock = systemNow);
    ~TelemetryManager() override;

    TelemetryManagerConfiguration configuration() const;
    void setConfiguration(const TelemetryManagerConfiguration& configuration);
    // A new session: stored, counted, announced.
    void setSessionID(const QUuid& sessionID);
    void setAnalyticsDisabled(bool disabled);

    void signal(const QString& name, const QMap<QString, QString>& parameters = {},
                std::optional<double> floatValue = std::nullopt,
                const std::optional<QString>& customUserID = std::nullopt);

    // One of the client's own preset signals (TelemetryPresets): sent without the warnings
    // about reserved names, which are meant for the application's signals.
    void presetSignal(const QString& name, const QMap<QString, QString>& parameters = {},
                      std::optional<double> floatValue = std::nullopt);

    SignalManager& signalManager() const { return *m_signalManager; }
    // Null while usage statistics are switched off: nothing of the usage history is kept then.
    SessionManager* sessionManager() const { return m_sessionManager.get(); }
    DurationSignalTracker& durations() { return m_durations; }

private:
    void followAnalyticsDisabled(bool wasDisabled, bool disabled);
    void startUsageHistory();

    // The client's own signals skip the reserved-name warnings meant for the application's.
    void send(const QString& name, const QMap<QString, QString>& parameters, std::optional<double> floatValue,
              const std::optional<QString>& customUserID, bool checkNames);

    mutable QReadWriteLock m_lock;
    TelemetryManagerConfiguration m_configuration;
    Clock m_clock;
    std::unique_ptr<PrivateSuite> m_suite;
    std::unique_ptr<SignalManager> m_signalManager;
    std::unique_ptr<SessionManager> m_sessionManager;
    DurationSignalTracker m_durations;
};
