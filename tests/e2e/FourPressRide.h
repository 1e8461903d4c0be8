#pragma once

#include "platform/Defaults.h"
#include "shifting/UserDefaultsManager.h"
#include "support/ScratchDir.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

// The end-to-end rides' shared ride: one press of each button in turn, mapped to two shifts up,
// one down, one up and three down (gear 13 to 15, 14, 15 and 12).
namespace FourPressRide {

// Writes the capture that `--simulate=` replays; false when it cannot.
inline bool writeCapture(const QString& path)
{
    // The counters as they stand, then one press of each button in turn.
    return ScratchDir::write(path, "0 2AC2 0A03000700\n"
                                   "80 2AC2 0B04000700\n"
                                   "160 2AC2 0C04010700\n"
                                   "240 2AC2 0D04010800\n"
                                   "320 2AC2 0E04010801\n");
}

// Stores the buttons' mapping in the settings file at `settingsPath`.
inline void storeMapping(const QString& settingsPath)
{
    QDir().mkpath(QFileInfo(settingsPath).absolutePath());
    Defaults defaults(settingsPath);
    UserDefaultsManager storage(defaults);
    storage.updateButtonConfig(1, {KeyboardAction::shiftUp, 2});
    storage.updateButtonConfig(2, {KeyboardAction::shiftDown, 1});
    storage.updateButtonConfig(3, {KeyboardAction::shiftUp, 1});
    storage.updateButtonConfig(4, {KeyboardAction::shiftDown, 3});
}

} // namespace FourPressRide
