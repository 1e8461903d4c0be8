#include "shifting/keysinks/bluez/KeyboardAdvertisement.h"

#include "platform/BluezInterfaces.h"
#include "shifting/keysinks/bluez/BluezNames.h"

#include <QDBusMessage>
#include <QDBusVariant>

namespace {

constexpr quint16 keyboardAppearance = 0x03C1;

} // namespace

KeyboardAdvertisement::KeyboardAdvertisement(const QString& path, QObject* parent)
    : QDBusVirtualObject(parent)
    , m_path(path)
    , m_connection(QString())
{}

KeyboardAdvertisement::~KeyboardAdvertisement()
{
    if (m_served)
        m_connection.unregisterObject(m_path);
}

bool KeyboardAdvertisement::serve(const QDBusConnection& connection)
{
    m_connection = connection;
    m_served = m_connection.registerVirtualObject(m_path, this, QDBusConnection::SingleNode);
    return m_served;
}

QVariantMap KeyboardAdvertisement::properties() const
{
    return {
        {QStringLiteral("Type"), QStringLiteral("peripheral")},
        {QStringLiteral("ServiceUUIDs"), QStringList{QStringLiteral("00001812-0000-1000-8000-00805f9b34fb")}},
        {QStringLiteral("Appearance"), QVariant::fromValue(keyboardAppearance)},
        {QStringLiteral("LocalName"), QStringLiteral("Cogwise")},
        {QStringLiteral("Discoverable"), m_discoverable},
    };
}

QString KeyboardAdvertisement::introspect(const QString&) const
{
    return QStringLiteral("<interface name=\"org.bluez.LEAdvertisement1\">"
                          "<method name=\"Release\"/></interface>");
}

bool KeyboardAdvertisement::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    const QString member = message.member();
    if (message.interface() == BluezNames::advertisement && member == QLatin1String("Release")) {
        connection.send(message.createReply());
        Q_EMIT released();
        return true;
    }
    if (message.interface() != BluezInterfaces::propertiesInterface)
        return false;
    const QVariantMap all = properties();
    if (member == QLatin1String("GetAll")) {
        connection.send(message.createReply(all));
        return true;
    }
    const QString wanted = message.arguments().value(1).toString();
    if (member == QLatin1String("Get") && all.contains(wanted))
        connection.send(message.createReply(QVariant::fromValue(QDBusVariant(all.value(wanted)))));
    else
        connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                                                 QStringLiteral("No such property")));
    return true;
}
