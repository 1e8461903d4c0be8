#pragma once

#include "bluetooth/BleCentral.h"

// What the link reports to the connection service.
class BLEConnectionManagerDelegate
{
public:
    virtual ~BLEConnectionManagerDelegate() = default;
    // Platform codes: 0 unknown, 1 resetting, 2 unsupported, 3 unauthorized, 4 powered off, 5 powered on.
    virtual void didUpdateBluetoothState(int state) = 0;
    virtual void didStartScanning() = 0;
    virtual void didStopScanning() = 0;
    virtual void didDiscover(const BlePeripheral& peripheral, int rssi) = 0;
    virtual void didConnect(const BlePeripheral& peripheral) = 0;
    virtual void didFailToConnect(const BlePeripheral& peripheral, const std::optional<QString>& error) = 0;
    // The connected peripheral went away without being asked to.
    virtual void didDisconnect(const BlePeripheral& peripheral, const std::optional<QString>& error) = 0;
    virtual void didReceiveValue(const QByteArray& value, const BleCharacteristic& characteristic) = 0;
};
