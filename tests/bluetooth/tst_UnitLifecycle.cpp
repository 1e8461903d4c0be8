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
    QString path() const { return m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction())); }

    bool notify(const char* hex)
    {
        return m_bluez.control(QStringLiteral("Notify"), {QByteArray::fromHex(hex)});
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

    // Asleep mid-ride and woken: back by itself, and each press is keyed once.
    void asleepMidRideEveryPressOnce()
    {
        Rig rig(path());
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connected(EW-WU111)"), timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_bluez.isNotifying(), timeoutMs);
        QVERIFY(notify("0100000000"));
        QVERIFY(notify("0201000000"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.heard->presses, (QList<QList<int>>{{1}}), timeoutMs);

        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {true}));
        QVERIFY(m_bluez.control(QStringLiteral("DropLink")));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("waiting(EW-WU111)"), timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connected(EW-WU111)"), timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_bluez.isNotifying(), timeoutMs);
        // The unit tells its state again (the wake-up press included), then a press follows.
        QVERIFY(notify("0302000000"));
        QVERIFY(notify("0402010000"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.heard->presses, (QList<QList<int>>{{1}, {2}}), timeoutMs);
        QCOMPARE(rig.attempts(), 2); // at launch, and once after the wake
    }

    // The radio off and on, while connected and while waiting; then bluetoothd restarts.
    void radioAndBluetoothdComeAndGo()
    {
        Rig rig(path());
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connected(EW-WU111)"), timeoutMs);

        QVERIFY(m_bluez.control(QStringLiteral("SetPowered"), {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("bluetoothOff"), timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("SetPowered"), {true}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connected(EW-WU111)"), timeoutMs);

        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {true}));
        QVERIFY(m_bluez.control(QStringLiteral("DropLink")));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("waiting(EW-WU111)"), timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("SetPowered"), {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("bluetoothOff"), timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("SetPowered"), {true}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("waiting(EW-WU111)"), timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connected(EW-WU111)"), timeoutMs);

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
