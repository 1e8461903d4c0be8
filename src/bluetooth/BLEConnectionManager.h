#pragma once

#include "bluetooth/BleCentral.h"

#include <QObject>

class BLEConnectionManagerDelegate;

// The link to the one Bluetooth peripheral: scans, connects, discovers every
// service and characteristic, subscribes to what notifies, reads what can be read,
// and reports each event upward. It decides nothing about devices on its own.
class BLEConnectionManager : public QObject, public BleCentralDelegate
{
    Q_OBJECT

public:
    explicit BLEConnectionManager(BleCentral& central, QObject* parent = nullptr);
    ~BLEConnectionManager() override;

    void setDelegate(BLEConnectionManagerDelegate* delegate) { m_delegate = delegate; }
    BLEConnectionManagerDelegate* delegate() const { return m_delegate; }

    const std::optional<BlePeripheral>& connectedPeripheral() const { return m_connectedPeripheral; }
    BleCentral& centralManager() const { return m_central; }

    void startScanning();
    void stopScanning();
    void connect(const BlePeripheral& peripheral);
    void disconnect();

    void centralDidUpdateState(BleCentralState state) override;
    void centralDidDiscover(const BlePeripheral& peripheral, int rssi) override;
    void centralDidConnect(const BlePeripheral& peripheral) override;
    void centralDidFailToConnect(const BlePeripheral& peripheral,
                                 const std::optional<QString>& error) override;
    void centralDidDisconnect(const BlePeripheral& peripheral, const std::optional<QString>& error) override;
    void peripheralDidDiscoverServices(const BlePeripheral& peripheral, const QList<BleService>& services,
                                       const std::optional<QString>& error) override;
    void peripheralDidDiscoverCharacteristics(const BlePeripheral& peripheral, const BleService& service,
                                              const QList<BleCharacteristic>& characteristics,
                                              const std::optional<QString>& error) override;
    void peripheralDidUpdateValue(const BlePeripheral& peripheral, const BleCharacteristic& characteristic,
                                  const std::optional<QByteArray>& value,
                                  const std::optional<QString>& error) override;
    void peripheralDidUpdateNotificationState(const BlePeripheral& peripheral,
                                              const BleCharacteristic& characteristic,
                                              const std::optional<QString>& error) override;

private:
    void queue(std::function<void(BLEConnectionManagerDelegate&)> notification);

    BLEConnectionManagerDelegate* m_delegate = nullptr;
    std::optional<BlePeripheral> m_connectedPeripheral;
    BleCentral& m_central;
};
