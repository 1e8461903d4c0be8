#include "support/FakePortal.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStandardPaths>
#include <QTest>
#include <QUuid>

namespace {

constexpr int startTimeoutMs = 20000;
const QString python = QStringLiteral("/usr/bin/python3");
const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");

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

FakePortal::~FakePortal()
{
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
    stop(m_portal);
    stop(m_bus);
}

std::optional<QString> FakePortal::missing()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        return QStringLiteral("dbus-daemon is not installed (package dbus)");
    QProcess probe;
    probe.start(python, {QStringLiteral("-c"), QStringLiteral("import dbusmock")});
    if (!probe.waitForFinished(startTimeoutMs) || probe.exitCode() != 0)
        return QStringLiteral("python3-dbusmock is not installed");
    return std::nullopt;
}

std::optional<QString> FakePortal::start(std::optional<uint> scheme)
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
    m_connectionName = QStringLiteral("fake-portal-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!bus().isConnected())
        return QStringLiteral("cannot connect to the private bus at ") + m_address;
    if (!scheme)
        return std::nullopt;

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    m_portal.setProcessEnvironment(environment);
    m_portal.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_portal.setStandardOutputFile(QProcess::nullDevice());
    m_portal.start(python,
                   {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--session"),
                    QStringLiteral("--template"), QStringLiteral(COGWISE_TEST_FAKES_DIR "/fake_portal.py"),
                    QStringLiteral("--parameters"), QStringLiteral("{\"scheme\": %1}").arg(*scheme)});
    const QDBusConnection connection = bus();
    const bool registered = QTest::qWaitFor(
        [&connection] { return connection.interface()->isServiceRegistered(portalService).value(); },
        startTimeoutMs);
    if (!registered)
        return QStringLiteral("the fake portal did not come up");
    return std::nullopt;
}

QDBusConnection FakePortal::bus() const
{
    return QDBusConnection::connectToBus(m_address, m_connectionName);
}

bool FakePortal::setColorScheme(uint scheme) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        portalService, QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Mock"), QStringLiteral("SetColorScheme"));
    call.setArguments({scheme});
    return bus().call(call).type() == QDBusMessage::ReplyMessage;
}
