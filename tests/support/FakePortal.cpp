#include "support/FakePortal.h"

#include <QDBusArgument>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace {

const QString portalService = u"org.freedesktop.portal.Desktop"_s;
const QString portalPath = u"/org/freedesktop/portal/desktop"_s;
const QString mockInterface = u"org.freedesktop.portal.Mock"_s;

} // namespace

char* toString(const FakePortal::KeyEvent& event)
{
    return QTest::toString(u"%1 %2 %3"_s.arg(event.kind, QString::number(event.value),
                                             event.state == 1   ? u"pressed"_s
                                             : event.state == 0 ? u"released"_s
                                                                : u"state %1"_s.arg(event.state)));
}

FakePortal::~FakePortal()
{
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
    PrivateBus::stop(m_portal);
}

std::optional<QString> FakePortal::start(std::optional<uint> scheme,
                                         const std::optional<RemoteDesktop>& remoteDesktop)
{
    if (const auto error = m_bus.start())
        return error;
    m_connectionName = u"fake-portal-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!bus().isConnected())
        return u"cannot connect to the private bus at "_s + m_bus.address();
    if (!scheme && !remoteDesktop)
        return std::nullopt;
    const RemoteDesktop portal = remoteDesktop.value_or(RemoteDesktop{});
    const QJsonObject parameters{
        {u"scheme"_s, qint64(scheme.value_or(0))},
        {u"remote_desktop"_s, portal.offered},
        {u"version"_s, qint64(portal.version)},
        {u"consent"_s, portal.consent},
    };
    return m_bus.startMock(
        m_portal, u"--session"_s, QStringLiteral(COGWISE_TEST_FAKES_DIR "/fake_portal.py"), bus(),
        portalService,
        {u"--parameters"_s, QString::fromUtf8(QJsonDocument(parameters).toJson(QJsonDocument::Compact))});
}

QDBusConnection FakePortal::bus() const
{
    return QDBusConnection::connectToBus(m_bus.address(), m_connectionName);
}

QDBusMessage FakePortal::callMock(const QString& method, const QVariantList& arguments) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, mockInterface, method);
    call.setArguments(arguments);
    return bus().call(call);
}

QVariant FakePortal::query(const QString& method) const
{
    const QDBusMessage reply = callMock(method);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
        // Quietly answering 0 or nothing would pass a test that expects 0 or nothing.
        QTest::qFail(qPrintable(u"FakePortal: %1 failed: %2 %3"_s.arg(method, reply.errorName(),
                                                                      reply.errorMessage())),
                     __FILE__, __LINE__);
        return {};
    }
    return reply.arguments().constFirst();
}

QList<FakePortal::KeyEvent> FakePortal::keyEvents() const
{
    QList<KeyEvent> events;
    const QVariant reply = query(u"KeyEvents"_s);
    if (!reply.canConvert<QDBusArgument>())
        return events;
    const auto argument = reply.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("a(siu)")) {
        QTest::qFail(qPrintable(u"FakePortal: KeyEvents answered "_s + argument.currentSignature()), __FILE__,
                     __LINE__);
        return events;
    }
    argument.beginArray();
    while (!argument.atEnd()) {
        KeyEvent event;
        argument.beginStructure();
        argument >> event.kind >> event.value >> event.state;
        argument.endStructure();
        events.append(event);
    }
    argument.endArray();
    return events;
}
