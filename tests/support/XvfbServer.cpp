#include "support/XvfbServer.h"

#include <QStandardPaths>

// X11 headers last: they define macros (None, Bool, Status) that clash with Qt's.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

using namespace Qt::StringLiterals;

constexpr int startTimeoutMs = 20000;

XvfbServer::~XvfbServer()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished();
}

bool XvfbServer::isInstalled()
{
    return !QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty();
}

std::optional<QString> XvfbServer::start(QSize screen, const QStringList& arguments)
{
    // -displayfd: Xvfb picks a free display and writes its number once it is ready. -noreset: a
    // test's clients come and go, and a server that reset whenever the last one left would lose
    // a remapped layout, and could turn away the next client while it resets.
    m_process.start(u"Xvfb"_s, QStringList{u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s,
                                           u"%1x%2x24"_s.arg(screen.width()).arg(screen.height()),
                                           u"-nolisten"_s, u"tcp"_s, u"-noreset"_s} +
                                   arguments);
    if (!m_process.waitForStarted(startTimeoutMs))
        return u"Xvfb did not start: "_s + m_process.errorString();
    QByteArray number;
    while (!number.endsWith('\n')) {
        if (!m_process.waitForReadyRead(startTimeoutMs))
            return u"Xvfb did not report a display: "_s +
                   QString::fromLocal8Bit(m_process.readAllStandardError());
        number += m_process.readAllStandardOutput();
    }
    m_displayName = ':' + number.trimmed();
    return std::nullopt;
}

bool XvfbServer::remapKeys(const QList<QPair<unsigned, QList<QByteArray>>>& keys) const
{
    Display* display = XOpenDisplay(m_displayName.constData());
    if (!display)
        return false;
    bool ok = true;
    for (const auto& [keycode, names] : keys) {
        QList<KeySym> symbols;
        for (const QByteArray& name : names)
            symbols.append(XStringToKeysym(name.constData()));
        ok = ok && !symbols.contains(NoSymbol);
        if (ok)
            XChangeKeyboardMapping(display, int(keycode), int(symbols.size()), symbols.data(), 1);
    }
    XSync(display, False);
    XCloseDisplay(display);
    return ok;
}

bool XvfbServer::setNumLock(bool on) const
{
    Display* display = XOpenDisplay(m_displayName.constData());
    if (!display)
        return false;
    const unsigned numLock = XkbKeysymToModifiers(display, XK_Num_Lock);
    const bool ok = numLock != 0 && XkbLockModifiers(display, XkbUseCoreKbd, numLock, on ? numLock : 0);
    XSync(display, False);
    XCloseDisplay(display);
    return ok;
}
