#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run replay(const QStringList& arguments, const QByteArray& input = {})
{
    QProcess process;
    process.start(QStringLiteral(COGWISE_REPLAY_BINARY), arguments);
    if (!input.isNull())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QString dataFile(const char* name)
{
    return QStringLiteral(COGWISE_TEST_DATA_DIR "/") + QLatin1String(name);
}

// The report's entries with their time stamps written as "[time]", sorted: Logger
// lines and direct entries may interleave differently from run to run.
QStringList entryBlocks(QString entries)
{
    static const QRegularExpression stamp(u"^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] "_s,
                                          QRegularExpression::MultilineOption);
    static const QRegularExpression entryStart(u"^(?=\\[time\\] )"_s, QRegularExpression::MultilineOption);
    entries.replace(stamp, u"[time] "_s);
    QStringList blocks = entries.split(entryStart, Qt::SkipEmptyParts);
    for (QString& block : blocks)
        block = block.trimmed();
    blocks.sort();
    return blocks;
}

} // namespace

class tst_Replay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reportFollowsOnceEverythingHasLanded()
    {
        const Run run = replay({dataFile("sample-ride.capture"), u"--report"_s});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QString());
        const QString events = QString::fromUtf8(ScratchDir::read(dataFile("sample-ride.expected")));
        QVERIFY(run.out.startsWith(events));

        const QString separator = QString(80, QLatin1Char('='));
        const QStringList parts = run.out.mid(events.size()).split(separator + QLatin1Char('\n'));
        QCOMPARE(parts.size(), 3);
        QVERIFY(parts.at(1).startsWith(u"Cogwise Debug Logs\nGenerated: "_s));
        QVERIFY(parts.at(1).endsWith(u"\nTotal Entries: 60\n"_s));
        QCOMPARE(entryBlocks(parts.at(2)),
                 entryBlocks(QString::fromUtf8(ScratchDir::read(dataFile("sample-ride.report")))));
    }

    void readsStandardInputAndDeviceTexts()
    {
        const Run run = replay({u"-"_s}, "0 2A24 4557\n"     // "EW"
                                         "1 2A26 FF00\n"     // not UTF-8: stored empty
                                         "2 2A25 41 0A 42\n" // a line break inside
                                         "4 2A00 0406\n"     // other characteristic, not routed
                                         "5 1234 040000\n"); // other characteristic, Di2 length
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QStringLiteral(
                              "info: 2A24 EW\ninfo: 2A26 \ninfo: 2A25 A\\x0AB\npacket: Keep-Alive Packet\n"));
    }

    void malformedCapturesStopWithTheLineNumber_data()
    {
        QTest::addColumn<QByteArray>("capture");
        QTest::addColumn<QString>("where");

        // The parser's own messages and line numbers have their rows in tst_Di2Capture; these are
        // the tool's reading, and what it prints of a file's bytes.
        QTest::newRow("binary garbage") << QByteArray("\x00\x01\xFF\xC3\x28 zz\n", 9) << u":1: "_s;
        QTest::newRow("a line longer than any capture's")
            << QByteArray("0 2AC2 040000\n1 2AC2 " + QByteArray(70'000, '0') + "\n")
            << u":2: a line longer than 65536 bytes"_s;
    }

    void malformedCapturesStopWithTheLineNumber()
    {
        QFETCH(QByteArray, capture);
        QFETCH(QString, where);

        QTemporaryDir dir;
        const QString path = dir.filePath(u"bad.capture"_s);
        QVERIFY(ScratchDir::write(path, capture));

        const Run run = replay({path});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.out, QString()); // nothing half-replayed
        QVERIFY2(run.err.contains(path + where), qPrintable(run.err));
        // One line that says what is wrong, and nothing a terminal would act on.
        QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
        for (const QChar c : run.err)
            QVERIFY2(c == QLatin1Char('\n') || c.unicode() >= 0x20, qPrintable(run.err));
    }

    void standardInputIsCheckedBeforeAnythingIsPlayed()
    {
        const Run bad = replay({u"-"_s}, "0 2AC2 040000\n10 2AC2 040000\n20 2AC2 04000\n");
        QCOMPARE(bad.exitCode, 2);
        QCOMPARE(bad.out, QString());
        QVERIFY2(bad.err.contains(u"-:3: odd count"_s), qPrintable(bad.err));
    }

    void missingFileAndEmptyCapture()
    {
        const Run missing = replay({u"/nonexistent/ride.capture"_s});
        QCOMPARE(missing.exitCode, 1);
        QCOMPARE(missing.err.count(QLatin1Char('\n')), 1);
        QVERIFY2(missing.err.contains(u"cannot open /nonexistent/ride.capture"_s), qPrintable(missing.err));

        const Run empty = replay({u"-"_s}, QByteArray(""));
        QCOMPARE(empty.exitCode, 0);
        QCOMPARE(empty.out, QString());

        QCOMPARE(replay({}).exitCode, 2);
    }
};

COGWISE_TEST(tst_Replay)
#include "tst_Replay.moc"
