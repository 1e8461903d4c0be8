#include "shifting/keysinks/KeyTypingInspector.h"

#include "diagnostics/Logger.h"
#include "shifting/keysinks/EvdevKeyCodes.h"
#include "shifting/keysinks/UinputKeySink.h"
#include "shifting/keysinks/X11Keymap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>
#include <vector>

// X11 headers last: they define macros (None, Bool, Status) that clash with Qt's.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

const QString keyTypingInspectorLog = QStringLiteral("KeyTypingInspector");
// The group packaging/60-cogwise-uinput.rules names; assumed while no rule is installed.
const QString usualGroup = QStringLiteral("input");
using EvdevKeyCodes::evdevToXKeycode;

QString readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (file.exists())
            Logger::shared().logError(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()),
                                      keyTypingInspectorLog);
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

// "de,us" with "nodeadkeys," reads "de(nodeadkeys),us".
QString layoutName(const QString& layouts, const QString& variants)
{
    const QStringList layoutList = layouts.split(QLatin1Char(','));
    const QStringList variantList = variants.split(QLatin1Char(','));
    QStringList named;
    for (qsizetype i = 0; i < layoutList.size(); ++i) {
        const QString layout = layoutList.at(i).trimmed();
        const QString variant = variantList.value(i).trimmed();
        if (!layout.isEmpty())
            named.append(variant.isEmpty() ? layout : QStringLiteral("%1(%2)").arg(layout, variant));
    }
    return named.join(QLatin1Char(','));
}

bool processHasGroup(gid_t group)
{
    if (getegid() == group)
        return true;
    const int count = getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, group) != groups.begin() + got;
}

bool databaseListsUser(const struct group& entry)
{
    const passwd* user = getpwuid(geteuid());
    if (!user)
        return false;
    if (user->pw_gid == entry.gr_gid)
        return true;
    for (char** member = entry.gr_mem; member && *member; ++member) {
        if (std::strcmp(*member, user->pw_name) == 0)
            return true;
    }
    return false;
}

} // namespace

KeyTypingInspector::Places KeyTypingInspector::Places::system()
{
    const QString rule = QStringLiteral("60-cogwise-uinput.rules");
    return {UinputKeySink::defaultDevicePath(),
            QStringLiteral("/sys"),
            {QStringLiteral("/etc/udev/rules.d/") + rule, QStringLiteral("/usr/lib/udev/rules.d/") + rule,
             QStringLiteral("/lib/udev/rules.d/") + rule},
            QStringLiteral("/etc/default/keyboard")};
}

KeyTypingInspector::KeyTypingInspector()
    : KeyTypingInspector(Places::system(), QProcessEnvironment::systemEnvironment())
{}

KeyTypingInspector::KeyTypingInspector(Places places, QProcessEnvironment environment)
    : m_places(std::move(places))
    , m_environment(std::move(environment))
{}

KeyTypingSetup::Session KeyTypingInspector::sessionOf(const QProcessEnvironment& environment)
{
    const QString type = environment.value(QStringLiteral("XDG_SESSION_TYPE")).toLower();
    const bool hasDisplay = !environment.value(QStringLiteral("DISPLAY")).isEmpty();
    if (type == QLatin1String("wayland") || !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty())
        return hasDisplay ? Session::waylandWithXwayland : Session::wayland;
    if (type == QLatin1String("x11") || hasDisplay)
        return Session::x11;
    return Session::none;
}

KeyTypingSetup::Uinput KeyTypingInspector::inspectUinput() const
{
    Uinput uinput;
    uinput.devicePath = m_places.uinputDevice;
    // Opening creates nothing: a virtual keyboard only comes with UI_DEV_CREATE.
    const int fd =
        ::open(QFile::encodeName(uinput.devicePath).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        uinput.deviceExists = true;
    } else {
        const int error = errno;
        uinput.deviceExists = error != ENOENT;
        uinput.openError = QString::fromLocal8Bit(std::strerror(error));
    }

    const QDir sysfs(m_places.sysfs);
    // A module built into the kernel has no folder under module/, but its device is registered.
    uinput.moduleLoaded = QFileInfo::exists(sysfs.filePath(QStringLiteral("module/uinput"))) ||
                          QFileInfo::exists(sysfs.filePath(QStringLiteral("class/misc/uinput")));

    uinput.group = usualGroup;
    for (const QString& path : m_places.udevRules) {
        if (!QFileInfo::exists(path))
            continue;
        uinput.rulePath = path;
        static const QRegularExpression groupAssignment(QStringLiteral("\\bGROUP\\s*:?=\\s*\"([^\"]*)\""));
        const QRegularExpressionMatch match = groupAssignment.match(readText(path));
        uinput.group = match.hasMatch() ? match.captured(1) : QString();
        if (!match.hasMatch())
            Logger::shared().logError(QStringLiteral("%1 gives /dev/uinput to no group").arg(path),
                                      keyTypingInspectorLog);
        break;
    }

    if (const struct group* entry =
            uinput.group.isEmpty() ? nullptr : getgrnam(uinput.group.toLocal8Bit().constData())) {
        uinput.groupExists = true;
        uinput.inGroup = processHasGroup(entry->gr_gid);
        uinput.inGroupAfterLogin = uinput.inGroup || databaseListsUser(*entry);
    }
    return uinput;
}

KeyTypingSetup::Layout KeyTypingInspector::layoutFromDefaults() const
{
    const QString text = readText(m_places.keyboardDefaults);
    const auto value = [&text](const char* name) {
        const QRegularExpression assignment(
            QStringLiteral("^\\s*%1\\s*=\\s*[\"']?([^\"'#\\n]*)[\"']?").arg(QLatin1String(name)),
            QRegularExpression::MultilineOption);
        return assignment.match(text).captured(1);
    };
    const QString name = layoutName(value("XKBLAYOUT"), value("XKBVARIANT"));
    return {name, name.isEmpty() ? QString() : m_places.keyboardDefaults};
}

KeyTypingSetup::Facts KeyTypingInspector::inspect(const QList<VirtualKey>& keys, KeyMatching matching)
{
    Facts facts;
    facts.session = sessionOf(m_environment);
    facts.uinput = inspectUinput();
    facts.display.name = m_environment.value(QStringLiteral("DISPLAY"));

    ::Display* display =
        facts.display.name.isEmpty() ? nullptr : XOpenDisplay(facts.display.name.toLocal8Bit().constData());
    std::unique_ptr<X11Keymap> keymap;
    if (display) {
        facts.display.opens = true;
        int eventBase = 0, errorBase = 0, major = 0, minor = 0;
        facts.display.hasXTest = XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor);
        keymap = std::make_unique<X11Keymap>(display);
        if (const auto names = keymap->layoutNames())
            facts.layout = {layoutName(names->first, names->second), QStringLiteral("the X display")};
    }
    if (facts.layout.name.isEmpty())
        facts.layout = layoutFromDefaults();

    for (const VirtualKey key : keys) {
        Placement placement{key, true, std::nullopt, false, {}};
        if (!keymap) {
            // Without a layout to look in, every sink presses the key at its US place.
            placement.place = key;
        } else if (matching == KeyMatching::character) {
            const auto stroke = keymap->strokeFor(key);
            placement.typesCharacter = stroke && stroke->keycode >= evdevToXKeycode;
            if (placement.typesCharacter) {
                placement.place = EvdevKeyCodes::keyAt(quint16(stroke->keycode - evdevToXKeycode));
                placement.withShift = stroke->needsShift;
                placement.types = key.label();
            }
        } else {
            const unsigned keycode = EvdevKeyCodes::of(key) + evdevToXKeycode;
            placement.place = key;
            placement.types = keymap->typedBy(keycode);
            placement.typesCharacter = keymap->types(keycode, key);
        }
        facts.placements.append(placement);
    }

    keymap.reset();
    if (display)
        XCloseDisplay(display);
    return facts;
}
