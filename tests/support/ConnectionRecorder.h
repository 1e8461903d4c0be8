#pragma once

#include "bluetooth/ConnectionService.h"

#include <QObject>
#include <QStringList>

// Keeps what a connection service tells the layer above: its states (as descriptions),
// the lines for the event log, and the button presses with their values' arrival.
struct ConnectionRecorder : QObject
{
    explicit ConnectionRecorder(ConnectionService& service)
    {
        connect(&service, &ConnectionService::connectionStateChanged, this,
                [this](const ConnectionState& state) { states.append(state.description()); });
        connect(&service, &ConnectionService::messageLogged, this,
                [this](const QString& text) { messages.append(text); });
        connect(&service, &ConnectionService::buttonsPressed, this,
                [this](const QList<int>& buttons, qint64 arrivalNs) {
                    presses.append(buttons);
                    arrivals.append(arrivalNs);
                });
    }

    QStringList states;
    QStringList messages;
    QList<QList<int>> presses;
    QList<qint64> arrivals; // when each press's value reached the service (MonotonicTime)
};
