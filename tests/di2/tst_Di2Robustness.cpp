#include "di2/Di2Parser.h"
#include "support/DebugLogRecorder.h"
#include "support/TestRegistry.h"

#include <QRandomGenerator>
#include <QTest>

// Random bytes of every length must never crash the decoder, and each length must
// land in the kind its length allows.
class tst_Di2Robustness : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void randomValuesOfEveryLength()
    {
        using Kind = Di2Packet::Kind;
        const QMap<Kind, int> lengthOf{
            {Kind::keepAlive, 3}, {Kind::channelStatus, 5}, {Kind::baseline, 6}, {Kind::status, 17}};
        QRandomGenerator random(20261206);
        Di2Parser parser;
        QMap<Kind, int> parsed;
        QMap<Kind, int> heard;
        QObject::connect(&parser, &Di2Parser::statusReceived, [&heard] { ++heard[Kind::status]; });
        QObject::connect(&parser, &Di2Parser::channelReceived, [&heard](const QList<int>& pressed) {
            ++heard[Kind::channelStatus];
            for (int button : pressed)
                QVERIFY(button >= 1 && button <= 4);
        });
        QObject::connect(&parser, &Di2Parser::batteryLevelUpdated,
                         [](int level) { QVERIFY(level >= 0 && level <= 100); });

        for (int length = 0; length <= 20; ++length) {
            for (int round = 0; round < 200; ++round) {
                QByteArray value(length, '\0');
                for (char& byte : value)
                    byte = char(random.bounded(256));
                // Make the recognised headers common enough to matter.
                if (length > 2 && round % 3 == 0)
                    value[length == 17 ? 2 : 0] = char(length == 3 ? 0x04 : length == 6 ? 0x06 : 0x03);

                const Di2Packet packet = parser.parse(value);
                if (packet.kind() == Kind::unknown)
                    QCOMPARE(packet.as<Di2Packet::Unknown>()->raw, value);
                else
                    QCOMPARE(lengthOf.value(packet.kind()), length);
                ++parsed[packet.kind()];
                QVERIFY(!packet.description().isEmpty());
                parser.handle(packet);
                parser.processNotification(value);
                parser.processBatteryLevel(value);
            }
            DebugLogRecorder::settle();
        }

        // Every notification went through once more via processNotification.
        QCOMPARE(heard.value(Kind::channelStatus), 2 * parsed.value(Kind::channelStatus));
        QCOMPARE(heard.value(Kind::status), 2 * parsed.value(Kind::status));
    }
};

COGWISE_TEST(tst_Di2Robustness)
#include "tst_Di2Robustness.moc"
