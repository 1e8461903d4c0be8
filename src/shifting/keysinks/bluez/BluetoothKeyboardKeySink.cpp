#include "shifting/keysinks/bluez/BluetoothKeyboardKeySink.h"

#include "diagnostics/Logger.h"
#include "platform/BluezInterfaces.h"
#include "shifting/keysinks/bluez/BluezNames.h"
#include "shifting/keysinks/bluez/HidGattApplication.h"
#include "shifting/keysinks/bluez/HidKeyboardReport.h"
#include "shifting/keysinks/bluez/KeyboardAdvertisement.h"
#include "shifting/keysinks/bluez/PairingAgent.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>

namespace {

const QString bluetoothKeyboardKeySinkLog = QStringLiteral("BluetoothKeyboard");
const QString root = QStringLiteral("/org/cogwise/keyboard");
// Already registered is as good as registered: bluetoothd kept it from before.
const QString alreadyExists = QStringLiteral("org.bluez.Error.AlreadyExists");

QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                  const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(BluezInterfaces::service, path, interface, method);
    message.setArguments(arguments);
    return message;
}

QString textOf(const QDBusMessage& reply)
{
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

} // namespace

BluetoothKeyboardKeySink::BluetoothKeyboardKeySink(QDBusConnection bus, QString adapterName,
                                                   std::function<bool(const QString&)> isDi2Unit)
    : m_bus(std::move(bus))
    , m_adapterName(std::move(adapterName))
    , m_isDi2Unit(std::move(isDi2Unit))
    , m_application(std::make_unique<HidGattApplication>(root + QStringLiteral("/app")))
    , m_advertisement(std::make_unique<KeyboardAdvertisement>(root + QStringLiteral("/advertisement")))
    , m_agent(std::make_unique<PairingAgent>(root + QStringLiteral("/agent")))
{
    BluezNames::registerTypes();
    m_pairingTimer.setSingleShot(true);
    connect(&m_pairingTimer, &QTimer::timeout, this, &BluetoothKeyboardKeySink::closePairing);
    if (!m_bus.isConnected()) {
        setProblem(
            QStringLiteral("The system bus is not reachable, so Cogwise cannot be a Bluetooth keyboard."));
        return;
    }
    if (!m_application->serve(m_bus) || !m_advertisement->serve(m_bus) || !m_agent->serve(m_bus)) {
        setProblem(QStringLiteral("Another Bluetooth keyboard of Cogwise runs already on this computer."));
        return;
    }
    connect(m_application.get(), &HidGattApplication::subscriptionChanged, this, [this](bool subscribed) {
        announce(subscribed ? QString() : QStringLiteral("The device stopped taking keys."));
    });
    connect(m_advertisement.get(), &KeyboardAdvertisement::released, this, [this] {
        m_advertising = false;
        announce({});
    });
    connect(m_agent.get(), &PairingAgent::pairingRequested, this, [this](const QString& path, bool accepted) {
        const QString name = m_devices.value(path).value(QStringLiteral("Alias")).toString();
        Q_EMIT messageLogged(accepted ? QStringLiteral("%1 asks to pair with Cogwise.").arg(name)
                                      : QStringLiteral("%1 asked to pair, but pairing is not open: choose "
                                                       "“Pair a Device…” in Cogwise first.")
                                            .arg(name));
    });
    m_bus.connect(BluezInterfaces::service, QStringLiteral("/"), BluezInterfaces::objectManagerInterface,
                  QStringLiteral("InterfacesAdded"), this, SLOT(onInterfacesAdded(QDBusMessage)));
    m_bus.connect(BluezInterfaces::service, QStringLiteral("/"), BluezInterfaces::objectManagerInterface,
                  QStringLiteral("InterfacesRemoved"), this, SLOT(onInterfacesRemoved(QDBusMessage)));
    m_bus.connect(BluezInterfaces::service, QString(), BluezInterfaces::propertiesInterface,
                  QStringLiteral("PropertiesChanged"), this, SLOT(onPropertiesChanged(QDBusMessage)));
    auto* watcher = new QDBusServiceWatcher(BluezInterfaces::service, m_bus,
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &BluetoothKeyboardKeySink::onNameOwnerChanged);
    start();
}

BluetoothKeyboardKeySink::~BluetoothKeyboardKeySink()
{
    // Hosts must not find a keyboard that no longer answers; bluetoothd would also drop both
    // once this process leaves the bus.
    if (m_agentRegistered)
        m_bus.call(call(QStringLiteral("/org/bluez"), BluezNames::agentManager,
                        QStringLiteral("UnregisterAgent"),
                        {QVariant::fromValue(QDBusObjectPath(m_agent->path()))}),
                   QDBus::NoBlock);
    if (m_advertising)
        m_bus.call(call(m_adapterPath, BluezNames::advertisingManager,
                        QStringLiteral("UnregisterAdvertisement"),
                        {QVariant::fromValue(QDBusObjectPath(m_advertisement->path()))}),
                   QDBus::NoBlock);
    if (m_applicationRegistered)
        m_bus.call(call(m_adapterPath, BluezNames::gattManager, QStringLiteral("UnregisterApplication"),
                        {QVariant::fromValue(QDBusObjectPath(m_application->path()))}),
                   QDBus::NoBlock);
}

void BluetoothKeyboardKeySink::watch(QDBusPendingCallWatcher* watcher,
                                     std::function<void(const QDBusMessage&)> done)
{
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, done = std::move(done)] {
        watcher->deleteLater();
        done(watcher->reply());
    });
}

void BluetoothKeyboardKeySink::start()
{
    const QDBusMessage request = call(QStringLiteral("/"), BluezInterfaces::objectManagerInterface,
                                      QStringLiteral("GetManagedObjects"));
    watch(new QDBusPendingCallWatcher(m_bus.asyncCall(request), this),
          [this](const QDBusMessage& reply) { takeObjects(reply); });
}

void BluetoothKeyboardKeySink::reset(const QString& why)
{
    m_applicationRegistered = false;
    m_advertising = false;
    m_agentRegistered = false;
    m_adapterPath.clear();
    m_devices.clear();
    if (!m_hosts.isEmpty()) {
        m_hosts.clear();
        Q_EMIT hostsChanged();
    }
    setProblem(why);
}

void BluetoothKeyboardKeySink::takeObjects(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage) {
        reset(QStringLiteral("bluetoothd is not running, so Cogwise cannot be a Bluetooth keyboard (%1).")
                  .arg(textOf(reply)));
        return;
    }
    const auto objects =
        qdbus_cast<BluezNames::ManagedObjects>(reply.arguments().value(0).value<QDBusArgument>());
    QString adapter;
    m_adapters.clear();
    for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
        if (!it.value().contains(BluezInterfaces::adapterInterface))
            continue;
        const QString path = it.key().path();
        m_adapters.append(path.section(QLatin1Char('/'), -1));
        if (m_adapterName.isEmpty() ? adapter.isEmpty() : path.endsWith(QLatin1Char('/') + m_adapterName))
            adapter = path;
    }
    if (adapter.isEmpty()) {
        reset(m_adapterName.isEmpty()
                  ? QStringLiteral("No Bluetooth adapter, so Cogwise cannot be a Bluetooth keyboard.")
                  : QStringLiteral("The Bluetooth adapter %1 chosen for the keyboard is not there.")
                        .arg(m_adapterName));
        return;
    }
    m_adapterPath = adapter;
    m_adapterRoles = objects.value(QDBusObjectPath(adapter))
                         .value(BluezInterfaces::adapterInterface)
                         .value(QStringLiteral("Roles"))
                         .toStringList();
    m_powered = objects.value(QDBusObjectPath(adapter))
                    .value(BluezInterfaces::adapterInterface)
                    .value(QStringLiteral("Powered"))
                    .toBool();
    for (auto it = objects.cbegin(); it != objects.cend(); ++it)
        if (it.value().contains(BluezInterfaces::deviceInterface))
            updateDevice(it.key().path(), it.value().value(BluezInterfaces::deviceInterface));
    if (!m_powered) {
        setProblem(QStringLiteral("Bluetooth is off, so no device gets keys."));
        return;
    }
    registerApplication();
}

void BluetoothKeyboardKeySink::registerApplication()
{
    const QDBusMessage request =
        call(m_adapterPath, BluezNames::gattManager, QStringLiteral("RegisterApplication"),
             {QVariant::fromValue(QDBusObjectPath(m_application->path())), QVariantMap()});
    watch(new QDBusPendingCallWatcher(m_bus.asyncCall(request), this), [this](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage && reply.errorName() != alreadyExists) {
            setProblem(QStringLiteral("bluetoothd did not take Cogwise's keyboard: %1").arg(textOf(reply)));
            return;
        }
        m_applicationRegistered = true;
        registerAdvertisement();
    });
}

void BluetoothKeyboardKeySink::registerAdvertisement()
{
    const QDBusMessage request =
        call(m_adapterPath, BluezNames::advertisingManager, QStringLiteral("RegisterAdvertisement"),
             {QVariant::fromValue(QDBusObjectPath(m_advertisement->path())), QVariantMap()});
    watch(new QDBusPendingCallWatcher(m_bus.asyncCall(request), this), [this](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage && reply.errorName() != alreadyExists) {
            setProblem(QStringLiteral("bluetoothd did not let Cogwise advertise its keyboard: %1")
                           .arg(textOf(reply)));
            return;
        }
        m_advertising = true;
        Logger::shared().logInfo(QStringLiteral("Keyboard advertised on %1%2")
                                     .arg(m_adapterPath, m_advertisement->discoverable()
                                                             ? QStringLiteral(", discoverable")
                                                             : QString()),
                                 bluetoothKeyboardKeySinkLog);
        setProblem(std::nullopt);
        if (m_pairingWanted)
            openPairing(*m_pairingWanted);
    });
}

void BluetoothKeyboardKeySink::unregisterAdvertisement()
{
    // bluetoothd reads an advertisement once: a change takes leaving and coming again.
    const QDBusMessage request =
        call(m_adapterPath, BluezNames::advertisingManager, QStringLiteral("UnregisterAdvertisement"),
             {QVariant::fromValue(QDBusObjectPath(m_advertisement->path()))});
    m_advertising = false;
    watch(new QDBusPendingCallWatcher(m_bus.asyncCall(request), this), [this](const QDBusMessage&) {
        if (m_applicationRegistered && m_powered)
            registerAdvertisement();
    });
}

void BluetoothKeyboardKeySink::onInterfacesAdded(const QDBusMessage& message)
{
    const QString path = message.arguments().value(0).value<QDBusObjectPath>().path();
    const auto interfaces =
        qdbus_cast<BluezNames::InterfaceMap>(message.arguments().value(1).value<QDBusArgument>());
    if (interfaces.contains(BluezInterfaces::adapterInterface) && m_adapterPath.isEmpty())
        start();
    if (interfaces.contains(BluezInterfaces::deviceInterface))
        updateDevice(path, interfaces.value(BluezInterfaces::deviceInterface));
}

void BluetoothKeyboardKeySink::onInterfacesRemoved(const QDBusMessage& message)
{
    const QString path = message.arguments().value(0).value<QDBusObjectPath>().path();
    if (path == m_adapterPath) {
        reset(QStringLiteral("The Bluetooth adapter went away, so no device gets keys."));
        return;
    }
    if (m_devices.remove(path))
        updateDevice({}, {});
}

void BluetoothKeyboardKeySink::onPropertiesChanged(const QDBusMessage& message)
{
    const QString interface = message.arguments().value(0).toString();
    const QVariantMap changed = BluezNames::optionsOf(message, 1);
    const QString path = message.path();
    if (interface == BluezInterfaces::adapterInterface && path == m_adapterPath &&
        changed.contains(QStringLiteral("Powered"))) {
        const bool powered = changed.value(QStringLiteral("Powered")).toBool();
        if (powered == m_powered)
            return;
        m_powered = powered;
        m_advertising = false;
        if (powered) {
            registerApplication();
        } else {
            setProblem(QStringLiteral("Bluetooth is off, so no device gets keys."));
        }
    } else if (interface == BluezInterfaces::deviceInterface && m_devices.contains(path)) {
        QVariantMap properties = m_devices.value(path);
        for (auto it = changed.cbegin(); it != changed.cend(); ++it)
            properties.insert(it.key(), it.value());
        updateDevice(path, properties);
    }
}

void BluetoothKeyboardKeySink::onNameOwnerChanged(const QString&, const QString&, const QString& newOwner)
{
    if (newOwner.isEmpty()) {
        reset(QStringLiteral("bluetoothd stopped, so no device gets keys."));
        return;
    }
    // A new bluetoothd knows nothing of us: everything is registered again.
    Logger::shared().logInfo(QStringLiteral("bluetoothd is back: registering the keyboard again"),
                             bluetoothKeyboardKeySinkLog);
    start();
}

void BluetoothKeyboardKeySink::updateDevice(const QString& path, const QVariantMap& properties)
{
    if (!path.isEmpty()) {
        if (!path.startsWith(m_adapterPath + QLatin1Char('/')) || m_adapterPath.isEmpty())
            return;
        m_devices.insert(path, properties);
    }
    QList<Host> hosts;
    for (auto it = m_devices.cbegin(); it != m_devices.cend(); ++it) {
        const QVariantMap& device = it.value();
        const QString address = device.value(QStringLiteral("Address")).toString();
        if (!device.value(QStringLiteral("Paired")).toBool() || (m_isDi2Unit && m_isDi2Unit(address)))
            continue;
        const QString name =
            device.value(QStringLiteral("Alias"), device.value(QStringLiteral("Name"))).toString();
        hosts.append({it.key(), address, name.isEmpty() ? address : name,
                      device.value(QStringLiteral("Connected")).toBool()});
    }
    if (hosts == m_hosts)
        return;
    for (const Host& host : std::as_const(hosts)) {
        const auto before = std::find_if(m_hosts.cbegin(), m_hosts.cend(),
                                         [&host](const Host& old) { return old.path == host.path; });
        if (before == m_hosts.cend())
            Q_EMIT messageLogged(QStringLiteral("%1 paired with Cogwise.").arg(host.name));
        else if (host.connected && !before->connected)
            Q_EMIT messageLogged(QStringLiteral("%1 connected.").arg(host.name));
        else if (!host.connected && before->connected)
            Q_EMIT messageLogged(QStringLiteral("%1 disconnected.").arg(host.name));
    }
    m_hosts = hosts;
    Q_EMIT hostsChanged();
    announce({});
}

std::optional<QString> BluetoothKeyboardKeySink::unavailableReason() const
{
    if (m_problem)
        return m_problem;
    if (!ready())
        return QStringLiteral("Cogwise's Bluetooth keyboard is getting ready.");
    const auto connected =
        std::find_if(m_hosts.cbegin(), m_hosts.cend(), [](const Host& host) { return host.connected; });
    if (connected == m_hosts.cend())
        return QStringLiteral("No paired device is connected — keys are not sent");
    if (!m_application->hostSubscribed())
        return QStringLiteral(
                   "%1 is connected but has not asked for keys — remove Cogwise from its Bluetooth "
                   "settings and pair again")
            .arg(connected->name);
    return std::nullopt;
}

QString BluetoothKeyboardKeySink::status() const
{
    if (const auto reason = unavailableReason())
        return *reason;
    const auto connected =
        std::find_if(m_hosts.cbegin(), m_hosts.cend(), [](const Host& host) { return host.connected; });
    return QStringLiteral("%1 is connected and takes keys").arg(connected->name);
}

bool BluetoothKeyboardKeySink::post(VirtualKey key, KeyDirection direction)
{
    if (const auto reason = unavailableReason())
        return fail(*reason);
    QByteArray report = HidKeyboardReport::released();
    if (direction == KeyDirection::down) {
        const auto stroke = HidKeyboardReport::strokeOf(key);
        if (!stroke)
            return fail(QStringLiteral("A Bluetooth keyboard has no key for %1.").arg(key.label()));
        report = HidKeyboardReport::pressed(*stroke);
    }
    if (!m_application->sendReport(report))
        return fail(QStringLiteral("The device stopped taking keys."));
    return true;
}

std::optional<QString> BluetoothKeyboardKeySink::prepareKeyMatching(KeyMatching matching)
{
    if (matching == KeyMatching::physicalKey)
        return std::nullopt;
    return QStringLiteral(
        "A Bluetooth keyboard sends key positions: the device's own keyboard layout decides "
        "which character each one types.");
}

void BluetoothKeyboardKeySink::openPairing(std::chrono::seconds duration)
{
    if (m_adapterPath.isEmpty()) {
        m_pairingWanted = duration;
        return;
    }
    m_pairingWanted.reset();
    m_agent->setAccepting(true);
    const bool wasOpen = pairingOpen();
    m_pairingTimer.start(duration);
    Q_EMIT pairingChanged();
    if (wasOpen)
        return;
    const QDBusMessage registering =
        call(QStringLiteral("/org/bluez"), BluezNames::agentManager, QStringLiteral("RegisterAgent"),
             {QVariant::fromValue(QDBusObjectPath(m_agent->path())), QStringLiteral("NoInputNoOutput")});
    watch(new QDBusPendingCallWatcher(m_bus.asyncCall(registering), this), [this](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage && reply.errorName() != alreadyExists) {
            Q_EMIT messageLogged(QStringLiteral("Pairing could not open: %1").arg(textOf(reply)));
            return;
        }
        m_agentRegistered = true;
        // Hosts pairing with us reach the default agent only: ours while pairing is open.
        m_bus.asyncCall(call(QStringLiteral("/org/bluez"), BluezNames::agentManager,
                             QStringLiteral("RequestDefaultAgent"),
                             {QVariant::fromValue(QDBusObjectPath(m_agent->path()))}));
    });
    m_advertisement->setDiscoverable(true);
    if (m_advertising)
        unregisterAdvertisement();
    Q_EMIT messageLogged(
        QStringLiteral("Pairing is open for %1 s: choose “Cogwise” in the device's Bluetooth "
                       "settings.")
            .arg(duration.count()));
}

void BluetoothKeyboardKeySink::closePairing()
{
    m_agent->setAccepting(false);
    const bool wasOpen = m_advertisement->discoverable();
    m_pairingTimer.stop();
    if (m_agentRegistered) {
        // Unregistering hands the default back to the desktop's agent.
        m_agentRegistered = false;
        m_bus.asyncCall(call(QStringLiteral("/org/bluez"), BluezNames::agentManager,
                             QStringLiteral("UnregisterAgent"),
                             {QVariant::fromValue(QDBusObjectPath(m_agent->path()))}));
    }
    m_advertisement->setDiscoverable(false);
    if (m_advertising)
        unregisterAdvertisement();
    if (wasOpen) {
        Q_EMIT pairingChanged();
        Q_EMIT messageLogged(QStringLiteral("Pairing closed."));
    }
}

int BluetoothKeyboardKeySink::pairingSecondsLeft() const
{
    return pairingOpen() ? (m_pairingTimer.remainingTime() + 999) / 1000 : 0;
}

void BluetoothKeyboardKeySink::forget(const QString& hostPath)
{
    if (m_adapterPath.isEmpty())
        return;
    m_bus.asyncCall(call(m_adapterPath, BluezInterfaces::adapterInterface, QStringLiteral("RemoveDevice"),
                         {QVariant::fromValue(QDBusObjectPath(hostPath))}));
}

void BluetoothKeyboardKeySink::setBatteryLevel(int percent)
{
    m_application->setBatteryLevel(percent);
}

void BluetoothKeyboardKeySink::setProblem(std::optional<QString> problem)
{
    if (problem && problem != m_problem)
        Logger::shared().logInfo(*problem, bluetoothKeyboardKeySinkLog);
    m_problem = std::move(problem);
    announce({});
}

void BluetoothKeyboardKeySink::announce(const QString& news)
{
    const QString now = status();
    if (now == m_lastStatus && news.isEmpty())
        return;
    m_lastStatus = now;
    Q_EMIT changed(news.isEmpty() ? now : news);
}
