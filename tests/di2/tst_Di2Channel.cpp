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

// Feeds a parser channel packets and keeps the press lists it tells.
class Ride final
{
public:
    Ride()
    {
        QObject::connect(
            &parser, &Di2Parser::channelReceived,
            [this](const QList<int>& pressed, const Di2Channel&) { pressLists.append(pressed); });
    }

    // Feeds one packet and lets everything land; {-1} when no press list was told.
    QList<int> send(QByteArray value)
    {
        const qsizetype before = pressLists.size();
        parser.processNotification(value);
        DebugLogRecorder::settle();
        return pressLists.size() > before ? pressLists.constLast() : QList<int>{-1};
    }

    Di2Parser parser;
    QList<QList<int>> pressLists;
};

} // namespace

class tst_Di2Channel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        QCOMPARE(ride.send(channelBytes(0x11, current)), pressed);

        QCOMPARE(recorder.lines().filter(u"press detected"_s).size(), pressed.size());
        QCOMPARE(recorder.lines().filter(u"Multiple value increment"_s).size(), warnings);
    }

    // The sample ride's report in tst_Replay holds each entry of a double count, with its
    // details; their order it cannot compare, as Logger lines land there at their own pace.
    void aWarningFollowsItsPressAndActivityPrecedesTheData()
    {
        Ride ride;
        ride.send(channelBytes(12, {3, 0, 7, 0}));
        DebugLogRecorder recorder;
        QCOMPARE(ride.send(channelBytes(13, {5, 0, 8, 0})), (QList<int>{1, 3}));

        const auto press = recorder.withMessage(u"Button 1 press detected"_s);
        const auto warning =
            recorder.withMessage(u"⚠️ Multiple value increment detected! Expected 1, got 2"_s);
        QCOMPARE(press.size(), 1);
        QCOMPARE(warning.size(), 1);
        QCOMPARE(recorder.entries.indexOf(warning.constFirst()),
                 recorder.entries.indexOf(press.constFirst()) + 1);
        const QStringList lines = recorder.lines();
        const auto activity = lines.indexOf(u"DI2Parser: Button activity: Button 1, Button 3 pressed"_s);
        QVERIFY(activity >= 0 && activity < lines.indexOf(u"DI2Parser: Channel data: [13]: [5, 0, 8, 0]"_s));
    }
};

COGWISE_TEST(tst_Di2Channel)
#include "tst_Di2Channel.moc"
