#include "bluetooth/qt/BluezDiscoverySession.h"

#include "platform/BluezInterfaces.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QUuid>

namespace {

const QString bluez = QStringLiteral("org.bluez");
using BluezInterfaces::adapterInterface;
const QString inProgress = QStringLiteral("org.bluez.Error.InProgress");

} // namespace

BluezDiscoverySession::BluezDiscoverySession(QObject* parent)
    : QObject(parent)
    , m_connectionName(QStringLiteral("cogwise-discovery-") +
                       QUuid::createUuid().toString(QUuid::WithoutBraces))
    , m_bus(QDBusConnection::connectToBus(QDBusConnection::SystemBus, m_connectionName))
{}

BluezDiscoverySession::~BluezDiscoverySession()
{
    // Leaving the bus ends the session: bluetoothd stops discovering for us at once.
    QDBusConnection::disconnectFromBus(m_connectionName);
}

void BluezDiscoverySession::start()
{
    m_wanted = true;
    settle();
}

void BluezDiscoverySession::stop()
{
    m_wanted = false;
    settle();
}

void BluezDiscoverySession::restart()
{
    m_running = false;
    m_adapterDiscovering = false;
    m_adapter.clear();
    settle();
}

void BluezDiscoverySession::call(const QString& path, const QString& interface, const QString& method,
                                 const QVariantList& arguments, std::function<void(const QDBusMessage&)> done)
{
    QDBusMessage message = QDBusMessage::createMethodCall(bluez, path, interface, method);
    message.setArguments(arguments);
    m_busy = true;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, done = std::move(done)] {
        watcher->deleteLater();
        m_busy = false;
        done(watcher->reply());
        settle();
    });
}

void BluezDiscoverySession::settle()
{
    if (m_busy || !m_bus.isConnected() || m_wanted == m_running)
        return;
    if (!m_wanted) {
        m_adapterDiscovering = false;
        call(m_adapter, adapterInterface, QStringLiteral("StopDiscovery"), {},
             [this](const QDBusMessage&) { m_running = false; });
        return;
    }
    if (m_adapter.isEmpty()) {
        call(QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.ObjectManager"),
             QStringLiteral("GetManagedObjects"), {}, [this](const QDBusMessage& reply) {
                 const auto objects = qdbus_cast<QMap<QDBusObjectPath, QMap<QString, QVariantMap>>>(
                     reply.arguments().value(0).value<QDBusArgument>());
                 for (auto it = objects.cbegin(); it != objects.cend() && m_adapter.isEmpty(); ++it)
                     if (it.value().contains(adapterInterface))
                         m_adapter = it.key().path();
                 if (m_adapter.isEmpty()) {
                     m_wanted = false; // nothing to discover with; asked again on the next start
                     Q_EMIT failed(QStringLiteral("no Bluetooth adapter"));
                 }
             });
        return;
    }
    // Low energy only, and every advertisement told, even with an unchanged signal.
    const QVariantMap filter{{QStringLiteral("Transport"), QStringLiteral("le")},
                             {QStringLiteral("DuplicateData"), true}};
    call(m_adapter, adapterInterface, QStringLiteral("SetDiscoveryFilter"), {filter},
         [this](const QDBusMessage& reply) {
             if (reply.type() == QDBusMessage::ErrorMessage)
                 Q_EMIT failed(QStringLiteral("SetDiscoveryFilter: ") + reply.errorMessage());
             // After the filter's reply: bluetoothd applies it to the session it then starts.
             call(m_adapter, adapterInterface, QStringLiteral("StartDiscovery"), {},
                  [this](const QDBusMessage& started) {
                      if (started.type() != QDBusMessage::ErrorMessage || started.errorName() == inProgress) {
                          m_running = true;
                          awaitDiscovering();
                          return;
                      }
                      m_wanted = false;
                      Q_EMIT failed(QStringLiteral("StartDiscovery: ") + started.errorMessage());
                  });
         });
}

void BluezDiscoverySession::awaitDiscovering()
{
    // bluetoothd may tell "Discovering" a moment after its reply: ask, and listen until it does.
    m_bus.connect(bluez, m_adapter, QStringLiteral("org.freedesktop.DBus.Properties"),
                  QStringLiteral("PropertiesChanged"), this, SLOT(onAdapterChanged(QDBusMessage)));
    QDBusMessage get = QDBusMessage::createMethodCall(
        bluez, m_adapter, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get.setArguments({adapterInterface, QStringLiteral("Discovering")});
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        if (watcher->reply().arguments().value(0).value<QDBusVariant>().variant().toBool())
            tellDiscovering();
    });
}

void BluezDiscoverySession::onAdapterChanged(const QDBusMessage& message)
{
    const QVariantMap changed = qdbus_cast<QVariantMap>(message.arguments().value(1).value<QDBusArgument>());
    if (changed.value(QStringLiteral("Discovering")).toBool())
        tellDiscovering();
}

void BluezDiscoverySession::tellDiscovering()
{
    m_bus.disconnect(bluez, m_adapter, QStringLiteral("org.freedesktop.DBus.Properties"),
                     QStringLiteral("PropertiesChanged"), this, SLOT(onAdapterChanged(QDBusMessage)));
    m_adapterDiscovering = true;
    if (m_running && m_wanted)
        Q_EMIT discovering();
}
