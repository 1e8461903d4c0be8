#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>

// BlueZ's agent for hosts pairing with the keyboard: it has no screen and no keys
// (NoInputNoOutput), so it says yes to a pairing while the rider has pairing open, and no
// otherwise. Services of hosts already paired are allowed.
class PairingAgent : public QDBusVirtualObject
{
    Q_OBJECT

public:
    explicit PairingAgent(const QString& path, QObject* parent = nullptr);
    ~PairingAgent() override;

    bool serve(const QDBusConnection& connection);
    QString path() const { return m_path; }

    void setAccepting(bool accepting) { m_accepting = accepting; }

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

Q_SIGNALS:
    // A device asked to pair; `accepted` says what the agent answered.
    void pairingRequested(const QString& devicePath, bool accepted);

private:
    QString m_path;
    QDBusConnection m_connection;
    bool m_served = false;
    bool m_accepting = false;
};
