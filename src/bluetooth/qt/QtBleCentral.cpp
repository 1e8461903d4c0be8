#include "bluetooth/qt/QtBleCentral.h"

#include "bluetooth/qt/BluetoothAddressId.h"

#include <QBluetoothDeviceDiscoveryAgent>
#include <QBluetoothLocalDevice>
#include <QLowEnergyController>
#include <QLowEnergyService>
#include <QSet>

#ifdef Q_OS_LINUX
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QRegularExpression>
#endif

struct QtBleCentral::Connection
{
    BlePeripheral peripheral;
    QPointer<QLowEnergyController> controller;
    bool connected = false;
    QTimer connectTimer;
    QTimer discoveryTimer;
    QHash<QString, QPointer<QLowEnergyService>> services; // by upper-case UUID text
    QSet<QString> pendingReads;                           // characteristic UUIDs
    QHash<QString, QByteArray> readEchoes;                // a read's value, until its change echo arrives

    ~Connection()
    {
        for (const auto& service : std::as_const(services)) {
            if (service)
                service->deleteLater();
        }
        if (controller) {
            controller->disconnect();
            controller->disconnectFromDevice();
            controller->deleteLater();
        }
    }
};

namespace {

QString uuidText(const QBluetoothUuid& uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

#ifdef Q_OS_LINUX
const QString bluezService = QStringLiteral("org.bluez");

// BlueZ's name for a device it knows (paired, or seen before), asked over D-Bus.
std::optional<std::optional<QString>> knownToBluez(const QBluetoothAddress& address)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    QDBusInterface root(bluezService, QStringLiteral("/org/bluez"),
                        QStringLiteral("org.freedesktop.DBus.Introspectable"), bus);
    const QDBusReply<QString> xml = root.call(QStringLiteral("Introspect"));
    if (!xml.isValid())
        return std::nullopt;
    static const QRegularExpression node(QStringLiteral("<node name=\"(hci\\d+)\""));
    const QString device =
        QStringLiteral("dev_") + address.toString().replace(QLatin1Char(':'), QLatin1Char('_'));
    for (auto it = node.globalMatch(xml.value()); it.hasNext();) {
        const QString path = QStringLiteral("/org/bluez/%1/%2").arg(it.next().captured(1), device);
        QDBusInterface properties(bluezService, path, QStringLiteral("org.freedesktop.DBus.Properties"), bus);
        const QDBusReply<QDBusVariant> alias = properties.call(
            QStringLiteral("Get"), QStringLiteral("org.bluez.Device1"), QStringLiteral("Alias"));
        if (alias.isValid()) {
            const QString name = alias.value().variant().toString();
            return std::optional<QString>(name.isEmpty() ? std::nullopt : std::optional(name));
        }
    }
    return std::nullopt;
}
#endif

} // namespace

QtBleCentral::QtBleCentral(QObject* parent)
    : BleCentral(parent)
{
    // Qt takes the D-Bus LE backend only for BlueZ it believes to be 5.42 or later, and decides once.
    if (!qEnvironmentVariableIsSet("BLUETOOTH_FORCE_DBUS_LE_VERSION"))
        qputenv("BLUETOOTH_FORCE_DBUS_LE_VERSION", "5.66");

    m_localDevice = std::make_unique<QBluetoothLocalDevice>();
    connect(m_localDevice.get(), &QBluetoothLocalDevice::hostModeStateChanged, this,
            [this] { updateState(); });
#ifdef Q_OS_LINUX
    // Qt does not report a bluetoothd that goes away or comes back.
    m_bluezWatcher = new QDBusServiceWatcher(bluezService, QDBusConnection::systemBus(),
                                             QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_bluezWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] {
        m_localDevice = std::make_unique<QBluetoothLocalDevice>();
        connect(m_localDevice.get(), &QBluetoothLocalDevice::hostModeStateChanged, this,
                [this] { updateState(); });
        updateState();
    });
#endif

    m_discovery = new QBluetoothDeviceDiscoveryAgent(this);
    m_discovery->setLowEnergyDiscoveryTimeout(0); // until stopped
    const auto report = [this](const QBluetoothDeviceInfo& info) {
        if (!(info.coreConfigurations() & QBluetoothDeviceInfo::LowEnergyCoreConfiguration))
            return;
        const QUuid identifier = identifierOf(info);
        m_seen.insert(identifier, info);
        const QString name = info.name();
        Q_EMIT peripheralDiscovered({identifier, name.isEmpty() ? std::nullopt : std::optional(name)},
                                    info.rssi(), true);
    };
    connect(m_discovery, &QBluetoothDeviceDiscoveryAgent::deviceDiscovered, this, report);
    connect(m_discovery, &QBluetoothDeviceDiscoveryAgent::deviceUpdated, this,
            [report](const QBluetoothDeviceInfo& info, QBluetoothDeviceInfo::Fields) { report(info); });

    // Like the platform centrals: the first state arrives as a callback.
    QMetaObject::invokeMethod(
        this, [this] { updateState(); }, Qt::QueuedConnection);
}

QtBleCentral::~QtBleCentral() = default;

void QtBleCentral::setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds serviceDiscovery)
{
    m_connectTimeout = connect;
    m_serviceDiscoveryTimeout = serviceDiscovery;
}

QUuid QtBleCentral::identifierOf(const QBluetoothDeviceInfo& info)
{
    const QUuid platformIdentifier = info.deviceUuid();
    return platformIdentifier.isNull() ? BluetoothAddressId::identifier(info.address()) : platformIdentifier;
}

void QtBleCentral::updateState()
{
#ifdef Q_OS_LINUX
    const bool bluezRunning = QDBusConnection::systemBus().interface() &&
                              QDBusConnection::systemBus().interface()->isServiceRegistered(bluezService);
#else
    const bool bluezRunning = true;
#endif
    if (!bluezRunning || !m_localDevice->isValid())
        setState(BleCentralState::unsupported);
    else if (m_localDevice->hostMode() == QBluetoothLocalDevice::HostPoweredOff)
        setState(BleCentralState::poweredOff);
    else
        setState(BleCentralState::poweredOn);
}

void QtBleCentral::setState(BleCentralState state)
{
    if (state == m_state)
        return;
    m_state = state;
    if (state != BleCentralState::poweredOn && m_connection)
        endConnection(QStringLiteral("Bluetooth is no longer available"));
    Q_EMIT stateUpdated(state);
}

void QtBleCentral::scanForPeripherals()
{
    if (!m_discovery->isActive())
        m_discovery->start(QBluetoothDeviceDiscoveryAgent::LowEnergyMethod);
}

void QtBleCentral::stopScan()
{
    if (m_discovery->isActive())
        m_discovery->stop();
}

QList<BlePeripheral> QtBleCentral::retrievePeripherals(const QUuid& identifier)
{
    if (m_seen.contains(identifier)) {
        const QString name = m_seen.value(identifier).name();
        return {{identifier, name.isEmpty() ? std::nullopt : std::optional(name)}};
    }
#ifdef Q_OS_LINUX
    if (const auto address = BluetoothAddressId::address(identifier)) {
        if (const auto name = knownToBluez(*address))
            return {{identifier, *name}};
    }
#endif
    return {};
}

void QtBleCentral::connectPeripheral(const BlePeripheral& peripheral)
{
    m_connection.reset();
    QBluetoothDeviceInfo info = m_seen.value(peripheral.identifier);
    if (!info.isValid()) {
        const auto address = BluetoothAddressId::address(peripheral.identifier);
        info = QBluetoothDeviceInfo(address.value_or(QBluetoothAddress()),
                                    peripheral.name.value_or(QString()), 0);
        info.setCoreConfigurations(QBluetoothDeviceInfo::LowEnergyCoreConfiguration);
    }

    m_connection = std::make_unique<Connection>();
    Connection& connection = *m_connection;
    connection.peripheral = peripheral;
    connection.controller = QLowEnergyController::createCentral(info, this);
    QLowEnergyController* controller = connection.controller;

    connection.connectTimer.setSingleShot(true);
    connection.connectTimer.setInterval(m_connectTimeout);
    connect(&connection.connectTimer, &QTimer::timeout, this, [this, peripheral] {
        m_connection.reset();
        Q_EMIT connectFailed(
            peripheral, BleConnectFailure::notAnswering,
            QStringLiteral("The device did not answer within %1 ms.").arg(m_connectTimeout.count()));
    });
    connection.discoveryTimer.setSingleShot(true);
    connection.discoveryTimer.setInterval(m_serviceDiscoveryTimeout);
    connect(&connection.discoveryTimer, &QTimer::timeout, this, [this] {
        endConnection(QStringLiteral("Service discovery did not finish within %1 ms.")
                          .arg(m_serviceDiscoveryTimeout.count()));
    });

    connect(controller, &QLowEnergyController::connected, this, [this, peripheral] {
        m_connection->connectTimer.stop();
        m_connection->connected = true;
        Q_EMIT peripheralConnected(peripheral);
    });
    connect(controller, &QLowEnergyController::errorOccurred, this, [this, peripheral, controller] {
        const QString error = controller->errorString();
        if (!m_connection || !m_connection->connected) {
            m_connection.reset();
            Q_EMIT connectFailed(peripheral, BleConnectFailure::refused, error);
        } else {
            endConnection(error);
        }
    });
    connect(controller, &QLowEnergyController::disconnected, this, [this] {
        if (m_connection && m_connection->connected)
            endConnection(std::nullopt);
    });
    connect(controller, &QLowEnergyController::discoveryFinished, this, [this, peripheral, controller] {
        m_connection->discoveryTimer.stop();
        QList<BleService> services;
        for (const QBluetoothUuid& uuid : controller->services())
            services.append({uuidText(uuid)});
        Q_EMIT servicesDiscovered(peripheral, services, std::nullopt);
    });

    connection.connectTimer.start();
    controller->connectToDevice();
}

void QtBleCentral::endConnection(const std::optional<QString>& lostWith)
{
    if (!m_connection)
        return;
    const BlePeripheral peripheral = m_connection->peripheral;
    const bool wasConnected = m_connection->connected;
    m_connection.reset();
    if (wasConnected) {
        Q_EMIT peripheralDisconnected(peripheral, lostWith);
    }
}

void QtBleCentral::cancelPeripheralConnection(const BlePeripheral& peripheral)
{
    if (m_connection && m_connection->peripheral.identifier == peripheral.identifier)
        m_connection.reset(); // ours: nothing is reported
}

void QtBleCentral::discoverServices(const BlePeripheral&)
{
    if (!m_connection || !m_connection->controller)
        return;
    m_connection->discoveryTimer.start();
    m_connection->controller->discoverServices();
}

QLowEnergyService* QtBleCentral::serviceFor(const QString& uuid) const
{
    if (!m_connection)
        return nullptr;
    return m_connection->services.value(uuid.toUpper());
}

void QtBleCentral::discoverCharacteristics(const BlePeripheral&, const BleService& bleService)
{
    if (!m_connection || !m_connection->controller)
        return;
    QLowEnergyService* service =
        m_connection->controller->createServiceObject(QBluetoothUuid(bleService.uuid), this);
    if (!service) {
        Q_EMIT characteristicsDiscovered(m_connection->peripheral, bleService, {},
                                         QStringLiteral("The service is not available."));
        return;
    }
    m_connection->services.insert(bleService.uuid.toUpper(), service);
    watchService(service, bleService);
    m_connection->discoveryTimer.start();
    service->discoverDetails();
}

void QtBleCentral::watchService(QLowEnergyService* service, const BleService& bleService)
{
    const auto characteristicOf = [bleService](const QLowEnergyCharacteristic& c) {
        return BleCharacteristic{uuidText(c.uuid()), bleService.uuid, quint8(c.properties() & 0xFF)};
    };
    connect(service, &QLowEnergyService::stateChanged, this,
            [this, service, bleService, characteristicOf](QLowEnergyService::ServiceState state) {
                if (state != QLowEnergyService::RemoteServiceDiscovered || !m_connection)
                    return;
                m_connection->discoveryTimer.stop();
                QList<BleCharacteristic> characteristics;
                for (const QLowEnergyCharacteristic& c : service->characteristics())
                    characteristics.append(characteristicOf(c));
                Q_EMIT characteristicsDiscovered(m_connection->peripheral, bleService, characteristics,
                                                 std::nullopt);
            });
    connect(service, &QLowEnergyService::characteristicRead, this,
            [this, characteristicOf](const QLowEnergyCharacteristic& c, const QByteArray& value) {
                if (!m_connection)
                    return;
                const BleCharacteristic characteristic = characteristicOf(c);
                m_connection->pendingReads.remove(characteristic.uuid);
                m_connection->readEchoes.insert(characteristic.uuid, value);
                Q_EMIT valueUpdated(m_connection->peripheral, characteristic, value, std::nullopt);
            });
    connect(service, &QLowEnergyService::characteristicChanged, this,
            [this, characteristicOf](const QLowEnergyCharacteristic& c, const QByteArray& value) {
                if (!m_connection)
                    return;
                const BleCharacteristic characteristic = characteristicOf(c);
                // BlueZ reports every read once more as a change: hand each value up once.
                if (m_connection->pendingReads.contains(characteristic.uuid))
                    return;
                const auto echo = m_connection->readEchoes.constFind(characteristic.uuid);
                if (echo != m_connection->readEchoes.cend()) {
                    const bool isEcho = *echo == value;
                    m_connection->readEchoes.erase(echo);
                    if (isEcho)
                        return;
                }
                Q_EMIT valueUpdated(m_connection->peripheral, characteristic, value, std::nullopt);
            });
    connect(service, &QLowEnergyService::descriptorWritten, this,
            [this, service, characteristicOf](const QLowEnergyDescriptor& descriptor, const QByteArray&) {
                if (!m_connection ||
                    descriptor.type() != QBluetoothUuid::DescriptorType::ClientCharacteristicConfiguration)
                    return;
                for (const QLowEnergyCharacteristic& c : service->characteristics()) {
                    if (c.clientCharacteristicConfiguration() == descriptor) {
                        Q_EMIT notificationStateUpdated(m_connection->peripheral, characteristicOf(c),
                                                        std::nullopt);
                    }
                }
            });
    connect(service, &QLowEnergyService::errorOccurred, this,
            [this, bleService](QLowEnergyService::ServiceError error) {
                if (!m_connection)
                    return;
                const QString text =
                    QStringLiteral("The service %1 reported error %2").arg(bleService.uuid).arg(int(error));
                if (error == QLowEnergyService::CharacteristicReadError) {
                    // The read that failed is not named; every pending one ends with the error.
                    const QSet<QString> pending = std::exchange(m_connection->pendingReads, {});
                    for (const QString& uuid : pending) {
                        Q_EMIT valueUpdated(m_connection->peripheral, {uuid, bleService.uuid, 0},
                                            std::nullopt, text);
                    }
                } else if (error == QLowEnergyService::DescriptorWriteError) {
                    Q_EMIT notificationStateUpdated(m_connection->peripheral, {QString(), bleService.uuid, 0},
                                                    text);
                } else if (error == QLowEnergyService::UnknownError ||
                           error == QLowEnergyService::OperationError) {
                    Q_EMIT characteristicsDiscovered(m_connection->peripheral, bleService, {}, text);
                }
            });
}

void QtBleCentral::setNotifyValue(bool enabled, const BlePeripheral& peripheral,
                                  const BleCharacteristic& characteristic)
{
    QLowEnergyService* service = serviceFor(characteristic.serviceUuid);
    if (!service)
        return;
    const QLowEnergyCharacteristic c = service->characteristic(QBluetoothUuid(characteristic.uuid));
    const QLowEnergyDescriptor cccd = c.clientCharacteristicConfiguration();
    if (!cccd.isValid()) {
        // Without a configuration descriptor BlueZ sends no notifications.
        Q_EMIT notificationStateUpdated(
            peripheral, characteristic,
            QStringLiteral("The characteristic has no configuration descriptor."));
        return;
    }
    const bool indicate = !(characteristic.properties & BleCharacteristic::propertyNotify);
    const QByteArray value = !enabled   ? QLowEnergyCharacteristic::CCCDDisable
                             : indicate ? QLowEnergyCharacteristic::CCCDEnableIndication
                                        : QLowEnergyCharacteristic::CCCDEnableNotification;
    service->writeDescriptor(cccd, value);
}

void QtBleCentral::readValue(const BlePeripheral&, const BleCharacteristic& characteristic)
{
    QLowEnergyService* service = serviceFor(characteristic.serviceUuid);
    if (!service)
        return;
    m_connection->pendingReads.insert(characteristic.uuid);
    service->readCharacteristic(service->characteristic(QBluetoothUuid(characteristic.uuid)));
}
