#include "support/FakeBluez.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTest>

namespace {

constexpr int startTimeoutMs = 20000;

QString templatePath()
{
    return QStringLiteral(COGWISE_TEST_FAKES_DIR "/fake_bluez.py");
}

} // namespace

FakeBluez::~FakeBluez()
{
    PrivateBus::stop(m_bluez);
}

std::optional<QString> FakeBluez::missing()
{
    return PrivateBus::missingForFakes();
}

std::optional<QString> FakeBluez::start()
{
    if (const auto error = m_bus.start())
        return error;
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus.address().toLatin1());
    return startService();
}

std::optional<QString> FakeBluez::startService()
{
    m_bus.startMock(m_bluez, QStringLiteral("--system"), templatePath());

    if (const auto error =
            PrivateBus::waitForName(QDBusConnection::systemBus(), QStringLiteral("org.bluez"), m_bluez))
        return QStringLiteral("the fake bluetoothd did not come up: ") + *error;
    return std::nullopt;
}

std::optional<QString> FakeBluez::stopService()
{
    PrivateBus::stop(m_bluez);
    const bool gone = QTest::qWaitFor(
        [] {
            auto* bus = QDBusConnection::systemBus().interface();
            return bus && !bus->isServiceRegistered(QStringLiteral("org.bluez"));
        },
        startTimeoutMs);
    if (!gone)
        return QStringLiteral("the fake bluetoothd did not leave the bus");
    return std::nullopt;
}

bool FakeBluez::control(const QString& method, const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), QStringLiteral("/"),
                                                       QStringLiteral("org.bluez.Mock"), method);
    call.setArguments(arguments);
    return QDBusConnection::systemBus().call(call).type() == QDBusMessage::ReplyMessage;
}

int FakeBluez::count(const QString& method)
{
    const QDBusMessage reply = QDBusConnection::systemBus().call(QDBusMessage::createMethodCall(
        QStringLiteral("org.bluez"), QStringLiteral("/"), QStringLiteral("org.bluez.Mock"), method));
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).toInt() : -1;
}

bool FakeBluez::isNotifying()
{
    const QDBusMessage reply = QDBusConnection::systemBus().call(
        QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), QStringLiteral("/"),
                                       QStringLiteral("org.bluez.Mock"), QStringLiteral("IsNotifying")));
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

QDBusMessage FakeBluez::query(const QString& method, const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), QStringLiteral("/"),
                                                       QStringLiteral("org.bluez.Mock"), method);
    call.setArguments(arguments);
    return QDBusConnection::systemBus().call(call);
}

QDBusPendingCall FakeBluez::queryLater(const QString& method, const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), QStringLiteral("/"),
                                                       QStringLiteral("org.bluez.Mock"), method);
    call.setArguments(arguments);
    return QDBusConnection::systemBus().asyncCall(call);
}
