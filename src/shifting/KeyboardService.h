#pragma once

#include "shifting/ButtonConfig.h"
#include "shifting/Di2ToKeyboardBridge.h"

#include <QObject>

class Analytics;
class UserDefaultsManager;

// Keyboard emulation towards the rest of the application: the persisted on/off
// switch, the mapping of the four Di2 buttons as shown, mapping edits with their
// analytics events, and the relay of completed key sequences.
class KeyboardService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isEnabled READ isEnabled WRITE setEnabled NOTIFY isEnabledChanged)

public:
    KeyboardService(UserDefaultsManager& storage, KeySink& keySink, Analytics& analytics,
                    QObject* parent = nullptr);

    bool isEnabled() const { return m_isEnabled; }
    // Every write, also of the current value, persists it and switches the bridge to it.
    void setEnabled(bool enabled);

    const ButtonConfigs& buttonConfigs() const { return m_buttonConfigs; }
    void setButtonConfigs(const ButtonConfigs& configs);

    Di2ToKeyboardBridge& bridge() { return m_bridge; }

    void setAction(qint64 button, KeyboardAction action);
    void setRepeatCount(qint64 button, qint64 count);
    void resetToDefaults();
    void disableAllButtons();

Q_SIGNALS:
    void isEnabledChanged(bool enabled);
    void buttonConfigsChanged();
    // A completed key sequence, as the bridge reports it.
    void didSimulate(KeyboardAction action, qint64 repeatCount);

private:
    void copyFromBridge(qint64 button);

    bool m_isEnabled = false;
    ButtonConfigs m_buttonConfigs;
    Di2ToKeyboardBridge m_bridge;
    UserDefaultsManager& m_storage;
    Analytics& m_analytics;
};
