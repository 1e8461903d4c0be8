#include "bluetooth/simulated/SimulatedCentral.h"
#include "di2/GattIds.h"
#include "support/ConnectionRig.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>

namespace {

using namespace std::chrono_literals;

QList<Di2CaptureRecord> shortRide()
{
    const auto parsed = Di2Capture::parse("0 2AC2 0503000100\n"
                                          "30 2AC2 0604000100\n"
                                          "60 2AC2 0704020100\n"
                                          "90 2AC2 0804020101\n");
    return std::get<QList<Di2CaptureRecord>>(parsed);
}

// The whole link, from the simulated unit to the presses the view model would get.
struct SimulatedRig : ConnectionRig<SimulatedCentral>
{
    explicit SimulatedRig(const QString& settingsPath, QList<Di2CaptureRecord> ride = shortRide())
        // The three neighbours show up within 450 ms.
        : ConnectionRig(settingsPath, {.scanTimeout = 700ms, .firstRetryDelay = 20ms}, std::move(ride))
    {}

    void connectToUnit()
    {
        QTRY_COMPARE(state(), QStringLiteral("found(3, stopped)"));
        QCOMPARE(service.peripherals().size(), 3);
        const DiscoveredDevice di2Unit = service.peripherals().constFirst();
        QVERIFY(di2Unit.isDi2Device());
        QVERIFY(!service.peripherals().at(1).isDi2Device());
        service.connect(di2Unit);
    }
};

} // namespace

class tst_SimulatedCentral : public QObject
{
    Q_OBJECT

    ScratchDir m_files;

private Q_SLOTS:
    void aRefusedConnectionStaysShown()
    {
        SimulatedRig rig(m_files.testFile());
        rig.central.setConnectBehaviour(SimulatedCentral::ConnectBehaviour::refuse);
        rig.connectToUnit();
        if (QTest::currentTestFailed())
            return;
        QTRY_COMPARE(rig.state(), QStringLiteral("disconnected(The simulated unit refused the connection.)"));
        QVERIFY(!rig.ble.connectedPeripheral());
    }

    // From the scan to the unit's details, then many presses while the unit drops, sleeps, and
    // the radio and bluetoothd go off and on, each in turn: every press reaches the keys exactly
    // once, in order, whether or not the unit tells its counters when it is subscribed again.
    void soak_data()
    {
        QTest::addColumn<bool>("reportsOnSubscription");
        QTest::newRow("unit reports its state on subscription") << true;
        QTest::newRow("unit silent until a press") << false;
    }

    void soak()
    {
        QFETCH(bool, reportsOnSubscription);
        QList<Di2CaptureRecord> ride;
        QList<QList<int>> expected;
        quint8 counters[4] = {0, 0, 0, 0};
        ride.append({0, 0, GattIds::di2Data(), QByteArray(5, '\0')});
        for (int press = 0; press < 60; ++press) {
            const int button = press % 4 + 1;
            ++counters[button - 1];
            ride.append(
                {0, 40 * (press + 1), GattIds::di2Data(),
                 QByteArray(1, char(press)) + QByteArray(reinterpret_cast<const char*>(counters), 4)});
            expected.append(QList<int>{button});
        }
        SimulatedRig rig(m_files.testFile(), ride);
        rig.central.setReportsStateOnSubscription(reportsOnSubscription);
        rig.service.setTiming({.scanTimeout = 700ms, .powerOnSettle = 30ms});
        rig.central.setConnectLimit(std::chrono::milliseconds{150});
        rig.central.setAdvertisingInterval(std::chrono::milliseconds{30});
        QSignalSpy finished(&rig.central, &SimulatedCentral::rideFinished);
        rig.connectToUnit();
        if (QTest::currentTestFailed())
            return;
        QTRY_COMPARE(rig.service.deviceInfo().batteryLevel, 85);
        QCOMPARE(rig.service.deviceInfo().manufacturerName, QStringLiteral("SHIMANO"));
        QCOMPARE(rig.service.deviceInfo().firmwareRevision, QStringLiteral("4.1.0"));

        for (int round = 0; round < 10 && finished.isEmpty(); ++round) {
            QTRY_COMPARE(rig.state(), QStringLiteral("connected(EW-WU111)"));
            const qsizetype before = rig.heard.presses.size();
            QTRY_VERIFY(rig.heard.presses.size() > before || !finished.isEmpty()); // some presses go through
            switch (round % 4) {
            case 0:
                rig.central.dropLink();
                break;
            case 1:
                rig.central.setAsleep(true);
                QTRY_COMPARE(rig.state(), QStringLiteral("waiting(EW-WU111)"));
                rig.central.setAsleep(false);
                break;
            case 2:
                rig.central.setPowered(false);
                QTRY_COMPARE(rig.state(), QStringLiteral("bluetoothOff"));
                rig.central.setPowered(true);
                break;
            case 3:
                rig.central.setServiceRunning(false);
                QTRY_VERIFY(rig.state().startsWith(QStringLiteral("disconnected(The Bluetooth service")));
                rig.central.setServiceRunning(true);
                break;
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
        QTRY_COMPARE(rig.heard.presses.size(), expected.size());
        QCOMPARE(rig.heard.presses, expected);
        QTRY_COMPARE(rig.state(), QStringLiteral("connected(EW-WU111)"));
    }

    void demoRideIsWellFormed()
    {
        const QList<Di2CaptureRecord> ride = SimulatedCentral::demoRide();
        QVERIFY(ride.size() > 20);
        for (qsizetype i = 1; i < ride.size(); ++i)
            QVERIFY(ride.at(i).milliseconds >= ride.at(i - 1).milliseconds);
    }
};

COGWISE_TEST(tst_SimulatedCentral)
#include "tst_SimulatedCentral.moc"
