#pragma once

#include "shifting/ButtonConfig.h"
#include "shifting/Di2ToKeyboardBridge.h"
#include "shifting/TrainerApp.h"

#include <QObject>

class Analytics;
class UserDefaultsManager;

// Keyboard emulation towards the rest of the application: the persisted on/off
// switch, the mapping of the four Di2 buttons as shown, mapping edits with their
// analytics events, and the relay of completed key sequences. The bridge holds the
// switch and the mapping that presses use; this service only reads them from it.
class KeyboardService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isEnabled READ isEnabled WRITE setEnabled NOTIFY isEnabledChanged)

public:
    KeyboardService(UserDefaultsManager& storage, KeySink& keySink, Analytics& analytics,
                    QObject* parent = nullptr);

    bool isEnabled() const { return m_bridge.isEnabled(); }
    // Every write, also of the current value, persists it and switches the bridge to it; on
    // asks the desktop for consent where the key sink needs it and lacks it;
    // off also stops a sequence under way.
    void setEnabled(bool enabled);

    // Exactly the four Di2 buttons; one without a mapping does nothing, once.
    ButtonConfigs buttonConfigs() const;

    void handleButtonPress(qint64 button, qint64 arrivalNs = 0)
    {
        m_bridge.handleButtonPress(button, arrivalNs);
    }
    // Releases a key that is down and drops the presses still queued.
    void cancelPending() { m_bridge.cancelPending(); }
    KeySequencer& keySequencer() { return m_bridge.keySequencer(); }
    KeySink& keySink() const { return m_bridge.keySink(); }
    // Stored, and applied to the keys from the next press on.
    std::chrono::milliseconds keyHold() const;
    void setKeyHold(std::chrono::milliseconds hold);
    std::chrono::milliseconds keyPause() const;
    void setKeyPause(std::chrono::milliseconds pause);

    void setAction(qint64 button, KeyboardAction action);
    void setRepeatCount(qint64 button, qint64 count);
    void setButtonKey(qint64 button, VirtualKey key);

    // Whose keys the shifts press; stored.
    const TrainerApp& trainerApp() const;
    void setTrainerApp(const TrainerApp& app);
    // What shiftUp or shiftDown presses now.
    VirtualKey shiftKey(KeyboardAction shift) const;
    // The keys Custom presses; picking one does not switch to Custom by itself.
    VirtualKey customShiftKey(KeyboardAction shift) const;
    void setCustomShiftKey(KeyboardAction shift, VirtualKey key);

    KeyMatching keyMatching() const { return m_bridge.keySink().keyMatching(); }
    // Stored once the sink matches keys that way; otherwise why it cannot, and nothing changes.
    std::optional<QString> setKeyMatching(KeyMatching matching);
    void resetToDefaults();
    void disableAllButtons();
    // Keys typed on this computer while Cogwise's own window has the focus would land in it.
    void setOwnWindowInFront(std::function<bool()> inFront)
    {
        m_bridge.setOwnWindowInFront(std::move(inFront));
    }

Q_SIGNALS:
    void isEnabledChanged(bool enabled);
    // Only when the four buttons' mapping differs from before the edit.
    void buttonConfigsChanged();
    // The trainer app, or a key of Custom, changed.
    void trainerAppChanged();
    void keyMatchingChanged();
    // A completed key sequence, as the bridge reports it.
    void didSimulate(KeyboardAction action, qint64 repeatCount, const QString& keyLabel);
    // As the bridge reports it.
    void pressTimed(qint64 latencyNs);
    // As the bridge reports it.
    void notTyped(const QString& why);

private:
    void notifyIfChanged(const ButtonConfigs& before);

    Di2ToKeyboardBridge m_bridge;
    UserDefaultsManager& m_storage;
    Analytics& m_analytics;
};
