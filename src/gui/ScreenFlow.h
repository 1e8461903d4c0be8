#pragma once

#include <QObject>
#include <QTimer>
#include <QtQml/qqmlregistration.h>
#include <chrono>

class Analytics;
class AppViewModel;
class ConnectionState;
class Defaults;

// The window's top-level screen machine: loading, then onboarding until it has been
// completed once, then the device scan until a connection, then the main window until
// the connection ends.
class ScreenFlow : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Built by the application")
    Q_PROPERTY(AppState appState READ appState NOTIFY appStateChanged)
    // The welcome screen's usage-statistics switch: the stored choice, off while there is none.
    // Kept only when the rider goes on.
    Q_PROPERTY(bool shareUsageStatistics READ shareUsageStatistics WRITE setShareUsageStatistics NOTIFY
                   shareUsageStatisticsChanged)

public:
    enum class AppState { loading, onboarding, scanning, connected };
    Q_ENUM(AppState)

    // The loading screen shows at least this long.
    static constexpr auto initialCheckDelay = std::chrono::milliseconds{500};
    // The "Ready to scan..." panel asks for a scan this long after it shows.
    static constexpr auto readyToScanDelay = std::chrono::milliseconds{500};

    ScreenFlow(Defaults& defaults, AppViewModel& viewModel, Analytics& analytics, QObject* parent = nullptr);

    AppState appState() const { return m_appState; }
    bool shareUsageStatistics() const { return m_shareUsageStatistics; }
    void setShareUsageStatistics(bool share);

    // Schedules the initial-state check; call when the window first shows.
    void start(std::chrono::milliseconds delay = initialCheckDelay);
    void setReadyToScanDelay(std::chrono::milliseconds delay) { m_readyToScanDelay = delay; }

    // The onboarding screen's start button; the usage-statistics choice goes with it.
    Q_INVOKABLE void startScanning();

Q_SIGNALS:
    void appStateChanged(ScreenFlow::AppState state);
    void shareUsageStatisticsChanged(bool share);
    // Before anything of the onboarding is tracked, so that the choice holds for it.
    void usageStatisticsChosen(bool share);

private:
    void runInitialCheck();
    void connectionStateDidChange(const ConnectionState& state);
    void setAppState(AppState state);
    void scanAgain();
    void scheduleScanIfReady(const ConnectionState& state);

    Defaults& m_defaults;
    AppViewModel& m_viewModel;
    Analytics& m_analytics;
    AppState m_appState = AppState::loading;
    bool m_shareUsageStatistics;
    QTimer m_initialCheck;
    std::chrono::milliseconds m_readyToScanDelay = readyToScanDelay;
};
