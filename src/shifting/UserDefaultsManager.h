#pragma once

#include "platform/Clock.h"
#include "shifting/ButtonProfile.h"
#include "shifting/KeySink.h"
#include "shifting/TrainerApp.h"

#include <chrono>
#include <optional>
#include <variant>

class Defaults;

// The shifting settings: the active button profile (JSON under "activeButtonProfile"), the
// emulation switch, the initial virtual gear, the key timing, the trainer app with its keys
// and how keys are matched. The only reader and writer of these keys.
// Every operation re-reads the store, so all holders see each other's changes.
class UserDefaultsManager
{
public:
    static const QString profileKey;
    // Where an unreadable profile is kept before a default replaces it, for recovery by hand.
    static const QString unreadableProfileKey;

    explicit UserDefaultsManager(Defaults& defaults);

    // Where a launch starts when no usable initial gear is stored.
    static constexpr qint64 defaultInitialGear = 13;

    void setClock(Clock clock) { m_clock = std::move(clock); }

    std::optional<ButtonProfile> storedButtonProfile() const;
    void setStoredButtonProfile(const ButtonProfile& profile);

    ButtonProfile loadOrCreateProfile();
    void updateButtonConfig(qint64 button, const ButtonConfig& config);
    void resetProfileToDefaults();

    QDateTime now() const { return m_clock(); }

    bool isKeyboardEmulationEnabled() const;
    void setKeyboardEmulationEnabled(bool enabled);

    // The stored gear; the default when none is stored or a hand edit put it outside the gear
    // range. Reading writes nothing.
    qint64 initialVirtualGear() const;
    // How long each key is held and the pause between presses; absent: the sequencer's
    // defaults, hand-edited values outside the ranges clamped.
    std::chrono::milliseconds keyHold() const;
    void setKeyHold(std::chrono::milliseconds hold);
    std::chrono::milliseconds keyPause() const;
    void setKeyPause(std::chrono::milliseconds pause);
    // Clamped into the gear range.
    void setInitialVirtualGear(qint64 gear);

    // Rouvy when none, or one this version does not know, is stored.
    const TrainerApp& trainerApp() const;
    void setTrainerApp(const TrainerApp& app);
    // The keys Custom presses for shiftUp and shiftDown: Rouvy's until the rider picks others.
    VirtualKey customShiftKey(KeyboardAction shift) const;
    void setCustomShiftKey(KeyboardAction shift, VirtualKey key);
    // What shiftUp or shiftDown presses with the current trainer app.
    VirtualKey shiftKey(KeyboardAction shift) const;
    // Nothing: the key sink's own way.
    std::optional<KeyMatching> keyMatching() const;
    void setKeyMatching(KeyMatching matching);

private:
    // What is kept of a stored profile that cannot be read: its bytes, or the file's text
    // where the value is not even bytes (a list, a damaged "@Variant(…)").
    using Unreadable = std::variant<QByteArray, QString>;
    // The decoded profile; or, for a value that is not one, nothing and what to keep of it.
    std::pair<std::optional<ButtonProfile>, std::optional<Unreadable>> readStored() const;

    Defaults& m_defaults;
    Clock m_clock = systemNow;
};
