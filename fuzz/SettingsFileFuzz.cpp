// A settings file of any content through the settings store: every key read as its
// type, then one written, as the application does at start.

#include "FuzzInput.h"
#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"

#include <QDir>
#include <QFile>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzInput::application();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString folder = FuzzInput::folder().filePath(QStringLiteral("settings"));
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/Cogwise.conf");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    Defaults defaults(path);
    for (const QString& key : {SettingsKeys::enableKeyboardEmulation(),
                               SettingsKeys::hasCompletedOnboarding(), SettingsKeys::analyticsOptOut()})
        defaults.boolValue(key);
    for (const QString& key : {SettingsKeys::initialVirtualGear(), SettingsKeys::keyHoldMilliseconds(),
                               SettingsKeys::keyPauseMilliseconds()})
        defaults.integerValue(key);
    defaults.stringValue(SettingsKeys::lastConnectedDeviceUUID());
    defaults.dataValue(SettingsKeys::activeButtonProfile());
    // A value refused before QSettings read it is kept as the file spelled it, under a name
    // QSettings can look up wherever it can look up the value's own (not "a//b", say).
    for (const auto& refused : defaults.refusedValues()) {
        if (defaults.contains(refused.key) && defaults.stringValue(refused.keptUnder) != refused.text)
            FuzzInput::broken("a refused value is kept under its own key");
    }
    defaults.setBool(SettingsKeys::hasCompletedOnboarding(), true);
    return 0;
}
