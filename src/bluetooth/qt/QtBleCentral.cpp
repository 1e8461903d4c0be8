#include "bluetooth/qt/QtBleCentral.h"

#include "bluetooth/qt/BluetoothAddressId.h"
#include "bluetooth/qt/BluezDevice.h"
#include "bluetooth/qt/BluezDiscoverySession.h"
#include "bluetooth/qt/BluezErrors.h"
#include "diagnostics/Logger.h"
#include "platform/BluezInterfaces.h"

#include <QBluetoothDeviceDiscoveryAgent>
#include <QBluetoothLocalDevice>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QLowEnergyController>
#include <QLowEnergyService>
#include <QMetaEnum>
#include <QSet>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QRegularExpression>
#endif

struct QtBleCentral::Connection
{
    explicit Connection(QObject* central)
        : owner(central)
        , connectTimer(new QTimer(central))
        , discoveryTimer(new QTimer(central))
    {
        connectTimer->setSingleShot(true);
        discoveryTimer->setSingleShot(true);
    }

    // Everything of an attempt goes, and nothing of it is reused: after a drop Qt's old
    // controller and service objects stay invalid. Only our own connections are cut:
    // QtDBus needs the others (destroyed() above all) to forget its objects.
    ~Connection()
    {
        for (QTimer* timer : {connectTimer, discoveryTimer}) {
            timer->disconnect(owner);
            timer->stop();
            timer->deleteLater();
        }
        for (const auto& service : std::as_const(services)) {
            if (service) {
                service->disconnect(owner);
                service->deleteLater();
            }
        }
        if (controller) {
            controller->disconnect(owner);
            controller->disconnectFromDevice();
            controller->deleteLater();
        }
        if (link) {
            link->disconnect(owner);
            link->disconnectLink();
            link->deleteLater();
        }
    }

    QObject* owner;
    quint64 attempt = 0;
    BlePeripheral peripheral;
    QString name; // as the rider's sentences call it
    QPointer<BluezDevice> link;
    QPointer<QLowEnergyController> controller;
    bool connected = false;
    QTimer* connectTimer;
    QTimer* discoveryTimer;
    QHash<QString, QPointer<QLowEnergyService>> services; // by upper-case UUID text
    QSet<QString> pendingReads;                           // characteristic UUIDs
    QHash<QString, QByteArray> readEchoes;                // a read's value, until its change echo arrives
    // By service UUID: the characteristics whose subscriptions Qt has queued, in its order,
    // because a failed one comes back without a name.
    QHash<QString, QList<BleCharacteristic>> subscribing;
};

namespace {

const QString qtBleCentralLog = QStringLiteral("QtBleCentral");
const QString bluezService = QStringLiteral("org.bluez");
using BluezInterfaces::adapterInterface;

void logDebug(const QString& text)
{
    Logger::shared().logDebug(text, qtBleCentralLog);
}

void logInfo(const QString& text)
{
    Logger::shared().logInfo(text, qtBleCentralLog);
}

void logError(const QString& text)
{
    Logger::shared().logError(text, qtBleCentralLog);
}

QString uuidText(const QBluetoothUuid& uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

template<typename Enum> QString nameOf(Enum value)
{
    const char* key = QMetaEnum::fromType<Enum>().valueToKey(int(value));
    return key ? QString::fromLatin1(key) : QString::number(int(value));
}

QString nameOf(BleConnectFailure failure)
{
    switch (failure) {
    case BleConnectFailure::notAnswering:
        return QStringLiteral("notAnswering");
    case BleConnectFailure::busy:
        return QStringLiteral("busy");
    case BleConnectFailure::refused:
        return QStringLiteral("refused");
    }
    return QStringLiteral("refused");
}

QString nameOf(BleCentralState state)
{
    switch (state) {
    case BleCentralState::unknown:
        return QStringLiteral("unknown");
    case BleCentralState::resetting:
        return QStringLiteral("resetting");
    case BleCentralState::unsupported:
        return QStringLiteral("unsupported");
    case BleCentralState::unauthorized:
        return QStringLiteral("unauthorized");
    case BleCentralState::poweredOff:
        return QStringLiteral("poweredOff");
    case BleCentralState::poweredOn:
        return QStringLiteral("poweredOn");
    case BleCentralState::serviceStopped:
        return QStringLiteral("serviceStopped");
    }
    return QStringLiteral("unknown");
}

#ifdef Q_OS_LINUX
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

#ifdef Q_OS_LINUX
    // Qt does not notice a bluetoothd that goes away or comes back: its objects then
    // talk to nobody, so they are made anew.
    QDBusConnection bus = QDBusConnection::systemBus();
    m_bluezWatcher =
        new QDBusServiceWatcher(bluezService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_bluezWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString& oldOwner, const QString& newOwner) {
                if (!oldOwner.isEmpty()) {
                    logInfo(QStringLiteral("bluetoothd stopped"));
                    dropPlatformObjects();
                    setState(BleCentralState::serviceStopped);
                }
                if (!newOwner.isEmpty()) {
                    logInfo(QStringLiteral("bluetoothd started"));
                    createPlatformObjects();
                }
                updateState();
            });
    // Adapters that come and go while bluetoothd runs (a dongle, or bluetoothd still starting).
    const QString objectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
    bus.connect(bluezService, QStringLiteral("/"), objectManager, QStringLiteral("InterfacesAdded"), this,
                SLOT(onInterfacesAdded(QDBusMessage)));
    bus.connect(bluezService, QStringLiteral("/"), objectManager, QStringLiteral("InterfacesRemoved"), this,
                SLOT(onInterfacesRemoved(QDBusMessage)));
#endif
    createPlatformObjects();

    // Like the platform centrals: the first state arrives as a callback.
    QMetaObject::invokeMethod(
        this, [this] { updateState(); }, Qt::QueuedConnection);
}

QtBleCentral::~QtBleCentral()
{
    m_connection.reset();
    dropPlatformObjects();
}

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

void QtBleCentral::createLocalDevice()
{
    m_localDevice = std::make_unique<QBluetoothLocalDevice>();
    connect(m_localDevice.get(), &QBluetoothLocalDevice::hostModeStateChanged, this,
            [this] { updateState(); });
}

void QtBleCentral::createPlatformObjects()
{
    dropPlatformObjects();
    createLocalDevice();
    m_session = std::make_unique<BluezDiscoverySession>();
    connect(m_session.get(), &BluezDiscoverySession::discovering, this, &QtBleCentral::startAgent);
    connect(m_session.get(), &BluezDiscoverySession::failed, this, [this](const QString& why) {
        logInfo(QStringLiteral("Cogwise's own scan did not start: ") + why);
    });
    m_discovery = new QBluetoothDeviceDiscoveryAgent(this);
    m_discovery->setLowEnergyDiscoveryTimeout(0); // until stopped
    connect(m_discovery, &QBluetoothDeviceDiscoveryAgent::deviceDiscovered, this,
            [this](const QBluetoothDeviceInfo& info) {
                // Starting, the agent hands over every device BlueZ remembers; later
                // discoveries are devices heard now.
                m_lastHeard.reset();
                if (!m_replaying)
                    m_lastHeard = std::pair{identifierOf(info), int(info.rssi())};
                reportDiscovery(info, !m_replaying);
            });
    connect(
        m_discovery, &QBluetoothDeviceDiscoveryAgent::deviceUpdated, this,
        [this](const QBluetoothDeviceInfo& info, QBluetoothDeviceInfo::Fields fields) {
            if (!fields.testFlag(QBluetoothDeviceInfo::Field::RSSI) &&
                !fields.testFlag(QBluetoothDeviceInfo::Field::ManufacturerData))
                return;
            // Without a discovery time limit Qt reports one advertisement as a
            // discovery and again as an update.
            if (std::exchange(m_lastHeard, std::nullopt) == std::pair{identifierOf(info), int(info.rssi())})
                return;
            reportDiscovery(info, true);
        });
    connect(m_discovery, &QBluetoothDeviceDiscoveryAgent::errorOccurred, this,
            [this](QBluetoothDeviceDiscoveryAgent::Error error) {
                logInfo(QStringLiteral("The scan stopped: %1 (%2)")
                            .arg(nameOf(error), m_discovery ? m_discovery->errorString() : QString()));
            });
}

void QtBleCentral::dropPlatformObjects()
{
    if (m_discovery) {
        m_discovery->disconnect(this);
        // Stopping also releases Qt's process-wide claim on the adapter's discovery.
        if (m_discovery->isActive())
            m_discovery->stop();
        m_discovery->deleteLater();
        m_discovery = nullptr;
    }
    m_session.reset();
    m_localDevice.reset();
}

void QtBleCentral::onInterfacesAdded(const QDBusMessage& message)
{
    const auto interfaces = qdbus_cast<QMap<QString, QVariantMap>>(message.arguments().value(1));
    if (!interfaces.contains(adapterInterface))
        return;
    logInfo(QStringLiteral("Bluetooth adapter added"));
    // Qt's scan stays bound to the adapter it started on, and does not always notice that
    // adapter go: everything is made anew for the one now here (the scan starts again with
    // the power-on that follows, as after a restart of bluetoothd).
    createPlatformObjects();
    updateState();
}

void QtBleCentral::onInterfacesRemoved(const QDBusMessage& message)
{
    if (!message.arguments().value(1).toStringList().contains(adapterInterface))
        return;
    logInfo(QStringLiteral("Bluetooth adapter removed"));
    createPlatformObjects();
    updateState();
}

void QtBleCentral::reportDiscovery(const QBluetoothDeviceInfo& info, bool advertising)
{
    if (!(info.coreConfigurations() & QBluetoothDeviceInfo::LowEnergyCoreConfiguration))
        return;
    const QUuid identifier = identifierOf(info);
    m_seen.insert(identifier, info);
    const QString name = info.name();
    Q_EMIT peripheralDiscovered({identifier, name.isEmpty() ? std::nullopt : std::optional(name)},
                                info.rssi(), advertising);
}

void QtBleCentral::updateState()
{
#ifdef Q_OS_LINUX
    const auto* bus = QDBusConnection::systemBus().interface();
    if (!bus || !bus->isServiceRegistered(bluezService)) {
        setState(BleCentralState::serviceStopped);
        return;
    }
#endif
    if (!m_localDevice || !m_localDevice->isValid())
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
    logInfo(QStringLiteral("Bluetooth is %1").arg(nameOf(state)));
    // An adapter switched off ends every discovery session; ours starts again if still wanted.
    if (state == BleCentralState::poweredOn && m_session)
        m_session->restart();
    if (state != BleCentralState::poweredOn && m_connection) {
        const QString sentence = state == BleCentralState::poweredOff ? BluezErrors::bluetoothOff()
                                 : state == BleCentralState::serviceStopped
                                     ? BluezErrors::serviceStopped()
                                     : QStringLiteral("Bluetooth is not available");
        if (m_connection->connected)
            endConnection(sentence);
        else
            failAttempt(BleConnectFailure::refused, sentence,
                        QStringLiteral("Bluetooth is ") + nameOf(state));
    }
    Q_EMIT stateUpdated(state);
}

void QtBleCentral::scanForPeripherals()
{
    if (!m_discovery) {
        logInfo(QStringLiteral("No scan while bluetoothd is not running"));
        return;
    }
    m_scanWanted = true;
    // Qt's agent starts once our session discovers: finding the adapter busy, it opens no session
    // of its own, whose start and stop Qt's bookkeeping can lose when they follow each other fast.
    m_session->start();
    if (m_session->discoveringNow())
        startAgent();
}

void QtBleCentral::startAgent()
{
    if (!m_discovery || !m_scanWanted || m_discovery->isActive())
        return;
    m_replaying = true;
    m_discovery->start(QBluetoothDeviceDiscoveryAgent::LowEnergyMethod);
    m_replaying = false;
}

void QtBleCentral::stopScan()
{
    m_scanWanted = false;
    if (m_session)
        m_session->stop();
    if (m_discovery && m_discovery->isActive())
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

bool QtBleCentral::isCurrent(quint64 attempt) const
{
    return m_connection && m_connection->attempt == attempt;
}

QBluetoothDeviceInfo QtBleCentral::deviceInfoFor(const BlePeripheral& peripheral) const
{
    QBluetoothDeviceInfo info = m_seen.value(peripheral.identifier);
    if (!info.isValid()) {
        const auto address = BluetoothAddressId::address(peripheral.identifier);
        info = QBluetoothDeviceInfo(address.value_or(QBluetoothAddress()),
                                    peripheral.name.value_or(QString()), 0);
        info.setCoreConfigurations(QBluetoothDeviceInfo::LowEnergyCoreConfiguration);
    }
    return info;
}

void QtBleCentral::connectPeripheral(const BlePeripheral& peripheral)
{
    if (m_connection) {
        logDebug(QStringLiteral("Giving up the link to %1 for a new attempt").arg(m_connection->name));
        m_connection.reset();
    }
    const QBluetoothDeviceInfo info = deviceInfoFor(peripheral);
    m_connection = std::make_unique<Connection>(this);
    Connection& connection = *m_connection;
    const quint64 attempt = connection.attempt = ++m_attempts;
    connection.peripheral = peripheral;
    connection.name = peripheral.name.value_or(info.name());
    if (connection.name.isEmpty())
        connection.name = QStringLiteral("The unit");

    connection.connectTimer->setInterval(m_connectTimeout);
    connect(connection.connectTimer, &QTimer::timeout, this, [this, attempt] {
        if (isCurrent(attempt)) {
            failAttempt(BleConnectFailure::notAnswering, BluezErrors::notAnswering(m_connection->name),
                        QStringLiteral("no link within %1 ms").arg(m_connectTimeout.count()));
        }
    });
    connection.discoveryTimer->setInterval(m_serviceDiscoveryTimeout);
    connect(connection.discoveryTimer, &QTimer::timeout, this, [this, attempt] {
        if (isCurrent(attempt)) {
            endConnection(QStringLiteral("Service discovery did not finish within %1 ms.")
                              .arg(m_serviceDiscoveryTimeout.count()));
        }
    });
    connection.connectTimer->start();

    if (info.address().isNull() && info.deviceUuid().isNull()) {
        QMetaObject::invokeMethod(
            this,
            [this, attempt] {
                if (isCurrent(attempt)) {
                    failAttempt(BleConnectFailure::refused, BluezErrors::couldNotConnect(m_connection->name),
                                QStringLiteral("its identifier names no Bluetooth address"));
                }
            },
            Qt::QueuedConnection);
        return;
    }
#ifdef Q_OS_LINUX
    // BlueZ first, so that a failure comes with BlueZ's reason; Qt then takes the link over.
    connection.link = new BluezDevice(info.address(), QDBusConnection::systemBus(), this);
    connect(connection.link, &BluezDevice::ready, this, [this, attempt, info] {
        // Qt sets the link up on a clean stack, not inside the D-Bus reply.
        QMetaObject::invokeMethod(
            this,
            [this, attempt, info] {
                if (isCurrent(attempt))
                    startController(info);
            },
            Qt::QueuedConnection);
    });
    connect(connection.link, &BluezDevice::failed, this,
            [this, attempt](const QString& errorName, const QString& message) {
                if (!isCurrent(attempt))
                    return;
                const auto meaning = BluezErrors::ofConnectError(errorName, message, m_connection->name);
                failAttempt(meaning.failure, meaning.sentence,
                            QStringLiteral("%1 %2").arg(errorName, message));
            });
    logDebug(
        QStringLiteral("Asking BlueZ to connect %1 (%2)").arg(connection.name, info.address().toString()));
    connection.link->connectLink(m_connectTimeout + std::chrono::seconds{5});
#else
    startController(info);
#endif
}

void QtBleCentral::startController(const QBluetoothDeviceInfo& info)
{
    Connection& connection = *m_connection;
    const quint64 attempt = connection.attempt;
    connection.controller = QLowEnergyController::createCentral(info, this);
    QLowEnergyController* controller = connection.controller;

    connect(controller, &QLowEnergyController::connected, this, [this, attempt] {
        if (!isCurrent(attempt) || m_connection->connected)
            return;
        m_connection->connectTimer->stop();
        m_connection->connected = true;
        logInfo(QStringLiteral("Connected to %1").arg(m_connection->name));
        Q_EMIT peripheralConnected(m_connection->peripheral);
    });
    connect(controller, &QLowEnergyController::errorOccurred, this,
            [this, attempt, controller](QLowEnergyController::Error error) {
                if (!isCurrent(attempt))
                    return;
                const QString why =
                    QStringLiteral("Qt's %1 (%2)").arg(nameOf(error), controller->errorString());
                const QString& name = m_connection->name;
                if (m_connection->connected) {
                    logError(QStringLiteral("The link to %1 failed: %2").arg(name, why));
                    endConnection(QStringLiteral("The connection to %1 failed").arg(name));
                } else if (error == QLowEnergyController::UnknownRemoteDeviceError) {
                    failAttempt(BleConnectFailure::notAnswering, BluezErrors::notAnswering(name), why);
                } else if (error == QLowEnergyController::InvalidBluetoothAdapterError) {
                    failAttempt(BleConnectFailure::refused, BluezErrors::bluetoothOff(), why);
                } else {
                    failAttempt(BleConnectFailure::refused, BluezErrors::couldNotConnect(name), why);
                }
            });
    connect(controller, &QLowEnergyController::disconnected, this, [this, attempt] {
        if (isCurrent(attempt) && m_connection->connected) {
            logInfo(QStringLiteral("%1 disconnected").arg(m_connection->name));
            endConnection(std::nullopt);
        }
    });
    connect(controller, &QLowEnergyController::discoveryFinished, this, [this, attempt, controller] {
        if (!isCurrent(attempt))
            return;
        m_connection->discoveryTimer->stop();
        QList<BleService> services;
        for (const QBluetoothUuid& uuid : controller->services())
            services.append({uuidText(uuid)});
        Q_EMIT servicesDiscovered(m_connection->peripheral, services, std::nullopt);
    });
    controller->connectToDevice();
}

void QtBleCentral::failAttempt(BleConnectFailure failure, const QString& sentence, const QString& why)
{
    if (!m_connection)
        return;
    const BlePeripheral peripheral = m_connection->peripheral;
    logError(
        QStringLiteral("Connecting to %1 failed (%2): %3").arg(m_connection->name, nameOf(failure), why));
    m_connection.reset();
    Q_EMIT connectFailed(peripheral, failure, sentence);
}

void QtBleCentral::endConnection(const std::optional<QString>& lostWith)
{
    if (!m_connection)
        return;
    const BlePeripheral peripheral = m_connection->peripheral;
    const bool wasConnected = m_connection->connected;
    m_connection.reset();
    if (wasConnected)
        Q_EMIT peripheralDisconnected(peripheral, lostWith);
}

void QtBleCentral::cancelPeripheralConnection(const BlePeripheral& peripheral)
{
    if (m_connection && m_connection->peripheral.identifier == peripheral.identifier) {
        logDebug(QStringLiteral("Ending the link to %1").arg(m_connection->name));
        m_connection.reset(); // ours, at BlueZ too: nothing is reported
    }
}

void QtBleCentral::discoverServices(const BlePeripheral&)
{
    if (!m_connection || !m_connection->controller)
        return;
    m_connection->discoveryTimer->start();
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
    m_connection->discoveryTimer->start();
    service->discoverDetails();
}

void QtBleCentral::watchService(QLowEnergyService* service, const BleService& bleService)
{
    const quint64 attempt = m_connection->attempt;
    const auto characteristicOf = [bleService](const QLowEnergyCharacteristic& c) {
        return BleCharacteristic{uuidText(c.uuid()), bleService.uuid, quint8(c.properties() & 0xFF)};
    };
    // The characteristic whose subscription Qt has just finished, if we asked for it.
    const auto subscribed = [this, bleService]() -> std::optional<BleCharacteristic> {
        auto& queue = m_connection->subscribing[bleService.uuid.toUpper()];
        if (queue.isEmpty())
            return std::nullopt;
        return queue.takeFirst();
    };
    connect(service, &QLowEnergyService::stateChanged, this,
            [this, attempt, service, bleService, characteristicOf](QLowEnergyService::ServiceState state) {
                if (state != QLowEnergyService::RemoteServiceDiscovered || !isCurrent(attempt))
                    return;
                m_connection->discoveryTimer->stop();
                QList<BleCharacteristic> characteristics;
                for (const QLowEnergyCharacteristic& c : service->characteristics())
                    characteristics.append(characteristicOf(c));
                Q_EMIT characteristicsDiscovered(m_connection->peripheral, bleService, characteristics,
                                                 std::nullopt);
            });
    connect(service, &QLowEnergyService::characteristicRead, this,
            [this, attempt, characteristicOf](const QLowEnergyCharacteristic& c, const QByteArray& value) {
                if (!isCurrent(attempt))
                    return;
                const BleCharacteristic characteristic = characteristicOf(c);
                m_connection->pendingReads.remove(characteristic.uuid);
                m_connection->readEchoes.insert(characteristic.uuid, value);
                Q_EMIT valueUpdated(m_connection->peripheral, characteristic, value, std::nullopt);
            });
    connect(service, &QLowEnergyService::characteristicChanged, this,
            [this, attempt, characteristicOf](const QLowEnergyCharacteristic& c, const QByteArray& value) {
                if (!isCurrent(attempt))
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
            [this, attempt, subscribed](const QLowEnergyDescriptor& descriptor, const QByteArray&) {
                if (!isCurrent(attempt) ||
                    descriptor.type() != QBluetoothUuid::DescriptorType::ClientCharacteristicConfiguration)
                    return;
                if (const auto characteristic = subscribed())
                    Q_EMIT notificationStateUpdated(m_connection->peripheral, *characteristic, std::nullopt);
            });
    connect(service, &QLowEnergyService::errorOccurred, this,
            [this, attempt, bleService, subscribed](QLowEnergyService::ServiceError error) {
                if (!isCurrent(attempt))
                    return;
                const QString text =
                    QStringLiteral("The service %1 reported %2").arg(bleService.uuid, nameOf(error));
                if (error == QLowEnergyService::CharacteristicReadError) {
                    // The read that failed is not named; every pending one ends with the error.
                    const QSet<QString> pending = std::exchange(m_connection->pendingReads, {});
                    for (const QString& uuid : pending) {
                        Q_EMIT valueUpdated(m_connection->peripheral, {uuid, bleService.uuid, 0},
                                            std::nullopt, text);
                    }
                } else if (error == QLowEnergyService::DescriptorWriteError) {
                    // After a reconnection BlueZ may still be turning a session it kept
                    // back on: it turns the new request down while notifications flow.
                    const BleCharacteristic characteristic =
                        subscribed().value_or(BleCharacteristic{QString(), bleService.uuid, 0});
                    logInfo(
                        QStringLiteral("BlueZ turned down the subscription to %1 of %2; notifications of a "
                                       "session it kept still arrive")
                            .arg(characteristic.uuid, m_connection->name));
                    Q_EMIT notificationStateUpdated(m_connection->peripheral, characteristic, text);
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
    m_connection->subscribing[characteristic.serviceUuid.toUpper()].append(characteristic);
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
