#include "bluetooth/BLEConnectionManager.h"

#include "bluetooth/BleUuid.h"
#include "di2/GattIds.h"
#include "diagnostics/Logger.h"

namespace {

const QString bleConnectionManagerLog = QStringLiteral("BLEConnectionManager");

QString nameOf(const BlePeripheral& peripheral)
{
    return peripheral.name.value_or(QStringLiteral("Unknown"));
}

} // namespace

BLEConnectionManager::BLEConnectionManager(BleCentral& central, QObject* parent)
    : QObject(parent)
    , m_central(central)
{
    QObject::connect(&m_central, &BleCentral::stateUpdated, this, &BLEConnectionManager::onStateUpdated);
    QObject::connect(&m_central, &BleCentral::peripheralDiscovered, this,
                     &BLEConnectionManager::onDiscovered);
    QObject::connect(&m_central, &BleCentral::peripheralConnected, this, &BLEConnectionManager::onConnected);
    QObject::connect(&m_central, &BleCentral::connectFailed, this, &BLEConnectionManager::onConnectFailed);
    QObject::connect(&m_central, &BleCentral::peripheralDisconnected, this,
                     &BLEConnectionManager::onDisconnected);
    QObject::connect(&m_central, &BleCentral::servicesDiscovered, this,
                     &BLEConnectionManager::onServicesDiscovered);
    QObject::connect(&m_central, &BleCentral::characteristicsDiscovered, this,
                     &BLEConnectionManager::onCharacteristicsDiscovered);
    QObject::connect(&m_central, &BleCentral::valueUpdated, this, &BLEConnectionManager::onValueUpdated);
    QObject::connect(&m_central, &BleCentral::notificationStateUpdated, this,
                     &BLEConnectionManager::onNotificationStateUpdated);
}

BLEConnectionManager::~BLEConnectionManager()
{
    stopScanning();
    m_central.disconnect(this);
}

void BLEConnectionManager::emitLater(std::function<void()> emission)
{
    QMetaObject::invokeMethod(this, std::move(emission), Qt::QueuedConnection);
}

void BLEConnectionManager::startScanning()
{
    Logger::shared().logDebug(QStringLiteral("Starting scan for peripherals..."), bleConnectionManagerLog);
    m_loggedDiscoveries.clear();
    emitLater([this] { Q_EMIT scanStarted(); });
    m_central.scanForPeripherals();
}

void BLEConnectionManager::stopScanning()
{
    Logger::shared().logDebug(QStringLiteral("Stopping scan for peripherals..."), bleConnectionManagerLog);
    emitLater([this] { Q_EMIT scanStopped(); });
    m_central.stopScan();
}

void BLEConnectionManager::startScanningSilently()
{
    Logger::shared().logDebug(QStringLiteral("Silently Starting scan for peripherals..."),
                              bleConnectionManagerLog);
    m_central.scanForPeripherals();
}

void BLEConnectionManager::stopScanningSilently()
{
    Logger::shared().logDebug(QStringLiteral("Silently Stopping scan for peripherals..."),
                              bleConnectionManagerLog);
    m_central.stopScan();
}

void BLEConnectionManager::connect(const BlePeripheral& peripheral)
{
    Logger::shared().logDebug(QStringLiteral("Connecting to peripheral: ") + nameOf(peripheral),
                              bleConnectionManagerLog);
    m_central.connectPeripheral(peripheral);
}

void BLEConnectionManager::cancelConnecting(const BlePeripheral& peripheral)
{
    m_central.cancelPeripheralConnection(peripheral);
}

QList<BlePeripheral> BLEConnectionManager::retrievePeripherals(const QUuid& identifier) const
{
    return m_central.retrievePeripherals(identifier);
}

void BLEConnectionManager::disconnect()
{
    if (!m_connectedPeripheral)
        return;
    const BlePeripheral peripheral = *m_connectedPeripheral;
    m_connectedPeripheral.reset();
    m_central.cancelPeripheralConnection(peripheral);
}

void BLEConnectionManager::onStateUpdated(BleCentralState state)
{
    emitLater([this, state] { Q_EMIT bluetoothStateChanged(state); });
}

void BLEConnectionManager::onDiscovered(const BlePeripheral& peripheral, int rssi, bool advertising)
{
    // Advertisements repeat several times a second: each peripheral is logged once per scan.
    if (!m_loggedDiscoveries.contains(peripheral.identifier)) {
        m_loggedDiscoveries.insert(peripheral.identifier);
        Logger::shared().logDebug(QStringLiteral("Discovered peripheral: ") + nameOf(peripheral),
                                  bleConnectionManagerLog);
    }
    Q_EMIT discovered(peripheral, rssi, advertising);
}

void BLEConnectionManager::onConnected(const BlePeripheral& peripheral)
{
    Logger::shared().logDebug(QStringLiteral("Successfully connected to peripheral: ") + nameOf(peripheral),
                              bleConnectionManagerLog);
    m_connectedPeripheral = peripheral;
    Q_EMIT connected(peripheral);
    m_central.discoverServices(peripheral);
}

void BLEConnectionManager::onConnectFailed(const BlePeripheral& peripheral, BleConnectFailure failure,
                                           const std::optional<QString>& error)
{
    Logger::shared().logDebug(QStringLiteral("Failed to connect to peripheral: %1, error: %2")
                                  .arg(nameOf(peripheral), error.value_or(QStringLiteral("No error info"))),
                              bleConnectionManagerLog);
    m_connectedPeripheral.reset();
    Q_EMIT connectFailed(peripheral, failure, error);
}

void BLEConnectionManager::onDisconnected(const BlePeripheral& peripheral,
                                          const std::optional<QString>& error)
{
    // Our own cancellations have cleared the peripheral already: only losses are reported.
    if (!m_connectedPeripheral || m_connectedPeripheral->identifier != peripheral.identifier)
        return;
    Logger::shared().logInfo(QStringLiteral("Lost connection to peripheral: %1, error: %2")
                                 .arg(nameOf(peripheral), error.value_or(QStringLiteral("No error info"))),
                             bleConnectionManagerLog);
    m_connectedPeripheral.reset();
    Q_EMIT connectionLost(peripheral, error);
}

void BLEConnectionManager::onServicesDiscovered(const BlePeripheral& peripheral,
                                                const QList<BleService>& services,
                                                const std::optional<QString>& error)
{
    m_servicesPending = 0;
    m_offersDi2Data = false;
    if (error) {
        Logger::shared().logError(QStringLiteral("Service discovery error: ") + *error,
                                  bleConnectionManagerLog);
        Q_EMIT discoveryFinished(peripheral, false);
        return;
    }
    if (services.isEmpty()) {
        Logger::shared().logError(QStringLiteral("No services found on ") + nameOf(peripheral),
                                  bleConnectionManagerLog);
        Q_EMIT discoveryFinished(peripheral, false);
        return;
    }
    m_servicesPending = services.size();
    for (const BleService& service : services) {
        Logger::shared().logDebug(QStringLiteral("Discovering characteristics for service: ") + service.uuid,
                                  bleConnectionManagerLog);
        m_central.discoverCharacteristics(peripheral, service);
    }
}

void BLEConnectionManager::onCharacteristicsDiscovered(const BlePeripheral& peripheral,
                                                       const BleService& service,
                                                       const QList<BleCharacteristic>& characteristics,
                                                       const std::optional<QString>& error)
{
    if (error) {
        Logger::shared().logError(
            QStringLiteral("Characteristic discovery error for %1: %2").arg(service.uuid, *error),
            bleConnectionManagerLog);
        serviceDone(peripheral);
        return;
    }
    if (characteristics.isEmpty()) {
        Logger::shared().logDebug(QStringLiteral("No characteristics for service: ") + service.uuid,
                                  bleConnectionManagerLog);
        serviceDone(peripheral);
        return;
    }
    for (const BleCharacteristic& characteristic : characteristics) {
        const bool isDi2Data = BleUuid::shortUUIDString(characteristic.uuid) == GattIds::di2Data();
        m_offersDi2Data = m_offersDi2Data || isDi2Data;
        if (characteristic.properties &
            (BleCharacteristic::propertyNotify | BleCharacteristic::propertyIndicate))
            m_central.setNotifyValue(true, peripheral, characteristic);
        if (!isDi2Data && (characteristic.properties & BleCharacteristic::propertyRead))
            m_central.readValue(peripheral, characteristic);
    }
    serviceDone(peripheral);
}

void BLEConnectionManager::serviceDone(const BlePeripheral& peripheral)
{
    if (m_servicesPending > 0 && --m_servicesPending == 0)
        Q_EMIT discoveryFinished(peripheral, m_offersDi2Data);
}

void BLEConnectionManager::onValueUpdated(const BlePeripheral&, const BleCharacteristic& characteristic,
                                          const std::optional<QByteArray>& value,
                                          const std::optional<QString>& error)
{
    if (error) {
        Logger::shared().logError(QStringLiteral("Error: ") + *error, bleConnectionManagerLog);
        return;
    }
    if (!value) {
        Logger::shared().logDebug(QStringLiteral("No value in characteristic"), bleConnectionManagerLog);
        return;
    }
    Q_EMIT valueReceived(*value, characteristic);
}

void BLEConnectionManager::onNotificationStateUpdated(const BlePeripheral&, const BleCharacteristic&,
                                                      const std::optional<QString>& error)
{
    if (error)
        Logger::shared().logError(QStringLiteral("Error subscribing to notifications/indications: ") + *error,
                                  bleConnectionManagerLog);
}
