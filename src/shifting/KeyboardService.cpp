#include "shifting/KeyboardService.h"

#include "analytics/Analytics.h"
#include "shifting/UserDefaultsManager.h"

KeyboardService::KeyboardService(UserDefaultsManager& storage, KeySink& keySink, Analytics& analytics,
                                 QObject* parent)
    : QObject(parent)
    , m_bridge(storage, keySink)
    , m_storage(storage)
    , m_analytics(analytics)
{
    // The bridge follows the stored switch, so keys never go out while emulation reads off.
    setEnabled(m_storage.isKeyboardEmulationEnabled());
    m_bridge.keySequencer().setHoldTime(m_storage.keyHold());
    m_bridge.keySequencer().setPauseBetweenPresses(m_storage.keyPause());
    connect(&m_bridge, &Di2ToKeyboardBridge::didSimulate, this, &KeyboardService::didSimulate);
}

void KeyboardService::setEnabled(bool enabled)
{
    const bool changed = enabled != m_bridge.isEnabled();
    m_storage.setKeyboardEmulationEnabled(enabled);
    m_bridge.setEnabled(enabled);
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
