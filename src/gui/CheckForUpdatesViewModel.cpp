#include "gui/CheckForUpdatesViewModel.h"

#include "analytics/Analytics.h"
#include "app/Updater.h"

#include <QCoreApplication>
#include <QDir>

CheckForUpdatesViewModel::CheckForUpdatesViewModel(Updater& updater, Analytics& analytics, QObject* parent)
    : QObject(parent)
    , m_updater(&updater)
    , m_analytics(analytics)
    , m_runner([this](const QString& program, const QStringList& arguments, ExternalProgram::Done done) {
        ExternalProgram::run(*this, program, arguments, std::move(done));
    })
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
        case Updater::Result::Kind::newerVersion: {
            const QString news = QStringLiteral("Cogwise %1 is now available—you have %2.")
                                     .arg(result.version, QCoreApplication::applicationVersion());
            if (m_installedByPackageManager)
                Q_EMIT resultReady(QStringLiteral("A new version of Cogwise is available!"),
                                   news + QStringLiteral(" Cogwise came with your system's package manager: "
                                                         "update it there, for example with "
                                                         "“sudo apt update && sudo apt upgrade”."),
                                   {});
            else
                Q_EMIT resultReady(QStringLiteral("A new version of Cogwise is available!"), news,
                                   result.downloadUrl);
            break;
        }
        case Updater::Result::Kind::failed:
            Q_EMIT resultReady(
                QStringLiteral("Could Not Check for Updates"),
                result.error + QStringLiteral(" Check the internet connection and try again later."), {});
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

void CheckForUpdatesViewModel::openDownload(const QUrl& page)
{
    m_runner(QStringLiteral("xdg-open"), {page.toString()}, [this, page](std::optional<QString> error) {
        if (error)
            Q_EMIT resultReady(
                QStringLiteral("Could Not Open the Download Page"),
                QStringLiteral("No web browser could open the download page (%1). Open %2 in a "
                               "browser yourself.")
                    .arg(*error, page.toString()),
                {});
    });
}

bool CheckForUpdatesViewModel::runsFromSystemPackage()
{
    return QDir(QCoreApplication::applicationDirPath()) == QDir(QStringLiteral("/usr/bin"));
}

void CheckForUpdatesViewModel::setCanCheckForUpdates(bool canCheck)
{
    if (canCheck == m_canCheckForUpdates)
        return;
    m_canCheckForUpdates = canCheck;
    Q_EMIT canCheckForUpdatesChanged(canCheck);
}
