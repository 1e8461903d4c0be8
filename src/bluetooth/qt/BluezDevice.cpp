#include "bluetooth/qt/BluezDevice.h"

#include "platform/BluezInterfaces.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace {

using BluezInterfaces::deviceInterface;
using BluezInterfaces::propertiesInterface;
using BluezInterfaces::service;

using Interfaces = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, Interfaces>;

} // namespace

BluezDevice::BluezDevice(const QBluetoothAddress& address, const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_address(address)
    , m_bus(bus)
{}

BluezDevice::~BluezDevice()
{
    disconnectLink();
}

QDBusPendingCallWatcher* BluezDevice::watch(const QDBusMessage& call, int timeoutMs)
{
    if (m_pending)
        m_pending->deleteLater();
    m_pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call, timeoutMs), this);
    return m_pending;
}

void BluezDevice::connectLink(std::chrono::milliseconds replyTimeout)
{
    m_replyTimeout = replyTimeout;
    m_stage = Stage::finding;
    QDBusPendingCallWatcher* watcher = watch(QDBusMessage::createMethodCall(
        service, QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.ObjectManager"),
        QStringLiteral("GetManagedObjects")));
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        if (watcher != m_pending || m_stage != Stage::finding)
            return;
        const QDBusMessage reply = watcher->reply();
        if (reply.type() == QDBusMessage::ErrorMessage) {
            fail(reply.errorName(), reply.errorMessage());
            return;
        }
        const QDBusArgument objects = reply.arguments().value(0).value<QDBusArgument>();
        if (objects.currentSignature() != QLatin1String("a{oa{sa{sv}}}")) {
            fail(QStringLiteral("org.bluez.Error.Failed"),
                 QStringLiteral("GetManagedObjects answered %1").arg(objects.currentSignature()));
            return;
        }
        const auto managed = qdbus_cast<ManagedObjects>(objects);
        for (auto it = managed.cbegin(); it != managed.cend(); ++it) {
            const QVariantMap device = it.value().value(deviceInterface);
            if (QBluetoothAddress(device.value(QStringLiteral("Address")).toString()) == m_address) {
                connectAt(it.key().path());
                return;
            }
        }
        fail(QStringLiteral("org.bluez.Error.DoesNotExist"),
             QStringLiteral("bluetoothd does not know %1").arg(m_address.toString()));
    });
}

void BluezDevice::connectAt(const QString& path)
{
    m_path = path;
    m_bus.connect(service, m_path, propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                  SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
    m_stage = Stage::connecting;
    QDBusPendingCallWatcher* watcher =
        watch(QDBusMessage::createMethodCall(service, m_path, deviceInterface, QStringLiteral("Connect")),
              int(m_replyTimeout.count()));
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        if (watcher != m_pending || m_stage != Stage::connecting)
            return;
        const QDBusMessage reply = watcher->reply();
        if (reply.type() == QDBusMessage::ErrorMessage &&
            reply.errorName() != QLatin1String("org.bluez.Error.AlreadyConnected")) {
            m_stage = Stage::idle; // nothing of ours is pending at BlueZ any more
            fail(reply.errorName(), reply.errorMessage());
            return;
        }
        m_stage = Stage::resolving;
        askResolved();
    });
}

void BluezDevice::askResolved()
{
    QDBusMessage get =
        QDBusMessage::createMethodCall(service, m_path, propertiesInterface, QStringLiteral("Get"));
    get.setArguments({deviceInterface, QStringLiteral("ServicesResolved")});
    QDBusPendingCallWatcher* watcher = watch(get);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        if (watcher != m_pending || m_stage != Stage::resolving)
            return;
        const QDBusMessage reply = watcher->reply();
        if (reply.type() == QDBusMessage::ErrorMessage) {
            fail(reply.errorName(), reply.errorMessage());
            return;
        }
        // Otherwise BlueZ tells when it has resolved them.
        if (reply.arguments().value(0).value<QDBusVariant>().variant().toBool())
            becomeReady();
    });
}

void BluezDevice::onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                      const QStringList&)
{
    if (interface != deviceInterface)
        return;
    const auto connected = changed.constFind(QStringLiteral("Connected"));
    if (connected != changed.cend() && !connected->toBool()) {
        if (m_stage == Stage::up)
            m_stage = Stage::idle; // Qt reports the drop
        else if (m_stage == Stage::resolving)
            fail(QStringLiteral("org.bluez.Error.Failed"),
                 QStringLiteral("The link ended before the services were resolved"));
        return;
    }
    const auto resolved = changed.constFind(QStringLiteral("ServicesResolved"));
    if (m_stage == Stage::resolving && resolved != changed.cend() && resolved->toBool())
        becomeReady();
}

void BluezDevice::becomeReady()
{
    m_stage = Stage::up;
    if (m_pending)
        m_pending->deleteLater();
    Q_EMIT ready();
}

void BluezDevice::fail(const QString& errorName, const QString& message)
{
    // A link half made is ours to end.
    disconnectLink();
    Q_EMIT failed(errorName, message);
}

void BluezDevice::disconnectLink()
{
    const Stage stage = std::exchange(m_stage, Stage::idle);
    if (m_pending)
        m_pending->deleteLater();
    if (stage == Stage::connecting || stage == Stage::resolving || stage == Stage::up) {
        m_bus.asyncCall(
            QDBusMessage::createMethodCall(service, m_path, deviceInterface, QStringLiteral("Disconnect")));
    }
}
