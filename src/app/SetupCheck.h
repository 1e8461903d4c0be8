#pragma once

#include "bluetooth/BluetoothSetup.h"
#include "shifting/KeyTypingSetup.h"

#include <QList>
#include <QObject>
#include <QString>

class Defaults;
class KeySink;

// What stands between the rider and a ride, checked: bluetoothd, the adapter, the saved unit,
// how keys will be typed, the session and the keyboard layout. One line per check; each failed
// one says in a sentence what to do. Shared by `cogwise --check` and the window.
class SetupCheck : public QObject
{
    Q_OBJECT

public:
    struct Line
    {
        bool ok = false;
        // Without it Cogwise cannot shift; the other lines explain but do not stop a ride.
        bool required = false;
        QString label;
        QString advice; // for a failed line
        // A failed check that does not matter now (another way of typing keys is in use, or the
        // unit is simulated): told as information, not as a fault.
        bool informational = false;
    };

    struct Services
    {
        Defaults& defaults; // the saved unit, the trainer app and its keys
        BluetoothSetup& bluetooth;
        KeyTypingSetup& keyTyping;
        const KeySink& keySink;     // the one Cogwise types with
        QString keySinkReason;      // why that one
        bool simulatedUnit = false; // the ride needs no Bluetooth
    };

    explicit SetupCheck(const Services& services, QObject* parent = nullptr);

    // `listen`: also listen a few seconds for the unit's advertisements. While a check runs,
    // starting another does nothing.
    void start(bool listen);
    bool isRunning() const { return m_running; }

    // The last finished check's.
    const QList<Line>& lines() const { return m_lines; }
    bool readyToRide() const;
    // What the lines add up to, in a sentence; empty before the first check.
    QString summary() const;
    // "✓ label", "✗ label — advice", or "ℹ label — advice" for information.
    static QString format(const Line& line);

Q_SIGNALS:
    void finished();

private:
    void bluetoothInspected(const BluetoothSetup::Facts& facts);

    Services m_services;
    // The reason is the chosen sink's; another that took over since has none.
    QString m_chosenSink;
    bool m_running = false;
    bool m_listen = false;
    bool m_unitSaved = false;
    QList<Line> m_keyLines; // read when the check starts
    QList<Line> m_lines;
};
