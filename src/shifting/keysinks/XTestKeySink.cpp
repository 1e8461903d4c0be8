#include "shifting/keysinks/XTestKeySink.h"

// X11 headers last: they define macros (None, Bool, Status) that clash with Qt's.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

XTestKeySink::XTestKeySink(const QByteArray& displayName)
{
    const char* name = displayName.isEmpty() ? nullptr : displayName.constData();
    m_display = XOpenDisplay(name);
    if (!m_display) {
        m_unavailableReason = QStringLiteral("There is no X display to type keys on (DISPLAY is \"%1\").")
                                  .arg(QString::fromLocal8Bit(name ? name : qgetenv("DISPLAY").constData()));
        return;
    }
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(m_display, &eventBase, &errorBase, &major, &minor)) {
        m_unavailableReason =
            QStringLiteral("The X server does not allow typing keys: it lacks the XTEST extension.");
        return;
    }
    m_shiftKeycode = XKeysymToKeycode(m_display, XK_Shift_L);
}

XTestKeySink::~XTestKeySink()
{
    if (m_display)
        XCloseDisplay(m_display);
}

std::optional<XTestKeySink::KeyStroke> XTestKeySink::strokeFor(VirtualKey key) const
{
    const KeySym symbol = key == VirtualKey::period ? XK_period : XK_comma;
    const KeyCode keycode = XKeysymToKeycode(m_display, symbol);
    if (keycode == 0)
        return std::nullopt;
    // Level 0 is the plain key, level 1 the shifted one.
    const bool plain = XkbKeycodeToKeysym(m_display, keycode, 0, 0) == symbol;
    return KeyStroke{keycode, !plain && m_shiftKeycode != 0};
}

bool XTestKeySink::post(VirtualKey key, KeyDirection direction)
{
    if (m_unavailableReason)
        return fail(*m_unavailableReason);
    const auto stroke = strokeFor(key);
    if (!stroke)
        return fail(QStringLiteral("the keyboard layout has no %1 key")
                        .arg(key == VirtualKey::period ? QStringLiteral("period") : QStringLiteral("comma")));

    const bool down = direction == KeyDirection::down;
    bool sent = true;
    if (stroke->needsShift && down)
        sent = XTestFakeKeyEvent(m_display, m_shiftKeycode, True, CurrentTime) && sent;
    sent = XTestFakeKeyEvent(m_display, stroke->keycode, down ? True : False, CurrentTime) && sent;
    if (stroke->needsShift && !down)
        sent = XTestFakeKeyEvent(m_display, m_shiftKeycode, False, CurrentTime) && sent;
    XFlush(m_display);
    return sent ? true : fail(QStringLiteral("the X server refused the key event"));
}
