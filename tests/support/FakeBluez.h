#pragma once

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

    // Calls a switch of the fake (org.bluez.Mock): SetConnectMode, Notify, DropLink, ...
    bool control(const QString& method, const QVariantList& arguments = {});

    // Whether the unit's Di2 data characteristic is subscribed.
    bool isNotifying();

    static QString unitAddress() { return QStringLiteral("C0:FF:EE:00:00:01"); }

private:
    QProcess m_bus;
    QProcess m_bluez;
    QString m_address;
};
