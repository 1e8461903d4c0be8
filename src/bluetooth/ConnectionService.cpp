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
#include "platform/MonotonicTime.h"
#include "platform/SettingsKeys.h"

#include <QStringDecoder>

namespace {

// A report lost on the way never grows the queues of arrivals beyond this.
constexpr std::size_t arrivalBound = 64;

const QString connectionServiceLog = QStringLiteral("ConnectionService");
const QString lastDevice = QStringLiteral("Last Device");

bool looksLikeDi2Unit(const BlePeripheral& peripheral)
{
    return DiscoveredDevice::isDi2Name(peripheral.name.value_or(QString()));
}

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
    QObject::connect(&m_scanTimeout, &QTimer::timeout, this, [this] {
        // While waiting for the rider's unit discovery goes on: only the list stops growing.
        if (m_waiting)
            setState(ConnectionState::Found{m_peripherals, false});
        else
            m_ble.stopScanning();
    });
    m_attemptTimeout.setSingleShot(true);
    QObject::connect(&m_attemptTimeout, &QTimer::timeout, this, [this] {
        if (!m_connectingPeripheral)
            return;
        Logger::shared().logInfo(QStringLiteral("Connection attempt timed out"), connectionServiceLog);
        const BlePeripheral peripheral = *m_connectingPeripheral;
        if (m_unverified)
            m_ble.disconnect();
        else
            m_ble.cancelConnecting(peripheral);
        didFailToConnect(peripheral, BleConnectFailure::notAnswering,
                         QStringLiteral("%1 did not answer — it may be asleep")
                             .arg(peripheral.name.value_or(waitingName())));
    });
    m_powerOnSettle.setSingleShot(true);
    QObject::connect(&m_powerOnSettle, &QTimer::timeout, this, &ConnectionService::autoConnectOrScan);
    QObject::connect(&m_listPruning, &QTimer::timeout, this, &ConnectionService::pruneList);
    m_scanWatchdog.setSingleShot(true);
    QObject::connect(&m_scanWatchdog, &QTimer::timeout, this, [this] {
        if (!m_waiting || m_connectingPeripheral)
            return;
        Logger::shared().logInfo(QStringLiteral("Nothing heard while waiting: restarting discovery"),
                                 connectionServiceLog);
        m_ble.stopScanningSilently();
        m_ble.startScanningSilently();
        m_scanWatchdog.start();
    });
    setTiming(m_timing);

    QObject::connect(&m_ble, &BLEConnectionManager::bluetoothStateChanged, this,
                     &ConnectionService::didUpdateBluetoothState);
    QObject::connect(&m_ble, &BLEConnectionManager::scanStarted, this, &ConnectionService::didStartScanning);
    QObject::connect(&m_ble, &BLEConnectionManager::scanStopped, this, &ConnectionService::didStopScanning);
    QObject::connect(&m_ble, &BLEConnectionManager::discovered, this, &ConnectionService::didDiscover);
    QObject::connect(&m_ble, &BLEConnectionManager::connected, this, &ConnectionService::didConnect);
    QObject::connect(&m_ble, &BLEConnectionManager::discoveryFinished, this,
                     &ConnectionService::didFinishDiscovery);
    QObject::connect(&m_ble, &BLEConnectionManager::connectFailed, this,
                     [this](auto... arguments) { later([=, this] { didFailToConnect(arguments...); }); });
    QObject::connect(&m_ble, &BLEConnectionManager::connectionLost, this, &ConnectionService::didDisconnect);
    QObject::connect(&m_ble, &BLEConnectionManager::valueReceived, this, &ConnectionService::didReceiveValue);
    QObject::connect(&m_parser, &Di2Parser::statusReceived, this, &ConnectionService::didReceiveStatus);
    QObject::connect(&m_parser, &Di2Parser::channelReceived, this, &ConnectionService::didReceiveChannel);
    // The decoder handles a value, and reports its channel packet, in later tasks: the value's
    // arrival waits here till then.
    QObject::connect(&m_parser, &Di2Parser::packetHandled, this, [this](const Di2Packet& packet) {
        qint64 arrival = 0;
        if (!m_valueArrivals.empty()) {
            arrival = m_valueArrivals.front();
            m_valueArrivals.pop_front();
        }
        if (!packet.as<Di2Channel>())
            return;
        if (m_channelArrivals.size() == arrivalBound)
            m_channelArrivals.pop_front();
        m_channelArrivals.push_back(arrival);
    });
    QObject::connect(&m_parser, &Di2Parser::batteryLevelUpdated, this,
                     &ConnectionService::didUpdateBatteryLevel);
}

ConnectionService::~ConnectionService() = default;

void ConnectionService::setTiming(const Timing& timing)
{
    m_timing = timing;
    m_scanTimeout.setInterval(timing.scanTimeout);
    m_attemptTimeout.setInterval(timing.attemptTimeout);
    m_powerOnSettle.setInterval(timing.powerOnSettle);
    m_listPruning.setInterval(
        std::max<std::chrono::milliseconds>(timing.listLifetime / 6, std::chrono::milliseconds{1}));
    m_scanWatchdog.setInterval(timing.scanWatchdog);
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
    // A reply or a packet still on its way when the link ended (dropped, radio off, bluetoothd
    // gone, the rider's Disconnect) updates what is known of the unit, but connects nothing.
    if (m_connectionState.as<ConnectionState::Connected>())
        setState(ConnectionState::Connected{m_deviceInfo});
}

void ConnectionService::setPeripherals(QList<DiscoveredDevice> peripherals)
{
    m_peripherals = std::move(peripherals);
    if (m_peripherals.isEmpty())
        m_listPruning.stop();
    else if (!m_listPruning.isActive())
        m_listPruning.start();
    Q_EMIT peripheralsChanged();
}

void ConnectionService::logMessage(const QString& text)
{
    Q_EMIT messageLogged(text);
}

std::optional<QUuid> ConnectionService::savedUnit(const Defaults& storage)
{
    const auto saved = storage.stringValue(SettingsKeys::lastConnectedDeviceUUID());
    const QUuid identifier = saved ? QUuid::fromString(*saved) : QUuid();
    if (identifier.isNull())
        return std::nullopt;
    return identifier;
}

bool ConnectionService::radioUsable() const
{
    switch (m_centralState) {
    case BleCentralState::poweredOff:
    case BleCentralState::serviceStopped:
    case BleCentralState::unsupported:
    case BleCentralState::unauthorized:
        return false;
    default:
        return true;
    }
}

QString ConnectionService::waitingName() const
{
    return m_savedName.value_or(lastDevice);
}

void ConnectionService::saveUnit(const BlePeripheral& peripheral)
{
    m_storage.setString(SettingsKeys::lastConnectedDeviceUUID(), BleUuid::text(peripheral.identifier));
    if (peripheral.name)
        m_savedName = peripheral.name;
}

void ConnectionService::rescan()
{
    // A scan already under way is restarted, so that the platform reports every unit again.
    m_ble.stopScanningSilently();
    m_ble.startScanning();
    m_scanTimeout.stop();
    m_scanTimeout.start();
}

void ConnectionService::autoConnectOrScan()
{
    const std::optional<QUuid> identifier = savedUnit();
    if (!identifier) {
        rescan();
        return;
    }
    const QList<BlePeripheral> known = m_ble.retrievePeripherals(*identifier);
    if (known.isEmpty()) {
        // The platform has forgotten the unit; its next advertisement still brings it back.
        logMessage(QStringLiteral("Last connected device not found, scanning..."));
        m_waiting = true;
        rescan();
        return;
    }
    const BlePeripheral& peripheral = known.constFirst();
    logMessage(QStringLiteral("Attempting to auto-connect to last device: ") +
               peripheral.name.value_or(BleUuid::text(*identifier)));
    if (peripheral.name)
        m_savedName = peripheral.name;
    startWaiting(waitingName());
}

void ConnectionService::chooseUnit(const QUuid& identifier)
{
    if (savedUnit() != identifier) {
        m_storage.setString(SettingsKeys::lastConnectedDeviceUUID(), BleUuid::text(identifier));
        m_savedName.reset();
    }
    if (m_centralState == BleCentralState::poweredOn && !m_ble.connectedPeripheral())
        autoConnectOrScan();
}

void ConnectionService::startWaiting(const QString& name)
{
    m_waiting = true;
    setState(ConnectionState::Waiting{name});
    if (!m_wakeHintGiven) {
        m_wakeHintGiven = true;
        logMessage(QStringLiteral("Press a shifter button to wake %1").arg(name));
    }
    m_ble.startScanningSilently();
    m_scanWatchdog.start();
}

void ConnectionService::stopWaiting()
{
    m_waiting = false;
    m_scanWatchdog.stop();
    m_retryDelay = std::chrono::milliseconds{0};
    m_failuresTold.clear();
}

void ConnectionService::attemptSavedUnit(const BlePeripheral& peripheral)
{
    if (m_connectingPeripheral || m_ble.connectedPeripheral() || !radioUsable())
        return;
    if (m_sinceLastAttempt.isValid() && m_sinceLastAttempt.elapsed() < m_retryDelay.count())
        return;
    m_sinceLastAttempt.restart();
    if (peripheral.name)
        m_savedName = peripheral.name;
    connectTo(DiscoveredDevice{peripheral.identifier, waitingName(), 0, peripheral});
}

void ConnectionService::connect(const DiscoveredDevice& device)
{
    // The user chose a unit: the rider's unit, if another, is no longer listened for.
    stopWaiting();
    connectTo(device);
}

void ConnectionService::connectTo(const DiscoveredDevice& device)
{
    if (m_connectingPeripheral) {
        if (m_connectingPeripheral->identifier == device.id)
            return; // one attempt at a time
        abandonAttempt();
    }
    m_ble.stopScanningSilently();
    // Scanning again while connected keeps the link: choosing its unit from the list needs no
    // attempt, which the platform would not answer.
    if (const auto linked = m_ble.connectedPeripheral(); linked && linked->identifier == device.id) {
        setState(ConnectionState::Connected{m_deviceInfo});
        return;
    }

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
    m_attemptTimeout.start();
    m_ble.connect(*peripheral);
}

void ConnectionService::endAttempt()
{
    m_connectingPeripheral.reset();
    m_attemptTimeout.stop();
    m_unverified.reset();
    m_heldValues.clear();
}

void ConnectionService::abandonAttempt()
{
    if (m_unverified)
        m_ble.disconnect();
    else if (m_connectingPeripheral)
        m_ble.cancelConnecting(*m_connectingPeripheral);
    endAttempt();
}

void ConnectionService::disconnect()
{
    if (!m_ble.connectedPeripheral())
        return;
    stopWaiting();
    m_ble.disconnect();
    endAttempt();
    m_storage.remove(SettingsKeys::lastConnectedDeviceUUID());
    m_savedName.reset();
    setState(ConnectionState::Disconnected{std::nullopt});
}

void ConnectionService::stopEverything()
{
    m_powerOnSettle.stop();
    m_scanTimeout.stop();
    abandonAttempt();
    stopWaiting();
}

void ConnectionService::didUpdateBluetoothState(BleCentralState state)
{
    const BleCentralState previous = std::exchange(m_centralState, state);
    switch (state) {
    case BleCentralState::unsupported:
        stopEverything();
        setState(ConnectionState::Disconnected{QStringLiteral("Bluetooth is not supported on this device")});
        break;
    case BleCentralState::unauthorized:
        stopEverything();
        setState(ConnectionState::bluetoothUnauthorized());
        break;
    case BleCentralState::poweredOff:
        stopEverything();
        setState(ConnectionState::bluetoothOff());
        break;
    case BleCentralState::serviceStopped:
        stopEverything();
        setState(ConnectionState::Disconnected{
            QStringLiteral("The Bluetooth service is not running; Cogwise carries on when it is back")});
        break;
    case BleCentralState::poweredOn:
        // At launch at once; after the radio or bluetoothd comes back, once it has settled.
        if (previous == BleCentralState::unknown || previous == BleCentralState::poweredOn)
            autoConnectOrScan();
        else
            m_powerOnSettle.start();
        break;
    case BleCentralState::unknown:
    case BleCentralState::resetting:
        break;
    }
}

void ConnectionService::didStartScanning()
{
    pruneList();
    setState(ConnectionState::scanning());
}

void ConnectionService::didStopScanning()
{
    if (m_connectionState.as<ConnectionState::Connected>())
        return;
    setState(ConnectionState::Found{m_peripherals, false});
}

void ConnectionService::pruneList()
{
    QList<DiscoveredDevice> kept;
    for (const DiscoveredDevice& device : std::as_const(m_peripherals)) {
        const auto seen = m_lastSeen.constFind(device.id);
        if (seen != m_lastSeen.cend() && !seen->hasExpired(m_timing.listLifetime.count()))
            kept.append(device);
    }
    if (kept.size() == m_peripherals.size())
        return;
    setPeripherals(kept);
    if (const auto* found = m_connectionState.as<ConnectionState::Found>())
        setState(ConnectionState::Found{m_peripherals, found->activeScanning});
}

void ConnectionService::didDiscover(const BlePeripheral& peripheral, int rssi, bool advertising)
{
    later([this, peripheral, rssi, advertising] {
        if (advertising) {
            m_lastSeen[peripheral.identifier].start();
            if (m_waiting)
                m_scanWatchdog.start();
            if (m_waiting && savedUnit() == peripheral.identifier)
                attemptSavedUnit(peripheral);
        } else if (!m_lastSeen.contains(peripheral.identifier)) {
            m_lastSeen[peripheral.identifier].start();
        }
        if (!peripheral.name)
            return;
        const DiscoveredDevice device{peripheral.identifier, *peripheral.name, rssi, std::nullopt};
        if (!m_peripherals.contains(device)) {
            QList<DiscoveredDevice> updated = m_peripherals;
            updated.append(device);
            setPeripherals(updated);
        }
        // The list shows in the scan screen's states only: waiting or connected stays as it is.
        if (m_connectionState.is(ConnectionState::Simple::scanning) ||
            m_connectionState.as<ConnectionState::Found>())
            setState(ConnectionState::Found{m_peripherals, true});
    });
}

void ConnectionService::didConnect(const BlePeripheral& peripheral)
{
    later([this, peripheral] {
        // A name proves nothing either way: a device whose name does not look like a Di2 unit's
        // counts as connected only once its services show the Di2 data characteristic.
        if (looksLikeDi2Unit(peripheral))
            completeConnection(peripheral);
        else
            m_unverified = peripheral;
    });
}

void ConnectionService::completeConnection(const BlePeripheral& peripheral)
{
    endAttempt();
    stopWaiting();
    m_wakeHintGiven = false;
    saveUnit(peripheral);
    // The parser keeps its last channel packet across the reconnection: a unit need not tell
    // its counters when subscribed, so the first packet of this link may already be a press.
    Di2DeviceInfo info = m_deviceInfo;
    info.id = peripheral.identifier;
    info.modelNumber = peripheral.name.value_or(QStringLiteral("Unknown Device"));
    setDeviceInfo(info);
    setState(ConnectionState::Connected{m_deviceInfo});
    m_analytics.track(Analytics::TelemetrySignal::deviceConnected,
                      {{QStringLiteral("device"), peripheral.name.value_or(QStringLiteral("Unknown"))}});
}

void ConnectionService::didFinishDiscovery(const BlePeripheral& peripheral, bool offersDi2Data)
{
    later([this, peripheral, offersDi2Data] {
        if (!m_unverified || m_unverified->identifier != peripheral.identifier)
            return;
        if (!offersDi2Data) {
            reject(peripheral, QStringLiteral("no Di2 data characteristic among its services"));
            return;
        }
        const QList<HeldValue> held = std::exchange(m_heldValues, {});
        completeConnection(peripheral);
        for (const HeldValue& value : held)
            routeValue(value.value, value.characteristic, value.arrival);
    });
}

void ConnectionService::reject(const BlePeripheral& peripheral, const QString& why)
{
    if (m_ble.connectedPeripheral() && m_ble.connectedPeripheral()->identifier == peripheral.identifier)
        m_ble.disconnect();
    endAttempt();
    const QString text = QStringLiteral("%1 is not a Di2 unit")
                             .arg(peripheral.name.value_or(QStringLiteral("Unknown Device")));
    Logger::shared().logInfo(QStringLiteral("%1 (%2)").arg(text, why), connectionServiceLog);
    if (savedUnit() == peripheral.identifier) {
        m_storage.remove(SettingsKeys::lastConnectedDeviceUUID());
        m_savedName.reset();
    }
    logMessage(text);
    Q_EMIT notADi2Unit(text);
    // The list stays in sight, and grows for a while yet: the unit may still be among the next.
    setState(ConnectionState::Found{m_peripherals, true});
    m_waiting = savedUnit().has_value();
    m_ble.startScanningSilently();
    if (m_waiting)
        m_scanWatchdog.start();
    m_scanTimeout.start();
}

void ConnectionService::didFailToConnect(const BlePeripheral& peripheral, BleConnectFailure failure,
                                         const std::optional<QString>& error)
{
    if (!m_connectingPeripheral || m_connectingPeripheral->identifier != peripheral.identifier)
        return; // an attempt already given up
    endAttempt();
    const QString text = error.value_or(QStringLiteral("Failed to connect"));
    Logger::shared().logInfo(QStringLiteral("Connection attempt failed: ") + text, connectionServiceLog);
    if (!radioUsable())
        return; // the radio's state says it all
    Q_EMIT attemptFailed();
    const bool savedUnitFailed = savedUnit() == peripheral.identifier;
    if (m_waiting && savedUnitFailed) {
        // The unit is not gone: try again on its next advertisement, later after each refusal.
        m_retryDelay =
            failure == BleConnectFailure::refused
                ? std::clamp(m_retryDelay * 2, m_timing.firstRetryDelay, m_timing.maximumRetryDelay)
                : m_timing.firstRetryDelay;
        if (!m_failuresTold.contains(text)) {
            m_failuresTold.append(text);
            logMessage(text);
        }
        startWaiting(waitingName());
        return;
    }
    if (!looksLikeDi2Unit(peripheral)) {
        reject(peripheral, text);
        return;
    }
    setState(ConnectionState::Disconnected{text});
    // The rider's unit stays saved, and is still listened for, whatever the failure.
    if (savedUnit()) {
        m_waiting = true;
        m_ble.startScanningSilently();
        m_scanWatchdog.start();
    }
}

void ConnectionService::didDisconnect(const BlePeripheral& peripheral, const std::optional<QString>& error)
{
    later([this, peripheral, error] {
        if (m_unverified && m_unverified->identifier == peripheral.identifier) {
            reject(peripheral, error.value_or(QStringLiteral("the link dropped")));
            return;
        }
        const QString name = peripheral.name.value_or(QStringLiteral("Unknown Device"));
        Logger::shared().logInfo(QStringLiteral("Connection to %1 lost: %2")
                                     .arg(name, error.value_or(QStringLiteral("No error info"))),
                                 connectionServiceLog);
        logMessage(QStringLiteral("Connection to %1 lost, reconnecting...").arg(name));
        endAttempt();
        if (!radioUsable())
            return; // radio off or bluetoothd gone: its state says so
        if (peripheral.name)
            m_savedName = peripheral.name;
        startWaiting(waitingName());
    });
}

void ConnectionService::didReceiveValue(const QByteArray& value, const BleCharacteristic& characteristic)
{
    const qint64 arrival = MonotonicTime::nowNanoseconds();
    later([this, value, characteristic, arrival] {
        if (!m_unverified)
            routeValue(value, characteristic, arrival);
        else if (m_heldValues.size() < qsizetype(arrivalBound))
            m_heldValues.append({value, characteristic, arrival});
    });
}

void ConnectionService::routeValue(const QByteArray& value, const BleCharacteristic& characteristic,
                                   qint64 arrival)
{
    const QString shortIdentifier = BleUuid::shortUUIDString(characteristic.uuid);
    switch (routeCharacteristic(shortIdentifier, value)) {
    case CharacteristicRoute::di2Data:
    case CharacteristicRoute::di2PacketLength:
        if (!value.isEmpty()) {
            // The decoder handles each non-empty value once, in order, in a task of its own.
            if (m_valueArrivals.size() == arrivalBound)
                m_valueArrivals.pop_front();
            m_valueArrivals.push_back(arrival);
        }
        m_parser.processNotification(value);
        break;
    case CharacteristicRoute::deviceInformation:
        updateDeviceInformation(value, shortIdentifier);
        break;
    case CharacteristicRoute::batteryLevel:
        m_parser.processBatteryLevel(value);
        break;
    case CharacteristicRoute::unrouted:
        Logger::shared().logDebug(QStringLiteral("Unknown characteristic %1: %2")
                                      .arg(characteristic.uuid, HexFormat::decimalList(value)));
        break;
    }
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
    qint64 arrival = 0;
    if (!m_channelArrivals.empty()) {
        arrival = m_channelArrivals.front();
        m_channelArrivals.pop_front();
    }
    if (pressedButtons.isEmpty())
        return;
    Q_EMIT buttonsPressed(pressedButtons, arrival);
    Logger::shared().logDebug(QStringLiteral("Channel state: ") + channel.logDescription(),
                              connectionServiceLog);
}

void ConnectionService::didUpdateBatteryLevel(int level)
{
    Di2DeviceInfo info = m_deviceInfo;
    info.batteryLevel = level;
    setDeviceInfo(info);
}
