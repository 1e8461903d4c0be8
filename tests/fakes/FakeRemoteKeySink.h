#pragma once

#include "shifting/RemoteKeySink.h"

#include <QStringList>

// A Bluetooth keyboard without bluetoothd: keys recorded as "47 down", hosts and adapters as the
// test sets them, pairing open until the test closes it or moves its countdown to the end.
class FakeRemoteKeySink final : public RemoteKeySink
{
public:
    FakeRemoteKeySink(QStringList& events, QString adapterName, int* alive = nullptr)
        : m_events(events)
        , m_adapter(std::move(adapterName))
        , m_alive(alive)
    {
        if (m_alive)
            ++*m_alive;
    }
    ~FakeRemoteKeySink() override
    {
        if (m_alive)
            --*m_alive;
    }

    QList<Host> hostList;
    QStringList adapterList;
    QStringList forgotten;
    int secondsLeft = 0; // pairing is open while above 0
    int battery = -1;

    // As the real keyboard: the list is told, and a new status is news.
    void setHosts(QList<Host> hosts)
    {
        const QString before = status();
        hostList = std::move(hosts);
        Q_EMIT hostsChanged();
        if (status() != before)
            Q_EMIT changed({});
    }

    QString name() const override { return QStringLiteral("bluetooth"); }
    std::optional<QString> unavailableReason() const override { return std::nullopt; }
    bool post(VirtualKey key, KeyDirection direction) override
    {
        m_events.append(
            QStringLiteral("%1 %2 to %3")
                .arg(key.code())
                .arg(direction == KeyDirection::down ? QStringLiteral("down") : QStringLiteral("up"),
                     m_adapter));
        return true;
    }
    KeyMatching defaultKeyMatching() const override { return KeyMatching::physicalKey; }

    bool ready() const override { return true; }
    QString status() const override
    {
        for (const Host& host : hostList) {
            if (host.connected)
                return host.name + QStringLiteral(" is connected and takes keys");
        }
        return QStringLiteral("No paired device is connected — keys are not sent");
    }
    QList<Host> hosts() const override { return hostList; }
    QString adapter() const override { return m_adapter; }
    QStringList adapters() const override { return adapterList; }
    QStringList adapterRoles() const override { return {}; }
    void openPairing(std::chrono::seconds duration) override
    {
        secondsLeft = static_cast<int>(duration.count());
        Q_EMIT pairingChanged();
    }
    void closePairing() override
    {
        secondsLeft = 0;
        Q_EMIT pairingChanged();
    }
    bool pairingOpen() const override { return secondsLeft > 0; }
    int pairingSecondsLeft() const override { return secondsLeft; }
    void forget(const QString& hostPath) override { forgotten.append(hostPath); }
    void setBatteryLevel(int percent) override { battery = percent; }

private:
    QStringList& m_events;
    QString m_adapter;
    int* m_alive;
};
