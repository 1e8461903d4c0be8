#pragma once

#include "gui/ExternalProgram.h"

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

class Analytics;
class Updater;

// The "Check for Updates…" menu command and the dialogue with its outcome.
class CheckForUpdatesViewModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Built by the application")
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)

public:
    CheckForUpdatesViewModel(Updater& updater, Analytics& analytics, QObject* parent = nullptr);

    bool canCheckForUpdates() const { return m_canCheckForUpdates; }
    Q_INVOKABLE void checkForUpdates();
    // Opens the download page in the web browser; says so when none could.
    Q_INVOKABLE void openDownload(const QUrl& page);

    // Whether this copy came from the system's package manager (it lives in /usr/bin): then a
    // newer version comes from there too, not from a download that would bypass it.
    static bool runsFromSystemPackage();
    void setInstalledByPackageManager(bool installed) { m_installedByPackageManager = installed; }
    // How xdg-open is run; ExternalProgram::run unless a test says otherwise.
    void setRunner(ExternalProgram::Runner runner) { m_runner = std::move(runner); }

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheck);
    // downloadUrl is empty unless a newer version is out.
    void resultReady(const QString& title, const QString& text, const QUrl& downloadUrl);

private:
    void setCanCheckForUpdates(bool canCheck);

    QPointer<Updater> m_updater;
    Analytics& m_analytics;
    bool m_canCheckForUpdates = false;
    bool m_installedByPackageManager = runsFromSystemPackage();
    ExternalProgram::Runner m_runner;
};
