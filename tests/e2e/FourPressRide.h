#pragma once

#include "platform/Defaults.h"
#include "shifting/UserDefaultsManager.h"
#include "support/FocusedXClient.h"
#include "support/ScratchDir.h"

#include <QDir>
#include <QString>
#include <utility>

// The end-to-end rides' shared ride: one press of each button in turn, mapped to two shifts up,
// one down, one up and three down (gear 13 to 15, 14, 15 and 12).
namespace FourPressRide {

// The keys it types, in order, as (X keysym name, presses): "." shifts up, "," down.
inline const std::pair<const char*, int> keys[] = {{"period", 2}, {"comma", 1}, {"period", 1}, {"comma", 3}};

// What an X client records of them.
inline QStringList keyEvents()
{
    QStringList events;
    for (const auto& [key, count] : keys)
        events += FocusedXClient::pressesOf(QString::fromLatin1(key), count);
    return events;
}

// Under `home`: the settings (config/Cogwise/Cogwise.conf) with the buttons' mapping, and the
// capture that `--simulate=` replays (ride.capture); false when it cannot write them.
inline bool prepare(const QString& home)
{
    QDir().mkpath(home + QStringLiteral("/config/Cogwise"));
    Defaults defaults(home + QStringLiteral("/config/Cogwise/Cogwise.conf"));
    UserDefaultsManager storage(defaults);
    storage.updateButtonConfig(1, {KeyboardAction::shiftUp, 2});
    storage.updateButtonConfig(2, {KeyboardAction::shiftDown, 1});
    storage.updateButtonConfig(3, {KeyboardAction::shiftUp, 1});
    storage.updateButtonConfig(4, {KeyboardAction::shiftDown, 3});
    // The counters as they stand, then one press of each button in turn.
    return ScratchDir::write(home + QStringLiteral("/ride.capture"), "0 2AC2 0A03000700\n"
                                                                     "80 2AC2 0B04000700\n"
                                                                     "160 2AC2 0C04010700\n"
                                                                     "240 2AC2 0D04010800\n"
                                                                     "320 2AC2 0E04010801\n");
}

} // namespace FourPressRide
