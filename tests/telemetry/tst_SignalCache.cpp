#include "support/TestRegistry.h"
#include "telemetry/SignalCache.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

namespace {

SignalPostBody record(int seq, qsizetype padding = 0)
{
    SignalPostBody body;
    body.receivedAt = QDateTime(QDate(2026, 3, 1), QTime(18, 0), Qt::UTC).addSecs(seq);
    body.appID = QStringLiteral("app");
    body.clientUser = QStringLiteral("user");
    body.sessionID = QStringLiteral("session");
    body.type = QStringLiteral("rideEvent");
    body.payload = {{QStringLiteral("seq"), QString::number(seq)},
                    {QStringLiteral("pad"), QString(padding, QLatin1Char('x'))}};
    body.isTestMode = QStringLiteral("false");
    return body;
}

QStringList seqs(const QList<SignalCache::Entry>& entries)
{
    QStringList values;
    for (const auto& entry : entries)
        values.append(entry.body.payload.value(QStringLiteral("seq")));
    return values;
}

struct Log
{
    QStringList lines;
    LogHandler handler()
    {
        return {LogHandler::LogLevel::debug,
                [this](LogHandler::LogLevel, const QString& message) { lines.append(message); }};
    }
};

} // namespace

class tst_SignalCache : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction())); }

private Q_SLOTS:
    void survivesARestartAndForgetsSettledRecords()
    {
        {
            SignalCache cache(path(), std::nullopt);
            for (int i = 1; i <= 5; ++i)
                cache.push(record(i));
            cache.remove(cache.peek(2));
        }
        SignalCache reloaded(path(), std::nullopt);
        QCOMPARE(seqs(reloaded.peek()),
                 (QStringList{QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("5")}));
        QCOMPARE(reloaded.peek().constFirst().body, record(3));
        QVERIFY(QFile::exists(path())); // kept, not deleted at load
    }

    void damagedLinesAreSkippedAndCounted()
    {
        {
            SignalCache cache(path(), std::nullopt);
            cache.push(record(1));
            cache.push(record(2));
        }
        QFile file(path());
        QVERIFY(file.open(QIODevice::Append));
        file.write("{\"not\":\"a record\"}\n\xFF\xFEgarbage\n");
        file.write(QJsonDocument(record(3).toJson(SignalPostBody::DateEncoding::cache))
                       .toJson(QJsonDocument::Compact) +
                   '\n');
        file.write("{\"receivedAt\":1,\"appID\":\"torn"); // a crash in the middle of a line
        file.close();

        Log log;
        {
            SignalCache cache(path(), log.handler());
            QCOMPARE(seqs(cache.peek()),
                     (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
            cache.push(record(4)); // must not be glued to the torn line
        }
        QVERIFY(log.lines.contains(QStringLiteral("Skipped 3 unreadable lines of the Telemetry cache")));
        SignalCache again(path(), std::nullopt);
        QCOMPARE(seqs(again.peek()), (QStringList{QStringLiteral("1"), QStringLiteral("2"),
                                                  QStringLiteral("3"), QStringLiteral("4")}));
    }

    void unwritableJournalKeepsTheQueueInMemory()
    {
        QFile blocker(path());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        Log log;
        SignalCache cache(path() + QStringLiteral("/below-a-file/telemetrysignalcache"), log.handler());
        cache.push(record(1));
        cache.push(record(2));
        QCOMPARE(cache.count(), 2);
        QCOMPARE(log.lines.filter(QStringLiteral("Error saving Telemetry cache")).size(),
                 1); // once, not per record
    }

    void boundedByCountBytesAndRecordSize()
    {
        Log log;
        SignalCache cache(path(), log.handler(), SignalCache::Limits{5, 100'000, 2'000});
        for (int i = 1; i <= 7; ++i)
            cache.push(record(i));
        QCOMPARE(seqs(cache.peek()),
                 (QStringList{QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("5"),
                              QStringLiteral("6"), QStringLiteral("7")}));
        QCOMPARE(log.lines.filter(QStringLiteral("Dropped the 1 oldest signals")).size(), 2);

        cache.push(record(8, 3000));
        QCOMPARE(cache.count(), 5);
        QCOMPARE(log.lines.filter(QStringLiteral("Refused the signal rideEvent")).size(), 1);

        SignalCache small(path() + QStringLiteral(".bytes"), log.handler(),
                          SignalCache::Limits{100, 2'500, 2'000});
        for (int i = 1; i <= 4; ++i)
            small.push(record(i, 1000));
        QVERIFY(small.byteCount() <= 2'500);
        QCOMPARE(seqs(small.peek()).constLast(), QStringLiteral("4"));
        QCOMPARE(SignalCache(path(), std::nullopt).count(), 5); // the journal agrees
    }

    void settlingOnlyRemovesWhatIsStillQueued()
    {
        SignalCache cache(path(), std::nullopt, SignalCache::Limits{3, 100'000, 2'000});
        cache.push(record(1));
        cache.push(record(2));
        const auto inFlight = cache.peek(2);
        cache.push(record(3));
        cache.push(record(4)); // the cap drops record 1 while it is in flight
        cache.remove(inFlight);
        QCOMPARE(seqs(cache.peek()), (QStringList{QStringLiteral("3"), QStringLiteral("4")}));
    }

    void clearDeletesTheJournal()
    {
        SignalCache cache(path(), std::nullopt);
        cache.push(record(1));
        cache.clear();
        QCOMPARE(cache.count(), 0);
        QVERIFY(!QFile::exists(path()));
    }
};

COGWISE_TEST(tst_SignalCache)
#include "tst_SignalCache.moc"
