#pragma once

#include "support/FakeBluez.h"

#include <QByteArray>
#include <optional>

// The tests' fake bluetoothd, with the unit's Di2 notifications timed as they leave it
// (timed_notify.py beside this file). start() points this process's system bus at it, and
// so the processes started after it.
class TimedUnit
{
public:
    std::optional<QString> start();

    // One notification of the unit's Di2 data characteristic; the CLOCK_MONOTONIC
    // nanoseconds at which it went out, or nothing when the unit is not connected.
    std::optional<qint64> notify(const QByteArray& value);
    // StartNotify calls on the Di2 data characteristic so far: one per subscriber that came.
    int subscriptions() { return m_bluez.count(QStringLiteral("StartNotifyCalls")); }
    // Ends the link, so that the next subscriber connects afresh.
    void dropLink() { m_bluez.control(QStringLiteral("DropLink")); }

    static QString address() { return FakeBluez::unitAddress(); }
    static QString devicePath() { return FakeBluez::unitPath(); }

private:
    FakeBluez m_bluez;
};
