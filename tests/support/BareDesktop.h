#pragma once

#include "support/EnvironmentChange.h"

#include <QTemporaryDir>

// A session as a fresh Debian install without a desktop gives it: no mail client, no file
// manager, no web browser that xdg-email or xdg-open could fall back to. The desktop's own
// helpers then fail as they do there ("no method available").
struct BareDesktop
{
    QTemporaryDir empty;
    EnvironmentChange environment{
        {"XDG_CURRENT_DESKTOP", {}},
        {"DESKTOP_SESSION", {}},
        {"KDE_FULL_SESSION", {}},
        {"GNOME_DESKTOP_SESSION_ID", {}},
        {"MAILER", {}},
        {"BROWSER", "cogwise-test-no-browser"},
        {"XDG_DATA_HOME", empty.path().toLocal8Bit()},
        {"XDG_DATA_DIRS", empty.path().toLocal8Bit()},
        {"XDG_CONFIG_HOME", empty.path().toLocal8Bit()},
        {"XDG_CONFIG_DIRS", empty.path().toLocal8Bit()},
    };
};
