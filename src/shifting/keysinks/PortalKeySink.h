#pragma once

#include "shifting/KeySink.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QPointer>
#include <chrono>
#include <deque>
#include <optional>

class Defaults;
class PortalRequest;

// Keys through the desktop's remote-desktop portal (org.freedesktop.portal.RemoteDesktop):
// an unprivileged client asks for a keyboard, the desktop asks the rider once, and the keys
// then reach whatever window has focus, Wayland-native or not. Keeps the portal's restore
// token, so that a desktop that supports it does not ask again at the next start.
// Matches keys by character (keysyms) unless told to send physical keys (evdev codes).
class PortalKeySink final : public KeySink
{
    Q_OBJECT

public:
    // How long asking whether the portal is there may take: it may have to be started.
    static constexpr auto probeTimeout = std::chrono::milliseconds{3000};
    // How long closing the session may hold up quitting.
    static constexpr auto closeTimeout = std::chrono::milliseconds{500};

    // Finds out at once whether the portal offers a keyboard; asks nothing of the rider yet.
    // The restore token is kept in `settings`.
    PortalKeySink(const QDBusConnection& bus, Defaults& settings);
    // Closes the session, so that the desktop stops showing that Cogwise may type.
    ~PortalKeySink() override;

    QString name() const override { return QStringLiteral("portal"); }
    std::optional<QString> unavailableReason() const override;
    bool post(VirtualKey key, KeyDirection direction) override;

    Consent consent() const override { return m_consent; }
    void askConsent() override;
    bool canAskAgain() const override { return m_consent == Consent::refused; }

    // The interface version the portal announced; 0 when it is not there.
    uint version() const { return m_version; }

private Q_SLOTS:
    void sessionClosed();

private:
    // Asks the portal whether it offers a keyboard, and waits for the answer.
    void probe();
    void request(const QString& method, QVariantList arguments, QVariantMap options,
                 void (PortalKeySink::*answered)(uint, const QVariantMap&));
    void sessionCreated(uint response, const QVariantMap& results);
    void devicesSelected(uint response, const QVariantMap& results);
    void started(uint response, const QVariantMap& results);
    void refuse(const QString& why);
    // Waits for the portal only when quitting.
    void closeSession(bool quitting);
    void setConsent(Consent consent, const QString& news);
    // One key at a time: the portal may hand calls that overlap to the desktop in any order.
    void sendNextKey();
    void keyAnswered(const QDBusPendingCall& call);

    QDBusConnection m_bus;
    Defaults& m_settings;
    uint m_version = 0;
    // Why the portal cannot be asked at all; nothing when it can.
    std::optional<QString> m_missing;
    Consent m_consent = Consent::notAsked;
    QString m_refusal;
    QString m_session; // the session's object path; empty without one
    // The session as each key's first argument, built once: checking the path costs every key.
    QVariant m_sessionArgument;
    bool m_offeredToken = false;
    QPointer<PortalRequest> m_pending;
    std::deque<QDBusMessage> m_keysWaiting;
    std::optional<QDBusPendingCall> m_keyInFlight;
};
