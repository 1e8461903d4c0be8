#include "shifting/Di2ToKeyboardBridge.h"

#include "diagnostics/DebugLogService.h"
#include "diagnostics/Logger.h"
#include "platform/MonotonicTime.h"
#include "shifting/LatencyFormat.h"
#include "shifting/UserDefaultsManager.h"

namespace {

const QString di2ToKeyboardBridgeLog = QStringLiteral("KeyboardBridge");

void logLater(const QString& message, DebugLogLevel level, const std::optional<DebugLogDetails>& details = {})
{
    DebugLogService::shared().logLater(message, di2ToKeyboardBridgeLog, level, details);
}

} // namespace

Di2ToKeyboardBridge::Di2ToKeyboardBridge(UserDefaultsManager& storage, KeySink& keySink, QObject* parent)
    : QObject(parent)
    , m_storage(storage)
    , m_buttonConfigs(defaultButtonConfigs())
    , m_keySink(keySink)
    , m_sequencer(keySink, di2ToKeyboardBridgeLog)
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
    Logger::shared().logInfo(QStringLiteral("Loaded button configuration from profile: ") + profile.name,
                             di2ToKeyboardBridgeLog);
    reloadShiftKeys();
}

void Di2ToKeyboardBridge::reloadShiftKeys()
{
    m_shiftUpKey = m_storage.shiftKey(KeyboardAction::shiftUp);
    m_shiftDownKey = m_storage.shiftKey(KeyboardAction::shiftDown);
}

std::optional<VirtualKey> Di2ToKeyboardBridge::keyFor(const ButtonConfig& config) const
{
    switch (config.action) {
    case KeyboardAction::shiftUp:
        return m_shiftUpKey;
    case KeyboardAction::shiftDown:
        return m_shiftDownKey;
    case KeyboardAction::key:
        return config.key;
    case KeyboardAction::none:
        break;
    }
    return std::nullopt;
}

void Di2ToKeyboardBridge::store(qint64 button, const ButtonConfig& config)
{
    m_buttonConfigs.insert(button, config);
    m_storage.updateButtonConfig(button, config);
}

void Di2ToKeyboardBridge::setEnabled(bool enabled)
{
    if (enabled == m_isEnabled)
        return;
    m_isEnabled = enabled;
    if (!enabled)
        m_sequencer.cancel();
    Logger::shared().logInfo(enabled ? QStringLiteral("⌨️ Started Keyboard emulation")
                                     : QStringLiteral("⌨️ Stopped Keyboard emulation"),
                             di2ToKeyboardBridgeLog);
}

void Di2ToKeyboardBridge::handleButtonPress(qint64 button, qint64 arrivalNs)
{
    if (!m_isEnabled) {
        logLater(QStringLiteral("Button %1 pressed but keyboard emulation is disabled").arg(button),
                 DebugLogLevel::debug);
        return;
    }
    if (m_keySink.consent() == KeySink::Consent::refused) {
        // Told to the rider when the desktop said no; the gear must not count keys nobody got.
        Logger::shared().logInfo(
            QStringLiteral("Button %1 pressed but the desktop does not let Cogwise type keys").arg(button),
            di2ToKeyboardBridgeLog);
        return;
    }
    const auto config = m_buttonConfigs.constFind(button);
    if (config == m_buttonConfigs.cend() || config->action == KeyboardAction::none) {
        Logger::shared().logDebug(QStringLiteral("Button %1 is disabled for keyboard emulation.").arg(button),
                                  di2ToKeyboardBridgeLog);
        return;
    }

    const auto mappedKey = keyFor(*config);
    if (!mappedKey) {
        Logger::shared().logDebug(QStringLiteral("Button %1 has no key picked yet.").arg(button),
                                  di2ToKeyboardBridgeLog);
        return;
    }
    // Counted as typed, a shift nobody received would put the virtual gear out of step.
    std::optional<QString> why;
    if (const auto unavailable = m_keySink.unavailableReason())
        why = unavailable->endsWith(QLatin1Char('.')) ? *unavailable : *unavailable + QLatin1Char('.');
    else if (m_keySink.destination().isEmpty() && m_ownWindowInFront && m_ownWindowInFront())
        why = QStringLiteral("Cogwise's own window is in front: bring the trainer app to the front.");
    if (why) {
        Logger::shared().logInfo(
            QStringLiteral("Button %1 pressed but nothing was typed: %2").arg(button).arg(*why),
            di2ToKeyboardBridgeLog);
        Q_EMIT notTyped(
            QStringLiteral("%1 not typed: %2").arg(KeyboardActions::displayName(config->action), *why));
        return;
    }
    const KeyboardAction action = config->action;
    const VirtualKey key = *mappedKey;
    const QString actionName = KeyboardActions::displayName(action);
    const QString keyCode = QString::number(key.code());
    const qint64 count = ButtonConfig::clampedRepeatCount(config->repeatCount);
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
    // Logged once the key is out: a log line costs the press its time to the trainer app.
    sequence.pressed = [this, button, actionName, count, countText, arrivalNs](qint64 press) {
        const qint64 latency = arrivalNs > 0 && press == 1 ? MonotonicTime::nowNanoseconds() - arrivalNs : 0;
        Logger::shared().logDebug(
            QStringLiteral("Simulating key press for Button %1, press %2").arg(button).arg(press),
            di2ToKeyboardBridgeLog);
        DebugLogDetails details{
            {QStringLiteral("button"), QString::number(button)},
            {QStringLiteral("action"), actionName},
            {QStringLiteral("repeatCount"), countText},
            {QStringLiteral("pressIndex"), QStringLiteral("%1/%2").arg(press).arg(count)}};
        if (latency > 0) {
            details.insert(QStringLiteral("latency"), LatencyFormat::milliseconds(latency));
            QMetaObject::invokeMethod(
                this, [this, latency] { Q_EMIT pressTimed(latency); }, Qt::QueuedConnection);
        }
        logLater(QStringLiteral("Key simulation: ") + actionName, DebugLogLevel::info, details);
    };
    sequence.finished = [this, button, action, actionName, label = key.label()](qint64 sent) {
        Logger::shared().logInfo(
            QStringLiteral("🔄 Button %1 -> Keyboard press '%2' x%3").arg(button).arg(actionName).arg(sent),
            di2ToKeyboardBridgeLog);
        QMetaObject::invokeMethod(
            this, [this, action, sent, label] { Q_EMIT didSimulate(action, sent, label); },
            Qt::QueuedConnection);
    };
    m_sequencer.enqueue(std::move(sequence));
}

void Di2ToKeyboardBridge::setAction(qint64 button, KeyboardAction action)
{
    ButtonConfig config = m_buttonConfigs.value(button);
    config.action = action;
    store(button, config);
    Logger::shared().logInfo(
        QStringLiteral("Configured Button %1 -> %2").arg(button).arg(KeyboardActions::displayName(action)),
        di2ToKeyboardBridgeLog);
}

void Di2ToKeyboardBridge::setRepeatCount(qint64 button, qint64 count)
{
    const qint64 clamped = ButtonConfig::clampedRepeatCount(count);
    ButtonConfig config = m_buttonConfigs.value(button);
    config.repeatCount = clamped;
    store(button, config);
    Logger::shared().logInfo(
        QStringLiteral("Configured Button %1 repeat count -> %2").arg(button).arg(clamped),
        di2ToKeyboardBridgeLog);
}

void Di2ToKeyboardBridge::setButtonKey(qint64 button, VirtualKey key)
{
    ButtonConfig config = m_buttonConfigs.value(button);
    config.action = KeyboardAction::key;
    config.key = key;
    store(button, config);
    Logger::shared().logInfo(QStringLiteral("Configured Button %1 -> Key %2").arg(button).arg(key.label()),
                             di2ToKeyboardBridgeLog);
}

void Di2ToKeyboardBridge::resetToDefaults()
{
    m_buttonConfigs = defaultButtonConfigs();
    m_storage.resetProfileToDefaults();
    Logger::shared().logInfo(QStringLiteral("Reset keyboard button configuration to defaults"),
                             di2ToKeyboardBridgeLog);
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
    Logger::shared().logInfo(QStringLiteral("Disabled all buttons for keyboard emulation"),
                             di2ToKeyboardBridgeLog);
}
