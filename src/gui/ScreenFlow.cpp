#include "gui/ScreenFlow.h"

#include "analytics/Analytics.h"
#include "analytics/UsageStatisticsChoice.h"
#include "app/AppViewModel.h"
#include "bluetooth/ConnectionService.h"
#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"

ScreenFlow::ScreenFlow(Defaults& defaults, AppViewModel& viewModel, Analytics& analytics, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_viewModel(viewModel)
    , m_analytics(analytics)
    , m_shareUsageStatistics(UsageStatisticsChoice::isShared(defaults))
{
    m_initialCheck.setSingleShot(true);
    connect(&m_initialCheck, &QTimer::timeout, this, &ScreenFlow::runInitialCheck);
    connect(&viewModel.connectionService(), &ConnectionService::connectionStateChanged, this,
            &ScreenFlow::connectionStateDidChange);
}

void ScreenFlow::start(std::chrono::milliseconds delay)
{
    m_initialCheck.start(delay);
}

void ScreenFlow::runInitialCheck()
{
    if (!m_defaults.boolValue(SettingsKeys::hasCompletedOnboarding())) {
        setAppState(AppState::onboarding);
        return;
    }
    if (m_viewModel.connectionService().connectionState().as<ConnectionState::Connected>()) {
        setAppState(AppState::connected);
        return;
    }
    scanAgain();
    setAppState(AppState::scanning);
}

void ScreenFlow::startScanning()
{
    if (m_appState != AppState::onboarding)
        return; // a second click while the screen goes away
    Q_EMIT usageStatisticsChosen(m_shareUsageStatistics);
    m_analytics.track(Analytics::TelemetrySignal::onboardingCompleted);
    m_defaults.setBool(SettingsKeys::hasCompletedOnboarding(), true);
    scanAgain();
    setAppState(AppState::scanning);
}

void ScreenFlow::setShareUsageStatistics(bool share)
{
    if (share == m_shareUsageStatistics)
        return;
    m_shareUsageStatistics = share;
    Q_EMIT shareUsageStatisticsChanged(share);
}

void ScreenFlow::connectionStateDidChange(const ConnectionState& state)
{
    switch (m_appState) {
    case AppState::scanning:
        // The scan screen hands over to the main window once it sees a connection.
        if (state.as<ConnectionState::Connected>())
            setAppState(AppState::connected);
        else
            scheduleScanIfReady(state);
        break;
    case AppState::connected:
        if (state.as<ConnectionState::Disconnected>()) {
            setAppState(AppState::scanning);
            scheduleScanIfReady(state);
        }
        break;
    case AppState::loading:
    case AppState::onboarding:
        break;
    }
}

void ScreenFlow::scheduleScanIfReady(const ConnectionState& state)
{
    const auto* disconnected = state.as<ConnectionState::Disconnected>();
    if (!disconnected || disconnected->error)
        return;
    // Not cancelled when the state moves on: a scan is what the panel promised.
    QTimer::singleShot(m_readyToScanDelay, this, &ScreenFlow::scanAgain);
}

void ScreenFlow::scanAgain()
{
    m_viewModel.handleConnectionAction(ConnectionAction{ConnectionAction::Kind::scanAgain, {}});
}

void ScreenFlow::setAppState(AppState state)
{
    if (state == m_appState)
        return;
    m_appState = state;
    Q_EMIT appStateChanged(state);
}
