#pragma once

#include "shifting/KeySink.h"

#include <QByteArray>
#include <memory>

class X11Keymap;

// A virtual keyboard on /dev/uinput. Reaches every session, Wayland included,
// because its events enter where hardware events do. Sends the physical key unless told to
// match by character, which needs the layout of an X display (XWayland's under Wayland).
class UinputKeySink : public KeySink
{
public:
    static QString defaultDevicePath() { return QStringLiteral("/dev/uinput"); }

    // Creates the virtual keyboard; a sink that cannot post, with the reason, when that fails.
    static std::unique_ptr<UinputKeySink> open(const QString& devicePath = defaultDevicePath());

    // Writes events to a descriptor that is already set up (a created uinput device,
    // or a pipe in tests). Takes ownership of `fd`; -1 with a reason makes a sink
    // that cannot post.
    explicit UinputKeySink(int fd, std::optional<QString> unavailableReason = std::nullopt,
                           bool destroyDeviceOnClose = false);
    ~UinputKeySink() override;
    UinputKeySink(const UinputKeySink&) = delete;
    UinputKeySink& operator=(const UinputKeySink&) = delete;

    QString name() const override { return QStringLiteral("uinput"); }
    std::optional<QString> unavailableReason() const override { return m_unavailableReason; }
    bool post(VirtualKey key, KeyDirection direction) override;
    KeyMatching defaultKeyMatching() const override { return KeyMatching::physicalKey; }

    // Where the layout for matching by character is read; empty: $DISPLAY.
    void setLayoutDisplay(const QByteArray& displayName) { m_layoutDisplay = displayName; }

protected:
    std::optional<QString> prepareKeyMatching(KeyMatching matching) override;
    // ::write; a test may return less to exercise short writes.
    virtual long writeSome(const char* data, unsigned long size);

private:
    bool write(quint16 code, int value);

    int m_fd;
    std::optional<QString> m_unavailableReason;
    bool m_destroyDeviceOnClose;
    QByteArray m_layoutDisplay;
    std::unique_ptr<X11Keymap> m_keymap;
};
