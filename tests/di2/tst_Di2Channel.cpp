#include "di2/Di2Parser.h"
#include "support/DebugLogRecorder.h"
#include "support/TestRegistry.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using Counters = std::array<quint8, 4>;

QByteArray channelBytes(quint8 checksum, Counters counters)
{
    return char(checksum) + QByteArray(reinterpret_cast<const char*>(counters.data()), 4);
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
        QCOMPARE(channel.logDescription(), u"[47]: [3, 0, 7, 0]"_s);
        QCOMPARE(channel.description(), u"Channel(checksum: 0x2F,\nbuttons: [3, 0, 7, 0])"_s);
        QCOMPARE(Di2Channel::activityDescription({2}), u"Button 2 pressed"_s);
        QCOMPARE(Di2Channel::activityDescription({1, 3}), u"Button 1, Button 3 pressed"_s);
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

        QCOMPARE(recorder.lines().filter(u"press detected"_s).size(), pressed.size());
        QCOMPARE(recorder.lines().filter(u"Multiple value increment"_s).size(), warnings);
        const auto summary = recorder.withMessage(u"Channel data received"_s);
        QCOMPARE(summary.size(), 1);
        QCOMPARE(summary.constFirst().details->value(u"previousRawData"_s),
                 QString::fromLatin1(channelBytes(0x10, previous).toHex(' ').toUpper()));
    }

    void doubleIncrementIsOnePressWithAWarning()
    {
        Ride ride;
        ride.send(channelBytes(12, {3, 0, 7, 0}));
        DebugLogRecorder recorder;
        QCOMPARE(ride.send(channelBytes(13, {5, 0, 8, 0}), 1500), (QList<int>{1, 3}));

        const auto press = recorder.withMessage(u"Button 1 press detected"_s);
        QCOMPARE(press.size(), 1);
        QCOMPARE(press.constFirst().category, u"ButtonPress"_s);
        QCOMPARE(press.constFirst().level, DebugLogLevel::info);
        QCOMPARE(press.constFirst().details,
                 std::optional(DebugLogDetails{{u"button"_s, u"1"_s},
                                               {u"previousValue"_s, u"3"_s},
                                               {u"currentValue"_s, u"5"_s},
                                               {u"valueDifference"_s, u"2"_s},
                                               {u"timeSinceLastPress"_s, u"1.500s"_s}}));
        const auto warning =
            recorder.withMessage(u"⚠️ Multiple value increment detected! Expected 1, got 2"_s);
        QCOMPARE(warning.size(), 1);
        QCOMPARE(warning.constFirst().level, DebugLogLevel::warning);
        QCOMPARE(warning.constFirst().details,
                 std::optional(DebugLogDetails{
                     {u"button"_s, u"1"_s},
                     {u"valueDifference"_s, u"2"_s},
                     {u"interpretation"_s, u"Hardware may count press+release separately"_s}}));
        // The warning directly follows its press entry.
        QCOMPARE(recorder.entries.indexOf(warning.constFirst()),
                 recorder.entries.indexOf(press.constFirst()) + 1);

        const QStringList lines = recorder.lines();
        QVERIFY(lines.contains(u"Di2Channel: Button 1: 3 -> 5\n(diff: 2, time: 1.500s)"_s));
        QVERIFY(lines.contains(u"Di2Channel: Button 3: 7 -> 8\n(diff: 1, time: 1.500s)"_s));
        const auto activity = lines.indexOf(u"DI2Parser: Button activity: Button 1, Button 3 pressed"_s);
        QVERIFY(activity >= 0 && activity < lines.indexOf(u"DI2Parser: Channel data: [13]: [5, 0, 8, 0]"_s));
    }

    void packetsWithoutPressAreStillTold()
    {
        Ride ride;
        DebugLogRecorder recorder;
        QCOMPARE(ride.send(channelBytes(1, {4, 4, 4, 4})), QList<int>{}); // only sets the baseline
        QCOMPARE(recorder.lines(), QStringList{u"DI2Parser: Initial channel state: [1]: [4, 4, 4, 4]"_s});
        QCOMPARE(ride.send(channelBytes(2, {4, 4, 4, 4})), QList<int>{}); // checksum only
        QCOMPARE(ride.pressLists.size(), 2);
        QVERIFY(
            recorder.lines().contains(u"DI2Parser: Channel update (no button press): [2]: [4, 4, 4, 4]"_s));
        QCOMPARE(
            recorder.withMessage(u"Channel data received"_s).constLast().details->value(u"detectedButtons"_s),
            u"none"_s);
    }

    void elapsedTimeCountsFromThePreviousPacket()
    {
        Ride ride;
        ride.send(channelBytes(1, {0, 0, 0, 0}));
        ride.send(channelBytes(2, {1, 0, 0, 0}), 3000);
        ride.send(channelBytes(3, {1, 0, 0, 0}), 500); // no press in between
        DebugLogRecorder recorder;
        ride.send(channelBytes(4, {2, 0, 0, 0}), 250);
        QCOMPARE(recorder.withMessage(u"Button 1 press detected"_s)
                     .constFirst()
                     .details->value(u"timeSinceLastPress"_s),
                 u"0.250s"_s);
    }
};

COGWISE_TEST(tst_Di2Channel)
#include "tst_Di2Channel.moc"
