#pragma once

#include "shifting/ButtonConfig.h"
#include "shifting/KeySequencer.h"
#include "shifting/KeySink.h"

#include <QObject>
#include <functional>

class UserDefaultsManager;

// Turns one Di2 button press into the key presses mapped to that button, queued on
// the key sequencer, and keeps the stored profile in step with every mapping change.
class Di2ToKeyboardBridge : public QObject
{
    Q_OBJECT

public:
    Di2ToKeyboardBridge(UserDefaultsManager& storage, KeySink& keySink, QObject* parent = nullptr);
    // Releases a key that is down, so that quitting never leaves one pressed.
    ~Di2ToKeyboardBridge() override;

    bool isEnabled() const { return m_isEnabled; }
    void setEnabled(bool enabled);

    const ButtonConfigs& buttonConfigs() const { return m_buttonConfigs; }
    KeySink& keySink() const { return m_keySink; }
    KeySequencer& keySequencer() { return m_sequencer; }

    // The mapping and the trainer app's keys, as stored.
    void loadConfiguration();
    // After the trainer app or its custom keys changed.
    void reloadShiftKeys();
    // arrivalNs: when the press's Bluetooth value reached Cogwise (MonotonicTime), or 0.
    void handleButtonPress(qint64 button, qint64 arrivalNs = 0);
    void setAction(qint64 button, KeyboardAction action);
    void setRepeatCount(qint64 button, qint64 count);
    // The key the `key` action presses for this button; also makes that its action.
    void setButtonKey(qint64 button, VirtualKey key);
    void resetToDefaults();
    void disableAllButtons();
    // Releases a key that is down and drops the presses still queued.
    void cancelPending() { m_sequencer.cancel(); }
    // Whether Cogwise's own window has the keyboard focus: keys typed on this computer would
    // land in it, so none are.
    void setOwnWindowInFront(std::function<bool()> inFront) { m_ownWindowInFront = std::move(inFront); }

Q_SIGNALS:
    // In a task of its own after each sequence's last key event, so that listeners never
    // delay the keys. A sequence cut short reports the presses that did go out.
    void didSimulate(KeyboardAction action, qint64 repeatCount, const QString& keyLabel);
    // From a press's Bluetooth value to its first key handed to the system, in nanoseconds;
    // in a task of its own, for presses whose arrival is known.
    void pressTimed(qint64 latencyNs);
    // A press of a mapped button typed nothing, and why, in a sentence. The virtual gear follows
    // only what was typed, as the trainer app does.
    void notTyped(const QString& why);

private:
    std::optional<VirtualKey> keyFor(const ButtonConfig& config) const;
    void store(qint64 button, const ButtonConfig& config);

    bool m_isEnabled = false;
    UserDefaultsManager& m_storage;
    ButtonConfigs m_buttonConfigs;
    VirtualKey m_shiftUpKey = VirtualKey::period();
    VirtualKey m_shiftDownKey = VirtualKey::comma();
    KeySink& m_keySink;
    std::function<bool()> m_ownWindowInFront;
    KeySequencer m_sequencer;
};
