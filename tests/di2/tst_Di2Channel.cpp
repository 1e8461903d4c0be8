#include "di2/Di2Parser.h"
#include "support/DebugLogRecorder.h"
#include "support/TestRegistry.h"

#include <QTest>

namespace {

using Counters = std::array<quint8, 4>;

QByteArray channelBytes(quint8 checksum, Counters counters)
{
    const char bytes[] = {char(checksum), char(counters[0]), char(counters[1]), char(counters[2]),
                          char(counters[3])};
    return QByteArray(bytes, sizeof bytes);
}

// Drives a parser with channel packets at chosen times and keeps the press lists it tells.
class Ride final
{
public:
    Ride()
    {
        parser.setClock([this] { return now; });
        QObject::connect(
            &parser, &Di2Parser::channelReceived,
            [this](const QList<int>& pressed, const Di2Channel&) { pressLists.append(pressed); });
    }

    // Feeds one packet `afterMs` after the previous one and lets everything land.
    QList<int> send(QByteArray value, qint64 afterMs = 1000)
    {
        now = now.addMSecs(afterMs);
        const qsizetype before = pressLists.size();
        parser.processNotification(value);
        DebugLogRecorder::settle();
        return pressLists.size() > before ? pressLists.constLast() : QList<int>{-1};
    }

    QDateTime now{QDate(2026, 3, 1), QTime(18, 0)};
    Di2Parser parser;
    QList<QList<int>> pressLists;
};

} // namespace

class tst_Di2Channel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void texts()
    {
        const Di2Channel channel{0x2F, 3, 0, 7, 0, channelBytes(0x2F, {3, 0, 7, 0}), {}};
        QCOMPARE(channel.logDescription(), QStringLiteral("[47]: [3, 0, 7, 0]"));
        QCOMPARE(channel.description(), QStringLiteral("Channel(checksum: 0x2F,\nbuttons: [3, 0, 7, 0])"));
        QCOMPARE(Di2Channel::activityDescription({2}), QStringLiteral("Button 2 pressed"));
        QCOMPARE(Di2Channel::activityDescription({1, 3}), QStringLiteral("Button 1, Button 3 pressed"));
        QCOMPARE(Di2Channel::activityDescription({}), QString());
    }

    void detectsPresses_data()
    {
        QTest::addColumn<Counters>("previous");
        QTest::addColumn<Counters>("current");
        QTest::addColumn<QList<int>>("pressed");
        QTest::addColumn<int>("warnings");

        QTest::newRow("single increment")
            << Counters{3, 0, 0, 0} << Counters{4, 0, 0, 0} << QList<int>{1} << 0;
        QTest::newRow("double increment and another button")
            << Counters{3, 0, 7, 0} << Counters{5, 0, 8, 0} << QList<int>{1, 3} << 1;
        QTest::newRow("all four, ascending")
            << Counters{0, 0, 0, 0} << Counters{1, 9, 1, 255} << QList<int>{1, 2, 3, 4} << 2;
        QTest::newRow("wrap from 255 is no press")
            << Counters{255, 0, 0, 0} << Counters{0, 0, 0, 0} << QList<int>{} << 0;
        QTest::newRow("decrease is no press")
            << Counters{9, 9, 9, 9} << Counters{8, 9, 1, 0} << QList<int>{} << 0;
        QTest::newRow("unchanged") << Counters{1, 2, 3, 4} << Counters{1, 2, 3, 4} << QList<int>{} << 0;
    }

    void detectsPresses()
    {
        QFETCH(Counters, previous);
        QFETCH(Counters, current);
        QFETCH(QList<int>, pressed);
        QFETCH(int, warnings);

        Ride ride;
        QCOMPARE(ride.send(channelBytes(0x10, previous)), QList<int>{}); // the first packet never presses
        DebugLogRecorder recorder;
        QCOMPARE(ride.send(channelBytes(0x11, current), 250), pressed);

        QCOMPARE(recorder.lines().filter(QStringLiteral("press detected")).size(), pressed.size());
        QCOMPARE(recorder.lines().filter(QStringLiteral("Multiple value increment")).size(), warnings);
        const auto summary = recorder.withMessage(QStringLiteral("Channel data received"));
        QCOMPARE(summary.size(), 1);
        QCOMPARE(summary.constFirst().details->value(QStringLiteral("previousRawData")),
                 QString::fromLatin1(channelBytes(0x10, previous).toHex(' ').toUpper()));
    }

    void doubleIncrementIsOnePressWithAWarning()
    {
        Ride ride;
        ride.send(channelBytes(12, {3, 0, 7, 0}));
        DebugLogRecorder recorder;
        QCOMPARE(ride.send(channelBytes(13, {5, 0, 8, 0}), 1500), (QList<int>{1, 3}));

        const auto press = recorder.withMessage(QStringLiteral("Button 1 press detected"));
        QCOMPARE(press.size(), 1);
        QCOMPARE(press.constFirst().category, QStringLiteral("ButtonPress"));
        QCOMPARE(press.constFirst().level, DebugLogLevel::info);
        QCOMPARE(press.constFirst().details,
                 std::optional(DebugLogDetails{
                     {QStringLiteral("button"), QStringLiteral("1")},
                     {QStringLiteral("previousValue"), QStringLiteral("3")},
                     {QStringLiteral("currentValue"), QStringLiteral("5")},
                     {QStringLiteral("valueDifference"), QStringLiteral("2")},
                     {QStringLiteral("timeSinceLastPress"), QStringLiteral("1.500s")},
                 }));
        const auto warning = recorder.withMessage(
            QStringLiteral("⚠️ Multiple value increment detected! Expected 1, got 2"));
        QCOMPARE(warning.size(), 1);
        QCOMPARE(warning.constFirst().level, DebugLogLevel::warning);
        QCOMPARE(warning.constFirst().details,
                 std::optional(DebugLogDetails{
                     {QStringLiteral("button"), QStringLiteral("1")},
                     {QStringLiteral("valueDifference"), QStringLiteral("2")},
                     {QStringLiteral("interpretation"),
                      QStringLiteral("Hardware may count press+release separately")},
                 }));
        // The warning directly follows its press entry.
        QCOMPARE(recorder.entries.indexOf(warning.constFirst()),
                 recorder.entries.indexOf(press.constFirst()) + 1);

        const QStringList lines = recorder.lines();
        QVERIFY(lines.contains(QStringLiteral("Di2Channel: Button 1: 3 -> 5\n(diff: 2, time: 1.500s)")));
        QVERIFY(lines.contains(QStringLiteral("Di2Channel: Button 3: 7 -> 8\n(diff: 1, time: 1.500s)")));
        QVERIFY(lines.contains(QStringLiteral("DI2Parser: Button activity: Button 1, Button 3 pressed")));
        QVERIFY(lines.contains(QStringLiteral("DI2Parser: Channel data: [13]: [5, 0, 8, 0]")));
        QVERIFY(lines.indexOf(QStringLiteral("DI2Parser: Button activity: Button 1, Button 3 pressed")) <
                lines.indexOf(QStringLiteral("DI2Parser: Channel data: [13]: [5, 0, 8, 0]")));
    }

    void firstPacketOnlySetsTheBaseline()
    {
        Ride ride;
        DebugLogRecorder recorder;
        QCOMPARE(ride.send(channelBytes(9, {200, 17, 3, 0})), QList<int>{});
        QCOMPARE(recorder.lines(),
                 QStringList{QStringLiteral("DI2Parser: Initial channel state: [9]: [200, 17, 3, 0]")});
    }

    void packetsWithoutPressAreStillTold()
    {
        Ride ride;
        ride.send(channelBytes(1, {4, 4, 4, 4}));
        DebugLogRecorder recorder;
        QCOMPARE(ride.send(channelBytes(2, {4, 4, 4, 4})), QList<int>{}); // checksum only
        QCOMPARE(ride.pressLists.size(), 2);
        QVERIFY(recorder.lines().contains(
            QStringLiteral("DI2Parser: Channel update (no button press): [2]: [4, 4, 4, 4]")));
        QCOMPARE(recorder.withMessage(QStringLiteral("Channel data received"))
                     .constFirst()
                     .details->value(QStringLiteral("detectedButtons")),
                 QStringLiteral("none"));
    }

    void elapsedTimeCountsFromThePreviousPacket()
    {
        Ride ride;
        ride.send(channelBytes(1, {0, 0, 0, 0}));
        ride.send(channelBytes(2, {1, 0, 0, 0}), 3000);
        ride.send(channelBytes(3, {1, 0, 0, 0}), 500); // no press in between
        DebugLogRecorder recorder;
        ride.send(channelBytes(4, {2, 0, 0, 0}), 250);
        QCOMPARE(recorder.withMessage(QStringLiteral("Button 1 press detected"))
                     .constFirst()
                     .details->value(QStringLiteral("timeSinceLastPress")),
                 QStringLiteral("0.250s"));
    }
};

COGWISE_TEST(tst_Di2Channel)
#include "tst_Di2Channel.moc"
