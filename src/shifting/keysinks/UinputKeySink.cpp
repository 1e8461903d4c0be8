#include "shifting/keysinks/UinputKeySink.h"

#include "shifting/keysinks/EvdevKeyCodes.h"
#include "shifting/keysinks/X11Keymap.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr char deviceName[] = "Cogwise virtual keyboard";
using EvdevKeyCodes::evdevToXKeycode;

QString describeOpenError(const QString& path, int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("Cogwise may not use %1 to type keys: install the uinput rule and join the "
                              "\"input\" group, as the README explains.")
            .arg(path);
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("This system has no %1 to type keys with: load the uinput kernel module "
                              "(sudo modprobe uinput).")
            .arg(path);
    default:
        return QStringLiteral("Cogwise cannot use %1 to type keys: %2.")
            .arg(path, QString::fromLocal8Bit(std::strerror(error)));
    }
}

} // namespace

std::unique_ptr<UinputKeySink> UinputKeySink::open(const QString& devicePath)
{
    const int fd = ::open(QFile::encodeName(devicePath).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::make_unique<UinputKeySink>(-1, describeOpenError(devicePath, errno));

    uinput_setup setup{};
    setup.id.bustype = BUS_VIRTUAL;
    std::strncpy(setup.name, deviceName, UINPUT_MAX_NAME_SIZE - 1);
    bool created = ioctl(fd, UI_SET_EVBIT, EV_KEY) == 0 && ioctl(fd, UI_SET_EVBIT, EV_SYN) == 0;
    for (const quint16 code : EvdevKeyCodes::all())
        created = created && ioctl(fd, UI_SET_KEYBIT, int(code)) == 0;
    created = created && ioctl(fd, UI_DEV_SETUP, &setup) == 0 && ioctl(fd, UI_DEV_CREATE) == 0;
    if (!created) {
        const int error = errno;
        ::close(fd);
        return std::make_unique<UinputKeySink>(
            -1, QStringLiteral("Cogwise could not create its virtual keyboard on %1: %2.")
                    .arg(devicePath, QString::fromLocal8Bit(std::strerror(error))));
    }
    return std::make_unique<UinputKeySink>(fd, std::nullopt, true);
}

UinputKeySink::UinputKeySink(int fd, std::optional<QString> unavailableReason, bool destroyDeviceOnClose)
    : m_fd(fd)
    , m_unavailableReason(std::move(unavailableReason))
    , m_destroyDeviceOnClose(destroyDeviceOnClose)
{
    if (m_fd < 0 && !m_unavailableReason)
        m_unavailableReason = QStringLiteral("Cogwise has no virtual keyboard to type keys with.");
}

UinputKeySink::~UinputKeySink()
{
    m_keymap.reset();
    if (m_fd < 0)
        return;
    if (m_destroyDeviceOnClose)
        ioctl(m_fd, UI_DEV_DESTROY);
    ::close(m_fd);
}

std::optional<QString> UinputKeySink::prepareKeyMatching(KeyMatching matching)
{
    if (matching == KeyMatching::physicalKey || m_keymap)
        return std::nullopt;
    auto keymap = X11Keymap::open(m_layoutDisplay);
    if (auto* reason = std::get_if<QString>(&keymap))
        return QStringLiteral("uinput cannot send keys by character here: %1").arg(*reason);
    m_keymap = std::get<std::unique_ptr<X11Keymap>>(std::move(keymap));
    return std::nullopt;
}

bool UinputKeySink::post(VirtualKey key, KeyDirection direction)
{
    if (m_unavailableReason)
        return fail(*m_unavailableReason);
    const bool down = direction == KeyDirection::down;
    // Without the layout's display, as without any, the key at its US place goes out.
    if (keyMatching() == KeyMatching::physicalKey || !m_keymap || m_keymap->connectionLost())
        return write(EvdevKeyCodes::of(key), down ? 1 : 0);

    const auto stroke = m_keymap->strokeFor(key);
    if (!stroke || stroke->keycode < evdevToXKeycode)
        return fail(QStringLiteral("the keyboard layout has no key for \"%1\"").arg(key.label()));
    const auto code = static_cast<quint16>(stroke->keycode - evdevToXKeycode);
    if (stroke->needsShift && down && !write(KEY_LEFTSHIFT, 1))
        return false;
    if (!write(code, down ? 1 : 0))
        return false;
    return !(stroke->needsShift && !down) || write(KEY_LEFTSHIFT, 0);
}

bool UinputKeySink::write(quint16 code, int value)
{
    // One key event and the report that delivers it; the kernel stamps the time.
    input_event events[2]{};
    events[0].type = EV_KEY;
    events[0].code = code;
    events[0].value = value;
    events[1].type = EV_SYN;
    events[1].code = SYN_REPORT;
    events[1].value = 0;

    const char* data = reinterpret_cast<const char*>(events);
    unsigned long remaining = sizeof events;
    while (remaining > 0) {
        const long written = writeSome(data, remaining);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return fail(QStringLiteral("writing to the virtual keyboard failed: %1")
                            .arg(QString::fromLocal8Bit(std::strerror(errno))));
        if (written == 0)
            return fail(QStringLiteral("the virtual keyboard accepted no data"));
        data += written;
        remaining -= static_cast<unsigned long>(written);
    }
    return true;
}

long UinputKeySink::writeSome(const char* data, unsigned long size)
{
    return ::write(m_fd, data, size);
}
