#include "support/PrivateBus.h"

#include <QDBusConnectionInterface>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

namespace {

constexpr int startTimeoutMs = 20000;

// Everyone may own and call anything; no <servicedir> and no standard service folders.
constexpr char configuration[] =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

} // namespace

PrivateBus::~PrivateBus()
{
    stop(m_daemon);
}

void PrivateBus::stop(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished();
}

std::optional<QString> PrivateBus::waitForName(const QDBusConnection& bus, const QString& name,
                                               const QProcess& owner)
{
    const auto registered = [&] {
        return bus.interface() && bus.interface()->isServiceRegistered(name).value();
    };
    // A service that failed to start exits: no use waiting the whole timeout for it.
    const bool settled = QTest::qWaitFor(
        [&] { return owner.state() == QProcess::NotRunning || registered(); }, startTimeoutMs);
    if (owner.state() == QProcess::NotRunning)
        return owner.program() + QStringLiteral(" exited before it owned ") + name;
    if (!settled)
        return name + QStringLiteral(" did not come up");
    return std::nullopt;
}

std::optional<QString> PrivateBus::missingForFakes()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        return QStringLiteral("dbus-daemon is not installed (package dbus)");
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral("-c"), QStringLiteral("import dbusmock")});
    if (!probe.waitForFinished(startTimeoutMs) || probe.exitCode() != 0)
        return QStringLiteral("python3-dbusmock is not installed");
    return std::nullopt;
}

std::optional<QString> PrivateBus::start()
{
    if (!m_dir.isValid())
        return QStringLiteral("no temporary folder for the bus's configuration");
    const QString configPath = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly) || config.write(configuration) < 0)
        return QStringLiteral("cannot write ") + configPath;
    config.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + configPath, QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
    QByteArray address;
    while (!address.endsWith('\n')) {
        if (!m_daemon.waitForReadyRead(startTimeoutMs))
            return QStringLiteral("dbus-daemon did not start: ") +
                   QString::fromLocal8Bit(m_daemon.readAllStandardError());
        address += m_daemon.readAllStandardOutput();
    }
    m_address = QString::fromLatin1(address.trimmed());
    return std::nullopt;
}

void PrivateBus::startMock(QProcess& process, const QString& busKind, const QString& templatePath,
                           const QStringList& extraArguments) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(busKind == QLatin1String("--system") ? QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS")
                                                            : QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       m_address);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QStringLiteral("/usr/bin/python3"),
                  QStringList{QStringLiteral("-m"), QStringLiteral("dbusmock"), busKind,
                              QStringLiteral("--template"), templatePath} +
                      extraArguments);
}
