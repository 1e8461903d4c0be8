#pragma once

#include "bluetooth/BleCentral.h"
#include "bluetooth/ConnectionState.h"

#include <QObject>
#include <QTimer>
#include <chrono>

class Analytics;
class BLEConnectionManager;
class Defaults;
class Di2Channel;
class Di2Parser;
struct Di2Status;

// The connection state machine: when to scan, which unit to connect to, reconnection,
// the device information, and where each characteristic value goes.
class ConnectionService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(ConnectionState connectionState READ connectionState NOTIFY connectionStateChanged)
    Q_PROPERTY(QList<DiscoveredDevice> peripherals READ peripherals NOTIFY peripheralsChanged)
    Q_PROPERTY(Di2DeviceInfo deviceInfo READ deviceInfo NOTIFY deviceInfoChanged)

public:
    struct Timing
    {
        std::chrono::milliseconds scanTimeout{8'000};
        // A lost unit is tried again after 1 s, then 2, 4 ... up to 30 s apart.
        std::chrono::milliseconds firstReconnectDelay{1'000};
        std::chrono::milliseconds maximumReconnectDelay{30'000};
        std::chrono::milliseconds reconnectAttemptTimeout{20'000};
    };

    ConnectionService(BLEConnectionManager& ble, Di2Parser& parser, Defaults& storage, Analytics& analytics,
                      QObject* parent = nullptr);
    ~ConnectionService() override;

    void setTiming(const Timing& timing);

    const ConnectionState& connectionState() const { return m_connectionState; }
    const QList<DiscoveredDevice>& peripherals() const { return m_peripherals; }
    const Di2DeviceInfo& deviceInfo() const { return m_deviceInfo; }
    bool isReconnecting() const { return m_reconnectTarget.has_value(); }

    void autoConnectOrScan();
    void rescan();
    void connect(const DiscoveredDevice& device);
    void disconnect();

Q_SIGNALS:
    void connectionStateChanged(const ConnectionState& state);
    void peripheralsChanged();
    void deviceInfoChanged(const Di2DeviceInfo& info);
    // A line for the user's event log.
    void messageLogged(const QString& text);
    void buttonsPressed(const QList<int>& buttons);

private:
    void didUpdateBluetoothState(BleCentralState state);
    void didStartScanning();
    void didStopScanning();
    void didDiscover(const BlePeripheral& peripheral, int rssi, bool advertising);
    void didConnect(const BlePeripheral& peripheral);
    void didFailToConnect(const BlePeripheral& peripheral, BleConnectFailure failure,
                          const std::optional<QString>& error);
    void didDisconnect(const BlePeripheral& peripheral, const std::optional<QString>& error);
    void didReceiveValue(const QByteArray& value, const BleCharacteristic& characteristic);
    void didReceiveStatus(const Di2Status& status);
    void didReceiveChannel(const QList<int>& pressedButtons, const Di2Channel& channel);
    void didUpdateBatteryLevel(int level);

    void later(std::function<void()> work);
    void setState(const ConnectionState& state);
    void setDeviceInfo(const Di2DeviceInfo& info);
    void setPeripherals(QList<DiscoveredDevice> peripherals);
    void logMessage(const QString& text);
    void startScanTimeout();
    void connectTo(const DiscoveredDevice& device);
    void updateDeviceInformation(const QByteArray& value, const QString& shortIdentifier);

    void stopReconnecting();
    void scheduleReconnect();
    void attemptReconnect();

    BLEConnectionManager& m_ble;
    Di2Parser& m_parser;
    Defaults& m_storage;
    Analytics& m_analytics;

    ConnectionState m_connectionState;
    QList<DiscoveredDevice> m_peripherals;
    Di2DeviceInfo m_deviceInfo;
    std::optional<BlePeripheral> m_connectingPeripheral;
    QTimer m_scanTimeout;

    Timing m_timing;
    std::optional<BlePeripheral> m_reconnectTarget;
    int m_reconnectFailures = 0;
    QTimer m_reconnectTimer;
    QTimer m_reconnectAttemptTimer;
};
