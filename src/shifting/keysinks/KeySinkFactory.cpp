#include "shifting/keysinks/KeySinkFactory.h"

#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"
#include "shifting/KeyDestinationSwitch.h"
#include "shifting/keysinks/KeySinkChain.h"
#include "shifting/keysinks/KeyTypingInspector.h"
#include "shifting/keysinks/NullKeySink.h"
#include "shifting/keysinks/PortalKeySink.h"
#include "shifting/keysinks/UinputKeySink.h"
#include "shifting/keysinks/XTestKeySink.h"
#include "shifting/keysinks/bluez/BluetoothKeyboardKeySink.h"

#include <QDBusConnection>
#include <QStringList>

namespace KeySinkFactory {

namespace {

using Session = KeyTypingSetup::Session;

// COGWISE_UINPUT_DEVICE names another device node, for tests.
std::unique_ptr<KeySink> uinput(const QProcessEnvironment& environment)
{
    const QString path = environment.value(QStringLiteral("COGWISE_UINPUT_DEVICE"));
    return UinputKeySink::open(path.isEmpty() ? UinputKeySink::defaultDevicePath() : path);
}

std::unique_ptr<KeySink> portal(Defaults& settings)
{
    return std::make_unique<PortalKeySink>(QDBusConnection::sessionBus(), settings);
}

std::unique_ptr<KeySink> xtest(const QProcessEnvironment& environment)
{
    return std::make_unique<XTestKeySink>(environment.value(QStringLiteral("DISPLAY")).toLocal8Bit());
}

Choice none(const QStringList& reasons)
{
    const QString why = reasons.join(QLatin1Char(' '));
    return {std::make_unique<NullKeySink>(why), why};
}

Choice forced(const QString& name, Defaults& settings, const QProcessEnvironment& environment)
{
    const QString reason = QStringLiteral("COGWISE_KEY_SINK=%1 chooses it.").arg(name);
    if (name == QLatin1String("uinput"))
        return {uinput(environment), reason};
    if (name == QLatin1String("xtest"))
        return {xtest(environment), reason};
    if (name == QLatin1String("portal"))
        return {portal(settings), reason};
    return {
        std::make_unique<NullKeySink>(QStringLiteral("Typing keys is switched off (COGWISE_KEY_SINK=none)."),
                                      NullKeySink::Mode::switchedOff),
        reason};
}

Choice x11(Defaults& settings, const QProcessEnvironment& environment)
{
    QStringList reasons;
    std::unique_ptr<KeySink> viaXTest = xtest(environment);
    if (viaXTest->canPostKeys())
        return {std::move(viaXTest), QStringLiteral("it reaches every window of an X11 session.")};
    reasons.append(*viaXTest->unavailableReason());
    std::unique_ptr<KeySink> viaUinput = uinput(environment);
    if (viaUinput->canPostKeys())
        return {std::move(viaUinput), QStringLiteral("XTest is not available: %1").arg(reasons.constFirst())};
    reasons.append(*viaUinput->unavailableReason());
    std::unique_ptr<KeySink> viaPortal = portal(settings);
    if (!viaPortal->unavailableReason())
        return {
            std::move(viaPortal),
            QStringLiteral("neither XTest nor uinput is available: %1").arg(reasons.join(QLatin1Char(' ')))};
    reasons.append(*viaPortal->unavailableReason());
    return none(reasons);
}

Choice wayland(Defaults& settings, const QProcessEnvironment& environment)
{
    QStringList reasons;
    std::unique_ptr<KeySink> viaUinput = uinput(environment);
    if (viaUinput->canPostKeys())
        return {std::move(viaUinput), QStringLiteral("you set it up, and it reaches every window.")};
    reasons.append(*viaUinput->unavailableReason());
    std::unique_ptr<KeySink> viaXTest = xtest(environment);
    std::unique_ptr<KeySink> viaPortal = portal(settings);
    if (!viaPortal->unavailableReason()) {
        const QString reason =
            QStringLiteral("it reaches every window once you allow it, without root (uinput is not set up).");
        if (!viaXTest->canPostKeys())
            return {std::move(viaPortal), reason};
        std::vector<std::unique_ptr<KeySink>> chain;
        chain.push_back(std::move(viaPortal));
        chain.push_back(std::move(viaXTest));
        return {std::make_unique<KeySinkChain>(std::move(chain)), reason};
    }
    reasons.append(*viaPortal->unavailableReason());
    if (viaXTest->canPostKeys())
        return {std::move(viaXTest),
                QStringLiteral("neither uinput nor the desktop's remote-desktop portal is available, so only "
                               "XWayland windows get keys. %1")
                    .arg(reasons.join(QLatin1Char(' ')))};
    reasons.append(*viaXTest->unavailableReason());
    return none(reasons);
}

// The sink that types into this computer's windows, by the kind of session.
Choice thisComputer(Defaults& settings, const QProcessEnvironment& environment)
{
    switch (KeyTypingInspector::sessionOf(environment)) {
    case Session::x11:
        return x11(settings, environment);
    case Session::wayland:
    case Session::waylandWithXwayland:
        return wayland(settings, environment);
    case Session::none:
        break;
    }
    QStringList reasons;
    std::unique_ptr<KeySink> viaUinput = uinput(environment);
    if (viaUinput->canPostKeys())
        return {std::move(viaUinput), QStringLiteral("it works without a desktop session.")};
    reasons.append(*viaUinput->unavailableReason());
    std::unique_ptr<KeySink> viaXTest = xtest(environment);
    if (viaXTest->canPostKeys())
        return {std::move(viaXTest), QStringLiteral("uinput is not available: %1").arg(reasons.constFirst())};
    reasons.append(*viaXTest->unavailableReason());
    return none(reasons);
}

} // namespace

Choice choose(Defaults& settings, const QProcessEnvironment& environment,
              std::function<bool(const QString& address)> isDi2Unit)
{
    const QString forcedName = environment.value(QStringLiteral("COGWISE_KEY_SINK")).toLower();
    if (forcedName == QLatin1String("uinput") || forcedName == QLatin1String("xtest") ||
        forcedName == QLatin1String("portal") || forcedName == QLatin1String("none"))
        return forced(forcedName, settings, environment);

    using Target = KeyDestinationSwitch::Target;
    Target target = Target::thisComputer;
    QString reason;
    if (forcedName == QLatin1String("bluetooth")) {
        target = Target::pairedDevice;
        reason = QStringLiteral("COGWISE_KEY_SINK=bluetooth chooses it.");
    } else if (settings.stringValue(SettingsKeys::keysTo()) == QLatin1String("bluetooth")) {
        target = Target::pairedDevice;
        reason = QStringLiteral("you chose to send keys to a device paired over Bluetooth.");
    }
    // This computer's sink is chosen when first needed; its reason only when it is the first.
    auto firstReason = std::make_shared<QString>();
    KeyDestinationSwitch::Makers makers{
        [&settings, environment, firstReason] {
            Choice local = thisComputer(settings, environment);
            *firstReason = local.reason;
            return std::move(local.sink);
        },
        [isDi2Unit](const QString& adapter) -> std::unique_ptr<RemoteKeySink> {
            return std::make_unique<BluetoothKeyboardKeySink>(QDBusConnection::systemBus(), adapter,
                                                              isDi2Unit);
        }};
    auto sink = std::make_unique<KeyDestinationSwitch>(
        std::move(makers), target, settings.stringValue(SettingsKeys::keyboardAdapter()).value_or(QString()));
    return {std::move(sink), reason.isEmpty() ? *firstReason : reason};
}

} // namespace KeySinkFactory
