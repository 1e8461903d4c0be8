#include "app/Updater.h"

#include "diagnostics/Logger.h"
#include "platform/NetworkPolicy.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace {

const QString updaterLog = QStringLiteral("Updater");

Updater::Result failed(const QString& error)
{
    return {Updater::Result::Kind::failed, {}, {}, error};
}

} // namespace

QUrl Updater::defaultFeed()
{
    const QString fromEnvironment = qEnvironmentVariable("COGWISE_UPDATE_FEED");
    return QUrl(fromEnvironment.isEmpty() ? QStringLiteral(COGWISE_UPDATE_FEED) : fromEnvironment);
}

Updater::Updater(QUrl feed, QVersionNumber currentVersion, QObject* parent)
    : QObject(parent)
    , m_feed(std::move(feed))
    , m_currentVersion(std::move(currentVersion))
    , m_network(new QNetworkAccessManager(this))
{}

Updater::~Updater() = default;

void Updater::start()
{
    m_started = true;
    if (!m_feed.isEmpty() && !NetworkPolicy::isAllowedEndpoint(m_feed))
        Logger::shared().logError(
            QStringLiteral("Refusing the update feed %1: only https is allowed").arg(m_feed.toString()),
            updaterLog);
    setCanCheck(NetworkPolicy::isAllowedEndpoint(m_feed));
}

void Updater::setCanCheck(bool canCheck)
{
    if (canCheck == m_canCheck)
        return;
    m_canCheck = canCheck;
    Q_EMIT canCheckForUpdatesChanged(canCheck);
}

void Updater::checkForUpdates()
{
    if (!m_canCheck || m_checking)
        return;
    m_checking = true;
    setCanCheck(false);
    QNetworkRequest request(m_feed);
    request.setTransferTimeout(int(std::chrono::milliseconds(requestTimeout).count()));
    QNetworkReply* reply = m_network->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError && status == 0) {
            finish(failed(
                QStringLiteral("The update server could not be reached: %1.").arg(reply->errorString())));
        } else if (status < 200 || status > 299) {
            finish(failed(QStringLiteral("The update server answered with status %1.").arg(status)));
        } else {
            finish(evaluate(reply->readAll(), m_currentVersion));
        }
    });
}

Updater::Result Updater::evaluate(const QByteArray& feed, const QVersionNumber& currentVersion)
{
    const QJsonObject object = QJsonDocument::fromJson(feed).object();
    const QString versionText = object.value(QStringLiteral("version")).toString();
    const QVersionNumber version = QVersionNumber::fromString(versionText);
    if (version.isNull())
        return failed(QStringLiteral("The update information could not be read."));
    if (version <= currentVersion)
        return {Result::Kind::upToDate, versionText, {}, {}};
    const QUrl url(object.value(QStringLiteral("url")).toString());
    if (!url.isValid() || !(url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http")))
        return failed(QStringLiteral("The update information names no download address."));
    return {Result::Kind::newerVersion, versionText, url, {}};
}

void Updater::finish(const Result& result)
{
    m_checking = false;
    setCanCheck(m_started && NetworkPolicy::isAllowedEndpoint(m_feed));
    if (result.kind == Result::Kind::failed)
        Logger::shared().logError(QStringLiteral("Update check failed: ") + result.error, updaterLog);
    else
        Logger::shared().logInfo(QStringLiteral("Update check: latest version %1").arg(result.version),
                                 updaterLog);
    Q_EMIT checkFinished(result);
}
