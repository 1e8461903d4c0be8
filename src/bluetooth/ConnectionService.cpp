#include "bluetooth/ConnectionService.h"

#include "analytics/Analytics.h"
#include "bluetooth/BLEConnectionManager.h"
#include "bluetooth/BleUuid.h"
#include "di2/CharacteristicRoute.h"
#include "di2/Di2Parser.h"
#include "di2/GattIds.h"
#include "diagnostics/HexFormat.h"
#include "diagnostics/Logger.h"
#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"

#include <QStringDecoder>

namespace {

const QString lostConnection = QStringLiteral("Connection lost");
const QString logCategory = QStringLiteral("ConnectionService");

} // namespace

ConnectionService::ConnectionService(BLEConnectionManager& ble, Di2Parser& parser, Defaults& storage,
                                     Analytics& analytics, QObject* parent)
    : QObject(parent)
    , m_ble(ble)
    , m_parser(parser)
    , m_storage(storage)
    , m_analytics(analytics)
{
    m_scanTimeout.setSingleShot(true);
    QObject::connect(&m_scanTimeout, &QTimer::timeout, this, [this] { m_ble.stopScanning(); });
    m_reconnectTimer.setSingleShot(true);
    QObject::connect(&m_reconnectTimer, &QTimer::timeout, this, &ConnectionService::attemptReconnect);
    m_reconnectAttemptTimer.setSingleShot(true);
    QObject::connect(&m_reconnectAttemptTimer, &QTimer::timeout, this, [this] {
        if (!m_connectingPeripheral)
            return;
        Logger::shared().logInfo(QStringLiteral("Reconnection attempt timed out"), logCategory);
        m_ble.cancelConnecting(*m_connectingPeripheral);
        m_connectingPeripheral.reset();
        setState(ConnectionState::Disconnected{lostConnection});
        scheduleReconnect();
    });
    setTiming(m_timing);
    QObject::connect(&m_ble, &BLEConnectionManager::bluetoothStateChanged, this,
                     &ConnectionService::didUpdateBluetoothState);
    QObject::connect(&m_ble, &BLEConnectionManager::scanStarted, this, &ConnectionService::didStartScanning);
    QObject::connect(&m_ble, &BLEConnectionManager::scanStopped, this, &ConnectionService::didStopScanning);
    QObject::connect(&m_ble, &BLEConnectionManager::discovered, this, &ConnectionService::didDiscover);
    QObject::connect(&m_ble, &BLEConnectionManager::connected, this, &ConnectionService::didConnect);
    QObject::connect(&m_ble, &BLEConnectionManager::connectFailed, this,
                     &ConnectionService::didFailToConnect);
    QObject::connect(&m_ble, &BLEConnectionManager::connectionLost, this, &ConnectionService::didDisconnect);
    QObject::connect(&m_ble, &BLEConnectionManager::valueReceived, this, &ConnectionService::didReceiveValue);
    QObject::connect(&m_parser, &Di2Parser::statusReceived, this, &ConnectionService::didReceiveStatus);
    QObject::connect(&m_parser, &Di2Parser::channelReceived, this, &ConnectionService::didReceiveChannel);
    QObject::connect(&m_parser, &Di2Parser::batteryLevelUpdated, this,
                     &ConnectionService::didUpdateBatteryLevel);
}

ConnectionService::~ConnectionService() = default;

void ConnectionService::setTiming(const Timing& timing)
{
    m_timing = timing;
    m_scanTimeout.setInterval(timing.scanTimeout);
    m_reconnectAttemptTimer.setInterval(timing.reconnectAttemptTimeout);
}

void ConnectionService::later(std::function<void()> work)
{
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void ConnectionService::setState(const ConnectionState& state)
{
    if (!(state == m_connectionState)) {
        m_connectionState = state;
        Q_EMIT connectionStateChanged(state);
    }
}

void ConnectionService::setDeviceInfo(const Di2DeviceInfo& info)
{
    if (!(info == m_deviceInfo)) {
        m_deviceInfo = info;
        Q_EMIT deviceInfoChanged(info);
    }
    setState(ConnectionState::Connected{m_deviceInfo});
}

void ConnectionService::setPeripherals(QList<DiscoveredDevice> peripherals)
{
    m_peripherals = std::move(peripherals);
    Q_EMIT peripheralsChanged();
}

void ConnectionService::logMessage(const QString& text)
{
    Q_EMIT messageLogged(text);
}

void ConnectionService::startScanTimeout()
{
    m_scanTimeout.start();
}

void ConnectionService::rescan()
{
    stopReconnecting();
    m_ble.startScanning();
    m_scanTimeout.stop();
    startScanTimeout();
}

void ConnectionService::autoConnectOrScan()
{
    const auto saved = m_storage.stringValue(SettingsKeys::lastConnectedDeviceUUID());
    const QUuid identifier = saved ? QUuid::fromString(*saved) : QUuid();
    if (identifier.isNull()) {
        rescan();
        return;
    }
    const QList<BlePeripheral> known = m_ble.retrievePeripherals(identifier);
    if (known.isEmpty()) {
        logMessage(QStringLiteral("Last connected device not found, scanning..."));
        rescan();
        return;
    }
    const BlePeripheral& peripheral = known.constFirst();
    logMessage(QStringLiteral("Attempting to auto-connect to last device: ") +
               peripheral.name.value_or(*saved));
    connectTo(
        DiscoveredDevice{identifier, peripheral.name.value_or(QStringLiteral("Last Device")), 0, peripheral});
}

void ConnectionService::connect(const DiscoveredDevice& device)
{
    stopReconnecting(); // the user chose a unit
    connectTo(device);
}

void ConnectionService::connectTo(const DiscoveredDevice& device)
{
    m_ble.stopScanningSilently();

    const ConnectionState previous = m_connectionState;
    setState(ConnectionState::Connecting{device.name});
    std::optional<BlePeripheral> peripheral = device.peripheral;
    if (!peripheral) {
        const QList<BlePeripheral> known = m_ble.retrievePeripherals(device.id);
        if (!known.isEmpty())
            peripheral = known.constFirst();
    }
    if (!peripheral) {
        logMessage(QStringLiteral("Connect pressed but peripheral is unavailable for ") + device.name);
        setState(previous);
        return;
    }
    m_connectingPeripheral = peripheral;
    m_ble.connect(*peripheral);
}

void ConnectionService::disconnect()
{
    if (!m_ble.connectedPeripheral())
        return;
    stopReconnecting();
    m_ble.disconnect();
    m_connectingPeripheral.reset();
    m_storage.remove(SettingsKeys::lastConnectedDeviceUUID());
    setState(ConnectionState::Disconnected{std::nullopt});
}

void ConnectionService::didUpdateBluetoothState(BleCentralState state)
{
    switch (state) {
    case BleCentralState::unsupported:
        setState(ConnectionState::Disconnected{QStringLiteral("Bluetooth is not supported on this device")});
        break;
    case BleCentralState::unauthorized:
        setState(ConnectionState::bluetoothUnauthorized());
        break;
    case BleCentralState::poweredOff:
        setState(ConnectionState::bluetoothOff());
        break;
    case BleCentralState::poweredOn:
        autoConnectOrScan();
        break;
    default:
        break;
    }
}

void ConnectionService::didStartScanning()
{
    setPeripherals({});
    setState(ConnectionState::scanning());
}

void ConnectionService::didStopScanning()
{
    if (m_connectionState.as<ConnectionState::Connected>())
        return;
    setState(ConnectionState::Found{m_peripherals, false});
}

void ConnectionService::didDiscover(const BlePeripheral& peripheral, int rssi, bool)
{
    later([this, peripheral, rssi] {
        if (!peripheral.name)
            return;
        const DiscoveredDevice device{peripheral.identifier, *peripheral.name, rssi, std::nullopt};
        if (m_peripherals.contains(device))
            return;
        QList<DiscoveredDevice> updated = m_peripherals;
        updated.append(device);
        setPeripherals(updated);
        setState(ConnectionState::Found{m_peripherals, true});
    });
}

void ConnectionService::didConnect(const BlePeripheral& peripheral)
{
    later([this, peripheral] {
        stopReconnecting();
        m_storage.setString(SettingsKeys::lastConnectedDeviceUUID(), BleUuid::text(peripheral.identifier));
        m_connectingPeripheral.reset();
        Di2DeviceInfo info = m_deviceInfo;
        info.id = peripheral.identifier;
        info.modelNumber = peripheral.name.value_or(QStringLiteral("Unknown Device"));
        setDeviceInfo(info);
        m_analytics.track(Analytics::TelemetrySignal::deviceConnected,
                          {{QStringLiteral("device"), peripheral.name.value_or(QStringLiteral("Unknown"))}});
    });
}

void ConnectionService::didFailToConnect(const BlePeripheral& peripheral, BleConnectFailure,
                                         const std::optional<QString>& error)
{
    const QString identifier = BleUuid::text(peripheral.identifier);
    later([this, identifier, error] {
        m_connectingPeripheral.reset();
        if (m_reconnectTarget) {
            // Still away: keep the saved unit and try again later.
            setState(ConnectionState::Disconnected{lostConnection});
            scheduleReconnect();
            return;
        }
        setState(ConnectionState::Disconnected{error.value_or(QStringLiteral("Failed to connect"))});
        if (m_storage.stringValue(SettingsKeys::lastConnectedDeviceUUID()) == identifier)
            m_storage.remove(SettingsKeys::lastConnectedDeviceUUID());
    });
}

void ConnectionService::didDisconnect(const BlePeripheral& peripheral, const std::optional<QString>& error)
{
    later([this, peripheral, error] {
        const QString name = peripheral.name.value_or(QStringLiteral("Unknown Device"));
        Logger::shared().logInfo(QStringLiteral("Connection to %1 lost: %2")
                                     .arg(name, error.value_or(QStringLiteral("No error info"))),
                                 logCategory);
        logMessage(QStringLiteral("Connection to %1 lost, reconnecting...").arg(name));
        m_connectingPeripheral.reset();
        setState(ConnectionState::Disconnected{lostConnection});
        m_reconnectTarget = peripheral;
        m_reconnectFailures = 0;
        scheduleReconnect();
    });
}

void ConnectionService::stopReconnecting()
{
    m_reconnectTarget.reset();
    m_reconnectFailures = 0;
    m_reconnectTimer.stop();
    m_reconnectAttemptTimer.stop();
}

void ConnectionService::scheduleReconnect()
{
    if (!m_reconnectTarget)
        return;
    const int doublings = std::min(m_reconnectFailures++, 16);
    const std::chrono::milliseconds delay = std::min<std::chrono::milliseconds>(
        m_timing.firstReconnectDelay * (1LL << doublings), m_timing.maximumReconnectDelay);
    m_reconnectAttemptTimer.stop();
    m_reconnectTimer.start(delay);
}

void ConnectionService::attemptReconnect()
{
    if (!m_reconnectTarget)
        return;
    const QList<BlePeripheral> known = m_ble.retrievePeripherals(m_reconnectTarget->identifier);
    if (known.isEmpty()) {
        scheduleReconnect();
        return;
    }
    connectTo(DiscoveredDevice{
        m_reconnectTarget->identifier,
        known.constFirst().name.value_or(m_reconnectTarget->name.value_or(QStringLiteral("Last Device"))), 0,
        known.constFirst()});
    if (m_connectingPeripheral)
        m_reconnectAttemptTimer.start();
}

void ConnectionService::didReceiveValue(const QByteArray& value, const BleCharacteristic& characteristic)
{
    const QString shortIdentifier = BleUuid::shortUUIDString(characteristic.uuid);
    const QString uuid = characteristic.uuid;
    later([this, value, shortIdentifier, uuid] {
        switch (routeCharacteristic(shortIdentifier, value)) {
        case CharacteristicRoute::di2Data:
        case CharacteristicRoute::di2PacketLength:
            m_parser.processNotification(value);
            break;
        case CharacteristicRoute::deviceInformation:
            updateDeviceInformation(value, shortIdentifier);
            break;
        case CharacteristicRoute::batteryLevel:
            m_parser.processBatteryLevel(value);
            break;
        case CharacteristicRoute::unrouted:
            Logger::shared().logDebug(
                QStringLiteral("Unknown characteristic %1: %2").arg(uuid, HexFormat::decimalList(value)));
            break;
        }
    });
}

void ConnectionService::updateDeviceInformation(const QByteArray& value, const QString& shortIdentifier)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(value);
    if (decoder.hasError())
        text.clear();
    Di2DeviceInfo info = m_deviceInfo;
    if (shortIdentifier == GattIds::modelNumber())
        info.modelNumber = text;
    else if (shortIdentifier == GattIds::serialNumber())
        info.serialNumber = text;
    else if (shortIdentifier == GattIds::firmwareRevision())
        info.firmwareRevision = text;
    else if (shortIdentifier == GattIds::manufacturerName())
        info.manufacturerName = text;
    setDeviceInfo(info);
}

void ConnectionService::didReceiveStatus(const Di2Status& status)
{
    Di2DeviceInfo info = m_deviceInfo;
    info.frontDerailleur = status.front;
    info.rearDerailleur = status.rear;
    info.maxRearDerailleur = status.rearMax;
    setDeviceInfo(info);
}

void ConnectionService::didReceiveChannel(const QList<int>& pressedButtons, const Di2Channel& channel)
{
    if (pressedButtons.isEmpty())
        return;
    Q_EMIT buttonsPressed(pressedButtons);
    Logger::shared().logDebug(QStringLiteral("Channel state: ") + channel.logDescription(), logCategory);
}

void ConnectionService::didUpdateBatteryLevel(int level)
{
    Di2DeviceInfo info = m_deviceInfo;
    info.batteryLevel = level;
    setDeviceInfo(info);
}
