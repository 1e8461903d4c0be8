#include "di2/Di2Capture.h"
#include "support/TestRegistry.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_Di2Capture : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsEveryWayOfWritingBytes()
    {
        const QByteArray text = "\xEF\xBB\xBF# a comment\r\n"
                                "\n"
                                "120 2AC2 03 05 00 01 00\r\n"
                                "  130\t2ac2\t0305000100  \n"
                                "140 2A19 5a\n"
                                "140 2A24 4557 2D57\n"
                                "150 2AC2 -\n"
                                "604800000 2AC2 00"; // a week: the longest capture
        const auto result = Di2Capture::parse(text);
        QVERIFY(std::holds_alternative<QList<Di2CaptureRecord>>(result));
        const auto records = std::get<QList<Di2CaptureRecord>>(result);
        const QByteArray channel = QByteArray::fromHex("0305000100");
        QCOMPARE(records, (QList<Di2CaptureRecord>{
                              {3, 120, u"2AC2"_s, channel},
                              {4, 130, u"2AC2"_s, channel},
                              {5, 140, u"2A19"_s, QByteArray("\x5A")},
                              {6, 140, u"2A24"_s, QByteArray("EW-W")},
                              {7, 150, u"2AC2"_s, QByteArray()},
                              {8, 604'800'000, u"2AC2"_s, QByteArray(1, '\0')},
                          }));
    }

    void namesTheFirstMalformedLine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("lineNumber");
        QTest::addColumn<QString>("message");

        QTest::newRow("bad number") << QByteArray("# ok\n12a 2AC2 00") << 2 << u"bad time \"12a\""_s;
        QTest::newRow("negative time") << QByteArray("-5 2AC2 00") << 1 << u"bad time \"-5\""_s;
        QTest::newRow("signed time") << QByteArray("+5 2AC2 00") << 1 << u"bad time \"+5\""_s;
        QTest::newRow("huge time") << QByteArray("99999999999999999999 2AC2 00") << 1 << u"bad time"_s;
        QTest::newRow("odd digits") << QByteArray("1 2AC2 00\n2 2AC2 030 50") << 2
                                    << u"odd count of hex digits in \"030\""_s;
        QTest::newRow("not hex") << QByteArray("1 2AC2 0G") << 1 << u"bad hex bytes \"0G\""_s;
        QTest::newRow("missing value") << QByteArray("1 2AC2") << 1 << u"missing value"_s;
        QTest::newRow("missing identifier") << QByteArray("1") << 1 << u"missing characteristic"_s;
        QTest::newRow("bad identifier") << QByteArray("1 2AC 00") << 1 << u"bad characteristic identifier"_s;
        QTest::newRow("time goes back")
            << QByteArray("100 2AC2 00\n99 2AC2 00") << 2 << u"time 99 is before the previous line's 100"_s;
        QTest::newRow("not UTF-8") << QByteArray("1 2AC2 00\n2 2AC2 \xFF\xFE") << 2 << u"not valid UTF-8"_s;
        QTest::newRow("a week and a millisecond") << QByteArray("0 2AC2 00\n604800001 2AC2 00") << 2
                                                  << u"time 604800001 is beyond the longest capture"_s;
        QTest::newRow("2^31 ms") << QByteArray("2147483648 2AC2 00") << 1
                                 << u"time 2147483648 is beyond the longest capture"_s;
        QTest::newRow("2^32 ms and 5")
            << QByteArray("4294967301 2AC2 00") << 1 << u"time 4294967301 is beyond"_s;
        // What the file holds is quoted, never echoed raw to a terminal.
        QTest::newRow("NUL in the bytes")
            << QByteArray("5 2AC2 0\x00\x01", 10) << 1 << u"bad hex bytes \"0\\x00\\x01\""_s;
        QTest::newRow("escape as identifier")
            << QByteArray("5 \x1b[2J 00") << 1 << u"bad characteristic identifier \"\\x1B[2J\""_s;
        QTest::newRow("escape in the time")
            << QByteArray("\x1b]0;x\x07 2AC2 00") << 1 << u"bad time \"\\x1B]0;x\\x07\""_s;
        QTest::newRow("C1 control in the bytes")
            << QByteArray("5 2AC2 00\xC2\x9B") << 1 << u"bad hex bytes \"00\\x9B\""_s;
        QTest::newRow("non-ASCII digits") << QByteArray("1 2AC2 \xD9\xA1\xD9\xA2") << 1 << u"bad hex"_s;
    }

    void namesTheFirstMalformedLine()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, lineNumber);
        QFETCH(QString, message);

        const auto result = Di2Capture::parse(text);
        QVERIFY(std::holds_alternative<Di2CaptureError>(result));
        const auto& error = std::get<Di2CaptureError>(result);
        QCOMPARE(error.lineNumber, lineNumber);
        QVERIFY2(error.message.startsWith(message), qPrintable(error.message));
        for (const QChar c : error.message)
            QVERIFY2(c.unicode() >= 0x20 && (c.unicode() < 0x7F || c.unicode() > 0x9F),
                     qPrintable(error.message));
    }
};

COGWISE_TEST(tst_Di2Capture)
#include "tst_Di2Capture.moc"
