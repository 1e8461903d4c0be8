#include "bluetooth/qt/QtBleCentral.h"
#include "support/ConnectionRig.h"
#include "support/FakeBluezTest.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using namespace std::chrono_literals;

// The connection service on the real QtBluetooth backend over the fake bluetoothd, with the
// rider's unit saved as at any launch after the first.
struct LifecycleRig : ConnectionRig<QtBleCentral>
{
    explicit LifecycleRig(const QString& settingsPath)
        : ConnectionRig(settingsPath, {.firstRetryDelay = 100ms, .powerOnSettle = 200ms})
    {
        defaults.setString(u"lastConnectedDeviceUUID"_s, FakeBluezTest::unitIdentifier());
        central.setTimeouts(3000ms, 3000ms);
    }

    qsizetype attempts() const { return heard.states.count(u"connecting(EW-WU111)"_s); }
};

} // namespace

class tst_UnitLifecycle : public FakeBluezTest
{
    Q_OBJECT

    ScratchDir m_files;

public:
    // The kernel's passive connect gives up after 20-40 s; here after half a second.
    tst_UnitLifecycle()
        : FakeBluezTest(500ms)
    {}

private:
    bool press(int button) { return m_bluez.control(u"Press"_s, {QVariant::fromValue(uchar(button))}); }

    // Connected and subscribed, with the parser holding the unit's counters: a silent unit
    // tells them only with a press, which is then no press of its own. Returns the presses so far.
    qsizetype connectAndSettle(LifecycleRig& rig)
    {
        [&] {
            QTRY_COMPARE_WITH_TIMEOUT(rig.state(), u"connected(EW-WU111)"_s, timeoutMs);
            QTRY_VERIFY_WITH_TIMEOUT(m_bluez.isNotifying(), timeoutMs);
            QFETCH(bool, reportsOnSubscription);
            if (!reportsOnSubscription)
                QVERIFY(press(4));
            QTRY_VERIFY_WITH_TIMEOUT(rig.parser.lastChannel().has_value(), timeoutMs);
        }();
        return rig.heard.presses.size();
    }

    // The unit falls asleep mid-ride and is woken, by a press of `wakingButton` if given:
    // Cogwise waits for it, then is back by itself within `backWithinMs`.
    void sleepAndWake(const LifecycleRig& rig, int wakingButton = 0, int backWithinMs = timeoutMs)
    {
        QVERIFY(m_bluez.control(u"SetAsleep"_s, {true}));
        QVERIFY(m_bluez.control(u"DropLink"_s));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), u"waiting(EW-WU111)"_s, timeoutMs);
        if (wakingButton)
            QVERIFY(press(wakingButton));
        QVERIFY(m_bluez.control(u"SetAsleep"_s, {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), u"connected(EW-WU111)"_s, backWithinMs);
    }

    // The buttons keyed since the first `from` presses, in order.
    static QList<int> keyedSince(const LifecycleRig& rig, qsizetype from)
    {
        QList<int> buttons;
        for (qsizetype i = from; i < rig.heard.presses.size(); ++i)
            buttons += rig.heard.presses.at(i);
        return buttons;
    }

private Q_SLOTS:
    // A desktop's Bluetooth panel discovers without a filter the whole time: bluetoothd then tells
    // a steady signal only once, and Qt, finding the adapter discovering, opens no session of its
    // own. Cogwise still hears the unit wake, at launch and mid-ride.
    void anotherClientDiscoversWithoutAFilter()
    {
        QVERIFY(m_bluez.control(u"OtherClientDiscovers"_s, {true}));
        QVERIFY(m_bluez.control(u"SetAsleep"_s, {true}));
        LifecycleRig rig(m_files.testFile());
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), u"waiting(EW-WU111)"_s, timeoutMs);
        QVERIFY(m_bluez.control(u"SetAsleep"_s, {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), u"connected(EW-WU111)"_s, timeoutMs);

        sleepAndWake(rig);
    }

    // A controller that reports each device once per 10.24 s scan window: the unit, heard when
    // this window began, falls asleep and wakes within it, so it is heard again only in the next
    // one; Cogwise must still be back by itself then, without a rescan that would lose the window.
    void slowController()
    {
        QVERIFY(m_bluez.control(u"SetSlowController"_s, {true}));
        LifecycleRig rig(m_files.testFile());
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), u"connected(EW-WU111)"_s, timeoutMs);
        constexpr int scanWindowMs = 10240;
        sleepAndWake(rig, 0, scanWindowMs + timeoutMs);
    }

    // A stop followed at once by a start (the watchdog, a rescan) while bluetoothd says
    // "Discovering" a moment late: the scan goes on hearing, and a stop ends it for good.
    void stopThenStartAtOnce()
    {
        QtBleCentral central;
        QTRY_COMPARE_WITH_TIMEOUT(central.state(), BleCentralState::poweredOn, timeoutMs);
        int heard = 0;
        connect(&central, &BleCentral::peripheralDiscovered, this,
                [&heard](const BlePeripheral&, int, bool advertising) { heard += advertising ? 1 : 0; });
        central.scanForPeripherals();
        central.stopScan();
        central.scanForPeripherals();
        QTRY_VERIFY_WITH_TIMEOUT(heard >= 10, timeoutMs);
        central.stopScan();
        QTRY_COMPARE_WITH_TIMEOUT(m_bluez.count(u"DiscoverySessions"_s), 0, timeoutMs);
    }

    // A unit that tells its counters when subscribed, and one that stays silent until a press:
    // nothing known of the EW-WU111 says which it is, and neither may lose a press.
    void unitKinds()
    {
        QTest::addColumn<bool>("reportsOnSubscription");
        QTest::newRow("reports its state on subscription") << true;
        QTest::newRow("silent until a press") << false;
    }

    // Asleep mid-ride and woken by a press: back by itself; the wake-up press is keyed once
    // (merged into the next press where the unit stays silent), and the next press counts.
    void asleepMidRideEveryPressOnce_data() { unitKinds(); }
    void asleepMidRideEveryPressOnce()
    {
        QFETCH(bool, reportsOnSubscription);
        QVERIFY(m_bluez.control(u"SetReportsOnSubscribe"_s, {reportsOnSubscription}));
        LifecycleRig rig(m_files.testFile());
        const qsizetype before = connectAndSettle(rig);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(press(1));
        QTRY_COMPARE_WITH_TIMEOUT(keyedSince(rig, before), (QList<int>{1}), timeoutMs);

        sleepAndWake(rig, 1);
        if (QTest::currentTestFailed())
            return;
        QTRY_VERIFY_WITH_TIMEOUT(m_bluez.isNotifying(), timeoutMs);
        QVERIFY(press(2));
        QTRY_COMPARE_WITH_TIMEOUT(keyedSince(rig, before), (QList<int>{1, 1, 2}), timeoutMs);
        QCOMPARE(rig.attempts(), 2); // at launch, and once after the wake
    }

    // The radio off and on, while connected and while waiting; then bluetoothd restarts.
    // The first press after each reconnection is keyed.
    void radioAndBluetoothdComeAndGo_data() { unitKinds(); }
    void radioAndBluetoothdComeAndGo()
    {
        QFETCH(bool, reportsOnSubscription);
        QVERIFY(m_bluez.control(u"SetReportsOnSubscribe"_s, {reportsOnSubscription}));
        LifecycleRig rig(m_files.testFile());
        const qsizetype before = connectAndSettle(rig);
        if (QTest::currentTestFailed())
            return;

        QVERIFY(m_bluez.control(u"SetPowered"_s, {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), u"bluetoothOff"_s, timeoutMs);
        QVERIFY(m_bluez.control(u"SetPowered"_s, {true}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), u"connected(EW-WU111)"_s, timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_bluez.isNotifying(), timeoutMs);
        QVERIFY(press(3));
        QTRY_COMPARE_WITH_TIMEOUT(keyedSince(rig, before), (QList<int>{3}), timeoutMs);

        QVERIFY(m_bluez.control(u"SetAsleep"_s, {true}));
        QVERIFY(m_bluez.control(u"DropLink"_s));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), u"waiting(EW-WU111)"_s, timeoutMs);
        QVERIFY(m_bluez.control(u"SetPowered"_s, {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), u"bluetoothOff"_s, timeoutMs);
        QVERIFY(m_bluez.control(u"SetPowered"_s, {true}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), u"waiting(EW-WU111)"_s, timeoutMs);
        QVERIFY(m_bluez.control(u"SetAsleep"_s, {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), u"connected(EW-WU111)"_s, timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_bluez.isNotifying(), timeoutMs);
        QVERIFY(press(4));
        QTRY_COMPARE_WITH_TIMEOUT(keyedSince(rig, before), (QList<int>{3, 4}), timeoutMs);

        const auto stopped = m_bluez.stopService();
        QVERIFY2(!stopped, qPrintable(stopped.value_or(QString())));
        QTRY_VERIFY2_WITH_TIMEOUT(
            rig.state().startsWith(u"disconnected(The Bluetooth service"_s),
            qPrintable(rig.heard.states.join(u" > "_s) + u" | "_s + rig.heard.messages.join(u" / "_s)),
            timeoutMs);
        const auto started = m_bluez.startService();
        QVERIFY2(!started, qPrintable(started.value_or(QString())));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), u"connected(EW-WU111)"_s, timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_bluez.isNotifying(), timeoutMs);
    }
};

COGWISE_TEST(tst_UnitLifecycle)
#include "tst_UnitLifecycle.moc"
