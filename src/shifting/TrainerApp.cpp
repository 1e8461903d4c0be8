#include "shifting/TrainerApp.h"

const QList<TrainerApp>& TrainerApp::all()
{
    const auto named = [](const char* keysym) { return VirtualKey::fromName(QString::fromLatin1(keysym)); };
    static const QList<TrainerApp> apps{
        {QStringLiteral("rouvy"),
         QStringLiteral("Rouvy"),
         VirtualKey::period(),
         VirtualKey::comma(),
         QStringLiteral(
             "On another device (Windows, Mac, iPad, Android, Apple TV), through the Bluetooth keyboard."),
         {}},
        {QStringLiteral("mywhoosh"),
         QStringLiteral("MyWhoosh"),
         named("i"),
         named("k"),
         QStringLiteral("On this computer under Wine (Lutris), or on another device through the Bluetooth "
                        "keyboard."),
         {}},
        {QStringLiteral("tpv"),
         QStringLiteral("TrainingPeaks Virtual"),
         named("KP_Add"),
         named("KP_Subtract"),
         QStringLiteral(
             "On this computer under Wine, or on a Windows PC or Mac through the Bluetooth keyboard."),
         {}},
        {QStringLiteral("maximumtrainer"),
         QStringLiteral("MaximumTrainer Redux"),
         named("Up"),
         named("Down"),
         QStringLiteral("On this computer, natively."),
         {}},
        // Its train view has no gears: the keys move the load it sets.
        {QStringLiteral("goldencheetah"), QStringLiteral("GoldenCheetah"), named("KP_Add"),
         named("KP_Subtract"), QStringLiteral("On this computer, natively."),
         QStringLiteral("changes ERG watts or slope, not gears")},
        {QStringLiteral("custom"),
         QStringLiteral("Custom"),
         std::nullopt,
         std::nullopt,
         QStringLiteral(
             "Any app that takes keys: on this computer, or on another device through the Bluetooth "
             "keyboard."),
         {}},
    };
    return apps;
}

const TrainerApp* TrainerApp::find(const QString& id)
{
    for (const TrainerApp& app : all()) {
        if (app.id == id)
            return &app;
    }
    return nullptr;
}

const TrainerApp& TrainerApp::defaultApp()
{
    return all().first();
}

const TrainerApp& TrainerApp::custom()
{
    return all().last();
}
