#pragma once

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

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheck);
    // downloadUrl is empty unless a newer version is out.
    void resultReady(const QString& title, const QString& text, const QUrl& downloadUrl);

private:
    void setCanCheckForUpdates(bool canCheck);

    QPointer<Updater> m_updater;
    Analytics& m_analytics;
    bool m_canCheckForUpdates = false;
};
