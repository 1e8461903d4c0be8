#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <optional>

// A dbus-daemon of the test's own that activates nothing: its configuration names no service
// folder, so a name the test did not start (a desktop's real portal, say) is simply absent,
// on a rider's desktop as on a bare machine.
class PrivateBus
{
public:
    PrivateBus() = default;
    ~PrivateBus();
    Q_DISABLE_COPY(PrivateBus)

    // What is missing to run a fake on it, if anything: dbus-daemon and python3-dbusmock.
    static std::optional<QString> missingForFakes();

    std::optional<QString> start();
    QString address() const { return m_address; }

    // A python3-dbusmock template run as a service on this bus (`busKind` "--system" or "--session",
    // the bus the template registers on, which is this one either way), once it owns `name` as
    // `bus` sees it; an error when it did not come up.
    std::optional<QString> startMock(QProcess& process, const QString& busKind, const QString& templatePath,
                                     const QDBusConnection& bus, const QString& name,
                                     const QStringList& extraArguments = {}) const;

    // Waits until `owner` holds `name` on `bus`; an error when it exited first or never did.
    static std::optional<QString> waitForName(const QDBusConnection& bus, const QString& name,
                                              const QProcess& owner);

    // Ends a process started on it, terminating before killing.
    static void stop(QProcess& process);

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};
