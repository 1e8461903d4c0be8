#pragma once

#include "shifting/KeySink.h"

#include <QList>
#include <QStringList>
#include <chrono>

// A key sink whose keys go to another device (a tablet, an Apple TV) paired with this computer
// as its keyboard: what the window, the setup check and the command line show and steer of it.
class RemoteKeySink : public KeySink
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

    // Keys go to another device now. A sink that can also type into this computer says false
    // while it does.
    virtual bool sendsToDevice() const { return true; }
    // Served and announced to devices, whether or not one is connected.
    virtual bool ready() const = 0;
    // Where keys go, in a sentence: "iPad is connected and takes keys".
    virtual QString status() const = 0;
    QString destination() const override { return status(); }

    virtual QList<Host> hosts() const = 0;
    // The adapter the keyboard uses ("hci0"), every adapter, and the roles the keyboard's adapter
    // offers as the system tells them ("central-peripheral" when both at once); empty when unknown.
    virtual QString adapter() const = 0;
    virtual QStringList adapters() const = 0;
    virtual QStringList adapterRoles() const = 0;

    // New devices may pair for `duration`; devices already paired connect at any time.
    virtual void openPairing(std::chrono::seconds duration = std::chrono::seconds{120}) = 0;
    virtual void closePairing() = 0;
    virtual bool pairingOpen() const = 0;
    virtual int pairingSecondsLeft() const = 0;
    // The system forgets the device; it must pair again.
    virtual void forget(const QString& hostPath) = 0;
    virtual void setBatteryLevel(int percent) = 0;

Q_SIGNALS:
    void hostsChanged();
    void pairingChanged();
    // For the event log: a device paired, pairing closed, ...
    void messageLogged(const QString& text);
};
