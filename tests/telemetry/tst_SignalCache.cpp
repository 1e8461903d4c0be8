#include "TelemetryRig.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"
#include "telemetry/SignalCache.h"

#include <QFile>
#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

SignalPostBody record(int seq, qsizetype padding = 0)
{
    SignalPostBody body;
    body.receivedAt = QDateTime(QDate(2026, 3, 1), QTime(18, 0), Qt::UTC).addSecs(seq);
    body.appID = u"app"_s;
    body.clientUser = u"user"_s;
    body.sessionID = u"session"_s;
    body.type = u"rideEvent"_s;
    body.payload = {{u"seq"_s, QString::number(seq)}, {u"pad"_s, QString(padding, QLatin1Char('x'))}};
    body.isTestMode = u"false"_s;
    return body;
}

QStringList seqs(const QList<SignalCache::Entry>& entries)
{
    QStringList values;
    for (const auto& entry : entries)
        values.append(entry.body.payload.value(u"seq"_s));
    return values;
}

QByteArray lineOf(int seq, qsizetype padding = 0)
{
    return QJsonDocument(record(seq, padding).toJson(SignalPostBody::DateEncoding::cache))
        .toJson(QJsonDocument::Compact);
}

QByteArray linesOf(int from, int to, qsizetype padding = 0, const QByteArray& lineBreak = "\n")
{
    QByteArray lines;
    for (int i = from; i <= to; ++i)
        lines += lineOf(i, padding) + lineBreak;
    return lines;
}

// Bytes this process has read through system calls so far.
std::optional<qint64> bytesRead()
{
    QFile io(u"/proc/self/io"_s);
    if (!io.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray& line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return std::nullopt;
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

Q_DECLARE_METATYPE(SignalCache::Limits)

class tst_SignalCache : public QObject
{
    Q_OBJECT

    ScratchDir m_files;
    QString path() const { return m_files.testFile(); }

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
        QCOMPARE(seqs(reloaded.peek()), (QStringList{u"3"_s, u"4"_s, u"5"_s}));
        QCOMPARE(reloaded.peek().constFirst().body, record(3));
        QVERIFY(QFile::exists(path())); // kept, not deleted at load
    }

    void unwritableJournalKeepsTheQueueInMemory()
    {
        QVERIFY(ScratchDir::write(path()));
        Log log;
        SignalCache cache(path() + u"/below-a-file/telemetrysignalcache"_s, log.handler());
        cache.push(record(1));
        cache.push(record(2));
        QCOMPARE(cache.count(), 2);
        QCOMPARE(log.lines.count(u"Error saving Telemetry cache"_s), 1); // once, not per record
        QVERIFY(!cache.save());
        QCOMPARE(log.lines.count(u"Error saving Telemetry cache"_s), 2); // the end tells again
        QCOMPARE(cache.count(), 2);
        QVERIFY(log.lines.filter(u"Saved Telemetry cache"_s).isEmpty());
    }

    void boundedByCountBytesAndRecordSize()
    {
        Log log;
        SignalCache cache(path(), log.handler(), SignalCache::Limits{5, 100'000, 2'000});
        for (int i = 1; i <= 7; ++i)
            cache.push(record(i));
        QCOMPARE(seqs(cache.peek()), (QStringList{u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s}));
        QCOMPARE(log.lines.filter(u"Dropped the 1 oldest signals"_s).size(), 2);

        cache.push(record(8, 3000));
        QCOMPARE(cache.count(), 5);
        QCOMPARE(log.lines.filter(u"Refused the signal rideEvent"_s).size(), 1);

        SignalCache small(path() + u".bytes"_s, log.handler(), SignalCache::Limits{100, 2'500, 2'000});
        for (int i = 1; i <= 4; ++i)
            small.push(record(i, 1000));
        QVERIFY(small.byteCount() <= 2'500);
        QCOMPARE(seqs(small.peek()).constLast(), u"4"_s);
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
        QCOMPARE(seqs(cache.peek()), (QStringList{u"3"_s, u"4"_s}));
    }

    void loadingKeepsTheNewestWithinTheCaps_data()
    {
        QTest::addColumn<QByteArray>("journal");
        QTest::addColumn<SignalCache::Limits>("limits");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<int>("unreadable");
        QTest::addColumn<qsizetype>("olderBytes");

        const SignalCache::Limits roomy{100, 100'000, 2'000};
        QTest::newRow("count cap") << linesOf(1, 20) << SignalCache::Limits{5, 100'000, 2'000}
                                   << sequenceNumbers(16, 20) << 0 << linesOf(1, 15).size();
        // About 1,150 bytes a line: two fit in 2,500.
        QTest::newRow("byte cap") << linesOf(1, 10, 1000) << SignalCache::Limits{100, 2'500, 2'000}
                                  << sequenceNumbers(9, 10) << 0 << linesOf(1, 8, 1000).size();
        QTest::newRow("CRLF and blank lines") << QByteArray("\n\n" + linesOf(1, 3, 0, "\r\n") + "\n  \n")
                                              << roomy << sequenceNumbers(1, 3) << 0 << qsizetype(0);
        QTest::newRow("a long line of garbage first")
            << QByteArray(QByteArray(300'000, 'x') + '\n' + linesOf(1, 3)) << roomy << sequenceNumbers(1, 3)
            << 1 << qsizetype(0);
        QTest::newRow("a long torn line last") << QByteArray(linesOf(1, 3) + QByteArray(300'000, '{'))
                                               << roomy << sequenceNumbers(1, 3) << 1 << qsizetype(0);
        QTest::newRow("a long line amid records")
            << QByteArray(linesOf(1, 2) + QByteArray(150'000, 'x') + '\n' + linesOf(3, 4)) << roomy
            << sequenceNumbers(1, 4) << 1 << qsizetype(0);
        QTest::newRow("no line break at all")
            << QByteArray(300'000, 'x') << roomy << QStringList() << 1 << qsizetype(0);
        QTest::newRow("a record longer than a record may be")
            << QByteArray(linesOf(1, 1) + lineOf(2, 3000) + '\n' + linesOf(3, 3)) << roomy
            << QStringList{u"1"_s, u"3"_s} << 1 << qsizetype(0);
        QTest::newRow("lines that are no record, and one torn by a crash")
            << QByteArray(linesOf(1, 2) + "{\"not\":\"a record\"}\n\xFF\xFEgarbage\n" + linesOf(3, 3) +
                          "{\"receivedAt\":1,\"appID\":\"torn")
            << roomy << sequenceNumbers(1, 3) << 3 << qsizetype(0);
        QTest::newRow("damage beyond the caps is only counted")
            << QByteArray("garbage\n" + linesOf(1, 8)) << SignalCache::Limits{5, 100'000, 2'000}
            << sequenceNumbers(4, 8) << 0 << QByteArray("garbage\n" + linesOf(1, 3)).size();
    }

    void loadingKeepsTheNewestWithinTheCaps()
    {
        QFETCH(QByteArray, journal);
        QFETCH(SignalCache::Limits, limits);
        QFETCH(QStringList, kept);
        QFETCH(int, unreadable);
        QFETCH(qsizetype, olderBytes);
        const QString file =
            path() + QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
        QVERIFY(ScratchDir::write(file, journal));

        Log log;
        qsizetype count = 0;
        {
            SignalCache cache(file, log.handler(), limits);
            QCOMPARE(seqs(cache.peek(1000)), kept.mid(0, SignalCache::maximumNumberOfSignalsToPopAtOnce));
            QCOMPARE(cache.count(), kept.size());
            QVERIFY(cache.byteCount() <= limits.maximumBytes);
            cache.push(record(99)); // not glued to whatever the journal ended with
            count = cache.count();
        }
        QCOMPARE(log.lines.filter(u"Skipped %1 unreadable lines"_s.arg(unreadable)).size(),
                 unreadable > 0 ? 1 : 0);
        QCOMPARE(log.lines.filter(u"Dropped the oldest %1 bytes"_s.arg(olderBytes)).size(),
                 olderBytes > 0 ? 1 : 0);
        const SignalCache reloaded(file, std::nullopt, limits); // the journal agrees
        QCOMPARE(reloaded.count(), count);
        QCOMPARE(seqs(reloaded.peek(1000)).constLast(), u"99"_s);
    }

    void aHugeJournalIsReadOnlyAsFarAsTheCaps()
    {
        const auto before = bytesRead();
        if (!before)
            QSKIP("this system has no /proc/self/io to count the bytes read");
        constexpr qsizetype fiftyMegabytes = 50'000'000;
        QFile out(path());
        QVERIFY(out.open(QIODevice::WriteOnly));
        const QByteArray block = linesOf(1, 100, 4'000);
        while (out.size() < fiftyMegabytes)
            out.write(block);
        out.close();

        const qint64 start = *bytesRead();
        SignalCache cache(path(), std::nullopt); // the product's caps: 1,000 records, 5 MB
        const qint64 read = *bytesRead() - start;
        QCOMPARE(cache.count(), SignalCache::Limits().maximumRecords);
        QVERIFY(cache.byteCount() <= SignalCache::Limits().maximumBytes);
        // Of the 50 MB, only the newest part that fits.
        QVERIFY2(read < 8'000'000, qPrintable(u"%1 bytes read"_s.arg(read)));
    }
};

COGWISE_TEST(tst_SignalCache)
#include "tst_SignalCache.moc"
