#include "shifting/TrainerApp.h"

const QList<TrainerApp>& TrainerApp::all()
{
    static const QList<TrainerApp> apps{
        {QStringLiteral("rouvy"), QStringLiteral("Rouvy"), VirtualKey::period(), VirtualKey::comma()},
        {QStringLiteral("mywhoosh"), QStringLiteral("MyWhoosh"), VirtualKey::fromName(QStringLiteral("i")),
         VirtualKey::fromName(QStringLiteral("k"))},
        {QStringLiteral("custom"), QStringLiteral("Custom"), std::nullopt, std::nullopt},
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
