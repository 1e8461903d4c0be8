#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>
#include <optional>

// A peripheral as the central knows it: its identifier (stable on this computer)
// and the name it advertises, if any.
struct BlePeripheral
{
    QUuid identifier;
    std::optional<QString> name;

    bool operator==(const BlePeripheral&) const = default;
};

struct BleService
{
    QString uuid; // full text, upper case
    bool operator==(const BleService&) const = default;
};

struct BleCharacteristic
{
    static constexpr quint8 propertyRead = 0x02;
    static constexpr quint8 propertyNotify = 0x10;
    static constexpr quint8 propertyIndicate = 0x20;

    QString uuid; // full text, upper case
    QString serviceUuid;
    quint8 properties = 0;

    bool operator==(const BleCharacteristic&) const = default;
};

// The central's power state, with the platform's codes.
enum class BleCentralState {
    unknown = 0,
    resetting = 1,
    unsupported = 2,
    unauthorized = 3,
    poweredOff = 4,
    poweredOn = 5,
    // The platform's Bluetooth service (bluetoothd) is not running; it may come back.
    serviceStopped = 6,
};

// Why an attempt to connect ended without a connection.
enum class BleConnectFailure {
    notAnswering, // no answer in time: the unit is asleep or out of range
    busy,         // the adapter is busy with another attempt; worth trying again shortly
    refused,      // the unit or the adapter turned the attempt down
};

// The Bluetooth Low Energy central role: the platform service the link talks to.
// One peripheral connection at a time. Operations are called on the GUI thread, and
// what the platform reports comes back as signals, also on the GUI thread.
class BleCentral : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual BleCentralState state() const = 0;
    virtual void scanForPeripherals() = 0;
    virtual void stopScan() = 0;
    virtual void connectPeripheral(const BlePeripheral& peripheral) = 0;
    virtual void cancelPeripheralConnection(const BlePeripheral& peripheral) = 0;
    // The peripherals the platform knows by this identifier, without scanning.
    virtual QList<BlePeripheral> retrievePeripherals(const QUuid& identifier) = 0;
    virtual void discoverServices(const BlePeripheral& peripheral) = 0;
    virtual void discoverCharacteristics(const BlePeripheral& peripheral, const BleService& service) = 0;
    virtual void setNotifyValue(bool enabled, const BlePeripheral& peripheral,
                                const BleCharacteristic& characteristic) = 0;
    virtual void readValue(const BlePeripheral& peripheral, const BleCharacteristic& characteristic) = 0;

Q_SIGNALS:
    void stateUpdated(BleCentralState state);
    // advertising: heard just now, as opposed to a peripheral the platform only remembers.
    void peripheralDiscovered(const BlePeripheral& peripheral, int rssi, bool advertising);
    void peripheralConnected(const BlePeripheral& peripheral);
    // error: a sentence for the rider.
    void connectFailed(const BlePeripheral& peripheral, BleConnectFailure failure,
                       const std::optional<QString>& error);
    // A connection that ended without being cancelled by us.
    void peripheralDisconnected(const BlePeripheral& peripheral, const std::optional<QString>& error);
    void servicesDiscovered(const BlePeripheral& peripheral, const QList<BleService>& services,
                            const std::optional<QString>& error);
    void characteristicsDiscovered(const BlePeripheral& peripheral, const BleService& service,
                                   const QList<BleCharacteristic>& characteristics,
                                   const std::optional<QString>& error);
    void valueUpdated(const BlePeripheral& peripheral, const BleCharacteristic& characteristic,
                      const std::optional<QByteArray>& value, const std::optional<QString>& error);
    void notificationStateUpdated(const BlePeripheral& peripheral, const BleCharacteristic& characteristic,
                                  const std::optional<QString>& error);
};
