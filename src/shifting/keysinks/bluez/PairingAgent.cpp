#include "shifting/keysinks/bluez/PairingAgent.h"

#include "shifting/keysinks/bluez/BluezNames.h"

#include <QDBusMessage>
#include <QDBusObjectPath>

PairingAgent::PairingAgent(const QString& path, QObject* parent)
    : QDBusVirtualObject(parent)
    , m_path(path)
    , m_connection(QString())
{}

PairingAgent::~PairingAgent()
{
    if (m_served)
        m_connection.unregisterObject(m_path);
}

bool PairingAgent::serve(const QDBusConnection& connection)
{
    m_connection = connection;
    m_served = m_connection.registerVirtualObject(m_path, this, QDBusConnection::SingleNode);
    return m_served;
}

QString PairingAgent::introspect(const QString&) const
{
    return QStringLiteral("<interface name=\"org.bluez.Agent1\"/>");
}

bool PairingAgent::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    if (message.interface() != BluezNames::agent)
        return false;
    const QString member = message.member();
    const auto device = message.arguments().value(0).value<QDBusObjectPath>().path();
    const auto rejected = [&] {
        return message.createErrorReply(QStringLiteral("org.bluez.Error.Rejected"),
                                        QStringLiteral("Pairing is not open in Cogwise"));
    };
    if (member == QLatin1String("RequestConfirmation") || member == QLatin1String("RequestAuthorization")) {
        Q_EMIT pairingRequested(device, m_accepting);
        connection.send(m_accepting ? message.createReply() : rejected());
    } else if (member == QLatin1String("AuthorizeService")) {
        // BlueZ asks only for devices it lets in at all: a paired host using the keyboard.
        connection.send(message.createReply());
    } else if (member == QLatin1String("RequestPinCode") || member == QLatin1String("RequestPasskey")) {
        // Nothing to enter on a keyboard without a screen; BlueZ should not ask.
        connection.send(rejected());
    } else if (member == QLatin1String("DisplayPinCode") || member == QLatin1String("DisplayPasskey") ||
               member == QLatin1String("Cancel") || member == QLatin1String("Release")) {
        connection.send(message.createReply());
    } else {
        return false;
    }
    return true;
}
