#pragma once

#include "bluetooth/BluetoothSetup.h"

#include <QDBusConnection>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <memory>

class QDBusMessage;

// BluetoothSetup on bluetoothd: its objects read over a system-bus connection of our own, so
// that the discovery this starts and stops is a session apart from QtBluetooth's; its version
// from the first version source that answers.
class BluezSetup final : public BluetoothSetup
{
    Q_OBJECT

public:
    struct VersionSource
    {
        QStringList command;
        QString description; // how the rider would ask: "bluetoothd --version"
    };

    // Long enough for a unit advertising every second or two to be heard a few times.
    static constexpr auto defaultListenTime = std::chrono::seconds{4};

    explicit BluezSetup(QObject* parent = nullptr);
    ~BluezSetup() override;

    void setListenTime(std::chrono::milliseconds time) { m_listenTime = time; }
    // Asked in order until one prints a version.
    void setVersionSources(QList<VersionSource> sources) { m_versionSources = std::move(sources); }
    static QList<VersionSource> defaultVersionSources();

    void inspect(const std::optional<QUuid>& unit, bool listen) override;

private Q_SLOTS:
    void onPropertiesChanged(const QDBusMessage& message);
    void onInterfacesAdded(const QDBusMessage& message);

private:
    void askVersion(qsizetype index);
    void askOwner();
    void readObjects();
    void startListening();
    void stopListening(Heard heard);
    void finishListening();
    void heardUnit(const QVariantMap& deviceProperties);
    void branchDone();

    std::chrono::milliseconds m_listenTime = defaultListenTime;
    QList<VersionSource> m_versionSources;
    bool m_running = false;
    bool m_listen = false;
    int m_branches = 0; // still running: the version, the bus
    Facts m_facts;
    QString m_connectionName;
    std::optional<QDBusConnection> m_bus;
    QString m_adapterPath;
    QString m_unitPath;
    bool m_listening = false;
    bool m_callPending = false; // the discovery filter or its start, not yet answered
    bool m_discovering = false; // our discovery session is on
    QTimer m_listenTimer;
    QTimer m_versionTimer;
    std::unique_ptr<QProcess> m_versionProcess;
};
