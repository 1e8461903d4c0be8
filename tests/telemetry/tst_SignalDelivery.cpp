#include "TelemetryRig.h"
#include "support/TestRegistry.h"
#include "telemetry/SignalManager.h"
#include "telemetry/TelemetryManager.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

using Answer = IngestionServer::Answer;

namespace {

constexpr int deliveryTimeoutMs = 10000;

QStringList sequence(int from, int to)
{
    QStringList values;
    for (int i = from; i <= to; ++i)
        values.append(QString::number(i));
    return values;
}

void queue(TelemetryManager& manager, int from, int to)
{
    const qsizetype before = manager.signalManager().queuedCount();
    for (int i = from; i <= to; ++i)
        manager.signal(QStringLiteral("rideEvent"), {{QStringLiteral("seq"), QString::number(i)}});
    QTRY_COMPARE(manager.signalManager().queuedCount(), before + (to - from + 1));
}

} // namespace

// The real sender against a real HTTP server on loopback.
class tst_SignalDelivery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deliversInOrderThroughFailures_data()
    {
        QTest::addColumn<QList<Answer>>("script");
        QTest::addColumn<int>("requests");

        QTest::newRow("200") << QList<Answer>{} << 1;
        QTest::newRow("500 then 200") << QList<Answer>{Answer::withStatus(500)} << 2;
        QTest::newRow("503 three times")
            << QList<Answer>{Answer::withStatus(503), Answer::withStatus(503), Answer::withStatus(503)} << 4;
        QTest::newRow("connection reset") << QList<Answer>{Answer::resetConnection()} << 2;
        QTest::newRow("no answer") << QList<Answer>{Answer::noAnswer()} << 2;
        QTest::newRow("408 and 504") << QList<Answer>{Answer::withStatus(408), Answer::withStatus(504)} << 3;
    }

    void deliversInOrderThroughFailures()
    {
        QFETCH(QList<Answer>, script);
        QFETCH(int, requests);

        TelemetryRig rig;
        rig.server.script = script;
        TelemetryManager manager(rig.configuration());
        queue(manager, 1, 5);
        manager.signalManager().checkForSignalsAndSend();

        QTRY_COMPARE_WITH_TIMEOUT(rig.server.delivered(), sequence(1, 5), deliveryTimeoutMs);
        QCOMPARE(rig.server.requests().size(), requests);
        QTRY_COMPARE(manager.signalManager().queuedCount(), 0);
        // Nothing was sent twice once accepted, and the journal holds nothing more.
        QFile journal(rig.journalPath());
        QVERIFY(journal.open(QIODevice::ReadOnly));
        QCOMPARE(journal.readAll(), QByteArray());
    }

    void requestIsThePostOfTheService()
    {
        TelemetryRig rig;
        TelemetryManagerConfiguration configuration = rig.configuration();
        configuration.telemetryNamespace = QStringLiteral("acme");
        TelemetryManager manager(configuration);
        queue(manager, 1, 1);
        manager.signalManager().checkForSignalsAndSend();
        QTRY_COMPARE(rig.server.requests().size(), 1);

        const IngestionServer::Request& request = rig.server.requests().constFirst();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QByteArray("/v2/namespace/acme/"));
        QCOMPARE(request.headers.value("content-type"), QByteArray("application/json"));
        const QJsonObject record = request.records.at(0).toObject();
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\+0000$"))
                    .match(record.value(QStringLiteral("receivedAt")).toString())
                    .hasMatch());
        QCOMPARE(record.value(QStringLiteral("appID")).toString(),
                 QStringLiteral("3F2C8A10-5B7D-4E21-9C44-A1B2C3D4E5F6"));
        QCOMPARE(record.value(QStringLiteral("type")).toString(), QStringLiteral("rideEvent"));
        QCOMPARE(record.value(QStringLiteral("isTestMode")).toString(), QStringLiteral("false"));
        QVERIFY(!record.contains(QStringLiteral("floatValue")));
        QCOMPARE(record.value(QStringLiteral("clientUser")).toString().size(), 64);
        QCOMPARE(
            record.value(QStringLiteral("payload")).toObject().value(QStringLiteral("platform")).toString(),
            QStringLiteral("Linux"));
    }

    void batchesOfAHundredOldestFirst()
    {
        TelemetryRig rig;
        TelemetryManager manager(rig.configuration());
        queue(manager, 1, 250);
        for (const int expected : {100, 200, 250}) {
            manager.signalManager().checkForSignalsAndSend();
            // The next firing finds the answer processed: one request in flight at a time.
            QTRY_COMPARE_WITH_TIMEOUT(manager.signalManager().queuedCount(), 250 - expected,
                                      deliveryTimeoutMs);
        }
        QCOMPARE(rig.server.delivered(), sequence(1, 250));
        QCOMPARE(rig.server.requests().size(), 3);
    }

    void retryAfterIsHonoured()
    {
        TelemetryRig rig;
        rig.server.script = {Answer::withStatus(429, "1")};
        TelemetryManager manager(rig.configuration());
        queue(manager, 1, 2);
        manager.signalManager().checkForSignalsAndSend();
        QTRY_COMPARE_WITH_TIMEOUT(rig.server.delivered(), sequence(1, 2), deliveryTimeoutMs);
        const auto& requests = rig.server.requests();
        QVERIFY(requests.at(1).receivedAtMs - requests.at(0).receivedAtMs >= 900);
    }

    void refusedBatchesAreDropped_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("400") << 400;
        QTest::newRow("401") << 401;
        QTest::newRow("501") << 501;
    }

    void refusedBatchesAreDropped()
    {
        QFETCH(int, status);
        TelemetryRig rig;
        rig.server.script = {Answer::withStatus(status)};
        TelemetryManager manager(rig.configuration());
        queue(manager, 1, 3);
        manager.signalManager().checkForSignalsAndSend();
        QTRY_COMPARE(manager.signalManager().queuedCount(), 0);
        QCOMPARE(rig.logged(QStringLiteral("dropped 3 signals")).size(), 1);

        queue(manager, 4, 4);
        manager.signalManager().checkForSignalsAndSend();
        QTRY_COMPARE_WITH_TIMEOUT(rig.server.delivered(), QStringList{QStringLiteral("4")},
                                  deliveryTimeoutMs);
    }

    void tooLargeBatchesAreSplit()
    {
        TelemetryRig rig;
        rig.server.script = {Answer::withStatus(413)};
        TelemetryManager manager(rig.configuration());
        queue(manager, 1, 100);
        manager.signalManager().checkForSignalsAndSend();
        QTRY_COMPARE_WITH_TIMEOUT(manager.signalManager().queuedCount(), 50, deliveryTimeoutMs);
        manager.signalManager().checkForSignalsAndSend();
        QTRY_COMPARE_WITH_TIMEOUT(rig.server.delivered(), sequence(1, 100), deliveryTimeoutMs);
        QCOMPARE(rig.server.requests().at(1).records.size(), 50);
    }

    void aSingleRecordStillTooLargeIsDropped()
    {
        TelemetryRig rig;
        rig.server.script = {Answer::withStatus(413)};
        TelemetryManager manager(rig.configuration());
        queue(manager, 1, 1);
        manager.signalManager().checkForSignalsAndSend();
        QTRY_COMPARE(manager.signalManager().queuedCount(), 0);
        QCOMPARE(rig.logged(QStringLiteral("Dropped the signal rideEvent")).size(), 1);
        queue(manager, 2, 2);
        manager.signalManager().checkForSignalsAndSend();
        QTRY_COMPARE_WITH_TIMEOUT(rig.server.delivered(), QStringList{QStringLiteral("2")},
                                  deliveryTimeoutMs);
    }

    void optingOutDeletesTheQueueAndKeepsNothing()
    {
        TelemetryRig rig;
        rig.server.script = {Answer::noAnswer()};
        TelemetryManager manager(rig.configuration());
        queue(manager, 1, 3);
        QVERIFY(QFile::exists(rig.journalPath()));
        manager.signalManager().checkForSignalsAndSend();
        QTRY_COMPARE(rig.server.requests().size(), 1);

        manager.setAnalyticsDisabled(true);
        manager.signal(QStringLiteral("rideEvent"), {{QStringLiteral("seq"), QStringLiteral("4")}});
        QTRY_VERIFY(!QFile::exists(rig.journalPath()));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(manager.signalManager().queuedCount(), 0);
        manager.signalManager().checkForSignalsAndSend();
        manager.signalManager().flush();
        QCOMPARE(rig.server.requests().size(), 1);
    }

    void plainHttpIsForLoopbackOnly()
    {
        QVERIFY(!TelemetryManagerConfiguration::refusalFor(
            QUrl(QStringLiteral("https://analytics.cogwise.app/"))));
        QVERIFY(!TelemetryManagerConfiguration::refusalFor(QUrl(QStringLiteral("http://127.0.0.1:8080/"))));
        QVERIFY(!TelemetryManagerConfiguration::refusalFor(QUrl(QStringLiteral("http://[::1]:8080/"))));
        QVERIFY(TelemetryManagerConfiguration::refusalFor(QUrl(QStringLiteral("http://example.com/"))));
        QVERIFY(TelemetryManagerConfiguration::refusalFor(QUrl(QStringLiteral("ftp://127.0.0.1/"))));

        TelemetryRig rig;
        TelemetryManagerConfiguration configuration = rig.configuration();
        configuration.apiBaseURL = QUrl(QStringLiteral("http://analytics.example.invalid/"));
        TelemetryManager manager(configuration);
        queue(manager, 1, 1);
        manager.signalManager().checkForSignalsAndSend();
        QTRY_VERIFY(
            !rig.logged(QStringLiteral("Unable to construct signal API URL for namespace nil")).isEmpty());
        QCOMPARE(manager.signalManager().queuedCount(), 1); // kept, in case the setting is mended
    }
};

COGWISE_TEST(tst_SignalDelivery)
#include "tst_SignalDelivery.moc"
