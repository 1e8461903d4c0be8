#include "bluetooth/qt/BluezSetup.h"

#include "bluetooth/qt/BluetoothAddressId.h"
#include "diagnostics/Logger.h"
#include "platform/BluezInterfaces.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

namespace {

const QString bluezSetupLog = QStringLiteral("BluezSetup");
using BluezInterfaces::adapterInterface;
using BluezInterfaces::deviceInterface;
using BluezInterfaces::objectManagerInterface;
using BluezInterfaces::propertiesInterface;
using BluezInterfaces::service;
// bluetoothd answers its own bus within milliseconds; a hung one must not hold the check.
constexpr int replyTimeoutMs = 3000;
constexpr auto versionTimeout = std::chrono::seconds{3};

using Interfaces = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, Interfaces>;

// What an advertisement changes on a device that bluetoothd already knows.
bool isAdvertisement(const QVariantMap& changed)
{
    for (const char* key : {"RSSI", "ManufacturerData", "ServiceData", "TxPower"}) {
        if (changed.contains(QLatin1String(key)))
            return true;
    }
    return false;
}

bool sameAddress(const QVariant& address, const QString& wanted)
{
    return address.toString().compare(wanted, Qt::CaseInsensitive) == 0;
}

} // namespace

BluezSetup::BluezSetup(QObject* parent)
    : BluetoothSetup(parent)
    , m_versionSources(defaultVersionSources())
{
    m_listenTimer.setSingleShot(true);
    connect(&m_listenTimer, &QTimer::timeout, this, [this] { stopListening(Heard::silent); });
    m_versionTimer.setSingleShot(true);
    connect(&m_versionTimer, &QTimer::timeout, this, [this] {
        if (m_versionProcess)
            m_versionProcess->kill();
    });
}

BluezSetup::~BluezSetup()
{
    if (m_versionProcess) {
        m_versionProcess->disconnect(this);
        m_versionProcess->kill();
        m_versionProcess->waitForFinished();
    }
    if (m_bus)
        QDBusConnection::disconnectFromBus(m_connectionName);
}

QList<BluezSetup::VersionSource> BluezSetup::defaultVersionSources()
{
    const QString asked = QStringLiteral("bluetoothd --version");
    return {{{QStringLiteral("/usr/libexec/bluetooth/bluetoothd"), QStringLiteral("--version")}, asked},
            {{QStringLiteral("/usr/sbin/bluetoothd"), QStringLiteral("--version")}, asked},
            {{QStringLiteral("dpkg-query"), QStringLiteral("--show"),
              QStringLiteral("--showformat=${Version}"), QStringLiteral("bluez")},
             QStringLiteral("the installed package bluez")}};
}

void BluezSetup::inspect(const std::optional<QUuid>& unit, bool listen)
{
    if (m_running)
        return;
    m_running = true;
    m_listen = listen;
    m_facts = {};
    m_adapterPath.clear();
    m_unitPath.clear();
    m_discovering = false;
    m_listening = false;
    m_callPending = false;
    if (unit) {
        if (const auto address = BluetoothAddressId::address(*unit))
            m_facts.unitAddress = address->toString();
    }

    m_branches = 2;
    askVersion(0);

    static int connections = 0;
    m_connectionName = QStringLiteral("cogwise-setup-check-%1").arg(++connections);
    m_bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, m_connectionName);
    m_facts.busReachable = m_bus->isConnected();
    if (!m_facts.busReachable) {
        Logger::shared().logError(
            QStringLiteral("The system bus is not reachable: %1").arg(m_bus->lastError().message()),
            bluezSetupLog);
        // Reported from the event loop, like every other outcome.
        QMetaObject::invokeMethod(this, &BluezSetup::branchDone, Qt::QueuedConnection);
        return;
    }
    askOwner();
}

void BluezSetup::askVersion(qsizetype index)
{
    if (index >= m_versionSources.size()) {
        branchDone();
        return;
    }
    const VersionSource& source = m_versionSources.at(index);
    m_versionProcess = std::make_unique<QProcess>();
    QProcess* process = m_versionProcess.get();
    // The process object goes once its own signal has returned.
    const auto done = [this] {
        m_versionTimer.stop();
        m_versionProcess.release()->deleteLater();
    };
    connect(process, &QProcess::errorOccurred, this, [this, done, index](QProcess::ProcessError error) {
        // A crash or a kill is followed by finished(); a program that never started is not.
        if (error != QProcess::FailedToStart)
            return;
        done();
        askVersion(index + 1);
    });
    connect(process, &QProcess::finished, this,
            [this, process, done, index, description = source.description](int exitCode,
                                                                           QProcess::ExitStatus status) {
                const QString version = QString::fromLocal8Bit(process->readAllStandardOutput())
                                            .section(QLatin1Char('\n'), 0, 0)
                                            .trimmed();
                done();
                if (status != QProcess::NormalExit || exitCode != 0 || version.isEmpty()) {
                    askVersion(index + 1);
                    return;
                }
                m_facts.serviceVersion = version;
                m_facts.versionSource = description;
                branchDone();
            });
    m_versionTimer.start(versionTimeout);
    process->start(source.command.value(0), source.command.mid(1), QIODevice::ReadOnly);
}

void BluezSetup::askOwner()
{
    // Asked rather than called: a call to org.bluez would start a bluetoothd that D-Bus may activate.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    call.setArguments({service});
    auto* watcher = new QDBusPendingCallWatcher(m_bus->asyncCall(call, replyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        m_facts.serviceRunning =
            reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
        if (!m_facts.serviceRunning) {
            branchDone();
            return;
        }
        readObjects();
    });
}

void BluezSetup::readObjects()
{
    const QDBusMessage call = QDBusMessage::createMethodCall(
        service, QStringLiteral("/"), objectManagerInterface, QStringLiteral("GetManagedObjects"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus->asyncCall(call, replyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        const QDBusArgument objects = reply.arguments().value(0).value<QDBusArgument>();
        if (reply.type() != QDBusMessage::ReplyMessage ||
            objects.currentSignature() != QLatin1String("a{oa{sa{sv}}}")) {
            Logger::shared().logError(QStringLiteral("bluetoothd did not list its objects: %1 %2")
                                          .arg(reply.errorName(), reply.errorMessage()),
                                      bluezSetupLog);
            branchDone();
            return;
        }
        const auto managed = qdbus_cast<ManagedObjects>(objects);
        QVariantMap unit;
        QMap<QString, QVariantMap> adapters; // sorted by path: hci0 first
        for (auto it = managed.cbegin(); it != managed.cend(); ++it) {
            if (it.value().contains(adapterInterface))
                adapters.insert(it.key().path(), it.value().value(adapterInterface));
            const QVariantMap device = it.value().value(deviceInterface);
            if (m_facts.unitAddress &&
                sameAddress(device.value(QStringLiteral("Address")), *m_facts.unitAddress)) {
                m_unitPath = it.key().path();
                unit = device;
            }
        }
        if (!m_unitPath.isEmpty()) {
            m_facts.unitKnown = true;
            m_facts.unitName =
                unit.value(QStringLiteral("Alias"), unit.value(QStringLiteral("Name"))).toString();
        }
        // The unit's own adapter, else the first one that is on, else the first.
        m_adapterPath = unit.value(QStringLiteral("Adapter")).value<QDBusObjectPath>().path();
        if (!adapters.contains(m_adapterPath)) {
            m_adapterPath = adapters.isEmpty() ? QString() : adapters.firstKey();
            for (auto it = adapters.cbegin(); it != adapters.cend(); ++it) {
                if (it.value().value(QStringLiteral("Powered")).toBool()) {
                    m_adapterPath = it.key();
                    break;
                }
            }
        }
        if (!m_adapterPath.isEmpty()) {
            const QVariantMap adapter = adapters.value(m_adapterPath);
            m_facts.adapter = m_adapterPath.section(QLatin1Char('/'), -1);
            m_facts.adapterAddress = adapter.value(QStringLiteral("Address")).toString();
            m_facts.adapterPowered = adapter.value(QStringLiteral("Powered")).toBool();
        }

        if (unit.value(QStringLiteral("Connected")).toBool()) {
            m_facts.heard = Heard::connected;
            branchDone();
        } else if (m_listen && m_facts.adapterPowered && m_facts.unitAddress) {
            startListening();
        } else {
            branchDone();
        }
    });
}

void BluezSetup::startListening()
{
    m_listening = true;
    // A unit bluetoothd knows reports each advertisement as a property change; one it does
    // not know yet appears as a new object.
    m_bus->connect(service, QString(), propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                   SLOT(onPropertiesChanged(QDBusMessage)));
    m_bus->connect(service, QStringLiteral("/"), objectManagerInterface, QStringLiteral("InterfacesAdded"),
                   this, SLOT(onInterfacesAdded(QDBusMessage)));
    m_listenTimer.start(m_listenTime);

    // With a filter of ours bluetoothd reports every advertisement, not only those whose
    // signal strength moved by several dB.
    QDBusMessage filter = QDBusMessage::createMethodCall(service, m_adapterPath, adapterInterface,
                                                         QStringLiteral("SetDiscoveryFilter"));
    filter.setArguments({QVariantMap{{QStringLiteral("Transport"), QStringLiteral("le")}}});
    m_callPending = true;
    auto* filtered = new QDBusPendingCallWatcher(m_bus->asyncCall(filter, replyTimeoutMs), this);
    connect(filtered, &QDBusPendingCallWatcher::finished, this, [this, filtered] {
        filtered->deleteLater();
        m_callPending = false;
        if (!m_listening) {
            finishListening();
            return;
        }
        const QDBusMessage start = QDBusMessage::createMethodCall(service, m_adapterPath, adapterInterface,
                                                                  QStringLiteral("StartDiscovery"));
        m_callPending = true;
        auto* started = new QDBusPendingCallWatcher(m_bus->asyncCall(start, replyTimeoutMs), this);
        connect(started, &QDBusPendingCallWatcher::finished, this, [this, started] {
            started->deleteLater();
            m_callPending = false;
            const QDBusMessage reply = started->reply();
            m_discovering = reply.type() == QDBusMessage::ReplyMessage;
            if (!m_discovering) {
                // Another client's discovery still brings advertisements.
                Logger::shared().logInfo(QStringLiteral("Discovery for the setup check: %1 %2")
                                             .arg(reply.errorName(), reply.errorMessage()),
                                         bluezSetupLog);
            }
            if (!m_listening)
                finishListening();
        });
    });
}

void BluezSetup::onPropertiesChanged(const QDBusMessage& message)
{
    if (!m_listening || m_unitPath.isEmpty() || message.path() != m_unitPath ||
        message.arguments().value(0).toString() != deviceInterface)
        return;
    const auto changed = qdbus_cast<QVariantMap>(message.arguments().value(1));
    if (changed.value(QStringLiteral("Connected")).toBool())
        stopListening(Heard::connected);
    else if (isAdvertisement(changed))
        heardUnit(changed);
}

void BluezSetup::onInterfacesAdded(const QDBusMessage& message)
{
    if (!m_listening)
        return;
    const auto interfaces = qdbus_cast<Interfaces>(message.arguments().value(1));
    const QVariantMap device = interfaces.value(deviceInterface);
    if (!sameAddress(device.value(QStringLiteral("Address")), m_facts.unitAddress.value_or(QString())))
        return;
    m_unitPath = message.arguments().value(0).value<QDBusObjectPath>().path();
    m_facts.unitKnown = true;
    m_facts.unitName = device.value(QStringLiteral("Alias"), device.value(QStringLiteral("Name"))).toString();
    heardUnit(device);
}

void BluezSetup::heardUnit(const QVariantMap& deviceProperties)
{
    bool ok = false;
    const int rssi = deviceProperties.value(QStringLiteral("RSSI")).toInt(&ok);
    if (ok && rssi != 0)
        m_facts.rssi = rssi;
    stopListening(Heard::advertising);
}

void BluezSetup::stopListening(Heard heard)
{
    if (!m_listening)
        return;
    m_listening = false;
    m_listenTimer.stop();
    m_facts.heard = heard;
    m_bus->disconnect(service, QString(), propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                      SLOT(onPropertiesChanged(QDBusMessage)));
    m_bus->disconnect(service, QStringLiteral("/"), objectManagerInterface, QStringLiteral("InterfacesAdded"),
                      this, SLOT(onInterfacesAdded(QDBusMessage)));
    // Otherwise the answer to the call under way finishes.
    if (!m_callPending)
        finishListening();
}

void BluezSetup::finishListening()
{
    if (!m_discovering) {
        branchDone();
        return;
    }
    m_discovering = false;
    const QDBusMessage stop = QDBusMessage::createMethodCall(service, m_adapterPath, adapterInterface,
                                                             QStringLiteral("StopDiscovery"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus->asyncCall(stop, replyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        branchDone();
    });
}

void BluezSetup::branchDone()
{
    if (--m_branches > 0)
        return;
    m_bus.reset();
    QDBusConnection::disconnectFromBus(m_connectionName);
    m_running = false;
    Q_EMIT inspected(m_facts);
}
