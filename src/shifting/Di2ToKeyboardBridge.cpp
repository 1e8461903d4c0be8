#include "shifting/Di2ToKeyboardBridge.h"

#include "diagnostics/DebugLogService.h"
#include "diagnostics/Logger.h"
#include "shifting/UserDefaultsManager.h"

#include <algorithm>

namespace {

const QString logCategory = QStringLiteral("KeyboardBridge");

Logger& logger()
{
    return Logger::shared();
}

void logLater(const QString& message, DebugLogLevel level, const std::optional<DebugLogDetails>& details = {})
{
    DebugLogService::shared().logLater(message, logCategory, level, details);
}

} // namespace

Di2ToKeyboardBridge::Di2ToKeyboardBridge(UserDefaultsManager& storage, KeySink& keySink, QObject* parent)
    : QObject(parent)
    , m_storage(storage)
    , m_buttonConfigs(defaultButtonConfigs())
    , m_keySink(keySink)
    , m_sequencer(keySink, logCategory)
{
    loadConfiguration();
}

Di2ToKeyboardBridge::~Di2ToKeyboardBridge()
{
    // While the bridge is whole, so that a sequence cut short is still reported.
    m_sequencer.cancel();
}

void Di2ToKeyboardBridge::loadConfiguration()
{
    const ButtonProfile profile = m_storage.loadOrCreateProfile();
    m_buttonConfigs = profile.buttonConfigs;
    logger().logInfo(QStringLiteral("Loaded button configuration from profile: ") + profile.name,
                     logCategory);
}

void Di2ToKeyboardBridge::setEnabled(bool enabled)
{
    if (enabled == m_isEnabled)
        return;
    m_isEnabled = enabled;
    if (!enabled)
        m_sequencer.cancel();
    logger().logInfo(enabled ? QStringLiteral("⌨️ Started Keyboard emulation")
                             : QStringLiteral("⌨️ Stopped Keyboard emulation"),
                     logCategory);
}

void Di2ToKeyboardBridge::handleButtonPress(qint64 button)
{
    if (!m_isEnabled) {
        logLater(QStringLiteral("Button %1 pressed but keyboard emulation is disabled").arg(button),
                 DebugLogLevel::debug);
        return;
    }
    const auto config = m_buttonConfigs.constFind(button);
    if (config == m_buttonConfigs.cend() || config->action == KeyboardAction::none) {
        logger().logDebug(QStringLiteral("Button %1 is disabled for keyboard emulation.").arg(button),
                          logCategory);
        return;
    }

    const KeyboardAction action = config->action;
    const VirtualKey key = action == KeyboardAction::shiftUp ? VirtualKey::period : VirtualKey::comma;
    const QString actionName = KeyboardActions::displayName(action);
    const QString keyCode = QString::number(static_cast<quint16>(key));
    // Only a hand-edited profile holds counts outside 1..10; a huge one would fill the key queue.
    const qint64 count = std::clamp<qint64>(config->repeatCount, 0, ButtonConfig::maxRepeatCount);
    const QString countText = QString::number(count);

    KeySequencer::Sequence sequence;
    sequence.key = key;
    sequence.count = count;
    sequence.started = [button, actionName, countText, keyCode] {
        logLater(QStringLiteral("Starting key simulation for button %1").arg(button), DebugLogLevel::info,
                 DebugLogDetails{{QStringLiteral("action"), actionName},
                                 {QStringLiteral("repeatCount"), countText},
                                 {QStringLiteral("keyCode"), keyCode}});
    };
    sequence.pressing = [button, actionName, count, countText](qint64 press) {
        logger().logDebug(
            QStringLiteral("Simulating key press for Button %1, press %2").arg(button).arg(press),
            logCategory);
        logLater(
            QStringLiteral("Key simulation: ") + actionName, DebugLogLevel::info,
            DebugLogDetails{{QStringLiteral("button"), QString::number(button)},
                            {QStringLiteral("action"), actionName},
                            {QStringLiteral("repeatCount"), countText},
                            {QStringLiteral("pressIndex"), QStringLiteral("%1/%2").arg(press).arg(count)}});
    };
    sequence.finished = [this, button, action, actionName](qint64 sent) {
        logger().logInfo(
            QStringLiteral("🔄 Button %1 -> Keyboard press '%2' x%3").arg(button).arg(actionName).arg(sent),
            logCategory);
        QMetaObject::invokeMethod(
            this, [this, action, sent] { Q_EMIT didSimulate(action, sent); }, Qt::QueuedConnection);
    };
    m_sequencer.enqueue(std::move(sequence));
}

void Di2ToKeyboardBridge::setAction(qint64 button, KeyboardAction action)
{
    const auto existing = m_buttonConfigs.constFind(button);
    const qint64 repeat = existing != m_buttonConfigs.cend() ? existing->repeatCount : 1;
    m_buttonConfigs.insert(button, {action, repeat});
    m_storage.updateButtonConfig(button, action, repeat);
    logger().logInfo(
        QStringLiteral("Configured Button %1 -> %2").arg(button).arg(KeyboardActions::displayName(action)),
        logCategory);
}

void Di2ToKeyboardBridge::setRepeatCount(qint64 button, qint64 count)
{
    const qint64 clamped = std::clamp(count, ButtonConfig::minRepeatCount, ButtonConfig::maxRepeatCount);
    const auto existing = m_buttonConfigs.constFind(button);
    const KeyboardAction action =
        existing != m_buttonConfigs.cend() ? existing->action : KeyboardAction::none;
    m_buttonConfigs.insert(button, {action, clamped});
    m_storage.updateButtonConfig(button, action, clamped);
    logger().logInfo(QStringLiteral("Configured Button %1 repeat count -> %2").arg(button).arg(clamped),
                     logCategory);
}

void Di2ToKeyboardBridge::resetToDefaults()
{
    m_buttonConfigs = defaultButtonConfigs();
    m_storage.resetProfileToDefaults();
    logger().logInfo(QStringLiteral("Reset keyboard button configuration to defaults"), logCategory);
}

void Di2ToKeyboardBridge::disableAllButtons()
{
    const ButtonConfig disabled{KeyboardAction::none, 1};
    for (const qint64 button : m_buttonConfigs.keys()) {
        m_buttonConfigs.insert(button, disabled);
        ButtonProfile profile = m_storage.loadOrCreateProfile();
        profile.buttonConfigs.insert(button, disabled);
        profile.updatedAt = m_storage.now();
        m_storage.setStoredButtonProfile(profile);
    }
    logger().logInfo(QStringLiteral("Disabled all buttons for keyboard emulation"), logCategory);
}
