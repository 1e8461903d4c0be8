#pragma once

#include <QMetaType>
#include <QObject>
#include <QUrl>
#include <QVersionNumber>

class QNetworkAccessManager;

// "Check for Updates…": reads a small JSON feed, {"version": "1.2.0", "url": "https://…"},
// and tells whether a newer version than the running one is out.
class Updater : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)

public:
    struct Result
    {
        enum class Kind { upToDate, newerVersion, failed };
        Kind kind = Kind::failed;
        QString version;  // the feed's, for newerVersion and upToDate
        QUrl downloadUrl; // for newerVersion
        QString error;    // for failed, one sentence
    };

    static constexpr auto requestTimeout = std::chrono::seconds{30};

    // COGWISE_UPDATE_FEED when set, else the feed built in (none when empty).
    static QUrl defaultFeed();

    Updater(QUrl feed, QVersionNumber currentVersion, QObject* parent = nullptr);
    ~Updater() override;

    // Checking becomes possible once started, when a usable feed is configured.
    void start();
    bool canCheckForUpdates() const { return m_canCheck; }
    Q_INVOKABLE void checkForUpdates();

    // Reads the feed's answer; exposed for tests of odd feeds.
    static Result evaluate(const QByteArray& feed, const QVersionNumber& currentVersion);

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheck);
    void checkFinished(const Updater::Result& result);

private:
    void setCanCheck(bool canCheck);
    void finish(const Result& result);

    QUrl m_feed;
    QVersionNumber m_currentVersion;
    QNetworkAccessManager* m_network;
    bool m_started = false;
    bool m_checking = false;
    bool m_canCheck = false;
};

Q_DECLARE_METATYPE(Updater::Result)
