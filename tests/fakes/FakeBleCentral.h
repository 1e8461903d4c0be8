#pragma once

#include "bluetooth/BleCentral.h"

#include <QStringList>

// A central the test drives by hand: it records what it is asked to do, and the
// test plays the platform's callbacks.
class FakeBleCentral final : public BleCentral
{
public:
    QList<BlePeripheral> known; // what retrievePeripherals finds
    QStringList calls;

    BleCentralState state() const override { return BleCentralState::poweredOn; }
    void scanForPeripherals() override { calls.append(QStringLiteral("scan")); }
    void stopScan() override { calls.append(QStringLiteral("stopScan")); }
    void connectPeripheral(const BlePeripheral& p) override
    {
        record("connect ", p.name.value_or(QStringLiteral("?")));
    }
    void cancelPeripheralConnection(const BlePeripheral& p) override
    {
        record("cancel ", p.name.value_or(QStringLiteral("?")));
    }
    QList<BlePeripheral> retrievePeripherals(const QUuid& identifier) override
    {
        QList<BlePeripheral> found = known;
        found.removeIf([&identifier](const BlePeripheral& p) { return p.identifier != identifier; });
        return found;
    }
    void discoverServices(const BlePeripheral&) override { calls.append(QStringLiteral("discoverServices")); }
    void discoverCharacteristics(const BlePeripheral&, const BleService& s) override
    {
        record("discoverCharacteristics ", s.uuid);
    }
    void setNotifyValue(bool, const BlePeripheral&, const BleCharacteristic& c) override
    {
        record("notify ", c.uuid);
    }
    void readValue(const BlePeripheral&, const BleCharacteristic& c) override { record("read ", c.uuid); }

    QStringList takeCalls() { return std::exchange(calls, {}); }

private:
    void record(const char* call, const QString& what) { calls.append(QLatin1String(call) + what); }
};
