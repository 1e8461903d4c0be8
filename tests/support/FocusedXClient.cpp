#include "support/FocusedXClient.h"

#include <QDeadlineTimer>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

FocusedXClient::FocusedXClient(const QByteArray& displayName)
    : m_display(XOpenDisplay(displayName.constData()))
{
    if (!m_display)
        return;
    const int screen = DefaultScreen(m_display);
    m_window = XCreateSimpleWindow(m_display, RootWindow(m_display, screen), 0, 0, 100, 100, 0,
                                   BlackPixel(m_display, screen), WhitePixel(m_display, screen));
    XSelectInput(m_display, m_window, KeyPressMask | KeyReleaseMask | FocusChangeMask | StructureNotifyMask);
}

FocusedXClient::~FocusedXClient()
{
    if (m_display)
        XCloseDisplay(m_display);
}

bool FocusedXClient::takeFocus(int timeoutMs)
{
    XMapWindow(m_display, m_window);
    XFlush(m_display);
    // With no window manager, nothing else gives the window the focus.
    if (!waitForEvent(MapNotify, timeoutMs))
        return false;
    XSetInputFocus(m_display, m_window, RevertToParent, CurrentTime);
    XFlush(m_display);
    return waitForEvent(FocusIn, timeoutMs);
}

QStringList FocusedXClient::receiveKeys(int count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    drain();
    while (m_keys.size() < count && waitForInput(int(deadline.remainingTime())))
        drain();
    XSync(m_display, False);
    drain();
    return std::exchange(m_keys, {});
}

bool FocusedXClient::waitForEvent(int type, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!drain(type)) {
        if (!waitForInput(int(deadline.remainingTime())))
            return false;
    }
    return true;
}

bool FocusedXClient::waitForInput(int timeoutMs) const
{
    if (timeoutMs <= 0)
        return false;
    pollfd descriptor{ConnectionNumber(m_display), POLLIN, 0};
    return poll(&descriptor, 1, timeoutMs) > 0;
}

bool FocusedXClient::drain(int type)
{
    bool seen = false;
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        seen = seen || event.type == type;
        if (event.type != KeyPress && event.type != KeyRelease)
            continue;
        KeySym symbol = NoSymbol;
        char text[8];
        XLookupString(&event.xkey, text, sizeof text, &symbol, nullptr);
        const char* name = XKeysymToString(symbol);
        m_keys.append(QString::fromLatin1(name ? name : "?") +
                      (event.type == KeyPress ? QStringLiteral(" down") : QStringLiteral(" up")));
        m_times.append(qint64(event.xkey.time));
    }
    return seen;
}
