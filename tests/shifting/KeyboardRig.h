#pragma once

#include "analytics/Analytics.h"
#include "fakes/RecordingKeySink.h"
#include "platform/Defaults.h"
#include "shifting/KeyboardService.h"
#include "shifting/ManualScheduler.h"
#include "shifting/UserDefaultsManager.h"

// Keyboard emulation over settings in a file of the test's: keys recorded, analytics event names
// kept, and the sequencer's waits on a clock the test moves.
struct KeyboardRig
{
    explicit KeyboardRig(const QString& settingsPath)
        : defaults(settingsPath)
        , storage(defaults)
        , analytics([this](const QString& name, const Analytics::Parameters&) { events.append(name); })
        , sink(keys)
        , service(storage, sink, analytics)
    {
        auto manual = std::make_unique<ManualScheduler>();
        scheduler = manual.get();
        service.keySequencer().setScheduler(std::move(manual));
    }

    QStringList events;
    QStringList keys;
    Defaults defaults;
    UserDefaultsManager storage;
    Analytics analytics;
    RecordingKeySink sink;
    KeyboardService service;
    ManualScheduler* scheduler = nullptr;
};
