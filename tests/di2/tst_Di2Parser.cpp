#include "di2/Di2Parser.h"
#include "support/DebugLogRecorder.h"
#include "support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Remembers every notification of a parser, in order, as text.
struct Recorder final : QObject
{
    QStringList calls;

    explicit Recorder(Di2Parser& parser)
    {
        connect(&parser, &Di2Parser::statusReceived, this,
                [this](const Di2Status& status) { calls.append(u"status "_s + status.description()); });
        connect(&parser, &Di2Parser::channelReceived, this,
                [this](const QList<int>& pressed, const Di2Channel& channel) {
                    QStringList buttons;
                    for (int b : pressed)
                        buttons.append(QString::number(b));
                    calls.append(
                        u"channel [%1] %2"_s.arg(buttons.join(QLatin1Char(',')), channel.logDescription()));
                });
        connect(&parser, &Di2Parser::batteryLevelUpdated, this,
                [this](int level) { calls.append(u"battery %1"_s.arg(level)); });
    }
};

QByteArray status17(quint8 messageType, quint8 subtype, quint8 front, quint8 rear, quint8 rearMax)
{
    const char head[] = {char(messageType), char(subtype), char(front), char(rear), char(rearMax)};
    return QByteArray(17, '\x7E').replace(2, 5, QByteArray(head, 5));
}

} // namespace

class tst_Di2Parser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodes_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<Di2Packet::Kind>("kind");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QStringList>("logLines");

        // Keep-alive, status and unknown 3- and 17-byte packets are in the sample ride's golden
        // output and report (tst_Replay).
        using K = Di2Packet::Kind;
        const auto hex = [](const char* text) { return QByteArray::fromHex(text); };
        QTest::newRow("baseline ignores bytes 3-4")
            << hex("060A0BFFFF3C") << K::baseline
            << u"Baseline Packet - Left ID: 10, Right ID: 11, Flags: 0x3C"_s
            << QStringList{u"DI2Parser: Parsed baseline - Left: 10, Right: 11, Flags: 0x3C"_s,
                           u"DI2Parser: Baseline - Left: 10, Right: 11, Flags: 0x3C"_s};
        QTest::newRow("6 bytes, other header")
            << hex("FF0A0BFFFF3C") << K::unknown << u"Unknown Packet (6 bytes) - FF 0A 0B FF FF 3C"_s
            << QStringList{u"DI2Parser: Unknown 6-byte packet with header: 0xFF"_s,
                           u"DI2Parser: Unknown packet (6 bytes): FF 0A 0B FF FF 3C"_s};
        QTest::newRow("status, other front positions")
            << status17(3, 0, 7, 1, 12) << K::status
            << u"Status Packet - Ring 7, Rear 1 of 12 (type: 3, subtype: 0)"_s << QStringList{};
        for (int length : {1, 2, 4, 7, 16, 18}) {
            const QByteArray value(length, '\x04');
            QTest::addRow("length %d", length)
                << value << K::unknown
                << u"Unknown Packet (%1 bytes) - %2"_s.arg(length).arg(QString::fromLatin1(value.toHex(' ')))
                << QStringList{u"DI2Parser: Unknown packet length: %1 bytes"_s.arg(length),
                               u"DI2Parser: Unknown packet (%1 bytes): %2"_s.arg(length).arg(
                                   QString::fromLatin1(value.toHex(' ')))};
        }
        QTest::newRow("empty") << QByteArray() << K::unknown << u"Unknown Packet (0 bytes) - "_s
                               << QStringList{u"DI2Parser: Attempted to parse empty data"_s,
                                              u"DI2Parser: Unknown packet (0 bytes): "_s};
    }

    void decodes()
    {
        QFETCH(QByteArray, value);
        QFETCH(Di2Packet::Kind, kind);
        QFETCH(QString, description);
        QFETCH(QStringList, logLines);

        DebugLogRecorder recorder;
        Di2Parser parser;
        const Di2Packet packet = parser.parse(value);
        QCOMPARE(packet.kind(), kind);
        QCOMPARE(packet.description(), description);
        parser.handle(packet);
        recorder.settle();
        QCOMPARE(recorder.lines(), logLines);
    }

    void packetLengths()
    {
        for (int length = 0; length <= 20; ++length) {
            const bool expected = length == 3 || length == 5 || length == 6 || length == 17;
            QCOMPARE(Di2Parser::isDi2PacketLength(QByteArray(length, '\0')), expected);
        }
    }

    void notificationsAreDecodedLaterInArrivalOrder()
    {
        DebugLogRecorder recorder;
        Di2Parser parser;
        Recorder heard(parser);
        QSignalSpy handled(&parser, &Di2Parser::packetHandled);

        parser.processNotification(QByteArray()); // queues nothing
        parser.processNotification(QByteArray::fromHex("0300000000"));
        parser.processNotification(status17(3, 1, 2, 5, 11));
        parser.processNotification(QByteArray::fromHex("0301000000"));
        QCOMPARE(handled.size(), 0);
        QVERIFY(!parser.lastChannel());

        DebugLogRecorder::settle();
        QCOMPARE(handled.size(), 3);
        QCOMPARE(heard.calls, (QStringList{u"channel [] [3]: [0, 0, 0, 0]"_s,
                                           u"status Big Ring, Rear 5 of 11 (type: 3, subtype: 1)"_s,
                                           u"channel [1] [3]: [1, 0, 0, 0]"_s}));
        QCOMPARE(parser.lastStatus()->rear, quint8(5));
        QCOMPARE(parser.lastChannel()->button1Value, quint8(1));
        const auto empty = recorder.withMessage(u"Received empty data"_s);
        QCOMPARE(empty.size(), 1);
        QCOMPARE(empty.constFirst().level, DebugLogLevel::info);
    }

    void batteryLevel_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<DebugLogLevel>("logLevel");

        QTest::newRow("full") << QByteArray::fromHex("64") << QStringList{u"battery 100"_s}
                              << u"DI2Parser: Battery level: 100%"_s << DebugLogLevel::debug;
        QTest::newRow("further bytes ignored") << QByteArray::fromHex("32FF") << QStringList{u"battery 50"_s}
                                               << u"DI2Parser: Battery level: 50%"_s << DebugLogLevel::debug;
        QTest::newRow("101 rejected")
            << QByteArray::fromHex("65") << QStringList{}
            << u"DI2Parser: Invalid battery level: 101% (expected 0-100)"_s << DebugLogLevel::error;
        QTest::newRow("empty") << QByteArray() << QStringList{} << u"DI2Parser: Received empty battery data"_s
                               << DebugLogLevel::error;
    }

    void batteryLevel()
    {
        QFETCH(QByteArray, value);
        QFETCH(QStringList, calls);
        QFETCH(QString, logLine);
        QFETCH(DebugLogLevel, logLevel);

        DebugLogRecorder recorder;
        Di2Parser parser;
        Recorder heard(parser);
        parser.processBatteryLevel(value);
        QVERIFY(heard.calls.isEmpty()); // delivered in its own task
        recorder.settle();
        QCOMPARE(heard.calls, calls);
        QCOMPARE(recorder.lines(), QStringList{logLine});
        QCOMPARE(recorder.entries.constFirst().level, logLevel);
    }

    void listenerThatLeftBeforeDeliveryHearsNothing()
    {
        Di2Parser parser;
        {
            Recorder heard(parser);
            parser.processBatteryLevel(QByteArray::fromHex("50"));
            parser.handle(parser.parse(status17(3, 1, 1, 2, 11)));
        }
        DebugLogRecorder::settle(); // must not reach the destroyed listener
        QCOMPARE(parser.lastStatus()->rear, quint8(2));
    }
};

COGWISE_TEST(tst_Di2Parser)
#include "tst_Di2Parser.moc"
