#include "gui/ColorScheme.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QGuiApplication>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearance = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

// The portal's values of color-scheme.
constexpr uint preferDark = 1;
constexpr uint preferLight = 2;

std::optional<ColorScheme::Scheme> forced(const QString& requested)
{
    if (requested == QLatin1String("dark"))
        return ColorScheme::Scheme::dark;
    if (requested == QLatin1String("light"))
        return ColorScheme::Scheme::light;
    return std::nullopt;
}

ColorScheme::Scheme platformScheme()
{
    return QGuiApplication::palette().color(QPalette::Window).lightness() < 128 ? ColorScheme::Scheme::dark
                                                                                : ColorScheme::Scheme::light;
}

// Read answers a variant in a variant (version 1 of the interface); the signal, one.
QVariant unwrap(QVariant value)
{
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

} // namespace

ColorScheme::ColorScheme(QGuiApplication& app, const QString& requested, const QDBusConnection& bus,
                         QObject* parent)
    : QObject(parent)
    , m_app(app)
    , m_platformScheme(platformScheme())
    , m_scheme(forced(requested).value_or(m_platformScheme))
{
    app.setPalette(palette(m_scheme));
    if (forced(requested) || !bus.isConnected())
        return;
    // The slot's argument type must be known before the match is made.
    qRegisterMetaType<QDBusVariant>();
    // Matched by path and interface alone: a match on the portal's name waits for its owner to
    // be looked up, and would miss a change made meanwhile.
    QDBusConnection(bus).connect(QString(), portalPath, settingsInterface, QStringLiteral("SettingChanged"),
                                 this, SLOT(settingChanged(QString, QString, QDBusVariant)));
    QDBusMessage read =
        QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, QStringLiteral("Read"));
    read.setArguments({appearance, colorSchemeKey});
    // Asked without waiting: a portal that is slow to start must not hold up the window.
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection(bus).asyncCall(read), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        const QDBusPendingReply<QDBusVariant> reply = *call;
        // A change told meanwhile is newer than the answer, which may reach us after it.
        if (!reply.isError() && !m_changeTold)
            follow(reply.argumentAt(0));
        call->deleteLater();
    });
}

void ColorScheme::settingChanged(const QString& group, const QString& key, const QDBusVariant& value)
{
    if (group != appearance || key != colorSchemeKey)
        return;
    m_changeTold = true;
    follow(value.variant());
}

void ColorScheme::follow(const QVariant& portalValue)
{
    bool ok = false;
    const uint preference = unwrap(portalValue).toUInt(&ok);
    if (!ok)
        return;
    set(preference == preferDark    ? Scheme::dark
        : preference == preferLight ? Scheme::light
                                    : m_platformScheme);
}

void ColorScheme::set(Scheme scheme)
{
    if (scheme == m_scheme)
        return;
    m_scheme = scheme;
    m_app.setPalette(palette(scheme));
    Q_EMIT schemeChanged(scheme);
}

void ColorScheme::apply(QGuiApplication& app, const QString& requested)
{
    app.setPalette(palette(forced(requested).value_or(platformScheme())));
}

QPalette ColorScheme::palette(Scheme scheme)
{
    const bool dark = scheme == Scheme::dark;
    const QColor window = dark ? QColor(0x1e, 0x1e, 0x20) : QColor(0xf2, 0xf2, 0xf4);
    const QColor base = dark ? QColor(0x2a, 0x2a, 0x2d) : QColor(Qt::white);
    const QColor text = dark ? QColor(0xf2, 0xf2, 0xf7) : QColor(0x1c, 0x1c, 0x1e);
    const QColor button = dark ? QColor(0x3a, 0x3a, 0x3d) : QColor(0xfb, 0xfb, 0xfd);
    QPalette result(button, window);
    result.setColor(QPalette::Window, window);
    result.setColor(QPalette::WindowText, text);
    result.setColor(QPalette::Base, base);
    result.setColor(QPalette::AlternateBase, window);
    result.setColor(QPalette::Text, text);
    result.setColor(QPalette::Button, button);
    result.setColor(QPalette::ButtonText, text);
    result.setColor(QPalette::Highlight, dark ? QColor(0x0b, 0x6b, 0xd4) : QColor(0x00, 0x62, 0xcc));
    result.setColor(QPalette::HighlightedText, Qt::white);
    result.setColor(QPalette::ToolTipBase, base);
    result.setColor(QPalette::ToolTipText, text);
    result.setColor(QPalette::PlaceholderText, dark ? QColor(0x98, 0x98, 0x9f) : QColor(0x6e, 0x6e, 0x73));
    result.setColor(QPalette::Link, dark ? QColor(0x4c, 0xa2, 0xff) : QColor(0x00, 0x62, 0xcc));
    const QColor disabled = dark ? QColor(0x6e, 0x6e, 0x73) : QColor(0xae, 0xae, 0xb2);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        result.setColor(QPalette::Disabled, role, disabled);
    return result;
}
