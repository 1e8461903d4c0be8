#include "shifting/KeyboardService.h"

#include "analytics/Analytics.h"
#include "diagnostics/Logger.h"
#include "shifting/UserDefaultsManager.h"

namespace {

const QString keyboardServiceLog = QStringLiteral("KeyboardService");

QString describe(KeyMatching matching)
{
    return matching == KeyMatching::character ? QStringLiteral("the key that types each character")
                                              : QStringLiteral("the physical key");
}

} // namespace

KeyboardService::KeyboardService(UserDefaultsManager& storage, KeySink& keySink, Analytics& analytics,
                                 QObject* parent)
    : QObject(parent)
    , m_bridge(storage, keySink)
    , m_storage(storage)
    , m_analytics(analytics)
{
    // The bridge follows the stored switch, so keys never go out while emulation reads off.
    const bool enabled = m_storage.isKeyboardEmulationEnabled();
    m_storage.setKeyboardEmulationEnabled(enabled);
    m_bridge.setEnabled(enabled);
    // Once the application is built and listening: the desktop's answer is news for its log.
    if (enabled)
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (isEnabled())
                    m_bridge.keySink().askConsent();
            },
            Qt::QueuedConnection);
    m_bridge.keySequencer().setHoldTime(m_storage.keyHold());
    m_bridge.keySequencer().setPauseBetweenPresses(m_storage.keyPause());
    connect(&m_bridge, &Di2ToKeyboardBridge::didSimulate, this, &KeyboardService::didSimulate);
    connect(&m_bridge, &Di2ToKeyboardBridge::pressTimed, this, &KeyboardService::pressTimed);
    connect(&m_bridge, &Di2ToKeyboardBridge::notTyped, this, &KeyboardService::notTyped);
    if (const auto matching = m_storage.keyMatching()) {
        if (const auto refused = keySink.setKeyMatching(*matching))
            Logger::shared().logError(*refused + QStringLiteral("; sending ") +
                                          describe(keySink.keyMatching()),
                                      keyboardServiceLog);
    }
}

void KeyboardService::setEnabled(bool enabled)
{
    const bool changed = enabled != m_bridge.isEnabled();
    m_storage.setKeyboardEmulationEnabled(enabled);
    m_bridge.setEnabled(enabled);
    // Now, not at the first shift of a ride: a sink that needs the desktop's consent asks for it.
    if (enabled)
        m_bridge.keySink().askConsent();
    if (changed)
        Q_EMIT isEnabledChanged(enabled);
}

ButtonConfigs KeyboardService::buttonConfigs() const
{
    ButtonConfigs shown;
    for (qint64 button = Di2Buttons::first; button <= Di2Buttons::last; ++button)
        shown.insert(button, m_bridge.buttonConfigs().value(button, ButtonConfig{KeyboardAction::none, 1}));
    return shown;
}

void KeyboardService::notifyIfChanged(const ButtonConfigs& before)
{
    if (buttonConfigs() != before)
        Q_EMIT buttonConfigsChanged();
}

void KeyboardService::setAction(qint64 button, KeyboardAction action)
{
    const ButtonConfigs before = buttonConfigs();
    m_bridge.setAction(button, action);
    notifyIfChanged(before);
    m_analytics.track(Analytics::TelemetrySignal::buttonMappingChanged,
                      {{QStringLiteral("button"), QString::number(button)},
                       {QStringLiteral("action"), KeyboardActions::rawValue(action)}});
}

void KeyboardService::setRepeatCount(qint64 button, qint64 count)
{
    const ButtonConfigs before = buttonConfigs();
    m_bridge.setRepeatCount(button, count);
    notifyIfChanged(before);
}

void KeyboardService::resetToDefaults()
{
    const ButtonConfigs before = buttonConfigs();
    m_bridge.resetToDefaults();
    notifyIfChanged(before);
    m_analytics.track(Analytics::TelemetrySignal::buttonMappingReset);
}

void KeyboardService::disableAllButtons()
{
    const ButtonConfigs before = buttonConfigs();
    m_bridge.disableAllButtons();
    notifyIfChanged(before);
}

std::chrono::milliseconds KeyboardService::keyHold() const
{
    return m_storage.keyHold();
}

void KeyboardService::setKeyHold(std::chrono::milliseconds hold)
{
    m_storage.setKeyHold(hold);
    m_bridge.keySequencer().setHoldTime(m_storage.keyHold());
}

std::chrono::milliseconds KeyboardService::keyPause() const
{
    return m_storage.keyPause();
}

void KeyboardService::setKeyPause(std::chrono::milliseconds pause)
{
    m_storage.setKeyPause(pause);
    m_bridge.keySequencer().setPauseBetweenPresses(m_storage.keyPause());
}

void KeyboardService::setButtonKey(qint64 button, VirtualKey key)
{
    const ButtonConfigs before = buttonConfigs();
    m_bridge.setButtonKey(button, key);
    notifyIfChanged(before);
}

const TrainerApp& KeyboardService::trainerApp() const
{
    return m_storage.trainerApp();
}

void KeyboardService::setTrainerApp(const TrainerApp& app)
{
    if (&app == &trainerApp())
        return;
    m_storage.setTrainerApp(app);
    m_bridge.reloadShiftKeys();
    Logger::shared().logInfo(QStringLiteral("Trainer app: %1 (shift up %2, shift down %3)")
                                 .arg(app.name, shiftKey(KeyboardAction::shiftUp).label(),
                                      shiftKey(KeyboardAction::shiftDown).label()),
                             keyboardServiceLog);
    Q_EMIT trainerAppChanged();
}

VirtualKey KeyboardService::shiftKey(KeyboardAction shift) const
{
    return m_storage.shiftKey(shift);
}

VirtualKey KeyboardService::customShiftKey(KeyboardAction shift) const
{
    return m_storage.customShiftKey(shift);
}

void KeyboardService::setCustomShiftKey(KeyboardAction shift, VirtualKey key)
{
    if (key == customShiftKey(shift))
        return;
    m_storage.setCustomShiftKey(shift, key);
    m_bridge.reloadShiftKeys();
    Logger::shared().logInfo(
        QStringLiteral("Custom key for %1 -> %2").arg(KeyboardActions::displayName(shift), key.label()),
        keyboardServiceLog);
    Q_EMIT trainerAppChanged();
}

std::optional<QString> KeyboardService::setKeyMatching(KeyMatching matching)
{
    if (auto refused = m_bridge.keySink().setKeyMatching(matching)) {
        Logger::shared().logError(*refused, keyboardServiceLog);
        return refused;
    }
    m_storage.setKeyMatching(matching);
    Logger::shared().logInfo(QStringLiteral("Sending %1").arg(describe(matching)), keyboardServiceLog);
    Q_EMIT keyMatchingChanged();
    return std::nullopt;
}
