#include "TelemetryRig.h"
#include "support/TestRegistry.h"
#include "telemetry/SignalEnricher.h"
#include "telemetry/SignalManager.h"
#include "telemetry/TelemetryManager.h"
#include "telemetry/TelemetryPresets.h"

#include <QFile>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

using namespace Qt::StringLiterals;

using Answer = IngestionServer::Answer;

namespace {

constexpr int deliveryTimeoutMs = 10000;

// Adds the same parameters to every signal.
struct FixedEnricher final : SignalEnricher
{
    QMap<QString, QString> values;
    explicit FixedEnricher(QMap<QString, QString> map)
        : values(std::move(map))
    {}
    QMap<QString, QString> enrich(const QString&, const std::optional<QString>&,
                                  std::optional<double>) override
    {
        return values;
    }
};

// Queues the records `from` to `to`, and has the sender try at once unless told not to.
void queue(TelemetryManager& manager, int from, int to, bool send = true)
{
    const qsizetype before = manager.signalManager().queuedCount();
    for (int i = from; i <= to; ++i)
        manager.signal(u"rideEvent"_s, {{u"seq"_s, QString::number(i)}});
    QTRY_COMPARE(manager.signalManager().queuedCount(), before + (to - from + 1));
    if (send)
        manager.signalManager().checkForSignalsAndSend();
}

} // namespace

// The real sender against a real HTTP server on loopback.
class tst_SignalDelivery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every answer but a 2xx keeps the batch for the next try (which ones: tst_DeliveryPolicy), redirects
    // included: each is a failed attempt of ours, not one the network library follows elsewhere.
    void deliversInOrderThroughFailures_data()
    {
        QTest::addColumn<QList<Answer>>("script");
        QTest::newRow("200") << QList<Answer>{};
        QTest::newRow("503 three times")
            << QList<Answer>{Answer::withStatus(503), Answer::withStatus(503), Answer::withStatus(503)};
        QTest::newRow("connection reset") << QList<Answer>{Answer::resetConnection()};
        QTest::newRow("no answer") << QList<Answer>{Answer::noAnswer()};
        QTest::newRow("307 to another path") << QList<Answer>{Answer::redirect(307, "/elsewhere/")};
        // ELSEWHERE: the other server's URL, known once it listens.
        QTest::newRow("308 to another host") << QList<Answer>{Answer::redirect(308, "ELSEWHERE")};
        QTest::newRow("a loop on itself") << QList<Answer>{
            Answer::redirect(301, "/v2/"), Answer::redirect(302, "/v2/"), Answer::redirect(303, "/v2/"),
            Answer::redirect(307, "/v2/"), Answer::redirect(308, "/v2/")};
    }

    void deliversInOrderThroughFailures()
    {
        QFETCH(QList<Answer>, script);
        TelemetryRig rig;
        IngestionServer elsewhere;
        qsizetype redirects = 0;
        for (Answer& answer : script) {
            redirects += answer.status / 100 == 3;
            if (answer.location == "ELSEWHERE")
                answer.location = elsewhere.baseUrl().toLatin1() + "v2/";
        }
        rig.server.script = script;
        TelemetryManager manager(rig.configuration());
        queue(manager, 1, 5);

        QTRY_COMPARE_WITH_TIMEOUT(rig.server.delivered(), sequenceNumbers(1, 5), deliveryTimeoutMs);
        QCOMPARE(rig.server.requests().size(), script.size() + 1);
        for (const IngestionServer::Request& request : rig.server.requests())
            QCOMPARE(request.path, QByteArray("/v2/"));
        QVERIFY(elsewhere.requests().isEmpty());
        QCOMPARE(rig.logged(u"ERROR Invalid status code 3"_s).size(), redirects);
        QTRY_COMPARE(manager.signalManager().queuedCount(), 0);
        // Nothing was sent twice once accepted, and the journal holds nothing more.
        QFile journal(rig.journalPath());
        QVERIFY(journal.open(QIODevice::ReadOnly));
        QCOMPARE(journal.readAll(), QByteArray());
    }

    // What reaches the service, and which of the caller's, the enrichers' and the defaults' values win.
    void requestIsThePostOfTheService()
    {
        TelemetryRig rig;
        TelemetryManagerConfiguration configuration = rig.configuration();
        configuration.telemetryNamespace = u"acme"_s;
        configuration.metadataEnrichers = {
            std::make_shared<FixedEnricher>(
                QMap<QString, QString>{{u"shared"_s, u"first"_s}, {u"mine"_s, u"enricher"_s}}),
            std::make_shared<FixedEnricher>(QMap<QString, QString>{{u"shared"_s, u"second"_s}}),
        };
        configuration.defaultParameters = [] { return QMap<QString, QString>{{u"mine"_s, u"default"_s}}; };
        TelemetryManager manager(configuration);
        manager.signal(u"rideEvent"_s, {{u"Telemetry.Device.platform"_s, u"Pedal"_s}}, 1.5);
        QTRY_COMPARE(manager.signalManager().queuedCount(), 1);
        configuration.testMode = true;
        manager.setConfiguration(configuration);
        manager.signal(u"b"_s);
        QTRY_COMPARE(manager.signalManager().queuedCount(), 2);
        manager.signalManager().checkForSignalsAndSend();
        QTRY_COMPARE(rig.server.requests().size(), 1);

        const IngestionServer::Request& request = rig.server.requests().constFirst();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QByteArray("/v2/namespace/acme/"));
        QCOMPARE(request.headers.value("content-type"), QByteArray("application/json"));
        const QJsonObject record = request.records.at(0).toObject();
        QVERIFY(QRegularExpression(u"^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\+0000$"_s)
                    .match(record.value(u"receivedAt"_s).toString())
                    .hasMatch());
        QCOMPARE(record.value(u"appID"_s).toString(), u"3F2C8A10-5B7D-4E21-9C44-A1B2C3D4E5F6"_s);
        QCOMPARE(record.value(u"type"_s).toString(), u"rideEvent"_s);
        QCOMPARE(record.value(u"isTestMode"_s).toString(), u"false"_s);
        QCOMPARE(record.value(u"floatValue"_s).toDouble(), 1.5);
        QCOMPARE(record.value(u"clientUser"_s).toString().size(), 64);
        const QJsonObject payload = record.value(u"payload"_s).toObject();
        QCOMPARE(payload.value(u"platform"_s).toString(), u"Linux"_s);
        QCOMPARE(payload.value(u"Telemetry.Device.platform"_s).toString(), u"Pedal"_s);
        QCOMPARE(payload.value(u"shared"_s).toString(), u"second"_s);
        QCOMPARE(payload.value(u"mine"_s).toString(), u"default"_s); // the signal's own
        const QJsonObject second = request.records.at(1).toObject();
        QCOMPARE(second.value(u"isTestMode"_s).toString(), u"true"_s);
        QVERIFY(!second.contains(u"floatValue"_s));
        QCOMPARE(second.value(u"clientUser"_s), record.value(u"clientUser"_s)); // one stored identifier
    }

    void batchesOfAHundredOldestFirst()
    {
        TelemetryRig rig;
        TelemetryManager manager(rig.configuration());
        queue(manager, 1, 250);
        for (const int expected : {100, 200, 250}) {
            // The next firing finds the answer processed: one request in flight at a time.
            QTRY_COMPARE_WITH_TIMEOUT(manager.signalManager().queuedCount(), 250 - expected,
                                      deliveryTimeoutMs);
            manager.signalManager().checkForSignalsAndSend();
        }
        QCOMPARE(rig.server.delivered(), sequenceNumbers(1, 250));
        QCOMPARE(rig.server.requests().size(), 3);
    }

    // A number no service means: the configured cap holds, and the pause is waited out all the same
    // (the parser's other numbers: tst_DeliveryPolicy::retryAfter).
    void retryAfterIsHonouredWithinItsCap()
    {
        TelemetryRig rig;
        rig.server.script = {Answer::withStatus(429, "9223372036854775807")};
        TelemetryManagerConfiguration configuration = rig.configuration();
        configuration.maximumRetryAfter = std::chrono::milliseconds{600};
        TelemetryManager manager(configuration);
        queue(manager, 1, 2);
        QTRY_COMPARE_WITH_TIMEOUT(rig.server.delivered(), sequenceNumbers(1, 2), deliveryTimeoutMs);
        const auto& requests = rig.server.requests();
        QCOMPARE(requests.size(), 2);
        QVERIFY(requests.at(1).receivedAtMs - requests.at(0).receivedAtMs >= 550);
    }

    // Halved until the one record is found (which answers split a batch: tst_DeliveryPolicy::classify).
    void onlyTheRecordTheServiceBlamesIsDropped()
    {
        TelemetryRig rig;
        rig.server.judge = [](const IngestionServer::Request& request) {
            for (const QJsonValue& record : request.records) {
                if (record.toObject().value(u"payload"_s).toObject().value(u"seq"_s) == u"3"_s)
                    return Answer::withStatus(413);
            }
            return Answer::withStatus(200);
        };
        TelemetryManagerConfiguration configuration = rig.configuration();
        configuration.sendInterval = std::chrono::milliseconds{20}; // the halves go out on firings
        TelemetryManager manager(configuration);
        queue(manager, 1, 5);
        QTRY_COMPARE_WITH_TIMEOUT(manager.signalManager().queuedCount(), 0, deliveryTimeoutMs);
        QCOMPARE(rig.server.delivered(), (QStringList{u"1"_s, u"2"_s, u"4"_s, u"5"_s}));
        QCOMPARE(rig.logged(u"Dropped the signal rideEvent the service refuses"_s).size(), 1);
    }

    void longAnswersAreNotRead()
    {
        constexpr qint64 hundredMegabytes = 100'000'000;
        TelemetryRig rig;
        rig.server.script = {Answer::withLongBody(hundredMegabytes)};
        TelemetryManager manager(rig.configuration());
        queue(manager, 1, 2);
        QTRY_COMPARE_WITH_TIMEOUT(manager.signalManager().queuedCount(), 0, deliveryTimeoutMs);
        QCOMPARE(rig.server.delivered(), sequenceNumbers(1, 2)); // the status line said 200
        QCOMPARE(rig.logged(u"Stopped reading an answer of the service"_s).size(), 1);
        // The client hung up long before the end: the server could not write the body out.
        QVERIFY(rig.server.requests().constFirst().answerBodyBytesSent < hundredMegabytes / 4);
    }

    void optingOutDeletesTheQueueAndKeepsNothing()
    {
        TelemetryRig rig;
        rig.server.script = {Answer::noAnswer()};
        TelemetryManager manager(rig.configuration());
        queue(manager, 1, 3);
        QTRY_COMPARE(rig.server.requests().size(), 1);
        QVERIFY(QFile::exists(rig.journalPath()));

        manager.setAnalyticsDisabled(true);
        manager.signal(u"rideEvent"_s, {{u"seq"_s, u"4"_s}});
        QTRY_VERIFY(!QFile::exists(rig.journalPath()));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(manager.signalManager().queuedCount(), 0);
        manager.signalManager().checkForSignalsAndSend();
        manager.signalManager().flush();
        QCOMPARE(rig.server.requests().size(), 1);
    }

    void ratingsOutsideZeroToTenAreNotSent_data()
    {
        QTest::addColumn<int>("rating");
        QTest::addColumn<bool>("sent");
        QTest::newRow("-1") << -1 << false;
        QTest::newRow("0") << 0 << true;
        QTest::newRow("10") << 10 << true;
        QTest::newRow("11") << 11 << false;
        QTest::newRow("int max") << std::numeric_limits<int>::max() << false;
    }

    void ratingsOutsideZeroToTenAreNotSent()
    {
        QFETCH(int, rating);
        QFETCH(bool, sent);
        TelemetryRig rig;
        TelemetryManager manager(rig.configuration());
        TelemetryPresets::userRatingSubmitted(manager, rating, u"smooth"_s);
        manager.signal(u"rideEvent"_s, {{u"seq"_s, u"1"_s}});
        // In order: once the ride event is queued, so is the rating, if anything.
        QTRY_VERIFY(manager.signalManager().queuedCount() >= 1);
        QCOMPARE(manager.signalManager().queuedCount(), sent ? 2 : 1);
        manager.signalManager().checkForSignalsAndSend();
        QTRY_VERIFY_WITH_TIMEOUT(rig.server.delivered(u"seq"_s).contains(u"1"_s), deliveryTimeoutMs);
        QCOMPARE(rig.server.delivered(u"Telemetry.Referral.ratingValue"_s).first(),
                 sent ? QString::number(rating) : QString());
        QCOMPARE(rig.server.requests().constFirst().records.size(), sent ? 2 : 1);
        QCOMPARE(rig.logged(u"Rating must be between 0 and 10"_s),
                 sent ? QStringList() : QStringList{u"ERROR Rating must be between 0 and 10"_s});
        QVERIFY(rig.logged(u"reserved"_s).isEmpty());
    }

    // The client's troubles (the service down, say) are not the rider's: the terminal shows
    // them only when asked to.
    void troublesReachTheTerminalOnlyWhenAskedFor_data()
    {
        QTest::addColumn<bool>("onTerminal");
        QTest::newRow("quiet") << false;
        QTest::newRow("verbose") << true;
    }
    void troublesReachTheTerminalOnlyWhenAskedFor()
    {
        QFETCH(bool, onTerminal);
        static QStringList terminal;
        terminal.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& message) { terminal.append(message); });
        const auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
        LogHandler::standard(LogHandler::LogLevel::info, onTerminal)
            .log(LogHandler::LogLevel::error, u"Invalid status code 503"_s);
        QCOMPARE(!terminal.filter(u"[Telemetry] [LogHandler] "_s).isEmpty(), onTerminal);
    }

    void plainHttpIsForLoopbackOnly()
    {
        QVERIFY(!TelemetryManagerConfiguration::refusalFor(QUrl(u"https://analytics.cogwise.app/"_s)));
        QVERIFY(!TelemetryManagerConfiguration::refusalFor(QUrl(u"http://127.0.0.1:8080/"_s)));
        QVERIFY(!TelemetryManagerConfiguration::refusalFor(QUrl(u"http://[::1]:8080/"_s)));
        QVERIFY(TelemetryManagerConfiguration::refusalFor(QUrl(u"http://example.com/"_s)));
        QVERIFY(TelemetryManagerConfiguration::refusalFor(QUrl(u"ftp://127.0.0.1/"_s)));

        TelemetryRig rig;
        TelemetryManagerConfiguration configuration = rig.configuration();
        configuration.apiBaseURL = QUrl(u"http://analytics.example.invalid/"_s);
        TelemetryManager manager(configuration);
        queue(manager, 1, 1);
        QTRY_VERIFY(!rig.logged(u"Unable to construct signal API URL for namespace nil"_s).isEmpty());
        QCOMPARE(manager.signalManager().queuedCount(), 1); // kept, in case the setting is mended
    }
};

COGWISE_TEST(tst_SignalDelivery)
#include "tst_SignalDelivery.moc"
