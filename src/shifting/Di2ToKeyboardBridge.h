#pragma once

#include "shifting/ButtonConfig.h"
#include "shifting/KeySink.h"

#include <QObject>
#include <chrono>
#include <functional>

class UserDefaultsManager;

// Turns one Di2 button press into the key presses mapped to that button, and keeps
// the stored profile in step with every mapping change.
class Di2ToKeyboardBridge : public QObject
{
    Q_OBJECT

public:
    static constexpr auto pauseBetweenPresses = std::chrono::milliseconds{50};
    using Pause = std::function<void(std::chrono::milliseconds)>;

    Di2ToKeyboardBridge(UserDefaultsManager& storage, KeySink& keySink, QObject* parent = nullptr);

    bool isEnabled() const { return m_isEnabled; }
    void setEnabled(bool enabled);

    const ButtonConfigs& buttonConfigs() const { return m_buttonConfigs; }
    KeySink& keySink() const { return m_keySink; }

    void loadConfiguration();
    void handleButtonPress(qint64 button);
    void setAction(qint64 button, KeyboardAction action);
    void setRepeatCount(qint64 button, qint64 count);
    void resetToDefaults();
    void disableAllButtons();

    // Blocks the calling thread between presses of one sequence; tests record instead.
    void setPause(Pause pause) { m_pause = std::move(pause); }

Q_SIGNALS:
    // In a task of its own after the sequence's last key event, so that listeners never
    // delay the keys.
    void didSimulate(KeyboardAction action, qint64 repeatCount);

private:
    void post(VirtualKey key, KeyDirection direction);

    bool m_isEnabled = false;
    UserDefaultsManager& m_storage;
    ButtonConfigs m_buttonConfigs;
    KeySink& m_keySink;
    Pause m_pause;
};
