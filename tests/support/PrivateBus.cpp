#include "support/PrivateBus.h"

#include <QDBusConnectionInterface>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

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
        return owner.program() + u" exited before it owned "_s + name;
    if (!settled)
        return name + u" did not come up"_s;
    return std::nullopt;
}

std::optional<QString> PrivateBus::missingForFakes()
{
    if (QStandardPaths::findExecutable(u"dbus-daemon"_s).isEmpty())
        return u"dbus-daemon is not installed (package dbus)"_s;
    QProcess probe;
    probe.start(u"/usr/bin/python3"_s, {u"-c"_s, u"import dbusmock"_s});
    if (!probe.waitForFinished(startTimeoutMs) || probe.exitCode() != 0)
        return u"python3-dbusmock is not installed"_s;
    return std::nullopt;
}

std::optional<QString> PrivateBus::start()
{
    if (!m_dir.isValid())
        return u"no temporary folder for the bus's configuration"_s;
    const QString configPath = m_dir.filePath(u"bus.conf"_s);
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly) || config.write(configuration) < 0)
        return u"cannot write "_s + configPath;
    config.close();
    m_daemon.start(u"dbus-daemon"_s,
                   {u"--config-file="_s + configPath, u"--nofork"_s, u"--print-address=1"_s});
    QByteArray address;
    while (!address.endsWith('\n')) {
        if (!m_daemon.waitForReadyRead(startTimeoutMs))
            return u"dbus-daemon did not start: "_s + QString::fromLocal8Bit(m_daemon.readAllStandardError());
        address += m_daemon.readAllStandardOutput();
    }
    m_address = QString::fromLatin1(address.trimmed());
    return std::nullopt;
}

std::optional<QString> PrivateBus::startMock(QProcess& process, const QString& busKind,
                                             const QString& templatePath, const QDBusConnection& bus,
                                             const QString& name, const QStringList& extraArguments) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(busKind == QLatin1String("--system") ? u"DBUS_SYSTEM_BUS_ADDRESS"_s
                                                            : u"DBUS_SESSION_BUS_ADDRESS"_s,
                       m_address);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(u"/usr/bin/python3"_s,
                  QStringList{u"-m"_s, u"dbusmock"_s, busKind, u"--template"_s, templatePath} +
                      extraArguments);
    if (const auto error = waitForName(bus, name, process))
        return u"the fake %1 did not come up (see its messages above): "_s.arg(name) + *error;
    return std::nullopt;
}
