#include "analytics/Analytics.h"

#include "telemetry/Telemetry.h"

#include <QCoreApplication>
#include <QMetaEnum>

Analytics::Analytics(Sender sender, QObject* parent)
    : QObject(parent)
    , m_sender(sender ? std::move(sender) : [](const QString& name, const Parameters& parameters) {
        Telemetry::signal(name, parameters);
    })
{}

Analytics& Analytics::shared()
{
    static Analytics* instance = [] {
        auto* analytics = new Analytics;
        if (auto* app = QCoreApplication::instance())
            analytics->moveToThread(app->thread());
        return analytics;
    }();
    return *instance;
}

QString Analytics::rawValue(TelemetrySignal event)
{
    return QString::fromLatin1(QMetaEnum::fromType<TelemetrySignal>().valueToKey(static_cast<int>(event)));
}

void Analytics::track(TelemetrySignal event, const Parameters& parameters)
{
    QMetaObject::invokeMethod(
        this, [this, name = rawValue(event), parameters] { m_sender(name, parameters); },
        Qt::QueuedConnection);
}
