#include "shifting/keysinks/PortalRequest.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <atomic>

namespace {

using PortalNames::portalPath;
using PortalNames::portalService;
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

// The portal names a request after the caller: ":1.42" becomes "1_42".
QString requestPath(const QDBusConnection& bus, const QString& token)
{
    QString sender = bus.baseService();
    if (sender.startsWith(QLatin1Char(':')))
        sender.remove(0, 1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("%1/request/%2/%3").arg(portalPath, sender, token);
}

} // namespace

PortalRequest::PortalRequest(const QDBusConnection& bus, const QString& interface, const QString& method,
                             QVariantList arguments, QVariantMap options, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
{
    const QString token = newToken();
    options.insert(QStringLiteral("handle_token"), token);
    subscribe(requestPath(bus, token));

    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, interface, method);
    arguments.append(options);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, method](QDBusPendingCallWatcher* pending) {
                pending->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *pending;
                if (m_done)
                    return;
                if (reply.isError()) {
                    m_done = true;
                    unsubscribe();
                    Q_EMIT failed(QStringLiteral("%1: %2").arg(method, reply.error().message()));
                    deleteLater();
                    return;
                }
                // Portals before version 0.9 chose the path themselves.
                const QString path = reply.value().path();
                if (path != m_path) {
                    unsubscribe();
                    subscribe(path);
                }
            });
}

PortalRequest::~PortalRequest()
{
    unsubscribe();
}

QString PortalRequest::newToken()
{
    static std::atomic<quint32> next{0};
    return QStringLiteral("cogwise%1").arg(++next);
}

void PortalRequest::subscribe(const QString& path)
{
    m_path = path;
    // Matched without the portal's name: a match on it waits for the name's owner to be looked
    // up, and would miss an answer given meanwhile.
    m_bus.connect(QString(), m_path, requestInterface, QStringLiteral("Response"), this,
                  SLOT(response(uint, QVariantMap)));
}

void PortalRequest::unsubscribe()
{
    if (m_path.isEmpty())
        return;
    m_bus.disconnect(QString(), m_path, requestInterface, QStringLiteral("Response"), this,
                     SLOT(response(uint, QVariantMap)));
    m_path.clear();
}

void PortalRequest::response(uint response, const QVariantMap& results)
{
    if (m_done)
        return;
    m_done = true;
    unsubscribe();
    Q_EMIT answered(response, results);
    deleteLater();
}
