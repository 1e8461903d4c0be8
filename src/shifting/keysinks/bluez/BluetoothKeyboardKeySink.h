#pragma once

#include "shifting/KeySink.h"

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
class BluetoothKeyboardKeySink : public KeySink
{
    Q_OBJECT

public:
    struct Host
    {
        QString path;
        QString address;
        QString name;
        bool connected = false;
        bool operator==(const Host&) const = default;
    };

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

    // Where keys go, in a sentence: "iPad is connected and takes keys".
    QString status() const;
    QString destination() const override { return status(); }
    QList<Host> hosts() const { return m_hosts; }
    QString adapterPath() const { return m_adapterPath; }
    bool ready() const { return m_applicationRegistered && m_advertising; }

    // New hosts may pair for `duration`; hosts already paired connect at any time.
    void openPairing(std::chrono::seconds duration = std::chrono::seconds{120});
    void closePairing();
    bool pairingOpen() const { return m_pairingTimer.isActive(); }
    int pairingSecondsLeft() const;
    // bluetoothd forgets the host; it must pair again.
    void forget(const QString& hostPath);
    void setBatteryLevel(int percent);

Q_SIGNALS:
    void hostsChanged();
    void pairingChanged();
    // For the event log: a host paired, pairing closed, ...
    void messageLogged(const QString& text);

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
    QHash<QString, QVariantMap> m_devices; // every Device1 on the adapter, by path
    QTimer m_pairingTimer;
    std::optional<std::chrono::seconds> m_pairingWanted; // asked for before the adapter was known
    QString m_lastStatus;
};
