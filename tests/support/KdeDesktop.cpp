#include "support/KdeDesktop.h"

#include "support/ScratchDir.h"

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTest>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int desktopStartTimeoutMs = 30000;
const QString socketName = u"cogwise-wayland"_s;

// `suffix` under each of /usr/lib's architecture folders.
QStringList underLib(const QString& suffix)
{
    QStringList folders;
    for (const QFileInfo& lib : QDir(u"/usr/lib"_s).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot))
        folders << lib.filePath() + suffix;
    return folders;
}

QString backendPath()
{
    return QStandardPaths::findExecutable(u"xdg-desktop-portal-kde"_s,
                                          QStringList{u"/usr/libexec"_s} + underLib(u"/libexec"_s));
}

QString portalPath()
{
    return QStandardPaths::findExecutable(u"xdg-desktop-portal"_s, {u"/usr/libexec"_s});
}

} // namespace

KdeDesktop::~KdeDesktop()
{
    for (QProcess* process : {&m_wev, &m_portal, &m_backend, &m_kwin})
        PrivateBus::stop(*process);
}

std::optional<QString> KdeDesktop::missing()
{
    const std::pair<QString, const char*> needed[] = {
        {QStandardPaths::findExecutable(u"kwin_wayland"_s), "kwin-wayland"},
        {QStandardPaths::findExecutable(u"Xwayland"_s), "xwayland"},
        {portalPath(), "xdg-desktop-portal"},
        {backendPath(), "xdg-desktop-portal-kde"},
        {QStandardPaths::findExecutable(u"wev"_s), "wev"},
        {QStandardPaths::findExecutable(u"dbus-daemon"_s), "dbus"},
    };
    for (const auto& [path, package] : needed)
        if (path.isEmpty())
            return u"%1 is not installed"_s.arg(QLatin1String(package));
    // The KDE back-end needs it but does not say so.
    const QStringList plugins = underLib(u"/qt5/plugins/platforms/libqwayland-generic.so"_s);
    if (std::none_of(plugins.begin(), plugins.end(),
                     [](const QString& plugin) { return QFile::exists(plugin); }))
        return u"qtwayland5 is not installed"_s;
    return std::nullopt;
}

QProcessEnvironment KdeDesktop::clientEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"DISPLAY"_s);
    environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, m_bus.address());
    environment.insert(u"XDG_RUNTIME_DIR"_s, m_dir.filePath(u"run"_s));
    environment.insert(u"WAYLAND_DISPLAY"_s, socketName);
    environment.insert(u"XDG_SESSION_TYPE"_s, u"wayland"_s);
    environment.insert(u"XDG_CURRENT_DESKTOP"_s, u"KDE"_s);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        environment.insert(QString::fromLatin1(name), m_dir.filePath(QString::fromLatin1(name).toLower()));
    return environment;
}

std::optional<QString> KdeDesktop::start()
{
    if (!m_dir.isValid() || !QDir().mkdir(m_dir.filePath(u"run"_s)) ||
        !QFile::setPermissions(m_dir.filePath(u"run"_s),
                               QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return u"no private runtime folder"_s;
    if (const auto error = m_bus.start())
        return error;
    if (const auto error = startKWin())
        return error;
    return startPortal();
}

std::optional<QString> KdeDesktop::startKWin()
{
    // Debian's kwin_wayland carries the file capability cap_sys_resource, which a container's
    // bounding set may lack (exec then fails); a copy carries none.
    const QString kwin = m_dir.filePath(u"kwin_wayland"_s);
    if (!QFile::copy(QStandardPaths::findExecutable(u"kwin_wayland"_s), kwin))
        return u"cannot copy kwin_wayland"_s;
    // KWin starts this once Xwayland is up, with DISPLAY set to it.
    const QString displayFile = m_dir.filePath(u"x-display"_s);
    QProcessEnvironment environment = clientEnvironment();
    environment.remove(u"WAYLAND_DISPLAY"_s);
    m_kwin.setProcessEnvironment(environment);
    m_kwin.setProcessChannelMode(QProcess::MergedChannels);
    m_kwin.setStandardOutputFile(m_dir.filePath(u"kwin.log"_s));
    m_kwin.start(kwin, {u"--virtual"_s, u"--xwayland"_s, u"--socket"_s, socketName, u"--width"_s, u"800"_s,
                        u"--height"_s, u"600"_s, u"--no-lockscreen"_s, u"--no-global-shortcuts"_s,
                        u"sh -c 'printenv DISPLAY > %1'"_s.arg(displayFile)});
    (void)QTest::qWaitFor(
        [&] { return m_kwin.state() == QProcess::NotRunning || !ScratchDir::read(displayFile).isEmpty(); },
        desktopStartTimeoutMs);
    m_xDisplay = ScratchDir::read(displayFile).trimmed();
    if (m_xDisplay.isEmpty())
        return u"KWin did not start Xwayland: "_s +
               QString::fromLocal8Bit(ScratchDir::read(m_dir.filePath(u"kwin.log"_s)).right(2000));
    return std::nullopt;
}

std::optional<QString> KdeDesktop::startPortal()
{
    const QDBusConnection bus = QDBusConnection::connectToBus(m_bus.address(), u"kde-desktop"_s);
    // Started by hand before the front-end: activation would not pass WAYLAND_DISPLAY on.
    QProcessEnvironment environment = clientEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"wayland"_s);
    m_backend.setProcessEnvironment(environment);
    m_backend.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_backend.start(backendPath(), {});
    if (const auto error =
            PrivateBus::waitForName(bus, u"org.freedesktop.impl.portal.desktop.kde"_s, m_backend))
        return error;
    m_portal.setProcessEnvironment(clientEnvironment());
    m_portal.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_portal.start(portalPath(), {});
    return PrivateBus::waitForName(bus, u"org.freedesktop.portal.Desktop"_s, m_portal);
}

std::optional<QString> KdeDesktop::startWaylandClient()
{
    const QString log = m_dir.filePath(u"wev.log"_s);
    m_wev.setProcessEnvironment(clientEnvironment());
    m_wev.setStandardOutputFile(log);
    // Without line buffering, wev's output sits in its buffer while it waits for more.
    m_wev.start(u"stdbuf"_s, {u"-oL"_s, u"wev"_s});
    const bool focused = QTest::qWaitFor(
        [&] {
            return m_wev.state() == QProcess::NotRunning ||
                   ScratchDir::read(log).contains("wl_keyboard] enter:");
        },
        desktopStartTimeoutMs);
    if (m_wev.state() == QProcess::NotRunning || !focused)
        return u"wev did not get the keyboard focus: "_s + QString::fromLocal8Bit(ScratchDir::read(log));
    return std::nullopt;
}

QStringList KdeDesktop::waylandKeys() const
{
    // wev reports each key on every keyboard object the seat handed out; one serial is one key.
    static const QRegularExpression key(QStringLiteral(
        R"(wl_keyboard\] key: serial: (\d+);.*state: \d \((pressed|released)\)\n\s*sym: (\S+))"));
    QStringList keys;
    QSet<QString> serials;
    for (const auto& match :
         key.globalMatch(QString::fromLocal8Bit(ScratchDir::read(m_dir.filePath(u"wev.log"_s))))) {
        if (serials.contains(match.captured(1)))
            continue;
        serials.insert(match.captured(1));
        keys << match.captured(3) + (match.captured(2) == QLatin1String("pressed") ? u" down"_s : u" up"_s);
    }
    return keys;
}
