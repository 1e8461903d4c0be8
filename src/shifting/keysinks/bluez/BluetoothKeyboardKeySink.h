#pragma once

#include "shifting/RemoteKeySink.h"

#include <QDBusConnection>
#include <QList>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

class HidGattApplication;
class KeyboardAdvertisement;
class PairingAgent;
class QDBusMessage;
class QDBusPendingCallWatcher;

// Cogwise as a Bluetooth LE keyboard (HID over GATT) served through bluetoothd, so that a
// trainer app on another device (a tablet, an Apple TV, another computer) gets the keys.
// Everything talks to bluetoothd asynchronously: it reads our objects before it answers.
class BluetoothKeyboardKeySink : public RemoteKeySink
{
    Q_OBJECT

public:
    // `adapterName` ("hci1") picks the adapter; empty takes the first. `isDi2Unit` tells the
    // rider's unit (by address) from hosts on the same adapter.
    BluetoothKeyboardKeySink(QDBusConnection bus, QString adapterName = {},
                             std::function<bool(const QString&)> isDi2Unit = {});
    ~BluetoothKeyboardKeySink() override;

    QString name() const override { return QStringLiteral("bluetooth"); }
    std::optional<QString> unavailableReason() const override;
    bool post(VirtualKey key, KeyDirection direction) override;
    // The host's layout decides the character of each key position.
    KeyMatching defaultKeyMatching() const override { return KeyMatching::physicalKey; }

    QString status() const override;
    QList<Host> hosts() const override { return m_hosts; }
    QString adapter() const override { return m_adapterPath.section(QLatin1Char('/'), -1); }
    QStringList adapters() const override { return m_adapters; }
    QStringList adapterRoles() const override { return m_adapterRoles; }
    bool ready() const override { return m_applicationRegistered && m_advertising; }

    void openPairing(std::chrono::seconds duration = std::chrono::seconds{120}) override;
    void closePairing() override;
    bool pairingOpen() const override { return m_pairingTimer.isActive(); }
    int pairingSecondsLeft() const override;
    void forget(const QString& hostPath) override;
    void setBatteryLevel(int percent) override;

protected:
    std::optional<QString> prepareKeyMatching(KeyMatching matching) override;

private Q_SLOTS:
    void onInterfacesAdded(const QDBusMessage& message);
    void onInterfacesRemoved(const QDBusMessage& message);
    void onPropertiesChanged(const QDBusMessage& message);
    void onNameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

private:
    void start();
    void reset(const QString& why);
    void takeObjects(const QDBusMessage& reply);
    void registerApplication();
    void registerAdvertisement();
    void unregisterAdvertisement();
    void updateDevice(const QString& path, const QVariantMap& properties);
    void setProblem(std::optional<QString> problem);
    void announce(const QString& news);
    void watch(QDBusPendingCallWatcher* watcher, std::function<void(const QDBusMessage&)> done);

    QDBusConnection m_bus;
    QString m_adapterName;
    std::function<bool(const QString&)> m_isDi2Unit;
    QString m_adapterPath;
    std::unique_ptr<HidGattApplication> m_application;
    std::unique_ptr<KeyboardAdvertisement> m_advertisement;
    std::unique_ptr<PairingAgent> m_agent;
    bool m_applicationRegistered = false;
    bool m_advertising = false;
    bool m_agentRegistered = false;
    bool m_powered = false;
    std::optional<QString> m_problem;
    QList<Host> m_hosts;
    QStringList m_adapters;
    QStringList m_adapterRoles;
    QHash<QString, QVariantMap> m_devices; // every Device1 on the adapter, by path
    QTimer m_pairingTimer;
    std::optional<std::chrono::seconds> m_pairingWanted; // asked for before the adapter was known
    QString m_lastStatus;
};
