#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

class QDBusMessage;

// Cogwise's own discovery session with bluetoothd, on a bus connection of its own: bluetoothd keeps
// one session per client, so ours runs whatever other clients (a desktop's Bluetooth panel, Qt's
// own agent) start or stop, and its filter makes bluetoothd tell every advertisement, not only an
// RSSI that moved by 8 dBm. Calls go out one at a time, each after the previous one's reply, so a
// stop followed at once by a start cannot be read back out of order.
class BluezDiscoverySession : public QObject
{
    Q_OBJECT

public:
    explicit BluezDiscoverySession(QObject* parent = nullptr);
    ~BluezDiscoverySession() override;

    void start();
    void stop();
    // The adapter was powered off and on, or came back: bluetoothd may have ended the session.
    void restart();
    bool running() const { return m_running; }
    // Running, wanted, and told by bluetoothd that the adapter discovers.
    bool discoveringNow() const { return m_running && m_wanted && !m_busy && m_adapterDiscovering; }

Q_SIGNALS:
    // Our session runs and bluetoothd says the adapter discovers: a client that looks at the
    // adapter now (Qt's discovery agent does) finds it discovering and opens no session of its own.
    void discovering();
    // For the log: what bluetoothd answered when it refused.
    void failed(const QString& why);

private Q_SLOTS:
    void onAdapterChanged(const QDBusMessage& message);

private:
    void tellDiscovering();
    void settle();
    void awaitDiscovering();
    void call(const QString& path, const QString& interface, const QString& method,
              const QVariantList& arguments, std::function<void(const QDBusMessage&)> done);

    QString m_connectionName;
    QDBusConnection m_bus;
    QString m_adapter;
    bool m_wanted = false;
    bool m_running = false;
    bool m_busy = false;
    bool m_adapterDiscovering = false;
};
