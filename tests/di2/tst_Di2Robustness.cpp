#include "di2/Di2Parser.h"
#include "support/DebugLogRecorder.h"
#include "support/TestRegistry.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

struct Counter final : QObject
{
    int statuses = 0;
    int channels = 0;
    QList<int> levels;

    explicit Counter(Di2Parser& parser)
    {
        connect(&parser, &Di2Parser::statusReceived, this, [this] { ++statuses; });
        connect(&parser, &Di2Parser::channelReceived, this, [this](const QList<int>& pressed) {
            ++channels;
            for (int button : pressed)
                QVERIFY(button >= 1 && button <= 4);
        });
        connect(&parser, &Di2Parser::batteryLevelUpdated, this, [this](int level) { levels.append(level); });
    }
};

} // namespace

// Random bytes of every length must never crash the decoder, and each length must
// land in the kind its length allows.
class tst_Di2Robustness : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void randomValuesOfEveryLength()
    {
        QRandomGenerator random(20261206);
        Di2Parser parser;
        Counter heard(parser);
        int expectedChannels = 0;
        int expectedStatuses = 0;

        for (int length = 0; length <= 20; ++length) {
            for (int round = 0; round < 200; ++round) {
                QByteArray value(length, '\0');
                for (char& byte : value)
                    byte = char(random.bounded(256));
                // Make the recognised headers common enough to matter.
                if (length > 2 && round % 3 == 0)
                    value[length == 17 ? 2 : 0] = char(length == 3 ? 0x04 : length == 6 ? 0x06 : 0x03);

                const Di2Packet packet = parser.parse(value);
                switch (packet.kind()) {
                case Di2Packet::Kind::keepAlive:
                    QCOMPARE(length, 3);
                    break;
                case Di2Packet::Kind::channelStatus:
                    QCOMPARE(length, 5);
                    ++expectedChannels;
                    break;
                case Di2Packet::Kind::baseline:
                    QCOMPARE(length, 6);
                    break;
                case Di2Packet::Kind::status:
                    QCOMPARE(length, 17);
                    ++expectedStatuses;
                    break;
                case Di2Packet::Kind::unknown:
                    QCOMPARE(packet.as<Di2Packet::Unknown>()->raw, value);
                    break;
                }
                QVERIFY(!packet.description().isEmpty());
                parser.handle(packet);
                parser.processNotification(value);
                parser.processBatteryLevel(value);
            }
            DebugLogRecorder::settle();
        }

        // Every notification went through once more via processNotification.
        QCOMPARE(heard.channels, 2 * expectedChannels);
        QCOMPARE(heard.statuses, 2 * expectedStatuses);
        for (int level : heard.levels)
            QVERIFY(level >= 0 && level <= 100);
    }
};

COGWISE_TEST(tst_Di2Robustness)
#include "tst_Di2Robustness.moc"
