#include "app/Updater.h"
#include "fakes/IngestionServer.h"
#include "support/DebugLogRecorder.h"
#include "support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>

using Kind = Updater::Result::Kind;

class tst_Updater : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void feeds_data()
    {
        QTest::addColumn<QByteArray>("feed");
        QTest::addColumn<Kind>("kind");
        // A newer version with its link: checksAgainstTheFeed.
        QTest::newRow("same") << QByteArray("{\"version\":\"0.2.0\",\"url\":\"https://cogwise.app/get\"}")
                              << Kind::upToDate;
        QTest::newRow("not JSON") << QByteArray("<html>") << Kind::failed;
        QTest::newRow("newer without a link") << QByteArray("{\"version\":\"1.0\"}") << Kind::failed;
        QTest::newRow("odd link") << QByteArray("{\"version\":\"1.0\",\"url\":\"javascript:alert(1)\"}")
                                  << Kind::failed;
    }

    void feeds()
    {
        QFETCH(QByteArray, feed);
        QFETCH(Kind, kind);
        QCOMPARE(Updater::evaluate(feed, QVersionNumber(0, 2, 0)).kind, kind);
    }

    void checksAgainstTheFeed()
    {
        IngestionServer server;
        server.script = {
            IngestionServer::Answer::withBody("{\"version\":\"0.3.1\",\"url\":\"https://cogwise.app/get\"}"),
            IngestionServer::Answer::withStatus(503)};
        Updater updater(QUrl(server.baseUrl() + QStringLiteral("linux.json")), QVersionNumber(0, 2, 0));
        QVERIFY(!updater.canCheckForUpdates());
        updater.start();
        QVERIFY(updater.canCheckForUpdates());

        QSignalSpy finished(&updater, &Updater::checkFinished);
        updater.checkForUpdates();
        QVERIFY(!updater.canCheckForUpdates()); // one check at a time
        QVERIFY(finished.wait());
        const auto result = finished.takeFirst().at(0).value<Updater::Result>();
        QCOMPARE(result.kind, Kind::newerVersion);
        QCOMPARE(result.downloadUrl, QUrl(QStringLiteral("https://cogwise.app/get")));
        QCOMPARE(server.requests().constFirst().method, QByteArray("GET"));
        QVERIFY(updater.canCheckForUpdates());

        updater.checkForUpdates();
        QVERIFY(finished.wait());
        const auto error = finished.takeFirst().at(0).value<Updater::Result>();
        QCOMPARE(error.kind, Kind::failed);
        QCOMPARE(error.error, QStringLiteral("The update server answered with status 503."));
        DebugLogRecorder::settle();
    }

    void noUsableFeedMeansNoCheck()
    {
        Updater none(QUrl(), QVersionNumber(0, 2, 0));
        none.start();
        QVERIFY(!none.canCheckForUpdates());
        Updater plain(QUrl(QStringLiteral("http://updates.example.invalid/feed.json")),
                      QVersionNumber(0, 2, 0));
        plain.start();
        QVERIFY(!plain.canCheckForUpdates());
        plain.checkForUpdates(); // ignored, nothing is sent
        DebugLogRecorder::settle();
    }
};

COGWISE_TEST(tst_Updater)
#include "tst_Updater.moc"
