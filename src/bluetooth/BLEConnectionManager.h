#pragma once

#include "bluetooth/BleCentral.h"

#include <QObject>
#include <QSet>

// The link to the one Bluetooth peripheral, and the only holder of the central: scans,
// connects, discovers every service and characteristic, subscribes to what notifies,
// reads what can be read, and reports each event upward by signal. It decides nothing
// about devices on its own.
class BLEConnectionManager : public QObject
{
    Q_OBJECT

public:
    explicit BLEConnectionManager(BleCentral& central, QObject* parent = nullptr);
    ~BLEConnectionManager() override;

    const std::optional<BlePeripheral>& connectedPeripheral() const { return m_connectedPeripheral; }

    void startScanning();
    void stopScanning();
    // Start and stop a scan without telling anyone: listening for a unit, or before an attempt.
    void startScanningSilently();
    void stopScanningSilently();
    void connect(const BlePeripheral& peripheral);
    // Gives up an attempt that has not connected yet.
    void cancelConnecting(const BlePeripheral& peripheral);
    void disconnect();
    // The peripherals the platform knows by this identifier, without scanning.
    QList<BlePeripheral> retrievePeripherals(const QUuid& identifier) const;

Q_SIGNALS:
    // In a later task: the state, scan start and scan stop.
    void bluetoothStateChanged(BleCentralState state);
    void scanStarted();
    void scanStopped();
    void discovered(const BlePeripheral& peripheral, int rssi, bool advertising);
    void connected(const BlePeripheral& peripheral);
    void connectFailed(const BlePeripheral& peripheral, BleConnectFailure failure,
                       const std::optional<QString>& error);
    // The connected peripheral went away without being asked to.
    void connectionLost(const BlePeripheral& peripheral, const std::optional<QString>& error);
    void valueReceived(const QByteArray& value, const BleCharacteristic& characteristic);
    // Every service of the connected peripheral has told its characteristics (or failed to):
    // whether the Di2 data characteristic was among them.
    void discoveryFinished(const BlePeripheral& peripheral, bool offersDi2Data);

private:
    void emitLater(std::function<void()> emission);
    void onStateUpdated(BleCentralState state);
    void onDiscovered(const BlePeripheral& peripheral, int rssi, bool advertising);
    void onConnected(const BlePeripheral& peripheral);
    void onConnectFailed(const BlePeripheral& peripheral, BleConnectFailure failure,
                         const std::optional<QString>& error);
    void onDisconnected(const BlePeripheral& peripheral, const std::optional<QString>& error);
    void onServicesDiscovered(const BlePeripheral& peripheral, const QList<BleService>& services,
                              const std::optional<QString>& error);
    void onCharacteristicsDiscovered(const BlePeripheral& peripheral, const BleService& service,
                                     const QList<BleCharacteristic>& characteristics,
                                     const std::optional<QString>& error);
    void onValueUpdated(const BlePeripheral& peripheral, const BleCharacteristic& characteristic,
                        const std::optional<QByteArray>& value, const std::optional<QString>& error);
    void onNotificationStateUpdated(const BlePeripheral& peripheral, const BleCharacteristic& characteristic,
                                    const std::optional<QString>& error);
    void serviceDone(const BlePeripheral& peripheral);

    std::optional<BlePeripheral> m_connectedPeripheral;
    // Of the connected peripheral's discovery: services yet to tell their characteristics.
    qsizetype m_servicesPending = 0;
    bool m_offersDi2Data = false;
    QSet<QUuid> m_loggedDiscoveries;
    BleCentral& m_central;
};
