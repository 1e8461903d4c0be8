#include "support/FakeBluez.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>

namespace {

constexpr int bluezStartTimeoutMs = 20000;

QDBusMessage mockCall(const QString& method, const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), QStringLiteral("/"),
                                                       QStringLiteral("org.bluez.Mock"), method);
    call.setArguments(arguments);
    return call;
}

} // namespace

std::optional<QString> FakeBluez::start()
{
    if (const auto error = m_bus.start())
        return error;
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus.address().toLatin1());
    return startService();
}

std::optional<QString> FakeBluez::startService()
{
    return m_bus.startMock(m_bluez, QStringLiteral("--system"),
                           QStringLiteral(COGWISE_TEST_FAKES_DIR "/fake_bluez.py"),
                           QDBusConnection::systemBus(), QStringLiteral("org.bluez"));
}

std::optional<QString> FakeBluez::stopService()
{
    PrivateBus::stop(m_bluez);
    const bool gone = QTest::qWaitFor(
        [] {
            auto* bus = QDBusConnection::systemBus().interface();
            return bus && !bus->isServiceRegistered(QStringLiteral("org.bluez"));
        },
        bluezStartTimeoutMs);
    if (!gone)
        return QStringLiteral("the fake bluetoothd did not leave the bus");
    return std::nullopt;
}

int FakeBluez::count(const QString& method)
{
    const QDBusMessage reply = query(method);
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).toInt() : -1;
}

QDBusMessage FakeBluez::query(const QString& method, const QVariantList& arguments)
{
    return QDBusConnection::systemBus().call(mockCall(method, arguments));
}

QVariant FakeBluez::answer(const QString& method, const QVariantList& arguments)
{
    const QDBusMessage reply = query(method, arguments);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return reply.arguments().value(0);
    qWarning("%s: %s", qPrintable(method), qPrintable(reply.errorMessage()));
    return {};
}

QDBusPendingCall FakeBluez::queryLater(const QString& method, const QVariantList& arguments)
{
    return QDBusConnection::systemBus().asyncCall(mockCall(method, arguments));
}
