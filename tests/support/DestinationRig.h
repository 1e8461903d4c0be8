#pragma once

#include "fakes/FakeRemoteKeySink.h"
#include "platform/SettingsKeys.h"
#include "shifting/KeyDestinationSwitch.h"
#include "support/GuiRig.h"

// Keys typed on this computer (recorded as "47 down") or sent by a fake Bluetooth keyboard
// ("47 down to hci0"), switched from the Settings page; `alive` counts keyboards in existence.
struct DestinationRig
{
    explicit DestinationRig(const QString& settingsPath, KeyDestinationSwitch::Target target,
                            QStringList adapters = {QStringLiteral("hci0")})
    {
        // As at a launch, the settings say where the keys go.
        Defaults(settingsPath)
            .setString(SettingsKeys::keysTo(), target == KeyDestinationSwitch::Target::pairedDevice
                                                   ? QStringLiteral("bluetooth")
                                                   : QStringLiteral("local"));
        KeyDestinationSwitch::Makers makers{[this] { return std::make_unique<RecordingKeySink>(keys); },
                                            [this, adapters](const QString& adapter) {
                                                auto made = std::make_unique<FakeRemoteKeySink>(
                                                    keys, adapter.isEmpty() ? adapters.constFirst() : adapter,
                                                    &alive);
                                                made->adapterList = adapters;
                                                keyboard = made.get();
                                                return made;
                                            }};
        auto made = std::make_unique<KeyDestinationSwitch>(std::move(makers), target);
        keySwitch = made.get();
        rig = std::make_unique<GuiRig>(settingsPath, std::move(made));
    }
    KeyDestinationViewModel& destination() { return *rig->app->settings()->keyDestination(); }
    // A press of the button mapped to "." (Rouvy's shift up), typed to the end.
    QString press() { return rig->press(2, keys); }

    QStringList keys;
    int alive = 0;
    FakeRemoteKeySink* keyboard = nullptr; // the last made
    KeyDestinationSwitch* keySwitch = nullptr;
    std::unique_ptr<GuiRig> rig;
};
