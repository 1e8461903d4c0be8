#pragma once

#include "platform/Clock.h"
#include "shifting/ButtonProfile.h"

#include <optional>

class Defaults;

// Keeps the active button profile as JSON under "activeButtonProfile" in the settings.
// Every operation re-reads the stored profile, so all holders see each other's changes.
class UserDefaultsManager
{
public:
    static const QString profileKey;
    // Where an unreadable profile is kept before a default replaces it, for recovery by hand.
    static const QString unreadableProfileKey;

    explicit UserDefaultsManager(Defaults& defaults);

    Defaults& defaults() const { return m_defaults; }
    void setClock(Clock clock) { m_clock = std::move(clock); }

    std::optional<ButtonProfile> storedButtonProfile() const;
    void setStoredButtonProfile(const ButtonProfile& profile);

    ButtonProfile loadOrCreateProfile();
    void updateButtonConfig(qint64 button, KeyboardAction action, qint64 repeatCount);
    void resetProfileToDefaults();

    QDateTime now() const { return m_clock(); }

private:
    // The decoded profile; or, for bytes that are not one, nothing and the bytes.
    std::pair<std::optional<ButtonProfile>, std::optional<QByteArray>> readStored() const;

    Defaults& m_defaults;
    Clock m_clock = systemNow;
};
