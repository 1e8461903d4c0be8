#pragma once

#include <QString>

// Every key the application keeps in its settings, with the type stored under it.
namespace SettingsKeys {

inline QString activeButtonProfile()
{
    return QStringLiteral("activeButtonProfile");
} // JSON bytes
inline QString enableKeyboardEmulation()
{
    return QStringLiteral("enableKeyboardEmulation");
} // bool
inline QString initialVirtualGear()
{
    return QStringLiteral("initialVirtualGear");
} // integer, outside 1..27 (absent reads as 0): none, gear 13
inline QString hasCompletedOnboarding()
{
    return QStringLiteral("hasCompletedOnboarding");
} // bool
inline QString lastConnectedDeviceUUID()
{
    return QStringLiteral("lastConnectedDeviceUUID");
} // UUID text

inline QString keyHoldMilliseconds()
{
    return QStringLiteral("keyHoldMilliseconds");
} // integer, 0..200; absent: 0
inline QString keyPauseMilliseconds()
{
    return QStringLiteral("keyPauseMilliseconds");
} // integer, 20..500; absent: 50

inline QString trainerApp()
{
    return QStringLiteral("trainerApp");
} // text, a trainer app's id (TrainerApp::all()); absent or unknown: rouvy
inline QString customShiftUpKey()
{
    return QStringLiteral("customShiftUpKey");
} // text, a key name ("period", "i", "F5"); absent or unknown: period
inline QString customShiftDownKey()
{
    return QStringLiteral("customShiftDownKey");
} // text, a key name; absent or unknown: comma
// Set beside the one above when the key is one versions before the keypad keys lack: there the
// one above holds the nearest key they know (see VirtualKey::nameForEarlierVersions).
inline QString customShiftUpExactKey()
{
    return QStringLiteral("customShiftUpExactKey");
} // text, a key name ("KP_Add"); absent or unknown: the one above
inline QString customShiftDownExactKey()
{
    return QStringLiteral("customShiftDownExactKey");
} // text, a key name; absent or unknown: the one above
inline QString keyMatching()
{
    return QStringLiteral("keyMatching");
} // text, "character" or "physical"; absent: the key sink's own way

inline QString keysTo()
{
    return QStringLiteral("keysTo");
} // text, "local" (this computer) or "bluetooth" (a device paired over Bluetooth); absent or unknown: local
inline QString keyboardAdapter()
{
    return QStringLiteral("keyboardAdapter");
} // text, the adapter the Bluetooth keyboard uses ("hci1"); absent: the first

inline QString remoteDesktopRestoreToken()
{
    return QStringLiteral("remoteDesktopRestoreToken");
} // text, the remote-desktop portal's token for the next session without asking; absent: ask

inline QString analyticsOptOut()
{
    return QStringLiteral("analyticsOptOut");
} // bool; absent: shared once onboarding is completed, before that nothing is sent until chosen
} // namespace SettingsKeys
