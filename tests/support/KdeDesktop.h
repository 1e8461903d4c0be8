#pragma once

#include "support/PrivateBus.h"

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

// A real KDE desktop without a screen: KWin on its virtual back-end with Xwayland, and
// xdg-desktop-portal with its KDE back-end, on a private session bus. Everything it writes
// stays in a temporary folder of its own.
class KdeDesktop
{
public:
    KdeDesktop() = default;
    ~KdeDesktop();
    KdeDesktop(const KdeDesktop&) = delete;
    KdeDesktop& operator=(const KdeDesktop&) = delete;

    // What is missing to run it, if anything.
    static std::optional<QString> missing();
    std::optional<QString> start();

    // For a client of this desktop: its bus, its Wayland socket, no X display.
    QProcessEnvironment clientEnvironment() const;
    // Xwayland's display, for X11 clients.
    QByteArray xDisplay() const { return m_xDisplay; }

    // wev, a Wayland client that takes the focus and reports the keys it receives.
    std::optional<QString> startWaylandClient();
    // The keys wev received so far, as "period down", "period up", ...
    QStringList waylandKeys() const;

private:
    std::optional<QString> startKWin();
    std::optional<QString> startPortal();

    QTemporaryDir m_dir;
    PrivateBus m_bus;
    QProcess m_kwin;
    QProcess m_backend;
    QProcess m_portal;
    QProcess m_wev;
    QByteArray m_xDisplay;
};
