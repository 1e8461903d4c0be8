#include "support/FakePortal.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QUuid>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString mockInterface = QStringLiteral("org.freedesktop.portal.Mock");

} // namespace

char* toString(const FakePortal::KeyEvent& event)
{
    return QTest::toString(QStringLiteral("%1 %2 %3")
                               .arg(event.kind, QString::number(event.value),
                                    event.state == 1   ? QStringLiteral("pressed")
                                    : event.state == 0 ? QStringLiteral("released")
                                                       : QStringLiteral("state %1").arg(event.state)));
}

FakePortal::~FakePortal()
{
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
    PrivateBus::stop(m_portal);
}

std::optional<QString> FakePortal::missing()
{
    return PrivateBus::missingForFakes();
}

std::optional<QString> FakePortal::start(std::optional<uint> scheme)
{
    if (const auto error = startBus())
        return error;
    if (!scheme)
        return std::nullopt;
    return startPortal({{QStringLiteral("scheme"), qint64(*scheme)}});
}

std::optional<QString> FakePortal::start(std::optional<uint> scheme, const RemoteDesktop& remoteDesktop)
{
    // The fake would quietly allow on a mode it does not know; a typo should fail here instead.
    static const QStringList consentModes{QStringLiteral("allow"), QStringLiteral("deny"),
                                          QStringLiteral("wait")};
    if (!consentModes.contains(remoteDesktop.consent))
        return QStringLiteral("unknown consent mode: ") + remoteDesktop.consent;
    if (const auto error = startBus())
        return error;
    return startPortal({
        {QStringLiteral("scheme"), qint64(scheme.value_or(0))},
        {QStringLiteral("remote_desktop"), remoteDesktop.offered},
        {QStringLiteral("version"), qint64(remoteDesktop.version)},
        {QStringLiteral("consent"), remoteDesktop.consent},
        {QStringLiteral("known_tokens"), QJsonArray::fromStringList(remoteDesktop.knownTokens)},
    });
}

std::optional<QString> FakePortal::startBus()
{
    if (const auto error = m_bus.start())
        return error;
    m_connectionName = QStringLiteral("fake-portal-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!bus().isConnected())
        return QStringLiteral("cannot connect to the private bus at ") + m_bus.address();
    return std::nullopt;
}

std::optional<QString> FakePortal::startPortal(const QJsonObject& parameters)
{
    m_bus.startMock(m_portal, QStringLiteral("--session"),
                    QStringLiteral(COGWISE_TEST_FAKES_DIR "/fake_portal.py"),
                    {QStringLiteral("--parameters"),
                     QString::fromUtf8(QJsonDocument(parameters).toJson(QJsonDocument::Compact))});
    if (const auto error = PrivateBus::waitForName(bus(), portalService, m_portal))
        return QStringLiteral("the fake portal did not come up (see its messages above): ") + *error;
    return std::nullopt;
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
        QTest::qFail(qPrintable(QStringLiteral("FakePortal: %1 failed: %2 %3")
                                    .arg(method, reply.errorName(), reply.errorMessage())),
                     __FILE__, __LINE__);
        return {};
    }
    return reply.arguments().constFirst();
}

QList<FakePortal::KeyEvent> FakePortal::keyEvents() const
{
    QList<KeyEvent> events;
    const QVariant reply = query(QStringLiteral("KeyEvents"));
    if (!reply.canConvert<QDBusArgument>())
        return events;
    const auto argument = reply.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("a(siu)")) {
        QTest::qFail(
            qPrintable(QStringLiteral("FakePortal: KeyEvents answered ") + argument.currentSignature()),
            __FILE__, __LINE__);
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
