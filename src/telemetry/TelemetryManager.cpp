#include "telemetry/TelemetryManager.h"

#include "telemetry/DefaultSignalPayload.h"
#include "telemetry/PrivateSuite.h"
#include "telemetry/SessionManager.h"
#include "telemetry/SignalManager.h"
#include "telemetry/SignalNaming.h"

#include <QGuiApplication>
#include <QTimer>

TelemetryManager::TelemetryManager(const TelemetryManagerConfiguration& configuration, Clock clock)
    : m_configuration(configuration)
    , m_clock(std::move(clock))
    , m_suite(std::make_unique<PrivateSuite>(configuration.telemetryAppID, configuration.privateSuitePath))
    , m_signalManager(std::make_unique<SignalManager>(configuration, *m_suite))
    , m_durations(m_clock)
{
    if (!configuration.analyticsDisabled)
        startUsageHistory();
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            state == Qt::ApplicationActive ? m_durations.applicationWillBecomeActive()
                                           : m_durations.applicationDidResignActive();
        });
    }
    QTimer::singleShot(configuration.newSessionDelay, this, [this] { setSessionID(QUuid::createUuid()); });
}

TelemetryManager::~TelemetryManager() = default;

void TelemetryManager::startUsageHistory()
{
    m_sessionManager = std::make_unique<SessionManager>(
        *m_suite, m_clock,
        [this](const QString& name, const QMap<QString, QString>& parameters) {
            send(name, parameters, std::nullopt, std::nullopt, false);
        },
        configuration().logHandler);
}

void TelemetryManager::followAnalyticsDisabled(bool wasDisabled, bool disabled)
{
    m_signalManager->setAnalyticsDisabled(disabled);
    if (disabled == wasDisabled)
        return;
    if (disabled) {
        // What was recorded before stays, unsent: opting in again must not look like a new install.
        m_sessionManager.reset();
        return;
    }
    startUsageHistory();
    setSessionID(QUuid::createUuid());
}

TelemetryManagerConfiguration TelemetryManager::configuration() const
{
    QReadLocker lock(&m_lock);
    return m_configuration;
}

void TelemetryManager::setConfiguration(const TelemetryManagerConfiguration& configuration)
{
    bool wasDisabled = false;
    {
        QWriteLocker lock(&m_lock);
        wasDisabled = m_configuration.analyticsDisabled;
        m_configuration = configuration;
    }
    m_signalManager->setConfiguration(configuration);
    followAnalyticsDisabled(wasDisabled, configuration.analyticsDisabled);
}

void TelemetryManager::setAnalyticsDisabled(bool disabled)
{
    bool wasDisabled = false;
    {
        QWriteLocker lock(&m_lock);
        wasDisabled = std::exchange(m_configuration.analyticsDisabled, disabled);
    }
    followAnalyticsDisabled(wasDisabled, disabled);
}

void TelemetryManager::setSessionID(const QUuid& sessionID)
{
    {
        QWriteLocker lock(&m_lock);
        m_configuration.sessionID = sessionID;
    }
    const TelemetryManagerConfiguration configuration = this->configuration();
    m_signalManager->setConfiguration(configuration);
    if (configuration.sessionStatsEnabled && m_sessionManager)
        m_sessionManager->startNewSession();
    if (configuration.sendNewSessionBeganSignal)
        send(QStringLiteral("Telemetry.Session.started"), {}, std::nullopt, std::nullopt, false);
}

void TelemetryManager::signal(const QString& name, const QMap<QString, QString>& parameters,
                              std::optional<double> floatValue, const std::optional<QString>& customUserID)
{
    send(name, parameters, floatValue, customUserID, true);
}

void TelemetryManager::presetSignal(const QString& name, const QMap<QString, QString>& parameters,
                                    std::optional<double> floatValue)
{
    send(name, parameters, floatValue, std::nullopt, false);
}

void TelemetryManager::send(const QString& name, const QMap<QString, QString>& parameters,
                            std::optional<double> floatValue, const std::optional<QString>& customUserID,
                            bool checkNames)
{
    const TelemetryManagerConfiguration configuration = this->configuration();
    if (configuration.isPreviewMode() || configuration.analyticsDisabled)
        return;

    const QString type = configuration.defaultSignalPrefix.value_or(QString()) + name;
    const QMap<QString, QString> prefixed = SignalNaming::prefixedKeys(parameters, configuration);
    QMap<QString, QString> combined =
        SignalNaming::prefixedKeys(configuration.defaultParameters(), configuration);
    combined.insert(prefixed);
    if (checkNames) {
        SignalNaming::warnAboutReservedType(type, configuration);
        SignalNaming::warnAboutReservedKeys(prefixed, configuration);
        SignalNaming::warnAboutReservedKeys(combined, configuration);
    }

    // The default payload reads screens and the session history, which live on the GUI thread.
    QMetaObject::invokeMethod(
        this,
        [this, type, combined, floatValue, customUserID] {
            const TelemetryManagerConfiguration current = this->configuration();
            const QMap<QString, QString> defaults =
                DefaultSignalPayload::parameters(current, m_sessionManager.get(), m_clock());
            m_signalManager->processSignal(type, combined, floatValue, customUserID, defaults);
        },
        Qt::QueuedConnection);
}
