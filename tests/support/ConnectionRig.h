#pragma once

#include "analytics/Analytics.h"
#include "bluetooth/BLEConnectionManager.h"
#include "bluetooth/ConnectionService.h"
#include "di2/Di2Parser.h"
#include "platform/Defaults.h"
#include "support/ConnectionRecorder.h"

#include <utility>

// The link and the connection service over a central of the test's (one it plays by hand, the
// simulated unit, or the real QtBluetooth backend), with the settings in a file of the test's,
// the analytics events kept, and what the service tells the layer above recorded.
template<typename Central> struct ConnectionRig
{
    template<typename... CentralArguments>
    explicit ConnectionRig(const QString& settingsPath, const ConnectionService::Timing& timing,
                           CentralArguments&&... arguments)
        : defaults(settingsPath)
        , central(std::forward<CentralArguments>(arguments)...)
    {
        service.setTiming(timing);
    }

    QString state() const { return service.connectionState().description(); }

    Defaults defaults;
    QList<std::pair<QString, Analytics::Parameters>> events;
    Analytics analytics{[this](const QString& name, const Analytics::Parameters& p) {
        events.append({name, p});
    }};
    Central central;
    Di2Parser parser;
    BLEConnectionManager ble{central};
    ConnectionService service{ble, parser, defaults, analytics};
    ConnectionRecorder heard{service};
};
