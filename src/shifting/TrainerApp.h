#pragma once

#include "shifting/VirtualKey.h"

#include <QList>
#include <QString>
#include <optional>

// A trainer app and the keys it shifts with. Adding an app is one entry in all().
struct TrainerApp
{
    QString id;   // stored, and taken by --trainer-app
    QString name; // shown
    // None for Custom, which presses the keys the rider picked.
    std::optional<VirtualKey> shiftUpKey;
    std::optional<VirtualKey> shiftDownKey;
    // Where the app runs and how Cogwise reaches it, in one line under the picker.
    QString whereItRuns;
    // What the rider should know about its keys; empty for most.
    QString note;

    bool isCustom() const { return !shiftUpKey; }

    // In the order shown; Custom last.
    static const QList<TrainerApp>& all();
    static const TrainerApp* find(const QString& id);
    // Rouvy, whose keys Cogwise has always sent.
    static const TrainerApp& defaultApp();
    static const TrainerApp& custom();
};
