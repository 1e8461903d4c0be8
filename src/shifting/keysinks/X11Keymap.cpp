#include "shifting/keysinks/X11Keymap.h"

#include "shifting/keysinks/X11ConnectionLoss.h"

// X11 headers last: they define macros (None, Bool, Status) that clash with Qt's.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

X11Keymap::X11Keymap(_XDisplay* display, const bool* lost)
    : X11Keymap(display, false, lost)
{}

X11Keymap::X11Keymap(_XDisplay* display, bool owned, const bool* lost)
    : m_display(display)
    , m_owned(owned)
    , m_lost(lost ? lost : &m_ownConnectionLost)
{
    // Without asking for them, an XKB client is never told of a layout change, and Xlib keeps
    // the layout it read first: a layout switched mid-ride would go unseen.
    int opcode = 0, errorBase = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (XkbQueryExtension(display, &opcode, &m_xkbEventBase, &errorBase, &major, &minor)) {
        constexpr unsigned long changes = XkbMapNotifyMask | XkbNewKeyboardNotifyMask;
        XkbSelectEvents(display, XkbUseCoreKbd, changes, changes);
    } else {
        m_xkbEventBase = -1;
    }
    m_shiftKeycode = XKeysymToKeycode(display, XK_Shift_L);
}

std::variant<std::unique_ptr<X11Keymap>, QString> X11Keymap::open(const QByteArray& displayName)
{
    const char* name = displayName.isEmpty() ? nullptr : displayName.constData();
    Display* display = XOpenDisplay(name);
    if (!display)
        return QStringLiteral("There is no X display to read the keyboard layout from (DISPLAY is \"%1\").")
            .arg(QString::fromLocal8Bit(name ? name : qgetenv("DISPLAY").constData()));
    auto keymap = std::unique_ptr<X11Keymap>(new X11Keymap(display, true, nullptr));
    X11ConnectionLoss::watch(display, &keymap->m_ownConnectionLost);
    return keymap;
}

X11Keymap::~X11Keymap()
{
    if (m_owned)
        XCloseDisplay(m_display);
}

void X11Keymap::followLayoutChanges() const
{
    // Nothing else reads this connection's events.
    while (!gone() && XPending(m_display) > 0 && !gone()) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (event.type == m_xkbEventBase) {
            auto& xkb = reinterpret_cast<XkbEvent&>(event);
            if (xkb.any.xkb_type == XkbMapNotify)
                XkbRefreshKeyboardMapping(&xkb.map);
            m_shiftKeycode = XKeysymToKeycode(m_display, XK_Shift_L);
            m_strokes.clear();
        } else if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            m_shiftKeycode = XKeysymToKeycode(m_display, XK_Shift_L);
            m_strokes.clear();
        }
    }
}

std::optional<X11Keymap::Stroke> X11Keymap::strokeFor(VirtualKey key) const
{
    followLayoutChanges();
    if (gone())
        return std::nullopt;
    const auto known = m_strokes.constFind(key.code());
    auto stroke = known != m_strokes.cend() ? *known : lookUp(key);
    if (known == m_strokes.cend())
        m_strokes.insert(key.code(), stroke);
    // A keypad key is pressed as a hand would, whatever the locks: Shift does not make a digit
    // of its arrow on every keymap, and Num Lock is the rider's to set.
    if (stroke && key.isOnKeypad())
        stroke->needsShift = false;
    return stroke;
}

std::optional<X11Keymap::Stroke> X11Keymap::lookUp(VirtualKey key) const
{
    const KeySym symbol = XStringToKeysym(key.name().toLatin1().constData());
    if (symbol == NoSymbol)
        return std::nullopt;
    const KeyCode keycode = XKeysymToKeycode(m_display, symbol);
    if (keycode == 0)
        return std::nullopt;
    // Level 0 is the plain key, level 1 the shifted one.
    const bool plain = XkbKeycodeToKeysym(m_display, keycode, 0, 0) == symbol;
    if (!plain && m_shiftKeycode == 0)
        return std::nullopt;
    return Stroke{keycode, !plain};
}

QString X11Keymap::typedBy(unsigned keycode) const
{
    followLayoutChanges();
    if (gone())
        return {};
    const KeySym symbol = XkbKeycodeToKeysym(m_display, KeyCode(keycode), 0, 0);
    if (symbol == NoSymbol)
        return {};
    // Latin-1 keysyms are their code points; others carry theirs above 0x01000000.
    if ((symbol >= 0x20 && symbol <= 0x7e) || (symbol >= 0xa0 && symbol <= 0xff))
        return QString(QChar(char16_t(symbol)));
    if (symbol >= 0x01000100 && symbol <= 0x0110ffff) {
        const char32_t codePoint = char32_t(symbol - 0x01000000);
        return QString::fromUcs4(&codePoint, 1);
    }
    const char* name = XKeysymToString(symbol);
    return name ? QString::fromLatin1(name) : QString();
}

bool X11Keymap::types(unsigned keycode, VirtualKey key) const
{
    followLayoutChanges();
    if (gone())
        return false;
    const KeySym symbol = XStringToKeysym(key.name().toLatin1().constData());
    return symbol != NoSymbol && (XkbKeycodeToKeysym(m_display, KeyCode(keycode), 0, 0) == symbol ||
                                  XkbKeycodeToKeysym(m_display, KeyCode(keycode), 0, 1) == symbol);
}

std::optional<std::pair<QString, QString>> X11Keymap::layoutNames() const
{
    if (gone())
        return std::nullopt;
    // Rules, model, layouts, variants and options, each ended by a NUL: what setxkbmap was told.
    const Atom names = XInternAtom(m_display, "_XKB_RULES_NAMES", True);
    if (names == None)
        return std::nullopt;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    constexpr long maxLongs = 1024;
    if (XGetWindowProperty(m_display, DefaultRootWindow(m_display), names, 0, maxLongs, False, XA_STRING,
                           &type, &format, &count, &after, &data) != Success ||
        !data)
        return std::nullopt;
    const QList<QByteArray> fields =
        QByteArray(reinterpret_cast<const char*>(data), qsizetype(count)).split('\0');
    XFree(data);
    if (type != XA_STRING || format != 8 || fields.size() < 4)
        return std::nullopt;
    return std::pair(QString::fromLatin1(fields.at(2)), QString::fromLatin1(fields.at(3)));
}
