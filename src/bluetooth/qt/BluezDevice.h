#pragma once

#include <QBluetoothAddress>
#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <chrono>

class QDBusPendingCallWatcher;

// One remote device as bluetoothd knows it (org.bluez.Device1), connected over D-Bus by
// us rather than by Qt, which turns each of BlueZ's errors into UnknownError.
class BluezDevice : public QObject
{
    Q_OBJECT

public:
    BluezDevice(const QBluetoothAddress& address, const QDBusConnection& bus, QObject* parent = nullptr);
    ~BluezDevice() override;

    // Asks BlueZ for the link. For a unit that does not advertise the request stays
    // pending at BlueZ until it does, or until the kernel gives up. Reports ready() or
    // failed(), once; replyTimeout bounds the wait for BlueZ's answer.
    void connectLink(std::chrono::milliseconds replyTimeout);
    // Ends our pending request or our link at BlueZ; reports nothing. Never touches an
    // attempt of another client.
    void disconnectLink();

Q_SIGNALS:
    // The link is up and BlueZ has resolved the services: Qt can take it over.
    void ready();
    void failed(const QString& errorName, const QString& message);

private Q_SLOTS:
    void onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated);

private:
    enum class Stage { idle, finding, connecting, resolving, up };

    void connectAt(const QString& path);
    void askResolved();
    void becomeReady();
    void fail(const QString& errorName, const QString& message);
    QDBusPendingCallWatcher* watch(const QDBusMessage& call, int timeoutMs = -1);

    QBluetoothAddress m_address;
    QDBusConnection m_bus;
    QString m_path;
    Stage m_stage = Stage::idle;
    std::chrono::milliseconds m_replyTimeout{};
    QPointer<QDBusPendingCallWatcher> m_pending;
};
