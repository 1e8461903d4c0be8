#include "shifting/KeyboardService.h"

#include "analytics/Analytics.h"
#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"
#include "shifting/UserDefaultsManager.h"

namespace {

constexpr qint64 firstButton = 1;
constexpr qint64 lastButton = 4;

} // namespace

KeyboardService::KeyboardService(UserDefaultsManager& storage, KeySink& keySink, Analytics& analytics,
                                 QObject* parent)
    : QObject(parent)
    , m_bridge(storage, keySink)
    , m_storage(storage)
    , m_analytics(analytics)
{
    // The bridge follows the stored switch, so keys never go out while emulation reads off.
    setEnabled(m_storage.defaults().boolValue(SettingsKeys::enableKeyboardEmulation()));
    for (qint64 button = firstButton; button <= lastButton; ++button)
        copyFromBridge(button);
    connect(&m_bridge, &Di2ToKeyboardBridge::didSimulate, this, &KeyboardService::didSimulate);
}

void KeyboardService::setEnabled(bool enabled)
{
    const bool changed = enabled != m_isEnabled;
    m_isEnabled = enabled;
    m_storage.defaults().setBool(SettingsKeys::enableKeyboardEmulation(), enabled);
    m_bridge.setEnabled(enabled);
    if (changed)
        Q_EMIT isEnabledChanged(enabled);
}

void KeyboardService::setButtonConfigs(const ButtonConfigs& configs)
{
    if (configs == m_buttonConfigs)
        return;
    m_buttonConfigs = configs;
    Q_EMIT buttonConfigsChanged();
}

void KeyboardService::copyFromBridge(qint64 button)
{
    ButtonConfigs configs = m_buttonConfigs;
    configs.insert(button, m_bridge.buttonConfigs().value(button, ButtonConfig{KeyboardAction::none, 1}));
    setButtonConfigs(configs);
}

void KeyboardService::setAction(qint64 button, KeyboardAction action)
{
    m_bridge.setAction(button, action);
    copyFromBridge(button);
    m_analytics.track(Analytics::TelemetrySignal::buttonMappingChanged,
                      {{QStringLiteral("button"), QString::number(button)},
                       {QStringLiteral("action"), KeyboardActions::rawValue(action)}});
}

void KeyboardService::setRepeatCount(qint64 button, qint64 count)
{
    m_bridge.setRepeatCount(button, count);
    copyFromBridge(button);
}

void KeyboardService::resetToDefaults()
{
    m_bridge.resetToDefaults();
    for (qint64 button = firstButton; button <= lastButton; ++button)
        copyFromBridge(button);
    m_analytics.track(Analytics::TelemetrySignal::buttonMappingReset);
}

void KeyboardService::disableAllButtons()
{
    m_bridge.disableAllButtons();
    ButtonConfigs configs = m_buttonConfigs;
    for (qint64 button = firstButton; button <= lastButton; ++button)
        configs.insert(button, {KeyboardAction::none, 1});
    setButtonConfigs(configs);
}
