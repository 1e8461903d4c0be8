#pragma once

#include "bluetooth/BLEConnectionManagerDelegate.h"
#include "bluetooth/ConnectionState.h"
#include "di2/Di2ParserDelegate.h"

#include <QObject>
#include <QTimer>
#include <chrono>

class Analytics;
class BLEConnectionManager;
class ConnectionServiceDelegate;
class Defaults;
class Di2Parser;

// The connection state machine: when to scan, which unit to connect to, reconnection,
// the device information, and where each characteristic value goes.
class ConnectionService : public QObject, public BLEConnectionManagerDelegate, public Di2ParserDelegate
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
    void setDelegate(ConnectionServiceDelegate* delegate) { m_delegate = delegate; }

    const ConnectionState& connectionState() const { return m_connectionState; }
    const QList<DiscoveredDevice>& peripherals() const { return m_peripherals; }
    const Di2DeviceInfo& deviceInfo() const { return m_deviceInfo; }
    bool isReconnecting() const { return m_reconnectTarget.has_value(); }

    void autoConnectOrScan();
    void rescan();
    void connect(const DiscoveredDevice& device);
    void disconnect();

    void didUpdateBluetoothState(int state) override;
    void didStartScanning() override;
    void didStopScanning() override;
    void didDiscover(const BlePeripheral& peripheral, int rssi) override;
    void didConnect(const BlePeripheral& peripheral) override;
    void didFailToConnect(const BlePeripheral& peripheral, const std::optional<QString>& error) override;
    void didDisconnect(const BlePeripheral& peripheral, const std::optional<QString>& error) override;
    void didReceiveValue(const QByteArray& value, const BleCharacteristic& characteristic) override;

    void didReceiveStatus(const Di2Status& status) override;
    void didReceiveChannel(const QList<int>& pressedButtons, const Di2Channel& channel) override;
    void didUpdateBatteryLevel(int level) override;

Q_SIGNALS:
    void connectionStateChanged(const ConnectionState& state);
    void peripheralsChanged();
    void deviceInfoChanged(const Di2DeviceInfo& info);

private:
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
    ConnectionServiceDelegate* m_delegate = nullptr;

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
