#include "analytics/Analytics.h"
#include "bluetooth/BLEConnectionManager.h"
#include "bluetooth/ConnectionService.h"
#include "bluetooth/simulated/SimulatedCentral.h"
#include "di2/Di2Parser.h"
#include "platform/Defaults.h"
#include "support/ConnectionRecorder.h"
#include "support/TestRegistry.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The whole link, from the simulated unit to the presses the view model would get.
struct Rig
{
    Rig(const QString& settingsPath, QList<Di2CaptureRecord> ride)
        : defaults(settingsPath)
        , analytics([](const QString&, const Analytics::Parameters&) {})
        , central(std::move(ride))
        , ble(central)
        , service(ble, parser, defaults, analytics)
    {
        ConnectionService::Timing timing;
        timing.scanTimeout = std::chrono::milliseconds{700}; // the three neighbours show up within 450 ms
        timing.firstReconnectDelay = std::chrono::milliseconds{20};
        service.setTiming(timing);
    }

    QString state() const { return service.connectionState().description(); }
    void connectToUnit()
    {
        QTRY_COMPARE(state(), QStringLiteral("found(3, stopped)"));
        QCOMPARE(service.peripherals().size(), 3);
        const DiscoveredDevice unit = service.peripherals().constFirst();
        QVERIFY(unit.isDi2Device());
        QVERIFY(!service.peripherals().at(1).isDi2Device());
        service.connect(unit);
    }

    Defaults defaults;
    Analytics analytics;
    SimulatedCentral central;
    Di2Parser parser;
    BLEConnectionManager ble;
    ConnectionService service;
    ConnectionRecorder heard{service};
};

QList<Di2CaptureRecord> shortRide()
{
    const auto parsed = Di2Capture::parse("0 2AC2 0503000100\n"
                                          "30 2AC2 0604000100\n"
                                          "60 2AC2 0704020100\n"
                                          "90 2AC2 0804020101\n");
    return std::get<QList<Di2CaptureRecord>>(parsed);
}

} // namespace

class tst_SimulatedCentral : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction())); }

private Q_SLOTS:
    void aRideFromScanToPresses()
    {
        Rig rig(path(), shortRide());
        QSignalSpy finished(&rig.central, &SimulatedCentral::rideFinished);
        rig.connectToUnit();
        if (QTest::currentTestFailed())
            return;
        QTRY_COMPARE(rig.service.deviceInfo().batteryLevel, 85);
        QTRY_VERIFY(finished.size() == 1);
        QTRY_COMPARE(rig.heard.presses, (QList<QList<int>>{{1}, {2}, {4}}));
        const Di2DeviceInfo info = rig.service.deviceInfo();
        QCOMPARE(info.manufacturerName, QStringLiteral("SHIMANO"));
        QCOMPARE(info.firmwareRevision, QStringLiteral("4.1.0"));
        QCOMPARE(rig.state(), QStringLiteral("connected(EW-WU111)"));
    }

    void aDroppedUnitComesBack()
    {
        Rig rig(path(), shortRide());
        rig.connectToUnit();
        if (QTest::currentTestFailed())
            return;
        QTRY_COMPARE(rig.state(), QStringLiteral("connected(EW-WU111)"));
        QTRY_COMPARE(rig.heard.presses.size(), 3);
        rig.central.dropLink();
        QTRY_COMPARE(rig.state(), QStringLiteral("disconnected(Connection lost)"));
        // Back by itself; the ride starts over and its first packet only sets the baseline again.
        QTRY_COMPARE(rig.state(), QStringLiteral("connected(EW-WU111)"));
        QTRY_COMPARE(rig.heard.presses.size(), 6);
    }

    void aRefusedConnection()
    {
        Rig rig(path(), shortRide());
        rig.central.setConnectBehaviour(SimulatedCentral::ConnectBehaviour::refuse);
        rig.connectToUnit();
        if (QTest::currentTestFailed())
            return;
        QTRY_COMPARE(rig.state(), QStringLiteral("scanning"));
        QVERIFY(!rig.ble.connectedPeripheral());
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
