#include "fakes/RecordingKeySink.h"
#include "shifting/KeySequencer.h"
#include "shifting/ManualScheduler.h"
#include "support/DebugLogRecorder.h"
#include "support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

using namespace std::chrono_literals;

// Keys stamped with the virtual time and the sequences' hooks, in one list.
struct SequencerRig
{
    explicit SequencerRig(QStringList* list = nullptr)
        : events(list ? *list : ownEvents)
        , sink(events)
        , sequencer(sink, u"Test"_s)
    {
        auto manual = std::make_unique<ManualScheduler>();
        scheduler = manual.get();
        sequencer.setScheduler(std::move(manual));
        sink.clock = [this] { return scheduler->now(); };
    }

    bool enqueue(VirtualKey key, qint64 count)
    {
        const QString name = QString::number(key.code());
        return sequencer.enqueue(
            {key,
             count,
             [this, name] { events.append(u"start "_s + name); },
             [this, name, count](qint64 press) {
                 events.append(u"press %1 %2/%3"_s.arg(name).arg(press).arg(count));
             },
             {},
             [this, name](qint64 sent) { events.append(u"finished %1 x%2"_s.arg(name).arg(sent)); }});
    }

    void runAll()
    {
        while (scheduler->advance()) {
        }
    }

    QStringList ownEvents;
    QStringList& events; // the test's own when it must outlive the rig, for what its end sends
    RecordingKeySink sink;
    KeySequencer sequencer;
    ManualScheduler* scheduler = nullptr;
};

} // namespace

class tst_KeySequencer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { DebugLogRecorder::settle(); }

    void queuedPressesKeepOrderAndSpacing()
    {
        SequencerRig rig;
        rig.sequencer.setHoldTime(10ms);
        rig.sequencer.setPauseBetweenPresses(30ms);
        QVERIFY(rig.enqueue(VirtualKey::period(), 2));
        // Mid-sequence: a press, one of no keys, and another press wait their turn.
        QVERIFY(rig.scheduler->advance());
        QVERIFY(rig.enqueue(VirtualKey::comma(), 1));
        QVERIFY(rig.enqueue(VirtualKey::comma(), 0));
        QVERIFY(rig.enqueue(VirtualKey::period(), 1));
        while (!rig.events.contains(u"47 up @130"_s))
            QVERIFY(rig.scheduler->advance());
        // Just after the last key: it still waits for the pause.
        QVERIFY(rig.enqueue(VirtualKey::comma(), 1));
        rig.runAll();
        QVERIFY(rig.sequencer.isIdle());
        // Once idle, a press goes out at once.
        QVERIFY(rig.enqueue(VirtualKey::period(), 1));
        rig.runAll();

        QCOMPARE(
            rig.events,
            (QStringList{u"start 47"_s,       u"press 47 1/2"_s,  u"47 down @0"_s,     u"47 up @10"_s,
                         u"press 47 2/2"_s,   u"47 down @40"_s,   u"47 up @50"_s,      u"finished 47 x2"_s,
                         u"start 43"_s,       u"press 43 1/1"_s,  u"43 down @80"_s,    u"43 up @90"_s,
                         u"finished 43 x1"_s, u"start 43"_s,      u"finished 43 x0"_s, u"start 47"_s,
                         u"press 47 1/1"_s,   u"47 down @120"_s,  u"47 up @130"_s,     u"finished 47 x1"_s,
                         u"start 43"_s,       u"press 43 1/1"_s,  u"43 down @160"_s,   u"43 up @170"_s,
                         u"finished 43 x1"_s, u"start 47"_s,      u"press 47 1/1"_s,   u"47 down @200"_s,
                         u"47 up @210"_s,     u"finished 47 x1"_s}));
    }

    void holdAndPauseStayInTheirRanges()
    {
        SequencerRig rig;
        rig.sequencer.setHoldTime(-5ms);
        rig.sequencer.setPauseBetweenPresses(0ms);
        QVERIFY(rig.enqueue(VirtualKey::comma(), 2));
        rig.runAll();
        QCOMPARE(rig.events.filter(u" @"_s),
                 (QStringList{u"43 down @0"_s, u"43 up @0"_s, u"43 down @20"_s, u"43 up @20"_s}));

        rig.events.clear();
        rig.sequencer.setHoldTime(1s);
        rig.sequencer.setPauseBetweenPresses(1s);
        QVERIFY(rig.enqueue(VirtualKey::comma(), 2));
        rig.runAll();
        QCOMPARE(rig.events.filter(u" @"_s),
                 (QStringList{u"43 down @40"_s, u"43 up @240"_s, u"43 down @740"_s, u"43 up @940"_s}));
    }

    void stoppingReleasesTheKeyAndDropsTheRest_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::addColumn<bool>("holding");
        QTest::newRow("cancel with the key down") << false << true;
        QTest::newRow("cancel in the pause") << false << false;
        QTest::newRow("destroyed with the key down") << true << true;
    }

    void stoppingReleasesTheKeyAndDropsTheRest()
    {
        QFETCH(bool, destroy);
        QFETCH(bool, holding);
        QStringList events;
        auto rig = std::make_unique<SequencerRig>(&events);
        rig->sequencer.setHoldTime(holding ? 10ms : 0ms);
        QVERIFY(rig->enqueue(VirtualKey::period(), 3));
        QVERIFY(rig->enqueue(VirtualKey::comma(), 2));
        events.clear();

        DebugLogRecorder recorder;
        QStringList expected;
        if (holding)
            expected << u"47 up @0"_s;
        if (destroy) {
            rig.reset(); // its owner's hooks may be gone: the key goes up, nothing is reported
        } else {
            QCOMPARE(rig->sequencer.cancel(), 4);
            QVERIFY(rig->sequencer.isIdle());
            QVERIFY(!rig->scheduler->isPending());
            expected << u"finished 47 x1"_s; // the gear follows the press that went out
        }
        QCOMPARE(events, expected);
        recorder.settle();
        QCOMPARE(recorder.lines(), (QStringList{u"Test: Key sequence stopped; queued presses dropped: 4"_s}));

        if (!destroy) {
            QVERIFY(rig->enqueue(VirtualKey::comma(), 1)); // starts afresh, at once
            QCOMPARE(events.filter(u"43 down"_s), (QStringList{u"43 down @0"_s}));
        }
    }

    // Presses that come while the desktop is asked wait for its answer: typed in order on a yes,
    // dropped on a no or when another sink takes over, and asked for when nobody asked yet.
    void pressesWaitForTheDesktopsAnswer_data()
    {
        QTest::addColumn<KeySink::Consent>("startsAs");
        QTest::addColumn<KeySink::Consent>("answer");
        QTest::addColumn<QString>("sinkAfter");
        QTest::newRow("asked, then yes")
            << KeySink::Consent::asking << KeySink::Consent::granted << QString();
        QTest::newRow("not yet asked, then yes")
            << KeySink::Consent::notAsked << KeySink::Consent::granted << QString();
        QTest::newRow("no") << KeySink::Consent::asking << KeySink::Consent::refused << QString();
        QTest::newRow("another sink takes over")
            << KeySink::Consent::asking << KeySink::Consent::notNeeded << u"xtest"_s;
    }

    void pressesWaitForTheDesktopsAnswer()
    {
        QFETCH(KeySink::Consent, startsAs);
        QFETCH(KeySink::Consent, answer);
        QFETCH(QString, sinkAfter);
        SequencerRig rig;
        rig.sink.consentState = startsAs;
        QSignalSpy drained(&rig.sequencer, &KeySequencer::drained);
        DebugLogRecorder recorder;
        QVERIFY(rig.enqueue(VirtualKey::period(), 2));
        QVERIFY(rig.enqueue(VirtualKey::comma(), 1));
        QVERIFY(rig.sequencer.isWaitingForConsent());
        QCOMPARE(rig.sink.asked, startsAs == KeySink::Consent::notAsked ? 1 : 0);
        // News that is not an answer changes nothing.
        rig.sink.answer(KeySink::Consent::asking, QString());
        rig.runAll();
        QCOMPARE(rig.events.filter(u" down"_s), QStringList());

        if (!sinkAfter.isEmpty())
            rig.sink.sinkName = sinkAfter;
        rig.sink.answer(answer, u"answered"_s);
        rig.runAll();
        recorder.settle();
        if (answer == KeySink::Consent::granted) {
            QCOMPARE(rig.events.filter(u" down"_s),
                     (QStringList{u"47 down @0"_s, u"47 down @50"_s, u"43 down @100"_s}));
            QCOMPARE(rig.events.filter(u"finished"_s),
                     (QStringList{u"finished 47 x2"_s, u"finished 43 x1"_s}));
        } else {
            QCOMPARE(rig.events.filter(u" down"_s), QStringList());
            QCOMPARE(rig.events.filter(u"finished"_s), QStringList());
            QVERIFY(recorder.lines().contains(QStringLiteral(
                "Test: The desktop did not let Cogwise type keys; queued presses dropped: 3")));
        }
        QVERIFY(rig.sequencer.isIdle());
        QCOMPARE(drained.size(), 1);
        QVERIFY(recorder.lines().contains(
            u"Test: Keys wait for the desktop's permission to type; presses queued: 2"_s));
    }

    void aStuckButtonFillsTheQueueOnlySoFar()
    {
        SequencerRig rig;
        DebugLogRecorder recorder;
        for (int i = 0; i < 5; ++i)
            QVERIFY(rig.enqueue(VirtualKey::period(), 10)); // the first press goes out at once
        QCOMPARE(rig.sequencer.queuedPresses(), 49);
        QVERIFY(!rig.enqueue(VirtualKey::comma(), 2));
        QVERIFY(rig.enqueue(VirtualKey::comma(), 1));
        QVERIFY(!rig.enqueue(VirtualKey::comma(), 1));
        recorder.settle();
        QCOMPARE(recorder.lines(),
                 (QStringList{u"Test: Key queue full with 49 presses waiting; presses dropped: 2"_s,
                              u"Test: Key queue full with 50 presses waiting; presses dropped: 1"_s}));

        rig.runAll();
        QCOMPARE(rig.events.filter(u"47 down"_s).size(), 50);
        QCOMPARE(rig.events.filter(u"43 down"_s).size(), 1);
        QCOMPARE(rig.events.filter(u"finished"_s).size(), 6);
    }

    void theEventLoopTurnsBetweenTheKeys()
    {
        // The real timer: other work on the GUI thread runs between the presses of a repeat.
        QStringList events;
        RecordingKeySink sink(events);
        KeySequencer sequencer(sink, u"Test"_s);
        sequencer.setPauseBetweenPresses(KeySequencer::minPause);
        QTimer ticker;
        ticker.setInterval(0);
        QObject::connect(&ticker, &QTimer::timeout, [&events] {
            if (events.constLast() != u"tick"_s)
                events.append(u"tick"_s);
        });
        bool finished = false;
        QVERIFY(sequencer.enqueue(
            {VirtualKey::period(), 10, {}, {}, {}, [&finished](qint64) { finished = true; }}));
        QCOMPARE(events, (QStringList{u"47 down"_s, u"47 up"_s}));
        ticker.start();
        QTRY_VERIFY(finished);
        ticker.stop();

        QStringList expected;
        for (int press = 0; press < 10; ++press)
            expected << u"47 down"_s << u"47 up"_s << u"tick"_s;
        expected.removeLast();
        QCOMPARE(events.mid(0, expected.size()), expected);
    }
};

COGWISE_TEST(tst_KeySequencer)
#include "tst_KeySequencer.moc"
