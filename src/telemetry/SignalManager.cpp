#include "telemetry/SignalManager.h"

#include "telemetry/DeliveryPolicy.h"
#include "telemetry/PrivateSuite.h"
#include "telemetry/TelemetryError.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTimer>

struct SignalManager::State
{
    explicit State(TelemetryManagerConfiguration initial)
        : configuration(std::move(initial))
    {}

    TelemetryManagerConfiguration configuration;
    std::unique_ptr<SignalCache> cache;
    QNetworkAccessManager* network = nullptr;
    QTimer* sendTimer = nullptr;
    QTimer* retryTimer = nullptr;
    QPointer<QNetworkReply> inFlight;
    QByteArray answer; // of the reply in flight, at most maximumAnswerBytes
    bool answerCut = false;
    QDeadlineTimer retryNotBefore; // expired: free to send
    int consecutiveFailures = 0;
    qsizetype batchLimit = SignalCache::maximumNumberOfSignalsToPopAtOnce;

    void log(LogHandler::LogLevel level, const QString& message) const
    {
        if (configuration.logHandler)
            configuration.logHandler->log(level, message);
    }
};

namespace {

// The service answers with a few bytes of JSON; anything longer is not worth holding.
constexpr qint64 maximumAnswerBytes = 4 * 1024;

QString journalPath(const TelemetryManagerConfiguration& configuration)
{
    QString directory = configuration.cacheDirectory;
    if (directory.isEmpty())
        directory = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (directory.isEmpty())
        return {}; // no cache directory: the queue lives in memory only
    QDir().mkpath(directory);
    return QDir(directory).filePath(SignalManager::journalFileName());
}

bool isUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    [[maybe_unused]] const QString text = decoder(bytes);
    return !decoder.hasError();
}

} // namespace

SignalManager::SignalManager(const TelemetryManagerConfiguration& configuration, PrivateSuite& suite)
    : m_suite(suite)
    , m_worker(new QObject)
    , m_state(std::make_unique<State>(configuration))
{
    m_thread.setObjectName(QStringLiteral("TelemetrySender"));
    m_worker->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_worker, [this] { start(*m_state); }, Qt::BlockingQueuedConnection);
}

SignalManager::~SignalManager()
{
    QMetaObject::invokeMethod(
        m_worker,
        [this] {
            State& state = *m_state;
            // Forgotten first: an abort we asked for is no failure to report or retry.
            if (QNetworkReply* reply = std::exchange(state.inFlight, nullptr))
                reply->abort();
            state.log(LogHandler::LogLevel::debug, QStringLiteral("appWillTerminate()"));
            state.cache->save();
            delete state.network; // with its replies, on the thread that made them
            delete state.sendTimer;
            delete state.retryTimer;
            state.cache.reset();
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
}

void SignalManager::runOnWorker(std::function<void(State&)> work)
{
    QMetaObject::invokeMethod(
        m_worker, [this, work = std::move(work)] { work(*m_state); }, Qt::QueuedConnection);
}

void SignalManager::start(State& state)
{
    const bool preview = state.configuration.isPreviewMode();
    state.cache = std::make_unique<SignalCache>(
        state.configuration.analyticsDisabled ? QString() : journalPath(state.configuration),
        preview ? std::nullopt : state.configuration.logHandler);
    if (state.configuration.analyticsDisabled)
        QFile::remove(journalPath(state.configuration));
    state.network = new QNetworkAccessManager;
    state.retryTimer = new QTimer;
    state.retryTimer->setSingleShot(true);
    QObject::connect(state.retryTimer, &QTimer::timeout, m_worker, [this, &state] {
        // A coarse timer may fire a little before the deadline it was set for.
        state.retryNotBefore = QDeadlineTimer();
        sendNext(state);
    });
    state.sendTimer = new QTimer;
    state.sendTimer->setInterval(state.configuration.sendInterval);
    QObject::connect(state.sendTimer, &QTimer::timeout, m_worker, [this, &state] { sendNext(state); });
    sendNext(state);
    state.sendTimer->start();
}

void SignalManager::processSignal(const QString& type, const QMap<QString, QString>& parameters,
                                  std::optional<double> floatValue,
                                  const std::optional<QString>& customUserID,
                                  const QMap<QString, QString>& defaultPayload)
{
    runOnWorker([this, type, parameters, floatValue, customUserID, defaultPayload](State& state) {
        const TelemetryManagerConfiguration& configuration = state.configuration;
        if (configuration.analyticsDisabled)
            return;

        QMap<QString, QString> enriched;
        for (const auto& enricher : configuration.metadataEnrichers)
            enriched.insert(enricher->enrich(type, customUserID, floatValue));
        QMap<QString, QString> payload = defaultPayload;
        payload.insert(enriched);
        payload.insert(parameters);

        const QString user = customUserID                ? *customUserID
                             : configuration.defaultUser ? *configuration.defaultUser
                                                         : m_suite.defaultUserIdentifier();
        SignalPostBody body;
        body.receivedAt = QDateTime::currentDateTimeUtc();
        body.appID = configuration.telemetryAppID;
        body.clientUser = SignalPostBody::hashedUser(user, configuration.salt);
        body.sessionID = configuration.sessionID.toString(QUuid::WithoutBraces).toUpper();
        body.type = type;
        body.floatValue = floatValue;
        body.payload = payload;
        body.isTestMode =
            configuration.testMode.value_or(false) ? QStringLiteral("true") : QStringLiteral("false");
        state.log(LogHandler::LogLevel::debug, QStringLiteral("Process signal: ") + body.description());
        state.cache->push(body);
    });
}

void SignalManager::setConfiguration(const TelemetryManagerConfiguration& configuration)
{
    runOnWorker([configuration](State& state) {
        const bool disabled = state.configuration.analyticsDisabled;
        state.configuration = configuration;
        state.configuration.analyticsDisabled = disabled; // changed through setAnalyticsDisabled only
    });
}

void SignalManager::setAnalyticsDisabled(bool disabled)
{
    runOnWorker([disabled](State& state) {
        if (state.configuration.analyticsDisabled == disabled)
            return;
        state.configuration.analyticsDisabled = disabled;
        if (QNetworkReply* reply = std::exchange(state.inFlight, nullptr))
            reply->abort();
        const std::optional<LogHandler> handler =
            state.configuration.isPreviewMode() ? std::nullopt : state.configuration.logHandler;
        if (disabled) {
            state.cache->clear();
            state.cache = std::make_unique<SignalCache>(QString(), handler);
        } else {
            state.cache = std::make_unique<SignalCache>(journalPath(state.configuration), handler);
        }
    });
}

void SignalManager::checkForSignalsAndSend()
{
    runOnWorker([this](State& state) { sendNext(state); });
}

void SignalManager::flush()
{
    QMetaObject::invokeMethod(
        m_worker, [] {}, Qt::BlockingQueuedConnection);
}

qsizetype SignalManager::queuedCount()
{
    qsizetype count = 0;
    QMetaObject::invokeMethod(
        m_worker, [this, &count] { count = m_state->cache->count(); }, Qt::BlockingQueuedConnection);
    return count;
}

void SignalManager::sendNext(State& state)
{
    state.log(LogHandler::LogLevel::debug,
              QStringLiteral("Current signal cache count: %1").arg(state.cache->count()));
    if (state.configuration.analyticsDisabled || state.inFlight || !state.retryNotBefore.hasExpired())
        return;
    const QList<SignalCache::Entry> batch = state.cache->peek(state.batchLimit);
    if (batch.isEmpty())
        return;
    state.log(LogHandler::LogLevel::info, QStringLiteral("Sending %1 signals leaving a cache of %2 signals")
                                              .arg(batch.size())
                                              .arg(state.cache->count() - batch.size()));
    send(state, batch);
}

std::optional<QUrl> SignalManager::endpoint(const State& state) const
{
    const TelemetryManagerConfiguration& configuration = state.configuration;
    if (const auto refusal = TelemetryManagerConfiguration::refusalFor(configuration.apiBaseURL)) {
        state.log(LogHandler::LogLevel::error, *refusal);
        return std::nullopt;
    }
    const QString ns = configuration.telemetryNamespace.value_or(QString());
    const QString path = ns.isEmpty() ? QStringLiteral("/v2/") : QStringLiteral("/v2/namespace/%1/").arg(ns);
    const QUrl url = configuration.apiBaseURL.resolved(QUrl(path)).adjusted(QUrl::NormalizePathSegments);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

void SignalManager::send(State& state, const QList<SignalCache::Entry>& batch)
{
    const auto url = endpoint(state);
    if (!url) {
        state.log(LogHandler::LogLevel::error,
                  QStringLiteral("Unable to construct signal API URL for namespace %1")
                      .arg(state.configuration.telemetryNamespace.value_or(QStringLiteral("nil"))));
        state.log(LogHandler::LogLevel::error,
                  TelemetryError{TelemetryError::Kind::invalidEndpointUrl}.description());
        backOff(state, std::nullopt);
        return;
    }

    QJsonArray records;
    for (const SignalCache::Entry& entry : batch)
        records.append(entry.body.toJson(SignalPostBody::DateEncoding::wire));
    const QByteArray body = QJsonDocument(records).toJson(QJsonDocument::Compact);
    state.log(LogHandler::LogLevel::debug, QString::fromUtf8(body));

    QNetworkRequest request(*url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(int(state.configuration.requestTimeout.count()));
    // A redirect would re-post the batch wherever it points; it is answered like a 5xx instead.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = state.network->post(request, body);
    reply->setReadBufferSize(maximumAnswerBytes);
    state.inFlight = reply;
    state.answer.clear();
    state.answerCut = false;
    QObject::connect(reply, &QNetworkReply::readyRead, m_worker, [&state, reply] {
        if (state.inFlight != reply)
            return;
        state.answer += reply->read(maximumAnswerBytes - state.answer.size());
        if (reply->bytesAvailable() > 0 && !state.answerCut) {
            // The status line decides; a body this long is no answer of the service's.
            state.answerCut = true;
            state.log(LogHandler::LogLevel::error,
                      QStringLiteral("Stopped reading an answer of the service longer than %1 bytes")
                          .arg(maximumAnswerBytes));
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, m_worker, [this, &state, reply, batch] {
        reply->deleteLater();
        if (state.inFlight == reply)
            finish(state, reply, batch);
    });
}

void SignalManager::finish(State& state, QNetworkReply* reply, const QList<SignalCache::Entry>& batch)
{
    state.inFlight = nullptr;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int statusCode = status.isValid() ? status.toInt() : 0;
    if (!state.answerCut && reply->isOpen())
        state.answer += reply->read(maximumAnswerBytes - state.answer.size());
    const QByteArray answer = std::exchange(state.answer, {});

    switch (DeliveryPolicy::classify(statusCode)) {
    case DeliveryPolicy::Outcome::delivered:
        state.cache->remove(batch);
        state.consecutiveFailures = 0;
        state.batchLimit = SignalCache::maximumNumberOfSignalsToPopAtOnce;
        if (!answer.isEmpty() && isUtf8(answer))
            state.log(LogHandler::LogLevel::debug, QString::fromUtf8(answer));
        return;

    case DeliveryPolicy::Outcome::retry:
        state.log(LogHandler::LogLevel::error, statusCode == 0
                                                   ? reply->errorString()
                                                   : TelemetryError::forStatus(statusCode).description());
        backOff(state,
                DeliveryPolicy::retryAfter(reply->rawHeader("Retry-After"), QDateTime::currentDateTimeUtc(),
                                           state.configuration.maximumRetryAfter));
        return;

    case DeliveryPolicy::Outcome::split:
        state.log(LogHandler::LogLevel::error, TelemetryError::forStatus(statusCode).description());
        if (batch.size() == 1) {
            // The one record the service names: nothing else of the queue goes with it.
            state.log(
                LogHandler::LogLevel::error,
                QStringLiteral("Dropped the signal %1 the service refuses: %2")
                    .arg(batch.constFirst().body.type, TelemetryError::forStatus(statusCode).description()));
            state.cache->remove(batch);
        } else {
            state.batchLimit = batch.size() / 2;
        }
        QMetaObject::invokeMethod(
            m_worker, [this, &state] { sendNext(state); }, Qt::QueuedConnection);
        return;
    }
}

void SignalManager::backOff(State& state, std::optional<std::chrono::milliseconds> retryAfter)
{
    state.consecutiveFailures = std::min(state.consecutiveFailures + 1, 1000); // long past the longest pause
    const TelemetryManagerConfiguration& configuration = state.configuration;
    const auto delay = DeliveryPolicy::retryDelay(
        state.consecutiveFailures, retryAfter, configuration.minimumBackoff, configuration.maximumBackoff,
        configuration.maximumRetryAfter, QRandomGenerator::global()->generateDouble());
    state.retryNotBefore = QDeadlineTimer(delay);
    state.retryTimer->start(delay);
}
