#include "support/FakeBluez.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

namespace {

constexpr int startTimeoutMs = 20000;
const QString python = QStringLiteral("/usr/bin/python3");

QString templatePath()
{
    return QStringLiteral(COGWISE_TEST_FAKES_DIR "/fake_bluez.py");
}

void stop(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished();
}

} // namespace

FakeBluez::~FakeBluez()
{
    stop(m_bluez);
    stop(m_bus);
}

std::optional<QString> FakeBluez::missing()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        return QStringLiteral("dbus-daemon is not installed (package dbus)");
    QProcess probe;
    probe.start(python, {QStringLiteral("-c"), QStringLiteral("import dbusmock")});
    if (!probe.waitForFinished(startTimeoutMs) || probe.exitCode() != 0)
        return QStringLiteral("python3-dbusmock is not installed");
    return std::nullopt;
}

std::optional<QString> FakeBluez::start()
{
    m_bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                QStringLiteral("--print-address=1")});
    QByteArray address;
    while (!address.endsWith('\n')) {
        if (!m_bus.waitForReadyRead(startTimeoutMs))
            return QStringLiteral("dbus-daemon did not start: ") +
                   QString::fromLocal8Bit(m_bus.readAllStandardError());
        address += m_bus.readAllStandardOutput();
    }
    m_address = QString::fromLatin1(address.trimmed());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toLatin1());
    return startService();
}

std::optional<QString> FakeBluez::startService()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
    m_bluez.setProcessEnvironment(environment);
    m_bluez.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_bluez.setStandardOutputFile(QProcess::nullDevice());
    m_bluez.start(python, {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                           QStringLiteral("--template"), templatePath()});

    const bool registered = QTest::qWaitFor(
        [] {
            auto* bus = QDBusConnection::systemBus().interface();
            return bus && bus->isServiceRegistered(QStringLiteral("org.bluez"));
        },
        startTimeoutMs);
    if (!registered)
        return QStringLiteral("the fake bluetoothd did not come up");
    return std::nullopt;
}

std::optional<QString> FakeBluez::stopService()
{
    stop(m_bluez);
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
