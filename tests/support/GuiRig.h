#pragma once

#include "analytics/Analytics.h"
#include "app/AppGraph.h"
#include "app/SetupCheck.h"
#include "app/Updater.h"
#include "bluetooth/qt/BluetoothAddressId.h"
#include "bluetooth/qt/BluezSetup.h"
#include "bluetooth/simulated/SimulatedCentral.h"
#include "diagnostics/DebugLogService.h"
#include "fakes/RecordingKeySink.h"
#include "gui/CogwiseApp.h"
#include "platform/Defaults.h"
#include "shifting/keysinks/KeyTypingInspector.h"

#include <QStringList>
#include <QTest>
#include <algorithm>
#include <memory>

// The window's objects over the simulated unit, with settings in a file of the test's, analytics
// events and the usage statistics switch recorded and (unless a sink is handed in) keys recorded.
// The setup check looks at this machine.
struct GuiRig
{
    explicit GuiRig(const QString& settingsPath, std::unique_ptr<KeySink> sink = {})
        : defaults(settingsPath)
        , analytics([this](const QString& name, const Analytics::Parameters&) { events.append(name); })
        , updater(QUrl(), QVersionNumber(1))
    {
        if (!sink) {
            auto recording = std::make_unique<RecordingKeySink>(keys);
            recordingSink = recording.get();
            sink = std::move(recording);
        }
        auto central = std::make_unique<SimulatedCentral>();
        simulated = central.get();
        graph = std::make_unique<AppGraph>(defaults, analytics, std::move(central), std::move(sink));
        graph->keyboardService().keySequencer().setPauseBetweenPresses(KeySequencer::minPause);
        setupCheck = std::make_unique<SetupCheck>(
            SetupCheck::Services{defaults, bluetoothSetup, keyTyping, graph->keySink(),
                                 QStringLiteral("The test's choice."), true});
        app = std::make_unique<CogwiseApp>(
            CogwiseApp::Services{*graph, analytics, updater, DebugLogService::shared(), *setupCheck,
                                 [this](bool disabled) { analyticsDisabled.append(disabled); },
                                 // as the window's composition root does: the backend's addresses
                                 [](const QUuid& id) {
                                     const auto address = BluetoothAddressId::address(id);
                                     return address ? address->toString() : QString();
                                 }});
    }

    // A press of `button`, typed to the end: the keys recorded in `into` meanwhile (by default,
    // those of the recording sink).
    QString press(int button, QStringList& into)
    {
        into.clear();
        graph->keyboardService().handleButtonPress(button);
        KeySequencer& sequencer = graph->keyboardService().keySequencer();
        return QTest::qWaitFor([&sequencer] { return sequencer.isIdle(); }) ? into.join(QLatin1Char(';'))
                                                                            : QStringLiteral("still typing");
    }
    QString press(int button) { return press(button, keys); }

    Defaults defaults;
    QStringList events; // analytics event names, in order
    QList<bool> analyticsDisabled;
    QStringList keys;
    Analytics analytics;
    Updater updater;
    SimulatedCentral* simulated = nullptr;
    RecordingKeySink* recordingSink = nullptr;
    std::unique_ptr<AppGraph> graph;
    BluezSetup bluetoothSetup;
    KeyTypingInspector keyTyping;
    std::unique_ptr<SetupCheck> setupCheck;
    std::unique_ptr<CogwiseApp> app;
};

// The scan list's row of the simulated unit; -1 while it is not listed.
inline int unitRow(GuiRig& rig)
{
    const auto& devices = rig.app->scan()->devices()->devices();
    const auto unit = std::find_if(devices.begin(), devices.end(),
                                   [](const DiscoveredDevice& d) { return d.isDi2Device(); });
    return unit == devices.end() ? -1 : int(unit - devices.begin());
}

// Waits for the simulated unit in the scan list and connects to it from there.
inline void connectFromList(GuiRig& rig)
{
    QTRY_VERIFY(unitRow(rig) >= 0);
    rig.app->scan()->connectDevice(unitRow(rig));
    QTRY_VERIFY(rig.graph->connectionService().connectionState().as<ConnectionState::Connected>());
}
