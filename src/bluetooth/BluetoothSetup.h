#pragma once

#include <QObject>
#include <QString>
#include <QUuid>
#include <optional>

// What decides on this machine whether Cogwise reaches the rider's unit, for a setup check:
// the platform's Bluetooth service, the adapter and its power, and the unit as the service
// knows it. An inspection never blocks; it reports inspected() once, on the GUI thread.
class BluetoothSetup : public QObject
{
    Q_OBJECT

public:
    enum class Heard {
        notListened,
        advertising,
        // A connected unit does not advertise.
        connected,
        silent,
    };

    struct Facts
    {
        bool busReachable = false;
        bool serviceRunning = false;
        QString serviceVersion; // empty when unknown
        QString versionSource;  // how the version was learnt
        QString adapter;        // "hci0"; empty when there is none
        QString adapterAddress;
        bool adapterPowered = false;
        // The saved unit's address; nothing when no unit is saved or its identifier holds none.
        std::optional<QString> unitAddress;
        bool unitKnown = false;
        QString unitName;
        Heard heard = Heard::notListened;
        std::optional<int> rssi; // dBm, while advertising
    };

    using QObject::QObject;

    // `unit`: the saved unit, if any. `listen`: also listen a few seconds for its advertisements.
    // Asked again while an inspection runs, it does nothing: that one reports.
    virtual void inspect(const std::optional<QUuid>& unit, bool listen) = 0;

Q_SIGNALS:
    void inspected(const BluetoothSetup::Facts& facts);
};
