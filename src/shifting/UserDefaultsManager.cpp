#include "shifting/UserDefaultsManager.h"

#include "diagnostics/Logger.h"
#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"
#include "shifting/GearService.h"
#include "shifting/KeySequencer.h"

#include <algorithm>

namespace {

const QString userDefaultsManagerLog = QStringLiteral("Storage");

} // namespace

const QString UserDefaultsManager::profileKey = SettingsKeys::activeButtonProfile();
const QString UserDefaultsManager::unreadableProfileKey =
    SettingsKeys::activeButtonProfile() + QStringLiteral(".corrupt");

UserDefaultsManager::UserDefaultsManager(Defaults& defaults)
    : m_defaults(defaults)
{
    if (const auto& copy = m_defaults.preservedUnreadableFile()) {
        Logger::shared().logError(
            QStringLiteral("The settings file %1 could not be read completely; a copy of it was kept at %2")
                .arg(m_defaults.fileName(), *copy),
            userDefaultsManagerLog);
    }
    if (m_defaults.fileLeftUnread()) {
        QStringList keys;
        for (const auto& value : m_defaults.refusedValues())
            keys.append(value.key);
        Logger::shared().logError(
            QStringLiteral("The settings %1 declare more data than they hold, and the settings file "
                           "could not be rewritten without them: it was left unread and untouched, "
                           "settings start from their defaults and are not saved")
                .arg(keys.join(QStringLiteral(", "))),
            userDefaultsManagerLog);
    } else {
        for (const auto& value : m_defaults.refusedValues()) {
            Logger::shared().logError(
                QStringLiteral("The setting %1 in %2 declares more data than it holds and was not "
                               "decoded; its text was kept under %3")
                    .arg(value.key, m_defaults.fileName(), value.keptUnder),
                userDefaultsManagerLog);
        }
    }
    for (const QString& key : m_defaults.preservedDamagedValues()) {
        Logger::shared().logError(
            QStringLiteral("The setting %1 in %2 could not be decoded; its text was kept under %1.corrupt")
                .arg(key, m_defaults.fileName()),
            userDefaultsManagerLog);
    }
}

std::pair<std::optional<ButtonProfile>, std::optional<UserDefaultsManager::Unreadable>>
UserDefaultsManager::readStored() const
{
    if (!m_defaults.contains(profileKey))
        return {};
    const auto bytes = m_defaults.dataValue(profileKey);
    std::optional<QString> error;
    if (bytes) {
        auto decoded = ButtonProfile::fromJson(*bytes);
        if (auto* profile = std::get_if<ButtonProfile>(&decoded))
            return {std::move(*profile), std::nullopt};
        error = std::get<QString>(decoded);
    }
    // A profile written by hand without "@ByteArray(…)" is taken apart by the settings file's
    // own syntax (split at its commas, its quotes removed): its text in the file may still be it.
    const auto text = m_defaults.fileText(profileKey);
    if (text && (!bytes || text->toUtf8() != *bytes)) {
        auto decoded = ButtonProfile::fromJson(text->toUtf8());
        if (auto* profile = std::get_if<ButtonProfile>(&decoded)) {
            Logger::shared().logInfo(QStringLiteral("Read the button profile from its text in ") +
                                         m_defaults.fileName(),
                                     userDefaultsManagerLog);
            return {std::move(*profile), std::nullopt};
        }
        if (!error)
            error = std::get<QString>(decoded);
    }
    Logger::shared().logError(QStringLiteral("Failed to decode button profile: ") +
                                  error.value_or(QStringLiteral("the stored value is not text")),
                              userDefaultsManagerLog);
    if (bytes)
        return {std::nullopt, Unreadable(*bytes)};
    if (text)
        return {std::nullopt, Unreadable(*text)};
    return {};
}

std::optional<ButtonProfile> UserDefaultsManager::storedButtonProfile() const
{
    return readStored().first;
}

void UserDefaultsManager::setStoredButtonProfile(const ButtonProfile& profile)
{
    const auto encoded = profile.toJson();
    if (const auto* error = std::get_if<QString>(&encoded)) {
        Logger::shared().logError(QStringLiteral("Failed to encode button profile: ") + *error,
                                  userDefaultsManagerLog);
        return;
    }
    m_defaults.setData(profileKey, std::get<QByteArray>(encoded));
    if (!m_defaults.lastWriteSucceeded()) {
        Logger::shared().logError(QStringLiteral("Failed to write the settings file ") +
                                      m_defaults.fileName(),
                                  userDefaultsManagerLog);
        return;
    }
    Logger::shared().logDebug(QStringLiteral("Saved button profile: ") + profile.name,
                              userDefaultsManagerLog);
}

ButtonProfile UserDefaultsManager::loadOrCreateProfile()
{
    const auto [stored, unreadable] = readStored();
    if (stored) {
        Logger::shared().logDebug(QStringLiteral("Loaded existing button profile: ") + stored->name,
                                  userDefaultsManagerLog);
        return *stored;
    }
    if (unreadable) {
        if (const auto* bytes = std::get_if<QByteArray>(&*unreadable))
            m_defaults.setData(unreadableProfileKey, *bytes);
        else
            m_defaults.setString(unreadableProfileKey, std::get<QString>(*unreadable));
        Logger::shared().logError(QStringLiteral("Kept the unreadable button profile under ") +
                                      unreadableProfileKey,
                                  userDefaultsManagerLog);
    }
    const ButtonProfile profile = ButtonProfile::makeDefault(m_clock);
    setStoredButtonProfile(profile);
    Logger::shared().logDebug(QStringLiteral("Created new default button profile"), userDefaultsManagerLog);
    return profile;
}

void UserDefaultsManager::updateButtonConfig(qint64 button, const ButtonConfig& config)
{
    ButtonProfile profile = loadOrCreateProfile();
    profile.buttonConfigs.insert(button, config);
    profile.updatedAt = m_clock();
    setStoredButtonProfile(profile);
}

void UserDefaultsManager::resetProfileToDefaults()
{
    ButtonProfile profile = loadOrCreateProfile();
    profile.buttonConfigs = defaultButtonConfigs();
    profile.updatedAt = m_clock();
    setStoredButtonProfile(profile);
    Logger::shared().logInfo(QStringLiteral("Reset button profile to defaults"), userDefaultsManagerLog);
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

const TrainerApp& UserDefaultsManager::trainerApp() const
{
    const auto id = m_defaults.stringValue(SettingsKeys::trainerApp());
    const TrainerApp* app = id ? TrainerApp::find(*id) : nullptr;
    return app ? *app : TrainerApp::defaultApp();
}

void UserDefaultsManager::setTrainerApp(const TrainerApp& app)
{
    m_defaults.setString(SettingsKeys::trainerApp(), app.id);
}

namespace {

QString customKeySetting(KeyboardAction shift)
{
    return shift == KeyboardAction::shiftUp ? SettingsKeys::customShiftUpKey()
                                            : SettingsKeys::customShiftDownKey();
}

QString exactCustomKeySetting(KeyboardAction shift)
{
    return shift == KeyboardAction::shiftUp ? SettingsKeys::customShiftUpExactKey()
                                            : SettingsKeys::customShiftDownExactKey();
}

VirtualKey rouvyKey(KeyboardAction shift)
{
    const TrainerApp& rouvy = TrainerApp::defaultApp();
    return *(shift == KeyboardAction::shiftUp ? rouvy.shiftUpKey : rouvy.shiftDownKey);
}

} // namespace

VirtualKey UserDefaultsManager::customShiftKey(KeyboardAction shift) const
{
    const auto key =
        VirtualKey::fromStoredNames(m_defaults.stringValue(customKeySetting(shift)).value_or(QString()),
                                    m_defaults.stringValue(exactCustomKeySetting(shift)).value_or(QString()));
    return key.value_or(rouvyKey(shift));
}

void UserDefaultsManager::setCustomShiftKey(KeyboardAction shift, VirtualKey key)
{
    m_defaults.setString(customKeySetting(shift), key.nameForEarlierVersions());
    if (key.nameForEarlierVersions() == key.name())
        m_defaults.remove(exactCustomKeySetting(shift));
    else
        m_defaults.setString(exactCustomKeySetting(shift), key.name());
}

VirtualKey UserDefaultsManager::shiftKey(KeyboardAction shift) const
{
    const TrainerApp& app = trainerApp();
    if (app.isCustom())
        return customShiftKey(shift);
    return *(shift == KeyboardAction::shiftUp ? app.shiftUpKey : app.shiftDownKey);
}

std::optional<KeyMatching> UserDefaultsManager::keyMatching() const
{
    const auto stored = m_defaults.stringValue(SettingsKeys::keyMatching());
    if (stored == QLatin1String("character"))
        return KeyMatching::character;
    if (stored == QLatin1String("physical"))
        return KeyMatching::physicalKey;
    return std::nullopt;
}

void UserDefaultsManager::setKeyMatching(KeyMatching matching)
{
    m_defaults.setString(SettingsKeys::keyMatching(), matching == KeyMatching::character
                                                          ? QStringLiteral("character")
                                                          : QStringLiteral("physical"));
}
