#pragma once

#include "bluetooth/BleCentral.h"

#include <QBluetoothDeviceInfo>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <chrono>
#include <memory>

class BluezDiscoverySession;
class QBluetoothDeviceDiscoveryAgent;
class QBluetoothLocalDevice;
class QDBusMessage;
class QDBusServiceWatcher;
class QLowEnergyController;
class QLowEnergyService;

// The central on QtBluetooth (BlueZ over D-Bus on Linux, CoreBluetooth on macOS,
// WinRT on Windows). Adds what Qt lacks: time limits for connecting and for service
// discovery, BlueZ's reason for a failed connection, whether a peripheral advertises
// now, reports of a vanished bluetoothd, and one report per value.
class QtBleCentral : public BleCentral
{
    Q_OBJECT

public:
    static constexpr auto connectTimeout = std::chrono::seconds{20};
    static constexpr auto serviceDiscoveryTimeout = std::chrono::seconds{15};

    explicit QtBleCentral(QObject* parent = nullptr);
    ~QtBleCentral() override;

    // Shorter limits for tests.
    void setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds serviceDiscovery);

    BleCentralState state() const override { return m_state; }
    void scanForPeripherals() override;
    void stopScan() override;
    void connectPeripheral(const BlePeripheral& peripheral) override;
    void cancelPeripheralConnection(const BlePeripheral& peripheral) override;
    QList<BlePeripheral> retrievePeripherals(const QUuid& identifier) override;
    void discoverServices(const BlePeripheral& peripheral) override;
    void discoverCharacteristics(const BlePeripheral& peripheral, const BleService& service) override;
    void setNotifyValue(bool enabled, const BlePeripheral& peripheral,
                        const BleCharacteristic& characteristic) override;
    void readValue(const BlePeripheral& peripheral, const BleCharacteristic& characteristic) override;

    static QUuid identifierOf(const QBluetoothDeviceInfo& info);

private Q_SLOTS:
    void onInterfacesAdded(const QDBusMessage& message);
    void onInterfacesRemoved(const QDBusMessage& message);

private:
    struct Connection;

    // Qt's objects bind to the bluetoothd and the adapter of their making.
    void createLocalDevice();
    void startAgent();
    void createPlatformObjects();
    void dropPlatformObjects();
    void reportDiscovery(const QBluetoothDeviceInfo& info, bool advertising);
    void updateState();
    void setState(BleCentralState state);
    bool isCurrent(quint64 attempt) const;
    QBluetoothDeviceInfo deviceInfoFor(const BlePeripheral& peripheral) const;
    void startController(const QBluetoothDeviceInfo& info);
    void failAttempt(BleConnectFailure failure, const QString& sentence, const QString& why);
    void endConnection(const std::optional<QString>& lostWith);
    QLowEnergyService* serviceFor(const QString& uuid) const;
    void watchService(QLowEnergyService* service, const BleService& bleService);

    BleCentralState m_state = BleCentralState::unknown;
    std::unique_ptr<QBluetoothLocalDevice> m_localDevice;
    QDBusServiceWatcher* m_bluezWatcher = nullptr;
    QPointer<QBluetoothDeviceDiscoveryAgent> m_discovery;
    // Keeps bluetoothd discovering, filtered, for as long as we scan, whatever other clients do.
    std::unique_ptr<BluezDiscoverySession> m_session;
    bool m_scanWanted = false;
    bool m_replaying = false; // inside the discovery agent's start: it replays BlueZ's cache
    std::optional<std::pair<QUuid, int>> m_lastHeard; // Qt tells one advertisement twice
    QHash<QUuid, QBluetoothDeviceInfo> m_seen;        // by identifier: what scans found
    std::unique_ptr<Connection> m_connection;
    quint64 m_attempts = 0;
    std::chrono::milliseconds m_connectTimeout = connectTimeout;
    std::chrono::milliseconds m_serviceDiscoveryTimeout = serviceDiscoveryTimeout;
};
