#include "gui/CheckForUpdatesViewModel.h"

#include "analytics/Analytics.h"
#include "app/Updater.h"

#include <QCoreApplication>

CheckForUpdatesViewModel::CheckForUpdatesViewModel(Updater& updater, Analytics& analytics, QObject* parent)
    : QObject(parent)
    , m_updater(&updater)
    , m_analytics(analytics)
{
    setCanCheckForUpdates(updater.canCheckForUpdates());
    connect(&updater, &Updater::canCheckForUpdatesChanged, this,
            &CheckForUpdatesViewModel::setCanCheckForUpdates);
    connect(&updater, &Updater::checkFinished, this, [this](const Updater::Result& result) {
        switch (result.kind) {
        case Updater::Result::Kind::upToDate:
            Q_EMIT resultReady(QStringLiteral("You're up to date!"),
                               QStringLiteral("Cogwise %1 is currently the newest version available.")
                                   .arg(QCoreApplication::applicationVersion()),
                               {});
            break;
        case Updater::Result::Kind::newerVersion:
            Q_EMIT resultReady(QStringLiteral("A new version of Cogwise is available!"),
                               QStringLiteral("Cogwise %1 is now available—you have %2.")
                                   .arg(result.version, QCoreApplication::applicationVersion()),
                               result.downloadUrl);
            break;
        case Updater::Result::Kind::failed:
            Q_EMIT resultReady(QStringLiteral("Update Error!"), result.error, {});
            break;
        }
    });
}

void CheckForUpdatesViewModel::checkForUpdates()
{
    if (!m_canCheckForUpdates || !m_updater)
        return;
    m_analytics.track(Analytics::TelemetrySignal::checkForUpdatesClicked);
    m_updater->checkForUpdates();
}

void CheckForUpdatesViewModel::setCanCheckForUpdates(bool canCheck)
{
    if (canCheck == m_canCheckForUpdates)
        return;
    m_canCheckForUpdates = canCheck;
    Q_EMIT canCheckForUpdatesChanged(canCheck);
}
