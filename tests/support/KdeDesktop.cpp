#include "support/KdeDesktop.h"

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTest>
#include <algorithm>

namespace {

constexpr int startTimeoutMs = 30000;
const QString socketName = QStringLiteral("cogwise-wayland");

// `suffix` under each of /usr/lib's architecture folders.
QStringList underLib(const QString& suffix)
{
    QStringList folders;
    for (const QFileInfo& lib :
         QDir(QStringLiteral("/usr/lib")).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot))
        folders << lib.filePath() + suffix;
    return folders;
}

QString backendPath()
{
    return QStandardPaths::findExecutable(QStringLiteral("xdg-desktop-portal-kde"),
                                          QStringList{QStringLiteral("/usr/libexec")} +
                                              underLib(QStringLiteral("/libexec")));
}

QString portalPath()
{
    return QStandardPaths::findExecutable(QStringLiteral("xdg-desktop-portal"),
                                          {QStringLiteral("/usr/libexec")});
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

KdeDesktop::~KdeDesktop()
{
    for (QProcess* process : {&m_wev, &m_portal, &m_backend, &m_kwin})
        PrivateBus::stop(*process);
}

std::optional<QString> KdeDesktop::missing()
{
    const struct
    {
        QString path;
        const char* package;
    } needed[] = {
        {QStandardPaths::findExecutable(QStringLiteral("kwin_wayland")), "kwin-wayland"},
        {QStandardPaths::findExecutable(QStringLiteral("Xwayland")), "xwayland"},
        {portalPath(), "xdg-desktop-portal"},
        {backendPath(), "xdg-desktop-portal-kde"},
        {QStandardPaths::findExecutable(QStringLiteral("wev")), "wev"},
        {QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")), "dbus"},
    };
    for (const auto& [path, package] : needed)
        if (path.isEmpty())
            return QStringLiteral("%1 is not installed").arg(QLatin1String(package));
    // The KDE back-end needs it but does not say so.
    const QStringList plugins = underLib(QStringLiteral("/qt5/plugins/platforms/libqwayland-generic.so"));
    if (std::none_of(plugins.begin(), plugins.end(),
                     [](const QString& plugin) { return QFile::exists(plugin); }))
        return QStringLiteral("qtwayland5 is not installed");
    return std::nullopt;
}

QProcessEnvironment KdeDesktop::clientEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("run")));
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), socketName);
    environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("KDE"));
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        environment.insert(QString::fromLatin1(name), m_dir.filePath(QString::fromLatin1(name).toLower()));
    return environment;
}

std::optional<QString> KdeDesktop::start()
{
    if (!m_dir.isValid() || !QDir().mkdir(m_dir.filePath(QStringLiteral("run"))) ||
        !QFile::setPermissions(m_dir.filePath(QStringLiteral("run")),
                               QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return QStringLiteral("no private runtime folder");
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
    const QString kwin = m_dir.filePath(QStringLiteral("kwin_wayland"));
    if (!QFile::copy(QStandardPaths::findExecutable(QStringLiteral("kwin_wayland")), kwin))
        return QStringLiteral("cannot copy kwin_wayland");
    // KWin starts this once Xwayland is up, with DISPLAY set to it.
    const QString displayFile = m_dir.filePath(QStringLiteral("x-display"));
    QProcessEnvironment environment = clientEnvironment();
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    m_kwin.setProcessEnvironment(environment);
    m_kwin.setProcessChannelMode(QProcess::MergedChannels);
    m_kwin.setStandardOutputFile(m_dir.filePath(QStringLiteral("kwin.log")));
    m_kwin.start(kwin, {QStringLiteral("--virtual"), QStringLiteral("--xwayland"), QStringLiteral("--socket"),
                        socketName, QStringLiteral("--width"), QStringLiteral("800"),
                        QStringLiteral("--height"), QStringLiteral("600"), QStringLiteral("--no-lockscreen"),
                        QStringLiteral("--no-global-shortcuts"),
                        QStringLiteral("sh -c 'printenv DISPLAY > %1'").arg(displayFile)});
    (void)QTest::qWaitFor(
        [&] { return m_kwin.state() == QProcess::NotRunning || !readFile(displayFile).isEmpty(); },
        startTimeoutMs);
    m_xDisplay = readFile(displayFile).trimmed();
    if (m_xDisplay.isEmpty())
        return QStringLiteral("KWin did not start Xwayland: ") +
               QString::fromLocal8Bit(readFile(m_dir.filePath(QStringLiteral("kwin.log"))).right(2000));
    return std::nullopt;
}

std::optional<QString> KdeDesktop::startPortal()
{
    const QDBusConnection bus = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("kde-desktop"));
    // Started by hand before the front-end: activation would not pass WAYLAND_DISPLAY on.
    QProcessEnvironment environment = clientEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    m_backend.setProcessEnvironment(environment);
    m_backend.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_backend.start(backendPath(), {});
    if (const auto error = PrivateBus::waitForName(
            bus, QStringLiteral("org.freedesktop.impl.portal.desktop.kde"), m_backend))
        return error;
    m_portal.setProcessEnvironment(clientEnvironment());
    m_portal.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_portal.start(portalPath(), {});
    return PrivateBus::waitForName(bus, QStringLiteral("org.freedesktop.portal.Desktop"), m_portal);
}

std::optional<QString> KdeDesktop::startWaylandClient()
{
    const QString log = m_dir.filePath(QStringLiteral("wev.log"));
    m_wev.setProcessEnvironment(clientEnvironment());
    m_wev.setStandardOutputFile(log);
    // Without line buffering, wev's output sits in its buffer while it waits for more.
    m_wev.start(QStringLiteral("stdbuf"), {QStringLiteral("-oL"), QStringLiteral("wev")});
    const bool focused = QTest::qWaitFor(
        [&] {
            return m_wev.state() == QProcess::NotRunning || readFile(log).contains("wl_keyboard] enter:");
        },
        startTimeoutMs);
    if (m_wev.state() == QProcess::NotRunning || !focused)
        return QStringLiteral("wev did not get the keyboard focus: ") + QString::fromLocal8Bit(readFile(log));
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
         key.globalMatch(QString::fromLocal8Bit(readFile(m_dir.filePath(QStringLiteral("wev.log")))))) {
        if (serials.contains(match.captured(1)))
            continue;
        serials.insert(match.captured(1));
        keys << match.captured(3) + (match.captured(2) == QLatin1String("pressed") ? QStringLiteral(" down")
                                                                                   : QStringLiteral(" up"));
    }
    return keys;
}
