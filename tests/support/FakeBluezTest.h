#pragma once

#include "bluetooth/BleUuid.h"
#include "bluetooth/qt/BluetoothAddressId.h"
#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"
#include "support/FakeBluez.h"
#include "support/XvfbServer.h"

#include <QObject>
#include <QUuid>
#include <chrono>

// The base of a test class over the fake bluetoothd: one fake for the class, started before its
// first test (the class is skipped, saying what is missing, where it cannot run). Every test
// begins with the adapter plugged in and on, the unit awake and unlinked, no host connected, and
// every switch of the fake as at its start but the connect limit. With `withDisplay`, an Xvfb of
// the class's own as well, for the keys a ride types.
class FakeBluezTest : public QObject
{
    Q_OBJECT

public:
    static constexpr int timeoutMs = 15000;
    // The kernel's, as the fake starts with.
    static constexpr std::chrono::milliseconds kernelConnectLimit{40000};

    explicit FakeBluezTest(std::chrono::milliseconds connectLimit = kernelConnectLimit,
                           bool withDisplay = false)
        : m_connectLimit(connectLimit)
        , m_withDisplay(withDisplay)
    {}

    static QUuid identifierAt(const QString& address)
    {
        return BluetoothAddressId::identifier(QBluetoothAddress(address));
    }
    // The unit's identifier as the settings keep it.
    static QString unitIdentifier() { return BleUuid::text(identifierAt(FakeBluez::unitAddress())); }
    // Settings at `path` that remember the unit, as at any launch after the first.
    static void saveUnit(const QString& path)
    {
        Defaults(path).setString(SettingsKeys::lastConnectedDeviceUUID(), unitIdentifier());
    }

protected:
    FakeBluez m_bluez;
    XvfbServer m_display;

private Q_SLOTS:
    void initTestCase();
    void init();

private:
    std::chrono::milliseconds m_connectLimit;
    bool m_withDisplay;
};
