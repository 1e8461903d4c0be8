#pragma once

#include <QMap>
#include <QObject>
#include <functional>

// The one place through which Cogwise reports usage events to its analytics client.
class Analytics : public QObject
{
    Q_OBJECT

public:
    // The raw value of each event, its name, is the signal name.
    enum class TelemetrySignal {
        appLaunched,
        onboardingCompleted,
        deviceConnected,
        buttonMappingChanged,
        buttonMappingReset,
        accessibilityPermissionGranted,
        checkForUpdatesClicked,
    };
    Q_ENUM(TelemetrySignal)

    using Parameters = QMap<QString, QString>;
    using Sender = std::function<void(const QString& name, const Parameters& parameters)>;

    // Sends through the analytics client; tests hand in their own sender.
    explicit Analytics(Sender sender = {}, QObject* parent = nullptr);

    static Analytics& shared();
    static QString rawValue(TelemetrySignal event);

    // Returns at once: the client gets the event in a later GUI-thread task.
    Q_INVOKABLE void track(TelemetrySignal event, const Parameters& parameters = {});

private:
    Sender m_sender;
};
