#include "shifting/keysinks/PortalKeySink.h"

#include "diagnostics/Logger.h"
#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"
#include "shifting/keysinks/EvdevKeyCodes.h"
#include "shifting/keysinks/PortalRequest.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

// X11 headers last: they define macros (None, Bool, Status) that clash with Qt's. Only the
// keysym table is used; no display is opened.
#include <X11/Xlib.h>

namespace {

const QString portalKeySinkLog = QStringLiteral("PortalKeySink");
using PortalNames::portalPath;
using PortalNames::portalService;
const QString remoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// The portal's device types and persist modes.
constexpr uint keyboardDevice = 1;
constexpr uint persistUntilRevoked = 2;
// Restore tokens came with version 2 of the interface.
constexpr uint firstVersionWithRestore = 2;

const QString askAgainHint =
    QStringLiteral("Switch keyboard emulation off and on, or restart Cogwise, to be asked again.");

QVariant unwrap(QVariant value)
{
    while (value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

QString probeError(const QDBusMessage& reply)
{
    const QString name = reply.errorName();
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return QStringLiteral("The desktop runs no portal service (xdg-desktop-portal).");
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Timeout"))
        return QStringLiteral("The desktop's portal service did not answer.");
    if (name == QLatin1String("org.freedesktop.DBus.Error.Disconnected"))
        return QStringLiteral("There is no desktop session bus to reach the portal on.");
    return QStringLiteral("The desktop's portal has no remote-desktop support (%1).")
        .arg(reply.errorMessage());
}

} // namespace

PortalKeySink::PortalKeySink(const QDBusConnection& bus, Defaults& settings)
    : m_bus(bus)
    , m_settings(settings)
{
    probe();
    if (m_missing) {
        m_consent = Consent::refused;
        m_refusal = *m_missing;
    }
}

void PortalKeySink::probe()
{
    m_missing.reset();
    if (!m_bus.isConnected()) {
        m_missing = QStringLiteral("There is no desktop session bus to reach the portal on.");
    } else {
        QDBusMessage getAll = QDBusMessage::createMethodCall(
            portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("GetAll"));
        getAll.setArguments({remoteDesktop});
        const QDBusMessage reply = m_bus.call(getAll, QDBus::Block, static_cast<int>(probeTimeout.count()));
        const QVariantMap properties =
            reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                ? qdbus_cast<QVariantMap>(reply.arguments().constFirst())
                : QVariantMap();
        if (reply.type() != QDBusMessage::ReplyMessage)
            m_missing = probeError(reply);
        else if (!properties.contains(QStringLiteral("version")))
            m_missing = QStringLiteral("The desktop's portal has no remote-desktop support.");
        else if (!(unwrap(properties.value(QStringLiteral("AvailableDeviceTypes"))).toUInt() &
                   keyboardDevice))
            m_missing = QStringLiteral("The desktop's remote-desktop portal offers no keyboard.");
        m_version = m_missing ? 0 : unwrap(properties.value(QStringLiteral("version"))).toUInt();
    }
    if (m_missing) {
        Logger::shared().logInfo(QStringLiteral("Remote-desktop portal not usable: ") + *m_missing,
                                 portalKeySinkLog);
    } else {
        Logger::shared().logInfo(
            QStringLiteral("Remote-desktop portal version %1 offers a keyboard").arg(m_version),
            portalKeySinkLog);
    }
}

PortalKeySink::~PortalKeySink()
{
    closeSession(true);
}

std::optional<QString> PortalKeySink::unavailableReason() const
{
    if (m_consent == Consent::refused)
        return m_refusal;
    return std::nullopt;
}

void PortalKeySink::askConsent()
{
    if (m_consent == Consent::asking || m_consent == Consent::granted)
        return;
    if (m_missing) {
        // The rider may have installed or started the portal since.
        probe();
        if (m_missing) {
            refuse(*m_missing);
            return;
        }
    }
    setConsent(
        Consent::asking,
        QStringLiteral("Cogwise asks the desktop for permission to type keys: answer the dialog it shows. "
                       "Shifts wait until then."));
    request(QStringLiteral("CreateSession"), {},
            {{QStringLiteral("session_handle_token"), PortalRequest::newToken()}},
            &PortalKeySink::sessionCreated);
}

void PortalKeySink::request(const QString& method, QVariantList arguments, QVariantMap options,
                            void (PortalKeySink::*answered)(uint, const QVariantMap&))
{
    m_pending =
        new PortalRequest(m_bus, remoteDesktop, method, std::move(arguments), std::move(options), this);
    connect(m_pending, &PortalRequest::answered, this, answered);
    connect(m_pending, &PortalRequest::failed, this, [this](const QString& error) {
        Logger::shared().logError(QStringLiteral("Remote-desktop portal call failed: ") + error,
                                  portalKeySinkLog);
        refuse(QStringLiteral("The desktop's remote-desktop portal did not answer Cogwise's request."));
    });
}

void PortalKeySink::sessionCreated(uint response, const QVariantMap& results)
{
    const QString session = unwrap(results.value(QStringLiteral("session_handle"))).toString();
    if (response != PortalRequest::success || session.isEmpty()) {
        Logger::shared().logError(QStringLiteral("CreateSession answered %1").arg(response),
                                  portalKeySinkLog);
        refuse(QStringLiteral("The desktop could not open a remote-desktop session for Cogwise."));
        return;
    }
    m_session = session;
    m_sessionArgument = QVariant::fromValue(QDBusObjectPath(m_session));
    // Matched without the portal's name, as the request's answers are.
    m_bus.connect(QString(), m_session, sessionInterface, QStringLiteral("Closed"), this,
                  SLOT(sessionClosed()));

    QVariantMap options{{QStringLiteral("types"), keyboardDevice}};
    const std::optional<QString> token = m_settings.stringValue(SettingsKeys::remoteDesktopRestoreToken());
    m_offeredToken = false;
    if (m_version >= firstVersionWithRestore) {
        options.insert(QStringLiteral("persist_mode"), persistUntilRevoked);
        if (token && !token->isEmpty()) {
            options.insert(QStringLiteral("restore_token"), *token);
            m_offeredToken = true;
        }
    }
    request(QStringLiteral("SelectDevices"), {QVariant::fromValue(QDBusObjectPath(m_session))}, options,
            &PortalKeySink::devicesSelected);
}

void PortalKeySink::devicesSelected(uint response, const QVariantMap&)
{
    if (response != PortalRequest::success) {
        Logger::shared().logError(QStringLiteral("SelectDevices answered %1").arg(response),
                                  portalKeySinkLog);
        refuse(QStringLiteral("The desktop could not give Cogwise a keyboard."));
        return;
    }
    // No parent window: the desktop centres its dialog.
    request(QStringLiteral("Start"), {QVariant::fromValue(QDBusObjectPath(m_session)), QString()}, {},
            &PortalKeySink::started);
}

void PortalKeySink::started(uint response, const QVariantMap& results)
{
    if (response != PortalRequest::success) {
        if (m_offeredToken) {
            // The desktop no longer knows it; the next start asks afresh.
            m_settings.remove(SettingsKeys::remoteDesktopRestoreToken());
        }
        Logger::shared().logInfo(QStringLiteral("Start answered %1").arg(response), portalKeySinkLog);
        refuse(response == PortalRequest::cancelled
                   ? QStringLiteral("You did not allow Cogwise to type keys.")
                   : QStringLiteral("The desktop did not let Cogwise type keys."));
        return;
    }
    if (!(unwrap(results.value(QStringLiteral("devices"))).toUInt() & keyboardDevice)) {
        refuse(QStringLiteral("The desktop gave Cogwise no keyboard."));
        return;
    }
    const QString token = unwrap(results.value(QStringLiteral("restore_token"))).toString();
    if (!token.isEmpty())
        m_settings.setString(SettingsKeys::remoteDesktopRestoreToken(), token);
    Logger::shared().logInfo(QStringLiteral("Remote-desktop session started%1")
                                 .arg(m_offeredToken ? QStringLiteral(" from the restore token") : QString()),
                             portalKeySinkLog);
    setConsent(Consent::granted, QStringLiteral("The desktop lets Cogwise type keys."));
}

void PortalKeySink::refuse(const QString& why)
{
    closeSession(false);
    m_refusal = why + QLatin1Char(' ') + askAgainHint;
    setConsent(Consent::refused, m_refusal);
}

void PortalKeySink::sessionClosed()
{
    if (m_session.isEmpty())
        return;
    Logger::shared().logInfo(QStringLiteral("The desktop closed the remote-desktop session"),
                             portalKeySinkLog);
    m_bus.disconnect(QString(), m_session, sessionInterface, QStringLiteral("Closed"), this,
                     SLOT(sessionClosed()));
    m_session.clear();
    refuse(QStringLiteral("The desktop stopped letting Cogwise type keys."));
}

void PortalKeySink::closeSession(bool quitting)
{
    // It may be telling its answer right now: let it finish, unheard.
    if (m_pending) {
        m_pending->disconnect(this);
        m_pending->deleteLater();
    }
    if (m_session.isEmpty())
        return;
    if (quitting) {
        // The last keys go first, still one at a time.
        if (m_keyInFlight)
            m_keyInFlight->waitForFinished();
        for (; !m_keysWaiting.empty(); m_keysWaiting.pop_front()) {
            QDBusPendingCall call =
                m_bus.asyncCall(m_keysWaiting.front(), static_cast<int>(closeTimeout.count()));
            call.waitForFinished();
            keyAnswered(call);
        }
    }
    m_bus.disconnect(QString(), m_session, sessionInterface, QStringLiteral("Closed"), this,
                     SLOT(sessionClosed()));
    const QDBusMessage close =
        QDBusMessage::createMethodCall(portalService, m_session, sessionInterface, QStringLiteral("Close"));
    m_session.clear();
    if (!quitting) {
        // A session the desktop closed itself answers with an error, which changes nothing.
        m_bus.send(close);
        return;
    }
    // Waited for, briefly: quitting must not cut off the last keys and the close behind them.
    const QDBusMessage reply = m_bus.call(close, QDBus::Block, static_cast<int>(closeTimeout.count()));
    if (reply.type() == QDBusMessage::ErrorMessage)
        Logger::shared().logInfo(
            QStringLiteral("Closing the remote-desktop session: ") + reply.errorMessage(), portalKeySinkLog);
}

void PortalKeySink::setConsent(Consent consent, const QString& news)
{
    m_consent = consent;
    Q_EMIT changed(news);
}

bool PortalKeySink::post(VirtualKey key, KeyDirection direction)
{
    if (m_consent != Consent::granted)
        return fail(m_consent == Consent::refused
                        ? m_refusal
                        : QStringLiteral("The desktop has not yet let Cogwise type keys."));
    // The keypad is the same on every layout, and a compositor asked for a keypad digit's keysym
    // might add Shift to reach it.
    const bool bySymbol = keyMatching() == KeyMatching::character && !key.isOnKeypad();
    int code = 0;
    if (bySymbol) {
        const KeySym symbol = XStringToKeysym(key.name().toLatin1().constData());
        if (symbol == NoSymbol)
            return fail(QStringLiteral("No keysym is known for %1").arg(key.name()));
        code = static_cast<int>(symbol);
    } else {
        code = EvdevKeyCodes::of(key);
    }
    QDBusMessage notify = QDBusMessage::createMethodCall(portalService, portalPath, remoteDesktop,
                                                         bySymbol ? QStringLiteral("NotifyKeyboardKeysym")
                                                                  : QStringLiteral("NotifyKeyboardKeycode"));
    static const QVariant noOptions = QVariantMap();
    notify.setArguments({m_sessionArgument, noOptions, code, direction == KeyDirection::down ? 1u : 0u});
    if (!m_bus.isConnected())
        return fail(QStringLiteral("The session bus is gone."));
    // Not waited for: the GUI thread goes on at once, and a refusal is logged when it comes.
    m_keysWaiting.push_back(std::move(notify));
    if (!m_keyInFlight)
        sendNextKey();
    return true;
}

void PortalKeySink::sendNextKey()
{
    if (m_keysWaiting.empty())
        return;
    m_keyInFlight = m_bus.asyncCall(m_keysWaiting.front());
    m_keysWaiting.pop_front();
    auto* watcher = new QDBusPendingCallWatcher(*m_keyInFlight, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* answered) {
        answered->deleteLater();
        keyAnswered(*answered);
        m_keyInFlight.reset();
        sendNextKey();
    });
}

void PortalKeySink::keyAnswered(const QDBusPendingCall& call)
{
    if (call.isError())
        Logger::shared().logError(
            QStringLiteral("The remote-desktop portal refused a key: %1").arg(call.error().message()),
            portalKeySinkLog);
}
