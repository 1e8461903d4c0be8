#pragma once

#include "telemetry/SignalCache.h"
#include "telemetry/TelemetryManagerConfiguration.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QThread>

class PrivateSuite;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// Builds signal records and delivers them in batches, in order, one request at a
// time, on a thread of its own. Failed batches stay at the head of the queue and
// are retried with growing pauses; batches the service refuses for good are dropped.
class SignalManager
{
public:
    SignalManager(const TelemetryManagerConfiguration& configuration, PrivateSuite& suite);
    ~SignalManager();
    SignalManager(const SignalManager&) = delete;
    SignalManager& operator=(const SignalManager&) = delete;

    // From the GUI thread: the parameters are combined already, `defaultPayload` read there.
    void processSignal(const QString& type, const QMap<QString, QString>& parameters,
                       std::optional<double> floatValue, const std::optional<QString>& customUserID,
                       const QMap<QString, QString>& defaultPayload);

    void setConfiguration(const TelemetryManagerConfiguration& configuration);
    // Opting out stops sending, deletes the queue's journal and keeps no new record.
    void setAnalyticsDisabled(bool disabled);

    // Sends the next batch now, unless one is in flight or the sender is backing off.
    void checkForSignalsAndSend();

    // Blocks until everything handed over so far has been processed (tests, tools).
    void flush();
    qsizetype queuedCount();

    static QString journalFileName() { return QStringLiteral("telemetrysignalcache"); }

private:
    struct State;
    void runOnWorker(std::function<void(State&)> work);

    void start(State& state);
    void sendNext(State& state);
    void send(State& state, const QList<SignalCache::Entry>& batch);
    void finish(State& state, QNetworkReply* reply, const QList<SignalCache::Entry>& batch);
    void backOff(State& state, std::optional<std::chrono::milliseconds> retryAfter);
    std::optional<QUrl> endpoint(const State& state) const;

    PrivateSuite& m_suite;
    QThread m_thread;
    QObject* m_worker;
    std::unique_ptr<State> m_state; // touched on m_thread only
};
