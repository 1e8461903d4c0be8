#pragma once

#include "shifting/KeySink.h"
#include "shifting/keysinks/X11Keymap.h"

#include <QByteArray>
#include <memory>

struct _XDisplay;

// Fake key events through the X server's XTEST extension: X11 sessions, and
// XWayland windows under Wayland. Matches keys by character unless told otherwise.
class XTestKeySink final : public KeySink
{
public:
    // An empty name means $DISPLAY.
    explicit XTestKeySink(const QByteArray& displayName = {});
    ~XTestKeySink() override;
    XTestKeySink(const XTestKeySink&) = delete;
    XTestKeySink& operator=(const XTestKeySink&) = delete;

    QString name() const override { return QStringLiteral("xtest"); }
    std::optional<QString> unavailableReason() const override;
    bool post(VirtualKey key, KeyDirection direction) override;

private:
    std::optional<X11Keymap::Stroke> strokeFor(VirtualKey key) const;
    QString lostReason() const;
    // Tells, once, that the X server went away.
    bool failLost();

    _XDisplay* m_display = nullptr;
    std::unique_ptr<X11Keymap> m_keymap;
    std::optional<QString> m_unavailableReason;
    QByteArray m_displayName;
    // The X server went away: Xlib calls on the connection do nothing any more.
    bool m_lost = false;
    bool m_lossTold = false;
};
