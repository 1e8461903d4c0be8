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

inline QString analyticsOptOut()
{
    return QStringLiteral("analyticsOptOut");
} // bool, absent: usage statistics are shared
} // namespace SettingsKeys
