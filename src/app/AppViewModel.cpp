#include "app/AppViewModel.h"

#include "bluetooth/ConnectionService.h"
#include "diagnostics/Logger.h"
#include "shifting/GearService.h"
#include "shifting/KeySink.h"
#include "shifting/KeyboardService.h"

#include <QStringList>
#include <utility>

AppViewModel::AppViewModel(ConnectionService& connectionService, KeyboardService& keyboardService,
                           GearService& gearService, QObject* parent)
    : QObject(parent)
    , m_connectionService(connectionService)
    , m_keyboardService(keyboardService)
    , m_gearService(gearService)
{
    connect(&m_connectionService, &ConnectionService::messageLogged, this, &AppViewModel::addLog);
    connect(&m_connectionService, &ConnectionService::buttonsPressed, this, &AppViewModel::didPressButtons);
    connect(&m_keyboardService, &KeyboardService::didSimulate, this,
            &AppViewModel::keyboardServiceDidSimulate);
    connect(&m_keyboardService, &KeyboardService::isEnabledChanged, this,
            &AppViewModel::isKeyboardEnabledChanged);
    connect(&m_keyboardService, &KeyboardService::notTyped, this, &AppViewModel::addLog);
    // Keys of a unit that is gone are no longer the rider's intent. Only the step out of
    // "connected" counts: scanning and the like come and go without a unit's presses.
    connect(&m_connectionService, &ConnectionService::connectionStateChanged, this,
            [this, wasConnected = false](const ConnectionState& state) mutable {
                const bool connected = state.as<ConnectionState::Connected>() != nullptr;
                const bool was = std::exchange(wasConnected, connected);
                if (was && !connected)
                    m_keyboardService.cancelPending();
                if (!was && connected) {
                    m_shiftLatency.reset();
                    Q_EMIT shiftLatencyChanged();
                }
            });
    // The desktop's answers about typing keys, for the rider.
    connect(&m_keyboardService.keySink(), &KeySink::changed, this, [this](const QString& news) {
        if (!news.isEmpty())
            addLog(news);
    });
    connect(&m_keyboardService, &KeyboardService::pressTimed, this, [this](qint64 latencyNs) {
        m_shiftLatency.record(latencyNs);
        Q_EMIT shiftLatencyChanged();
    });
}

AppViewModel::~AppViewModel() = default;

void AppViewModel::addLog(const QString& message)
{
    const QDateTime now = m_clock();
    m_logs.append(Log{double(now.toMSecsSinceEpoch()) / 1000.0, now, message});
    if (m_logs.size() > logCap)
        m_logs.remove(0, m_logs.size() - logCap);
    Q_EMIT logAdded(m_logs.constLast());
    Q_EMIT logsChanged();
}

void AppViewModel::clearLogs()
{
    if (m_logs.isEmpty())
        return;
    m_logs.clear();
    Q_EMIT logsChanged();
}

void AppViewModel::handleConnectionAction(const ConnectionAction& action)
{
    switch (action.kind) {
    case ConnectionAction::Kind::connect:
        m_connectionService.connect(action.device);
        break;
    case ConnectionAction::Kind::scanAgain:
        m_connectionService.rescan();
        break;
    case ConnectionAction::Kind::disconnect:
        m_connectionService.disconnect();
        break;
    }
}

bool AppViewModel::isKeyboardEnabled() const
{
    return m_keyboardService.isEnabled();
}

void AppViewModel::setKeyboardEnabled(bool enabled)
{
    m_keyboardService.setEnabled(enabled);
}

void AppViewModel::configureButtonAction(qint64 button, KeyboardAction action)
{
    m_keyboardService.setAction(button, action);
    addLog(QStringLiteral("Configured Keyboard Button %1 for action: %2")
               .arg(button)
               .arg(KeyboardActions::displayName(action)));
}

void AppViewModel::configureButtonRepeatCount(qint64 button, qint64 count)
{
    m_keyboardService.setRepeatCount(button, count);
    addLog(QStringLiteral("Configured Keyboard Button %1 repeat count: %2").arg(button).arg(count));
}

void AppViewModel::setInitialVirtualGear(qint64 gear)
{
    m_gearService.setInitialGear(gear);
    addLog(QStringLiteral("Set initial virtual gear to %1").arg(gear));
}

void AppViewModel::configureButtonKey(qint64 button, VirtualKey key)
{
    m_keyboardService.setButtonKey(button, key);
    addLog(QStringLiteral("Configured Keyboard Button %1 key: %2").arg(button).arg(key.label()));
}

void AppViewModel::resetButtonConfiguration()
{
    m_keyboardService.resetToDefaults();
    addLog(QStringLiteral("Reset keyboard button configuration to defaults"));
}

void AppViewModel::disableAllButtons()
{
    m_keyboardService.disableAllButtons();
    addLog(QStringLiteral("Disabled all buttons for keyboard emulation"));
}

void AppViewModel::didPressButtons(const QList<int>& buttons, qint64 arrivalNs)
{
    QStringList names;
    for (int button : buttons)
        names.append(QStringLiteral("Button %1").arg(button));
    // The keys first: a log line costs the press its time to the trainer app.
    for (int button : buttons)
        m_keyboardService.handleButtonPress(button, arrivalNs);
    Logger::shared().logDebug(QStringLiteral("Button press: ") + names.join(QStringLiteral(", ")));
}

void AppViewModel::keyboardServiceDidSimulate(KeyboardAction action, qint64 repeatCount,
                                              const QString& keyLabel)
{
    if (action == KeyboardAction::key) {
        addLog(repeatCount < 2 ? QStringLiteral("Keyboard: Key %1").arg(keyLabel)
                               : QStringLiteral("Keyboard: Key %1 x%2").arg(keyLabel).arg(repeatCount));
        return;
    }
    if (action == KeyboardAction::shiftUp)
        m_gearService.shiftUp(repeatCount);
    else if (action == KeyboardAction::shiftDown)
        m_gearService.shiftDown(repeatCount);
    const QString name = KeyboardActions::displayName(action);
    const qint64 gear = m_gearService.currentVirtualGear();
    addLog(repeatCount < 2
               ? QStringLiteral("Keyboard: %1 → Gear %2").arg(name).arg(gear)
               : QStringLiteral("Keyboard: %1 x%2 → Gear %3").arg(name).arg(repeatCount).arg(gear));
}
