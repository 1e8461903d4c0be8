#include "shifting/UserDefaultsManager.h"

#include "diagnostics/Logger.h"
#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"
#include "shifting/GearService.h"
#include "shifting/KeySequencer.h"

#include <algorithm>

namespace {

const QString logCategory = QStringLiteral("Storage");

Logger& logger()
{
    return Logger::shared();
}

} // namespace

const QString UserDefaultsManager::profileKey = SettingsKeys::activeButtonProfile();
const QString UserDefaultsManager::unreadableProfileKey =
    SettingsKeys::activeButtonProfile() + QStringLiteral(".corrupt");

UserDefaultsManager::UserDefaultsManager(Defaults& defaults)
    : m_defaults(defaults)
{
    if (const auto& copy = m_defaults.preservedUnreadableFile()) {
        logger().logError(
            QStringLiteral("The settings file %1 could not be read completely; a copy of it was kept at %2")
                .arg(m_defaults.fileName(), *copy),
            logCategory);
    }
}

std::pair<std::optional<ButtonProfile>, std::optional<QByteArray>> UserDefaultsManager::readStored() const
{
    const auto bytes = m_defaults.dataValue(profileKey);
    if (!bytes)
        return {};
    auto decoded = ButtonProfile::fromJson(*bytes);
    if (auto* error = std::get_if<QString>(&decoded)) {
        logger().logError(QStringLiteral("Failed to decode button profile: ") + *error, logCategory);
        return {std::nullopt, bytes};
    }
    return {std::get<ButtonProfile>(std::move(decoded)), std::nullopt};
}

std::optional<ButtonProfile> UserDefaultsManager::storedButtonProfile() const
{
    return readStored().first;
}

void UserDefaultsManager::setStoredButtonProfile(const ButtonProfile& profile)
{
    const auto encoded = profile.toJson();
    if (const auto* error = std::get_if<QString>(&encoded)) {
        logger().logError(QStringLiteral("Failed to encode button profile: ") + *error, logCategory);
        return;
    }
    m_defaults.setData(profileKey, std::get<QByteArray>(encoded));
    if (!m_defaults.lastWriteSucceeded())
        logger().logError(QStringLiteral("Failed to write the settings file ") + m_defaults.fileName(),
                          logCategory);
    logger().logDebug(QStringLiteral("Saved button profile: ") + profile.name, logCategory);
}

ButtonProfile UserDefaultsManager::loadOrCreateProfile()
{
    const auto [stored, unreadable] = readStored();
    if (stored) {
        logger().logDebug(QStringLiteral("Loaded existing button profile: ") + stored->name, logCategory);
        return *stored;
    }
    if (unreadable) {
        m_defaults.setData(unreadableProfileKey, *unreadable);
        logger().logError(QStringLiteral("Kept the unreadable button profile under ") + unreadableProfileKey,
                          logCategory);
    }
    const ButtonProfile profile = ButtonProfile::makeDefault(m_clock);
    setStoredButtonProfile(profile);
    logger().logDebug(QStringLiteral("Created new default button profile"), logCategory);
    return profile;
}

void UserDefaultsManager::updateButtonConfig(qint64 button, KeyboardAction action, qint64 repeatCount)
{
    ButtonProfile profile = loadOrCreateProfile();
    profile.buttonConfigs.insert(button, {action, repeatCount});
    profile.updatedAt = m_clock();
    setStoredButtonProfile(profile);
}

void UserDefaultsManager::resetProfileToDefaults()
{
    ButtonProfile profile = loadOrCreateProfile();
    profile.buttonConfigs = defaultButtonConfigs();
    profile.updatedAt = m_clock();
    setStoredButtonProfile(profile);
    logger().logInfo(QStringLiteral("Reset button profile to defaults"), logCategory);
}

bool UserDefaultsManager::isKeyboardEmulationEnabled() const
{
    return m_defaults.boolValue(SettingsKeys::enableKeyboardEmulation());
}

void UserDefaultsManager::setKeyboardEmulationEnabled(bool enabled)
{
    m_defaults.setBool(SettingsKeys::enableKeyboardEmulation(), enabled);
}

qint64 UserDefaultsManager::initialVirtualGear() const
{
    const qint64 stored = m_defaults.integerValue(SettingsKeys::initialVirtualGear());
    if (stored < GearService::minGear || stored > GearService::maxGear)
        return defaultInitialGear;
    return stored;
}

void UserDefaultsManager::setInitialVirtualGear(qint64 gear)
{
    m_defaults.setInteger(SettingsKeys::initialVirtualGear(),
                          std::clamp(gear, GearService::minGear, GearService::maxGear));
}

std::chrono::milliseconds UserDefaultsManager::keyHold() const
{
    const qint64 stored = m_defaults.integerValue(SettingsKeys::keyHoldMilliseconds());
    return std::clamp(std::chrono::milliseconds{stored}, KeySequencer::minHold, KeySequencer::maxHold);
}

void UserDefaultsManager::setKeyHold(std::chrono::milliseconds hold)
{
    m_defaults.setInteger(SettingsKeys::keyHoldMilliseconds(),
                          std::clamp(hold, KeySequencer::minHold, KeySequencer::maxHold).count());
}

std::chrono::milliseconds UserDefaultsManager::keyPause() const
{
    const qint64 stored = m_defaults.integerValue(SettingsKeys::keyPauseMilliseconds());
    if (stored == 0)
        return KeySequencer::defaultPause; // absent
    return std::clamp(std::chrono::milliseconds{stored}, KeySequencer::minPause, KeySequencer::maxPause);
}

void UserDefaultsManager::setKeyPause(std::chrono::milliseconds pause)
{
    m_defaults.setInteger(SettingsKeys::keyPauseMilliseconds(),
                          std::clamp(pause, KeySequencer::minPause, KeySequencer::maxPause).count());
}
