#pragma once

#include "bluetooth/BleCentral.h"

#include <QStringList>

// A central the test drives by hand: it records what it is asked to do, and the
// test plays the platform's callbacks.
class FakeBleCentral final : public BleCentral
{
public:
    BleCentralState currentState = BleCentralState::poweredOn;
    QList<BlePeripheral> known; // what retrievePeripherals finds
    QStringList calls;

    BleCentralState state() const override { return currentState; }
    void scanForPeripherals() override { calls.append(QStringLiteral("scan")); }
    void stopScan() override { calls.append(QStringLiteral("stopScan")); }
    void connectPeripheral(const BlePeripheral& p) override
    {
        calls.append(QStringLiteral("connect ") + label(p));
    }
    void cancelPeripheralConnection(const BlePeripheral& p) override
    {
        calls.append(QStringLiteral("cancel ") + label(p));
    }
    QList<BlePeripheral> retrievePeripherals(const QUuid& identifier) override
    {
        QList<BlePeripheral> found;
        for (const BlePeripheral& p : known) {
            if (p.identifier == identifier)
                found.append(p);
        }
        return found;
    }
    void discoverServices(const BlePeripheral&) override { calls.append(QStringLiteral("discoverServices")); }
    void discoverCharacteristics(const BlePeripheral&, const BleService& s) override
    {
        calls.append(QStringLiteral("discoverCharacteristics ") + s.uuid);
    }
    void setNotifyValue(bool, const BlePeripheral&, const BleCharacteristic& c) override
    {
        calls.append(QStringLiteral("notify ") + c.uuid);
    }
    void readValue(const BlePeripheral&, const BleCharacteristic& c) override
    {
        calls.append(QStringLiteral("read ") + c.uuid);
    }

    QStringList takeCalls() { return std::exchange(calls, {}); }

private:
    static QString label(const BlePeripheral& p) { return p.name.value_or(QStringLiteral("?")); }
};
