#pragma once

#include "support/PrivateBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QProcess>
#include <QString>
#include <QVariantList>
#include <optional>

// A private D-Bus session bus with a fake XDG desktop portal on it (tests/fakes/fake_portal.py
// under python3-dbusmock). This process's own buses are left alone: bus() connects to it.
class FakePortal
{
public:
    struct RemoteDesktop
    {
        uint version = 1; // as Debian 12 has it
        // What the user does with the consent dialog: "allow", "deny", or "wait" for answer().
        QString consent = QStringLiteral("allow");
        // False: the desktop's portal has no RemoteDesktop interface.
        bool offered = true;
    };

    struct KeyEvent
    {
        QString kind; // "keycode" or "keysym"
        int value = 0;
        uint state = 0; // 1 pressed, 0 released
        bool operator==(const KeyEvent&) const = default;
        // QCOMPARE prints it.
        friend char* toString(const KeyEvent& event);
    };

    // The portal's answers, and the client's to them, on a loaded machine.
    static constexpr int timeoutMs = 20000;

    FakePortal() = default;
    ~FakePortal();
    Q_DISABLE_COPY(FakePortal)

    // What is missing to run it, if anything.
    static std::optional<QString> missing() { return PrivateBus::missingForFakes(); }
    // The bus alone when given neither; else the bus with the portal, whose color-scheme starts at
    // `scheme` (0 when not given).
    std::optional<QString> start(std::optional<uint> scheme,
                                 const std::optional<RemoteDesktop>& remoteDesktop = std::nullopt);

    QDBusConnection bus() const;
    // The private bus's address, for a child process's DBUS_SESSION_BUS_ADDRESS.
    QString address() const { return m_bus.address(); }

    bool setColorScheme(uint scheme) const { return control(QStringLiteral("SetColorScheme"), {scheme}); }
    // The user's way with consent dialogs from now on.
    bool setConsent(const QString& mode) const { return control(QStringLiteral("SetConsent"), {mode}); }
    // The user answers the oldest open dialog: 0 allow, 1 cancel, 2 other error. False when none is open.
    bool answer(uint response) const { return control(QStringLiteral("Answer"), {response}); }
    // The desktop ends every open session.
    bool closeSession() const { return control(QStringLiteral("CloseSession")); }

    // What the portal saw. A failed query fails the running test.
    QList<KeyEvent> keyEvents() const;
    // Given to the last SelectDevices.
    QString lastRestoreToken() const { return query(QStringLiteral("LastRestoreToken")).toString(); }
    uint lastPersistMode() const { return query(QStringLiteral("LastPersistMode")).toUInt(); }
    uint dialogs() const { return query(QStringLiteral("Dialogs")).toUInt(); } // consent dialogs shown
    uint closedByClient() const { return query(QStringLiteral("ClosedByClient")).toUInt(); } // client closed
    uint sessions() const { return query(QStringLiteral("Sessions")).toUInt(); } // sessions created

private:
    QDBusMessage callMock(const QString& method, const QVariantList& arguments = {}) const;
    // Whether a switch of the fake took.
    bool control(const QString& method, const QVariantList& arguments = {}) const
    {
        return callMock(method, arguments).type() == QDBusMessage::ReplyMessage;
    }
    // The reply's only argument; fails the running test when the call did not succeed.
    QVariant query(const QString& method) const;

    PrivateBus m_bus;
    QProcess m_portal;
    QString m_connectionName;
};
