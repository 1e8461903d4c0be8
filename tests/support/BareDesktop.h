#pragma once

#include "support/EnvironmentChange.h"

#include <QTemporaryDir>

// A session as a fresh Debian install without a desktop gives it: no mail client, no file
// manager, no web browser that xdg-email or xdg-open could fall back to. The desktop's own
// helpers then fail as they do there ("no method available"). Only the processes this one
// starts see it: this one's connections to the display and the bus stay as they are.
struct BareDesktop
{
    QTemporaryDir empty;
    EnvironmentChange environment{
        // Nothing by which the helpers could find a desktop session, even on a developer's desktop.
        {"XDG_CURRENT_DESKTOP", {}},
        {"XDG_SESSION_DESKTOP", {}},
        {"DESKTOP_SESSION", {}},
        {"KDE_FULL_SESSION", {}},
        {"KDE_SESSION_VERSION", {}},
        {"GNOME_DESKTOP_SESSION_ID", {}},
        {"MATE_DESKTOP_SESSION_ID", {}},
        {"DBUS_SESSION_BUS_ADDRESS", {}},
        {"DISPLAY", {}},
        {"WAYLAND_DISPLAY", {}},
        {"MAILER", {}},
        {"BROWSER", "cogwise-test-no-browser"},
        {"XDG_DATA_HOME", empty.path().toLocal8Bit()},
        {"XDG_DATA_DIRS", empty.path().toLocal8Bit()},
        {"XDG_CONFIG_HOME", empty.path().toLocal8Bit()},
        {"XDG_CONFIG_DIRS", empty.path().toLocal8Bit()},
    };
};
