#pragma once

#include "shifting/KeySink.h"

#include <QByteArray>

struct _XDisplay;

// Fake key events through the X server's XTEST extension: X11 sessions, and
// XWayland windows under Wayland. Keys are found by their keysym in the current
// layout, with Shift added where the layout needs it, so "." and "," arrive as such.
class XTestKeySink final : public KeySink
{
public:
    // An empty name means $DISPLAY.
    explicit XTestKeySink(const QByteArray& displayName = {});
    ~XTestKeySink() override;
    XTestKeySink(const XTestKeySink&) = delete;
    XTestKeySink& operator=(const XTestKeySink&) = delete;

    QString name() const override { return QStringLiteral("xtest"); }
    std::optional<QString> unavailableReason() const override { return m_unavailableReason; }
    bool post(VirtualKey key, KeyDirection direction) override;

private:
    struct KeyStroke
    {
        unsigned keycode = 0;
        bool needsShift = false;
    };
    std::optional<KeyStroke> strokeFor(VirtualKey key) const;

    _XDisplay* m_display = nullptr;
    unsigned m_shiftKeycode = 0;
    std::optional<QString> m_unavailableReason;
};
