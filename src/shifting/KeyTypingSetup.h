#pragma once

#include "shifting/KeySink.h"
#include "shifting/VirtualKey.h"

#include <QList>
#include <QString>
#include <optional>

// What decides on this machine whether Cogwise's keys reach the trainer app, for a setup
// check: the session, uinput's device, module, udev rule and group, the X display and the
// keyboard layout. Each inspect() reads them anew and keeps nothing open.
class KeyTypingSetup
{
public:
    enum class Session {
        x11,
        wayland,
        // A Wayland session whose X clients (Wine, for one) run on XWayland.
        waylandWithXwayland,
        // A console or a remote shell.
        none,
    };

    struct Uinput
    {
        QString devicePath;
        bool deviceExists = false;
        // Why Cogwise may not write to the device; nothing when it may.
        std::optional<QString> openError;
        bool moduleLoaded = false;
        // Where Cogwise's udev rule was found; nothing when it is not installed.
        std::optional<QString> rulePath;
        // The group the rule gives the device to ("input" when no rule is installed); empty
        // when the rule names none.
        QString group;
        bool groupExists = false;
        // This process has the group.
        bool inGroup = false;
        // The group database lists the user: true from the next login on.
        bool inGroupAfterLogin = false;
    };

    struct Display
    {
        QString name; // as DISPLAY has it; empty when unset
        bool opens = false;
        bool hasXTest = false;
    };

    struct Layout
    {
        QString name;   // "de(nodeadkeys)", "us,ru"; empty when unknown
        QString source; // where it was read
    };

    // Where a key of the trainer app lands on the current layout.
    struct Placement
    {
        VirtualKey key;
        // Whether the key pressed types the key's character on the current layout (true when
        // unknown). Matching by character, false means the layout has no key for it at all.
        bool typesCharacter = true;
        // The key pressed, named by what a US keyboard has there; nothing for a key US
        // keyboards lack.
        std::optional<VirtualKey> place;
        bool withShift = false;
        // What the key pressed types on the current layout; empty when that is unknown.
        QString types;
    };

    struct Facts
    {
        Session session = Session::none;
        Uinput uinput;
        Display display;
        Layout layout;
        QList<Placement> placements; // in the order of the keys asked about
    };

    virtual ~KeyTypingSetup() = default;

    // `keys` are placed as a sink matching them that way would press them.
    virtual Facts inspect(const QList<VirtualKey>& keys, KeyMatching matching) = 0;
};
