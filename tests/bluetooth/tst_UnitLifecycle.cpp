#include "analytics/Analytics.h"
#include "bluetooth/BLEConnectionManager.h"
#include "bluetooth/BleUuid.h"
#include "bluetooth/ConnectionService.h"
#include "bluetooth/qt/BluetoothAddressId.h"
#include "bluetooth/qt/QtBleCentral.h"
#include "di2/Di2Parser.h"
#include "platform/Defaults.h"
#include "support/ConnectionRecorder.h"
#include "support/FakeBluez.h"
#include "support/TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int timeoutMs = 15000;

QUuid identifierAt(const QString& address)
{
    return BluetoothAddressId::identifier(QBluetoothAddress(address));
}

// The rider's unit followed by the connection service on the real QtBluetooth backend,
// over the fake bluetoothd; the unit is saved as at any launch after the first.
struct Rig
{
    explicit Rig(const QString& settingsPath)
        : defaults(settingsPath)
        , analytics([](const QString&, const Analytics::Parameters&) {})
    {
        defaults.setString(QStringLiteral("lastConnectedDeviceUUID"),
                           BleUuid::text(identifierAt(FakeBluez::unitAddress())));
        central = std::make_unique<QtBleCentral>();
        central->setTimeouts(std::chrono::milliseconds{3000}, std::chrono::milliseconds{3000});
        QObject::connect(central.get(), &BleCentral::peripheralDiscovered, central.get(),
                         [this](const BlePeripheral& peripheral, int, bool advertising) {
                             if (advertising)
                                 ++advertisements[peripheral.identifier];
                         });
        ble = std::make_unique<BLEConnectionManager>(*central);
        service = std::make_unique<ConnectionService>(*ble, parser, defaults, analytics);
        ConnectionService::Timing timing;
        timing.firstRetryDelay = std::chrono::milliseconds{100};
        timing.powerOnSettle = std::chrono::milliseconds{200};
        service->setTiming(timing);
        heard = std::make_unique<ConnectionRecorder>(*service);
    }

    QString state() const { return service->connectionState().description(); }
    qsizetype attempts() const { return heard->states.count(QStringLiteral("connecting(EW-WU111)")); }

    Defaults defaults;
    Analytics analytics;
    Di2Parser parser;
    QHash<QUuid, int> advertisements; // heard by the central, by peripheral
    std::unique_ptr<QtBleCentral> central;
    std::unique_ptr<BLEConnectionManager> ble;
    std::unique_ptr<ConnectionService> service;
    std::unique_ptr<ConnectionRecorder> heard;
};

} // namespace

class tst_UnitLifecycle : public QObject
{
    Q_OBJECT

    FakeBluez m_bluez;
    QTemporaryDir m_dir;
    QString path() const
    {
        return m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) +
                              QString::fromLatin1(QTest::currentDataTag()).remove(QLatin1Char(' ')));
    }

    bool press(int button)
    {
        return m_bluez.control(QStringLiteral("Press"), {QVariant::fromValue(uchar(button))});
    }

    // Connected and subscribed, with the parser holding the unit's counters: a silent unit
    // tells them only with a press, which is then no press of its own. Returns the presses so far.
    qsizetype connectAndSettle(Rig& rig)
    {
        [&] {
            QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connected(EW-WU111)"), timeoutMs);
            QTRY_VERIFY_WITH_TIMEOUT(m_bluez.isNotifying(), timeoutMs);
            QFETCH(bool, reportsOnSubscription);
            if (!reportsOnSubscription)
                QVERIFY(press(4));
            QTRY_VERIFY_WITH_TIMEOUT(rig.parser.lastChannel().has_value(), timeoutMs);
        }();
        return rig.heard->presses.size();
    }

    // The unit falls asleep mid-ride and is woken, by a press of `wakingButton` if given:
    // Cogwise waits for it, then is back by itself.
    void sleepAndWake(const Rig& rig, int wakingButton = 0)
    {
        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {true}));
        QVERIFY(m_bluez.control(QStringLiteral("DropLink")));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("waiting(EW-WU111)"), timeoutMs);
        if (wakingButton)
            QVERIFY(press(wakingButton));
        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connected(EW-WU111)"), timeoutMs);
    }

    // The buttons keyed since the first `from` presses, in order.
    static QList<int> keyedSince(const Rig& rig, qsizetype from)
    {
        QList<int> buttons;
        for (qsizetype i = from; i < rig.heard->presses.size(); ++i)
            buttons += rig.heard->presses.at(i);
        return buttons;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (const auto reason = FakeBluez::missing())
            QSKIP(qPrintable(*reason));
        const auto error = m_bluez.start();
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
    }

    void init()
    {
        QVERIFY(m_bluez.control(QStringLiteral("SetPowered"), {true}));
        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {false}));
        QVERIFY(m_bluez.control(QStringLiteral("SetReportsOnSubscribe"), {false}));
        QVERIFY(m_bluez.control(QStringLiteral("SetSlowController"), {false}));
        QVERIFY(m_bluez.control(QStringLiteral("DropLink")));
        // The kernel's passive connect gives up after 20-40 s; here after half a second.
        QVERIFY(m_bluez.control(QStringLiteral("SetConnectLimit"), {uint(500)}));
    }

    // Asleep at launch for longer than the connection limit, with another rider's unit of
    // the same model advertising the whole time: nothing is attempted until the rider's
    // unit wakes, then it connects by itself, once, and stays saved.
    void asleepAtLaunchAmongOtherUnits()
    {
        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {true}));
        QVERIFY(m_bluez.control(QStringLiteral("AddSecondUnit")));
        Rig rig(path());
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("waiting(EW-WU111)"), timeoutMs);
        const QUuid theirs = identifierAt(FakeBluez::secondUnitAddress());
        QTRY_VERIFY_WITH_TIMEOUT(rig.advertisements.value(theirs) >= 8, timeoutMs); // > 1 s, twice the limit
        QCOMPARE(rig.attempts(), 0);
        QCOMPARE(rig.heard->messages.count(QStringLiteral("Press a shifter button to wake EW-WU111")), 1);

        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connected(EW-WU111)"), timeoutMs);
        QCOMPARE(rig.attempts(), 1);
        QCOMPARE(rig.service->deviceInfo().id, identifierAt(FakeBluez::unitAddress()));
        QCOMPARE(rig.defaults.stringValue(QStringLiteral("lastConnectedDeviceUUID")),
                 BleUuid::text(identifierAt(FakeBluez::unitAddress())));
    }

    // A desktop's Bluetooth panel discovers without a filter the whole time: bluetoothd then tells
    // a steady signal only once, and Qt, finding the adapter discovering, opens no session of its
    // own. Cogwise still hears the unit wake, at launch and mid-ride.
    void anotherClientDiscoversWithoutAFilter()
    {
        QVERIFY(m_bluez.control(QStringLiteral("OtherClientDiscovers"), {true}));
        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {true}));
        Rig rig(path());
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("waiting(EW-WU111)"), timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connected(EW-WU111)"), timeoutMs);

        sleepAndWake(rig);
        QVERIFY(m_bluez.control(QStringLiteral("OtherClientDiscovers"), {false}));
    }

    // A controller that reports each device once per 10.24 s scan window: the unit, heard when
    // this window began, falls asleep and wakes within it, so it is heard again only in the next
    // one; Cogwise must still be back by itself then, without a rescan that would lose the window.
    void slowController()
    {
        QVERIFY(m_bluez.control(QStringLiteral("SetSlowController"), {true}));
        Rig rig(path());
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connected(EW-WU111)"), timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {true}));
        QVERIFY(m_bluez.control(QStringLiteral("DropLink")));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("waiting(EW-WU111)"), timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {false}));
        constexpr int scanWindowMs = 10240;
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connected(EW-WU111)"),
                                  scanWindowMs + timeoutMs);
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
        QTRY_COMPARE_WITH_TIMEOUT(m_bluez.count(QStringLiteral("DiscoverySessions")), 0, timeoutMs);
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
        QVERIFY(m_bluez.control(QStringLiteral("SetReportsOnSubscribe"), {reportsOnSubscription}));
        Rig rig(path());
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
        QVERIFY(m_bluez.control(QStringLiteral("SetReportsOnSubscribe"), {reportsOnSubscription}));
        Rig rig(path());
        const qsizetype before = connectAndSettle(rig);
        if (QTest::currentTestFailed())
            return;

        QVERIFY(m_bluez.control(QStringLiteral("SetPowered"), {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("bluetoothOff"), timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("SetPowered"), {true}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connected(EW-WU111)"), timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_bluez.isNotifying(), timeoutMs);
        QVERIFY(press(3));
        QTRY_COMPARE_WITH_TIMEOUT(keyedSince(rig, before), (QList<int>{3}), timeoutMs);

        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {true}));
        QVERIFY(m_bluez.control(QStringLiteral("DropLink")));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("waiting(EW-WU111)"), timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("SetPowered"), {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("bluetoothOff"), timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("SetPowered"), {true}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("waiting(EW-WU111)"), timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connected(EW-WU111)"), timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_bluez.isNotifying(), timeoutMs);
        QVERIFY(press(4));
        QTRY_COMPARE_WITH_TIMEOUT(keyedSince(rig, before), (QList<int>{3, 4}), timeoutMs);

        const auto stopped = m_bluez.stopService();
        QVERIFY2(!stopped, qPrintable(stopped.value_or(QString())));
        QTRY_VERIFY_WITH_TIMEOUT(rig.state().startsWith(QStringLiteral("disconnected(The Bluetooth service")),
                                 timeoutMs);
        const auto started = m_bluez.startService();
        QVERIFY2(!started, qPrintable(started.value_or(QString())));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connected(EW-WU111)"), timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_bluez.isNotifying(), timeoutMs);
    }
};

COGWISE_TEST(tst_UnitLifecycle)
#include "tst_UnitLifecycle.moc"
