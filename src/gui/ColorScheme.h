#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPalette>
#include <QString>

class QDBusVariant;
class QGuiApplication;

// Light or dark for the whole application, set as its palette (the window hands it on to Qt's
// controls and dialogs). COGWISE_COLOR_SCHEME=light|dark forces one (screenshots, desktops whose
// theme Qt cannot read); otherwise the desktop's preference, read from the XDG desktop portal
// (org.freedesktop.appearance color-scheme) and followed as the rider changes it; otherwise the
// lightness of the palette Qt found on the platform.
class ColorScheme : public QObject
{
    Q_OBJECT

public:
    enum class Scheme { light, dark };

    // Applies a scheme at once and asks the portal on `bus` (unless one is forced); the answer,
    // and later changes, are applied as they come.
    ColorScheme(QGuiApplication& app, const QString& requested,
                const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    Scheme scheme() const { return m_scheme; }

    // Our own palettes in both schemes: the platform's default one is a grey that makes the
    // translucent panels and the coloured symbols look washed out.
    static QPalette palette(Scheme scheme);
    // One scheme, forced or guessed from the platform's palette, without the portal.
    static void apply(QGuiApplication& app, const QString& requested);

Q_SIGNALS:
    void schemeChanged(ColorScheme::Scheme scheme);

private Q_SLOTS:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    void follow(const QVariant& portalValue);
    void set(Scheme scheme);

    QGuiApplication& m_app;
    Scheme m_platformScheme;
    Scheme m_scheme;
    bool m_changeTold = false;
};
