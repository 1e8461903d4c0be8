#include "shifting/keysinks/XTestKeySink.h"

#include "shifting/keysinks/EvdevKeyCodes.h"
#include "shifting/keysinks/X11ConnectionLoss.h"

// X11 headers last: they define macros (None, Bool, Status) that clash with Qt's.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

using EvdevKeyCodes::evdevToXKeycode;

} // namespace

XTestKeySink::XTestKeySink(const QByteArray& displayName)
{
    const char* name = displayName.isEmpty() ? nullptr : displayName.constData();
    m_display = XOpenDisplay(name);
    if (!m_display) {
        m_unavailableReason = QStringLiteral("There is no X display to type keys on (DISPLAY is \"%1\").")
                                  .arg(QString::fromLocal8Bit(name ? name : qgetenv("DISPLAY").constData()));
        return;
    }
    // Kept open even without XTEST, so watched from the start: closing it must not end Cogwise.
    m_displayName = DisplayString(m_display);
    X11ConnectionLoss::watch(m_display, &m_lost);
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(m_display, &eventBase, &errorBase, &major, &minor)) {
        m_unavailableReason =
            QStringLiteral("The X server does not allow typing keys: it lacks the XTEST extension.");
        return;
    }
    m_keymap = std::make_unique<X11Keymap>(m_display, &m_lost);
}

std::optional<QString> XTestKeySink::unavailableReason() const
{
    return m_lost ? lostReason() : m_unavailableReason;
}

QString XTestKeySink::lostReason() const
{
    return QStringLiteral("The X display %1 went away: Cogwise cannot type keys through XTest until it "
                          "is restarted.")
        .arg(QString::fromLocal8Bit(m_displayName));
}

bool XTestKeySink::failLost()
{
    if (!std::exchange(m_lossTold, true)) {
        // After the key's own failure is handled, so that listeners may switch sinks at once.
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT changed(lostReason()); }, Qt::QueuedConnection);
    }
    return fail(lostReason());
}

XTestKeySink::~XTestKeySink()
{
    m_keymap.reset();
    if (m_display)
        XCloseDisplay(m_display);
}

std::optional<X11Keymap::Stroke> XTestKeySink::strokeFor(VirtualKey key) const
{
    if (keyMatching() == KeyMatching::character)
        return m_keymap->strokeFor(key);
    int minKeycode = 0, maxKeycode = 0;
    XDisplayKeycodes(m_display, &minKeycode, &maxKeycode);
    const unsigned keycode = EvdevKeyCodes::of(key) + evdevToXKeycode;
    if (keycode < unsigned(minKeycode) || keycode > unsigned(maxKeycode))
        return std::nullopt;
    return X11Keymap::Stroke{keycode, false};
}

bool XTestKeySink::post(VirtualKey key, KeyDirection direction)
{
    if (m_unavailableReason)
        return fail(*m_unavailableReason);
    if (m_lost)
        return failLost();
    const auto stroke = strokeFor(key);
    if (m_lost)
        return failLost();
    if (!stroke)
        return fail(QStringLiteral("the keyboard layout has no key for \"%1\"").arg(key.label()));

    const bool down = direction == KeyDirection::down;
    const unsigned shift = m_keymap->shiftKeycode();
    bool sent = true;
    if (stroke->needsShift && down)
        sent = XTestFakeKeyEvent(m_display, shift, True, CurrentTime) && sent;
    sent = XTestFakeKeyEvent(m_display, stroke->keycode, down ? True : False, CurrentTime) && sent;
    if (stroke->needsShift && !down)
        sent = XTestFakeKeyEvent(m_display, shift, False, CurrentTime) && sent;
    XFlush(m_display);
    if (m_lost)
        return failLost();
    return sent ? true : fail(QStringLiteral("the X server refused the key event"));
}
