#include "bluetooth/BLEConnectionManager.h"

#include "bluetooth/BLEConnectionManagerDelegate.h"
#include "bluetooth/BleUuid.h"
#include "diagnostics/Logger.h"

namespace {

const QString logCategory = QStringLiteral("BLEConnectionManager");

Logger& logger()
{
    return Logger::shared();
}

QString nameOf(const BlePeripheral& peripheral)
{
    return peripheral.name.value_or(QStringLiteral("Unknown"));
}

} // namespace

BLEConnectionManager::BLEConnectionManager(BleCentral& central, QObject* parent)
    : QObject(parent)
    , m_central(central)
{
    m_central.setDelegate(this);
}

BLEConnectionManager::~BLEConnectionManager()
{
    stopScanning();
    m_central.setDelegate(nullptr);
}

void BLEConnectionManager::queue(std::function<void(BLEConnectionManagerDelegate&)> notification)
{
    if (!m_delegate)
        return;
    QMetaObject::invokeMethod(
        this,
        [this, notification = std::move(notification)] {
            if (m_delegate)
                notification(*m_delegate);
        },
        Qt::QueuedConnection);
}

void BLEConnectionManager::startScanning()
{
    logger().logDebug(QStringLiteral("Starting scan for peripherals..."), logCategory);
    queue([](BLEConnectionManagerDelegate& delegate) { delegate.didStartScanning(); });
    m_central.scanForPeripherals();
}

void BLEConnectionManager::stopScanning()
{
    logger().logDebug(QStringLiteral("Stopping scan for peripherals..."), logCategory);
    queue([](BLEConnectionManagerDelegate& delegate) { delegate.didStopScanning(); });
    m_central.stopScan();
}

void BLEConnectionManager::connect(const BlePeripheral& peripheral)
{
    logger().logDebug(QStringLiteral("Connecting to peripheral: ") + nameOf(peripheral), logCategory);
    m_central.connectPeripheral(peripheral);
}

void BLEConnectionManager::disconnect()
{
    if (!m_connectedPeripheral)
        return;
    const BlePeripheral peripheral = *m_connectedPeripheral;
    m_connectedPeripheral.reset();
    m_central.cancelPeripheralConnection(peripheral);
}

void BLEConnectionManager::centralDidUpdateState(BleCentralState state)
{
    queue([state](BLEConnectionManagerDelegate& delegate) {
        delegate.didUpdateBluetoothState(static_cast<int>(state));
    });
}

void BLEConnectionManager::centralDidDiscover(const BlePeripheral& peripheral, int rssi)
{
    logger().logDebug(QStringLiteral("Discovered peripheral: ") + nameOf(peripheral), logCategory);
    if (m_delegate)
        m_delegate->didDiscover(peripheral, rssi);
}

void BLEConnectionManager::centralDidConnect(const BlePeripheral& peripheral)
{
    logger().logDebug(QStringLiteral("Successfully connected to peripheral: ") + nameOf(peripheral),
                      logCategory);
    m_connectedPeripheral = peripheral;
    if (m_delegate)
        m_delegate->didConnect(peripheral);
    m_central.discoverServices(peripheral);
}

void BLEConnectionManager::centralDidFailToConnect(const BlePeripheral& peripheral,
                                                   const std::optional<QString>& error)
{
    logger().logDebug(QStringLiteral("Failed to connect to peripheral: %1, error: %2")
                          .arg(nameOf(peripheral), error.value_or(QStringLiteral("No error info"))),
                      logCategory);
    m_connectedPeripheral.reset();
    if (m_delegate)
        m_delegate->didFailToConnect(peripheral, error);
    startScanning();
}

void BLEConnectionManager::centralDidDisconnect(const BlePeripheral& peripheral,
                                                const std::optional<QString>& error)
{
    // Our own cancellations have cleared the peripheral already: only losses are reported.
    if (!m_connectedPeripheral || m_connectedPeripheral->identifier != peripheral.identifier)
        return;
    logger().logInfo(QStringLiteral("Lost connection to peripheral: %1, error: %2")
                         .arg(nameOf(peripheral), error.value_or(QStringLiteral("No error info"))),
                     logCategory);
    m_connectedPeripheral.reset();
    if (m_delegate)
        m_delegate->didDisconnect(peripheral, error);
}

void BLEConnectionManager::peripheralDidDiscoverServices(const BlePeripheral& peripheral,
                                                         const QList<BleService>& services,
                                                         const std::optional<QString>& error)
{
    if (error) {
        logger().logError(QStringLiteral("Service discovery error: ") + *error, logCategory);
        return;
    }
    if (services.isEmpty()) {
        logger().logError(QStringLiteral("No services found on ") + nameOf(peripheral), logCategory);
        return;
    }
    for (const BleService& service : services) {
        logger().logDebug(QStringLiteral("Discovering characteristics for service: ") + service.uuid,
                          logCategory);
        m_central.discoverCharacteristics(peripheral, service);
    }
}

void BLEConnectionManager::peripheralDidDiscoverCharacteristics(
    const BlePeripheral& peripheral, const BleService& service,
    const QList<BleCharacteristic>& characteristics, const std::optional<QString>& error)
{
    if (error) {
        logger().logError(
            QStringLiteral("Characteristic discovery error for %1: %2").arg(service.uuid, *error),
            logCategory);
        return;
    }
    if (characteristics.isEmpty()) {
        logger().logDebug(QStringLiteral("No characteristics for service: ") + service.uuid, logCategory);
        return;
    }
    for (const BleCharacteristic& characteristic : characteristics) {
        const bool isDi2Data =
            BleUuid::shortUUIDString(characteristic.uuid) == BleUuid::di2DataCharacteristic();
        if (characteristic.properties &
            (BleCharacteristic::propertyNotify | BleCharacteristic::propertyIndicate))
            m_central.setNotifyValue(true, peripheral, characteristic);
        if (!isDi2Data && (characteristic.properties & BleCharacteristic::propertyRead))
            m_central.readValue(peripheral, characteristic);
    }
}

void BLEConnectionManager::peripheralDidUpdateValue(const BlePeripheral&,
                                                    const BleCharacteristic& characteristic,
                                                    const std::optional<QByteArray>& value,
                                                    const std::optional<QString>& error)
{
    if (error) {
        logger().logError(QStringLiteral("Error: ") + *error, logCategory);
        return;
    }
    if (!value) {
        logger().logDebug(QStringLiteral("No value in characteristic"), logCategory);
        return;
    }
    if (m_delegate)
        m_delegate->didReceiveValue(*value, characteristic);
}

void BLEConnectionManager::peripheralDidUpdateNotificationState(const BlePeripheral&,
                                                                const BleCharacteristic&,
                                                                const std::optional<QString>& error)
{
    if (error)
        logger().logError(QStringLiteral("Error subscribing to notifications/indications: ") + *error,
                          logCategory);
}
