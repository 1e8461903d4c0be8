#include "shifting/KeyDestinationSwitch.h"

#include "diagnostics/Logger.h"

namespace {

const QString keyDestinationSwitchLog = QStringLiteral("KeyDestinationSwitch");

} // namespace

KeyDestinationSwitch::KeyDestinationSwitch(Makers makers, Target target, QString adapter)
    : m_makers(std::move(makers))
    , m_target(target)
    , m_adapter(std::move(adapter))
{
    if (m_target == Target::pairedDevice)
        makeKeyboard();
    else
        active(); // builds it
}

// Declared here: the keyboard's destructor unregisters it from bluetoothd before the rest goes.
KeyDestinationSwitch::~KeyDestinationSwitch() = default;

KeySink& KeyDestinationSwitch::active() const
{
    if (m_keyboard)
        return *m_keyboard;
    if (!m_thisComputer) {
        auto& self = const_cast<KeyDestinationSwitch&>(*this);
        self.m_thisComputer = m_makers.thisComputer();
        connect(self.m_thisComputer.get(), &KeySink::changed, &self, [&self](const QString& news) {
            if (!self.m_keyboard)
                Q_EMIT self.changed(news);
        });
        self.adoptKeyMatching();
    }
    return *m_thisComputer;
}

void KeyDestinationSwitch::makeKeyboard()
{
    m_keyboard = m_makers.keyboard(m_adapter);
    RemoteKeySink* keyboard = m_keyboard.get();
    connect(keyboard, &KeySink::changed, this, &KeySink::changed);
    connect(keyboard, &RemoteKeySink::hostsChanged, this, &RemoteKeySink::hostsChanged);
    connect(keyboard, &RemoteKeySink::pairingChanged, this, &RemoteKeySink::pairingChanged);
    connect(keyboard, &RemoteKeySink::messageLogged, this, &RemoteKeySink::messageLogged);
    if (m_batteryLevel)
        keyboard->setBatteryLevel(*m_batteryLevel);
    adoptKeyMatching();
}

void KeyDestinationSwitch::adoptKeyMatching()
{
    KeySink& sink = active();
    if (m_wantedMatching)
        sink.setKeyMatching(*m_wantedMatching); // a refusal leaves the sink's own way
    m_adopting = true;
    setKeyMatching(sink.keyMatching());
    m_adopting = false;
}

void KeyDestinationSwitch::releaseHeldKeys()
{
    KeySink& sink = active();
    for (const VirtualKey& key : std::as_const(m_held)) {
        if (!sink.post(key, KeyDirection::up))
            Logger::shared().logError(
                QStringLiteral("Could not release a key before switching: %1").arg(sink.lastError()),
                keyDestinationSwitchLog);
        m_released.append(key);
    }
    m_held.clear();
}

void KeyDestinationSwitch::setTarget(Target target)
{
    if (target == m_target)
        return;
    releaseHeldKeys();
    const QString before = name();
    m_target = target;
    const bool wasPairing = pairingOpen();
    if (target == Target::pairedDevice) {
        makeKeyboard();
    } else {
        m_keyboard.reset();
        active();
    }
    Logger::shared().logInfo(QStringLiteral("Key sink %1 replaces %2").arg(name(), before),
                             keyDestinationSwitchLog);
    Q_EMIT hostsChanged();
    if (wasPairing || pairingOpen())
        Q_EMIT pairingChanged();
    Q_EMIT changed(target == Target::pairedDevice
                       ? QStringLiteral("Keys now go to a device paired over Bluetooth.")
                       : QStringLiteral("Keys are now typed on this computer."));
}

void KeyDestinationSwitch::setKeyboardAdapter(const QString& adapter)
{
    if (adapter == m_adapter)
        return;
    m_adapter = adapter;
    if (!m_keyboard)
        return;
    releaseHeldKeys();
    const bool wasPairing = m_keyboard->pairingOpen();
    // The old one leaves its adapter before the new one announces itself.
    m_keyboard.reset();
    makeKeyboard();
    Q_EMIT hostsChanged();
    if (wasPairing)
        Q_EMIT pairingChanged();
    Q_EMIT changed(QStringLiteral("The Bluetooth keyboard now uses %1.").arg(adapter));
}

bool KeyDestinationSwitch::post(VirtualKey key, KeyDirection direction)
{
    if (direction == KeyDirection::up && m_released.removeOne(key))
        return true; // released already, where it was pressed
    KeySink& sink = active();
    if (!sink.post(key, direction))
        return fail(sink.lastError());
    if (direction == KeyDirection::down)
        m_held.append(key);
    else
        m_held.removeOne(key);
    return true;
}

void KeyDestinationSwitch::openPairing(std::chrono::seconds duration)
{
    if (m_keyboard)
        m_keyboard->openPairing(duration);
}

void KeyDestinationSwitch::closePairing()
{
    if (m_keyboard)
        m_keyboard->closePairing();
}

void KeyDestinationSwitch::forget(const QString& hostPath)
{
    if (m_keyboard)
        m_keyboard->forget(hostPath);
}

void KeyDestinationSwitch::setBatteryLevel(int percent)
{
    m_batteryLevel = percent;
    if (m_keyboard)
        m_keyboard->setBatteryLevel(percent);
}

std::optional<QString> KeyDestinationSwitch::prepareKeyMatching(KeyMatching matching)
{
    if (m_adopting)
        return std::nullopt;
    m_wantedMatching = matching;
    return active().setKeyMatching(matching);
}
