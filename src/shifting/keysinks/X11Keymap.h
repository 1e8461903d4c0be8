#pragma once

#include "shifting/VirtualKey.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <memory>
#include <optional>
#include <utility>
#include <variant>

struct _XDisplay;

// The X server's keyboard layout: which key types a key's character, and whether with Shift.
// Under Wayland, XWayland mirrors the compositor's layout.
class X11Keymap
{
public:
    struct Stroke
    {
        unsigned keycode = 0; // X key code: the evdev code + 8
        bool needsShift = false;
    };

    // Looks through a display someone else owns; `lost`, when given, turns true once the owner's
    // connection broke (see X11ConnectionLoss), and from then on nothing is asked of it.
    explicit X11Keymap(_XDisplay* display, const bool* lost = nullptr);
    // A connection of its own; an empty name means $DISPLAY. Why not, when there is no display.
    static std::variant<std::unique_ptr<X11Keymap>, QString> open(const QByteArray& displayName = {});
    ~X11Keymap();
    X11Keymap(const X11Keymap&) = delete;
    X11Keymap& operator=(const X11Keymap&) = delete;

    // Nothing when the layout has no key for the character.
    std::optional<Stroke> strokeFor(VirtualKey key) const;
    unsigned shiftKeycode() const { return m_shiftKeycode; }
    // The X server went away; the keymap answers nothing from then on.
    bool connectionLost() const { return gone(); }
    // What the key at this X key code types without Shift: its character, or the keysym's name
    // for keys that type none; empty when it types nothing.
    QString typedBy(unsigned keycode) const;
    // Whether the key at this X key code types the key's character, with or without Shift.
    bool types(unsigned keycode, VirtualKey key) const;
    // The layouts and their variants as the X server was given them, each a comma-separated
    // list ("de,us" and "nodeadkeys,"); nothing when the server does not say.
    std::optional<std::pair<QString, QString>> layoutNames() const;

private:
    X11Keymap(_XDisplay* display, bool owned, const bool* lost);
    // Xlib may not be called on a broken connection: its answers are gone.
    bool gone() const { return *m_lost; }
    void followLayoutChanges() const;
    std::optional<Stroke> lookUp(VirtualKey key) const;

    _XDisplay* m_display;
    bool m_owned;
    mutable unsigned m_shiftKeycode = 0;
    // Looked up once per layout: the lookups cost a press more than its key.
    mutable QHash<quint16, std::optional<Stroke>> m_strokes;
    int m_xkbEventBase = -1;
    bool m_ownConnectionLost = false;
    const bool* m_lost;
};
