#pragma once

#include "support/PrivateBus.h"

#include <QDBusArgument>
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
    ~FakeBluez() { PrivateBus::stop(m_bluez); }
    FakeBluez(const FakeBluez&) = delete;
    FakeBluez& operator=(const FakeBluez&) = delete;

    // What is missing to run it, if anything.
    static std::optional<QString> missing() { return PrivateBus::missingForFakes(); }
    std::optional<QString> start();

    // bluetoothd stops (org.bluez leaves the bus), and comes back as it starts: fresh.
    std::optional<QString> stopService();
    std::optional<QString> startService();

    // The fake's org.bluez.Mock methods (listed in fake_bluez.py). A switch: whether it took.
    bool control(const QString& method, const QVariantList& arguments = {})
    {
        return query(method, arguments).type() == QDBusMessage::ReplyMessage;
    }
    // A number (PendingConnects, StartNotifyCalls); -1 on an error.
    int count(const QString& method);
    // Anything: the reply, or the error as a message.
    QDBusMessage query(const QString& method, const QVariantList& arguments = {});
    // The reply's value; the error, if any, as a warning and a null value.
    QVariant answer(const QString& method, const QVariantList& arguments = {});
    // For switches whose answer waits on this process (a host pairing asks our agent).
    QDBusPendingCall queryLater(const QString& method, const QVariantList& arguments = {});

    // Whether the unit's Di2 data characteristic is subscribed.
    bool isNotifying() { return answer(QStringLiteral("IsNotifying")).toBool(); }
    // The keyboard side: the newest active advertisement's properties, and every report the
    // connected host received, in order.
    QVariantMap advertisement() { return answerOf<QVariantMap>(QStringLiteral("AdvertisementProperties")); }
    QList<QByteArray> hostReports() { return answerOf<QList<QByteArray>>(QStringLiteral("HostReports")); }

    static QString unitAddress() { return QStringLiteral("C0:FF:EE:00:00:01"); }
    static QString unitPath() { return QStringLiteral("/org/bluez/hci0/dev_C0_FF_EE_00_00_01"); }

private:
    template<typename T> T answerOf(const QString& method)
    {
        return qdbus_cast<T>(answer(method).value<QDBusArgument>());
    }

    PrivateBus m_bus;
    QProcess m_bluez;
};
