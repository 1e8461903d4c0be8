#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// Where a bench reads the keys a press typed, with the time each arrived: the key window on
// the X display, or the host of Cogwise's Bluetooth keyboard.
class KeyArrivals
{
public:
    struct Key
    {
        bool down = false;
        QString name;        // the X keysym: "comma", "period"
        qint64 received = 0; // CLOCK_MONOTONIC nanoseconds
    };

    virtual ~KeyArrivals() = default;

    // The next key down, skipping key ups; nothing when none came in time.
    virtual std::optional<Key> nextDown(int timeoutMs) = 0;
    // Forgets the keys that already arrived.
    virtual void discardArrived() = 0;
};
