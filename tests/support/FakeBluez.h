#pragma once

#include "support/PrivateBus.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QProcess>
#include <QString>
#include <QVariant>
#include <optional>

// A private D-Bus system bus with a fake bluetoothd on it (tests/fakes/fake_bluez.py
// under python3-dbusmock). start() points this process's system bus at it, so it
// must run before anything talks to the system bus.
class FakeBluez
{
public:
    FakeBluez() = default;
    ~FakeBluez();
    FakeBluez(const FakeBluez&) = delete;
    FakeBluez& operator=(const FakeBluez&) = delete;

    // What is missing to run it, if anything.
    static std::optional<QString> missing();
    std::optional<QString> start();

    // bluetoothd stops (org.bluez leaves the bus), and comes back as it starts: fresh.
    std::optional<QString> stopService();
    std::optional<QString> startService();

    // Calls a switch of the fake (org.bluez.Mock): SetConnectMode, Notify, DropLink, ...
    bool control(const QString& method, const QVariantList& arguments = {});
    // Asks the fake (org.bluez.Mock) for a number: PendingConnects, StartNotifyCalls.
    int count(const QString& method);

    // Asks the fake (org.bluez.Mock) anything: the reply, or the error as a message.
    QDBusMessage query(const QString& method, const QVariantList& arguments = {});
    // The reply's value; the error, if any, as a warning and a null value.
    QVariant answer(const QString& method, const QVariantList& arguments = {});
    // For switches whose answer waits on this process (a host pairing asks our agent).
    QDBusPendingCall queryLater(const QString& method, const QVariantList& arguments = {});

    // Whether the unit's Di2 data characteristic is subscribed.
    bool isNotifying();
    // The keyboard side: the newest active advertisement's properties, and every report the
    // connected host received, in order.
    QVariantMap advertisement();
    QList<QByteArray> hostReports();

    static QString unitAddress() { return QStringLiteral("C0:FF:EE:00:00:01"); }
    static QString secondUnitAddress() { return QStringLiteral("C0:FF:EE:00:00:03"); }
    static QString unitPath() { return QStringLiteral("/org/bluez/hci0/dev_C0_FF_EE_00_00_01"); }

private:
    PrivateBus m_bus;
    QProcess m_bluez;
};
