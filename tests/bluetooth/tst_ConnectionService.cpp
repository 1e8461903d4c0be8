#include "bluetooth/BleUuid.h"
#include "fakes/FakeBleCentral.h"
#include "platform/MonotonicTime.h"
#include "support/ConnectionRig.h"
#include "support/DebugLogRecorder.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QTest>

namespace {

using namespace std::chrono_literals;

const BlePeripheral unit{QUuid::fromString(QStringLiteral("00000000-0000-0000-0000-C0FFEE000001")),
                         QStringLiteral("EW-WU111")};
const QString savedKey = QStringLiteral("lastConnectedDeviceUUID");

BleCharacteristic characteristic(const char* shortId, quint8 properties)
{
    return {QStringLiteral("0000%1-0000-1000-8000-00805F9B34FB").arg(QLatin1String(shortId)),
            QStringLiteral("S"), properties};
}

// The service with a fake central below it and a recording view model above.
struct Rig : ConnectionRig<FakeBleCentral>
{
    explicit Rig(const QString& settingsPath)
        : ConnectionRig(settingsPath, {.scanTimeout = 60ms,
                                       .firstRetryDelay = 20ms,
                                       .maximumRetryDelay = 80ms,
                                       .attemptTimeout = 150ms,
                                       .powerOnSettle = 50ms,
                                       .listLifetime = 300ms})
    {
        central.known = {unit};
    }

    // Plays a platform callback and lets the queued work land.
    template<typename F> void platform(F callback)
    {
        callback(static_cast<BleCentral&>(central));
        DebugLogRecorder::settle();
    }
    void connectUnit()
    {
        service.connect(DiscoveredDevice{unit.identifier, *unit.name, -50, std::nullopt});
        platform([](BleCentral& d) { Q_EMIT d.peripheralConnected(unit); });
    }
    void value(const char* shortId, const QByteArray& bytes)
    {
        platform([&](BleCentral& d) {
            Q_EMIT d.valueUpdated(unit, characteristic(shortId, 0x12), bytes, std::nullopt);
        });
        DebugLogRecorder::settle(); // the decoder's own queued tasks
    }
    void powerOn()
    {
        platform([](BleCentral& d) { Q_EMIT d.stateUpdated(BleCentralState::poweredOn); });
    }
    // The unit's advertisement, heard now (or only remembered by the platform).
    void advertise(bool advertising = true)
    {
        platform([advertising](BleCentral& d) { Q_EMIT d.peripheralDiscovered(unit, -60, advertising); });
    }
    void fail(BleConnectFailure failure, const QString& text)
    {
        platform([failure, text](BleCentral& d) { Q_EMIT d.connectFailed(unit, failure, text); });
    }
    qsizetype attempts() const { return central.calls.count(QStringLiteral("connect EW-WU111")); }
};

} // namespace

class tst_ConnectionService : public QObject
{
    Q_OBJECT

    ScratchDir m_files;
    std::unique_ptr<Rig> m_rig;

private Q_SLOTS:
    void init() { m_rig = std::make_unique<Rig>(m_files.testFile()); }
    void cleanup() { m_rig.reset(); }

    void bluetoothStates()
    {
        Rig& rig = *m_rig;
        for (auto [state, expected] : std::initializer_list<std::pair<BleCentralState, const char*>>{
                 {BleCentralState::unsupported, "disconnected(Bluetooth is not supported on this device)"},
                 {BleCentralState::unauthorized, "bluetoothUnauthorized"},
                 {BleCentralState::poweredOff, "bluetoothOff"},
                 {BleCentralState::resetting, "bluetoothOff"},
                 {BleCentralState::serviceStopped, "disconnected(The Bluetooth service is not running; "
                                                   "Cogwise carries on when it is back)"}}) {
            rig.platform([reported = state](BleCentral& d) { Q_EMIT d.stateUpdated(reported); });
            QCOMPARE(rig.state(), QString::fromLatin1(expected));
        }
    }

    void scanFindsNamedDevicesOnceAndTimesOut()
    {
        Rig& rig = *m_rig;
        rig.powerOn();
        QCOMPARE(rig.central.takeCalls(), (QStringList{QStringLiteral("stopScan"), QStringLiteral("scan")}));
        QCOMPARE(rig.state(), QStringLiteral("scanning"));

        const BlePeripheral other{QUuid::createUuid(), QStringLiteral("Heart Rate")};
        rig.platform([&](BleCentral& d) {
            Q_EMIT d.peripheralDiscovered(unit, -50, true);
            Q_EMIT d.peripheralDiscovered(unit, -40, true);                      // same again: ignored
            Q_EMIT d.peripheralDiscovered({QUuid::createUuid(), {}}, -30, true); // no name: never listed
            Q_EMIT d.peripheralDiscovered({unit.identifier, QStringLiteral("EW-WU111 renamed")}, -45, true);
            Q_EMIT d.peripheralDiscovered(other, -70, true);
        });
        QCOMPARE(rig.service.peripherals().size(), 3);
        QCOMPARE(rig.service.peripherals().constFirst().rssi, -50);
        QCOMPARE(rig.state(), QStringLiteral("found(3, scanning)"));

        QTRY_COMPARE(rig.state(), QStringLiteral("found(3, stopped)"));
        QCOMPARE(rig.central.takeCalls(), QStringList{QStringLiteral("stopScan")});
    }

    void savedUnitIsConnectedWhenItAdvertises()
    {
        Rig& rig = *m_rig;
        rig.central.known = {{unit.identifier, std::nullopt}};
        rig.defaults.setString(savedKey, BleUuid::text(unit.identifier));
        rig.powerOn();
        QCOMPARE(rig.heard.messages,
                 (QStringList{QStringLiteral("Attempting to auto-connect to last device: ") +
                                  BleUuid::text(unit.identifier),
                              QStringLiteral("Press a shifter button to wake Last Device")}));
        QCOMPARE(rig.state(), QStringLiteral("waiting(Last Device)"));
        QCOMPARE(rig.central.takeCalls(), QStringList{QStringLiteral("scan")});

        rig.advertise(false); // only remembered by the platform: asleep, maybe
        QCOMPARE(rig.attempts(), 0);
        rig.advertise();
        rig.advertise(); // one attempt at a time
        QCOMPARE(rig.central.takeCalls(),
                 (QStringList{QStringLiteral("stopScan"), QStringLiteral("connect EW-WU111")}));
        QCOMPARE(rig.state(), QStringLiteral("connecting(EW-WU111)"));

        // No answer: the unit stays saved, and the rider is told once however often it happens.
        const QString asleep = QStringLiteral("EW-WU111 did not answer — it may be asleep");
        for (int attempt = 0; attempt < 3; ++attempt) {
            rig.fail(BleConnectFailure::notAnswering, asleep);
            QCOMPARE(rig.state(), QStringLiteral("waiting(EW-WU111)"));
            QTRY_VERIFY((rig.advertise(), rig.attempts() == 1));
            rig.central.takeCalls();
        }
        QCOMPARE(rig.heard.messages.count(asleep), 1);
        QCOMPARE(rig.heard.messages.count(QStringLiteral("Press a shifter button to wake Last Device")), 1);
        QCOMPARE(rig.defaults.stringValue(savedKey), BleUuid::text(unit.identifier));
        rig.platform([](BleCentral& d) { Q_EMIT d.peripheralConnected(unit); });
        QCOMPARE(rig.state(), QStringLiteral("connected(EW-WU111)"));
        QVERIFY(!rig.service.isWaitingForUnit());
    }

    void refusalsAreSpacedOutAndUnansweredAttemptsEnd()
    {
        Rig& rig = *m_rig;
        rig.defaults.setString(savedKey, BleUuid::text(unit.identifier));
        rig.powerOn();
        rig.advertise();
        QCOMPARE(rig.attempts(), 1);
        rig.fail(BleConnectFailure::refused, QStringLiteral("EW-WU111 refused the connection"));
        rig.advertise(); // too soon after a refusal
        QCOMPARE(rig.attempts(), 1);
        QTRY_VERIFY((rig.advertise(), rig.attempts() == 2));

        // An attempt the platform never answers is cancelled, and the wait goes on.
        QTRY_VERIFY(rig.central.calls.contains(QStringLiteral("cancel EW-WU111")));
        QCOMPARE(rig.state(), QStringLiteral("waiting(EW-WU111)"));
        QTRY_VERIFY((rig.advertise(), rig.attempts() == 3));
    }

    void forgottenUnitFallsBackToAScanAndIsStillHeard()
    {
        Rig& rig = *m_rig;
        rig.central.known.clear();
        rig.defaults.setString(savedKey, BleUuid::text(unit.identifier));
        rig.powerOn();
        QCOMPARE(rig.heard.messages,
                 QStringList{QStringLiteral("Last connected device not found, scanning...")});
        QCOMPARE(rig.central.takeCalls(), (QStringList{QStringLiteral("stopScan"), QStringLiteral("scan")}));
        QCOMPARE(rig.state(), QStringLiteral("scanning"));
        rig.advertise();
        QCOMPARE(rig.attempts(), 1);
    }

    void connectingDiscoversSubscribesAndReads()
    {
        Rig& rig = *m_rig;
        rig.connectUnit();
        QCOMPARE(rig.state(), QStringLiteral("connected(EW-WU111)"));
        QCOMPARE(rig.defaults.stringValue(savedKey), BleUuid::text(unit.identifier));
        QTRY_COMPARE(rig.events.size(), 1);
        QCOMPARE(rig.events.constFirst(),
                 (std::pair{QStringLiteral("deviceConnected"),
                            Analytics::Parameters{{QStringLiteral("device"), QStringLiteral("EW-WU111")}}}));

        rig.central.takeCalls();
        rig.platform([](BleCentral& d) {
            Q_EMIT d.servicesDiscovered(unit, {{QStringLiteral("180F")}, {QStringLiteral("D1")}},
                                        std::nullopt);
            Q_EMIT d.characteristicsDiscovered(unit, {QStringLiteral("D1")},
                                               {characteristic("2AC2", 0x12), characteristic("2A19", 0x12),
                                                characteristic("2A24", 0x02), characteristic("FFF1", 0x08)},
                                               std::nullopt);
        });
        QCOMPARE(rig.central.takeCalls(),
                 (QStringList{QStringLiteral("discoverCharacteristics 180F"),
                              QStringLiteral("discoverCharacteristics D1"),
                              QStringLiteral("notify ") + characteristic("2AC2", 0).uuid,
                              QStringLiteral("notify ") + characteristic("2A19", 0).uuid,
                              QStringLiteral("read ") + characteristic("2A19", 0).uuid,
                              QStringLiteral("read ") + characteristic("2A24", 0).uuid}));
    }

    void valuesAreRouted()
    {
        Rig& rig = *m_rig;
        rig.connectUnit();
        DebugLogRecorder recorder;
        rig.value("2A24", "EW-WU111-B");
        rig.value("2A25", "\xFF\xFE"); // not UTF-8: stored empty
        rig.value("2A26", "4.1.0");
        rig.value("2A29", "SHIMANO");
        rig.value("2A19", "\x5A");
        rig.value("2AC2", QByteArray::fromHex("0301000000"));
        const qint64 beforePress = MonotonicTime::nowNanoseconds();
        rig.value("2AC2", QByteArray::fromHex("0402000100"));
        const qint64 afterPress = MonotonicTime::nowNanoseconds();
        rig.value("FFF1", QByteArray::fromHex("01640000"));   // unknown, 4 bytes: logged
        rig.value("FFF1", QByteArray::fromHex("0503000101")); // unknown, 5 bytes: a channel packet

        const Di2DeviceInfo& info = rig.service.deviceInfo();
        QCOMPARE(info.modelNumber, QStringLiteral("EW-WU111-B"));
        QCOMPARE(info.serialNumber, QString());
        QCOMPARE(info.firmwareRevision, QStringLiteral("4.1.0"));
        QCOMPARE(info.manufacturerName, QStringLiteral("SHIMANO"));
        QCOMPARE(info.batteryLevel, 90);
        QCOMPARE(rig.heard.presses, (QList<QList<int>>{{1, 3}, {1, 4}}));
        // A press carries when its value arrived, not when the decoder got round to it.
        QVERIFY(rig.heard.arrivals.first() >= beforePress && rig.heard.arrivals.first() <= afterPress);
        QVERIFY(rig.heard.arrivals.last() > afterPress);
        QVERIFY(recorder.lines().contains(QStringLiteral("General: Unknown characteristic ") +
                                          characteristic("FFF1", 0).uuid +
                                          QStringLiteral(": [1, 100, 0, 0]")));
        QVERIFY(
            recorder.lines().contains(QStringLiteral("ConnectionService: Channel state: [4]: [2, 0, 1, 0]")));

        QByteArray status(17, '\0');
        status[2] = 3;
        status[4] = 2;
        status[5] = 7;
        status[6] = 11;
        rig.value("2AC2", status);
        QCOMPARE(rig.service.deviceInfo().rearDerailleur, 7);
        QCOMPARE(rig.state(), QStringLiteral("connected(EW-WU111-B)"));
    }

    void failedConnectionKeepsTheRidersUnit()
    {
        Rig& rig = *m_rig;
        rig.defaults.setString(savedKey, BleUuid::text(unit.identifier));
        const BlePeripheral other{QUuid::fromString(QStringLiteral("00000000-0000-0000-0000-C0FFEE000002")),
                                  QStringLiteral("EW-WU111")};
        rig.central.known = {unit, other};
        rig.service.connect(DiscoveredDevice{other.identifier, *other.name, -50, std::nullopt});
        rig.heard.states.clear();
        rig.platform(
            [&](BleCentral& d) { Q_EMIT d.connectFailed(other, BleConnectFailure::refused, std::nullopt); });
        QCOMPARE(rig.heard.states,
                 QStringList{QStringLiteral("disconnected(Failed to connect)")}); // no churn
        QCOMPARE(rig.defaults.stringValue(savedKey), BleUuid::text(unit.identifier));
        rig.central.takeCalls();
        rig.advertise(); // the rider's own unit, still listened for
        QCOMPARE(rig.attempts(), 1);
    }

    void userDisconnect()
    {
        Rig& rig = *m_rig;
        rig.service.connect(DiscoveredDevice{unit.identifier, *unit.name, -50, std::nullopt});
        rig.service.disconnect(); // only connecting: nothing happens
        QCOMPARE(rig.state(), QStringLiteral("connecting(EW-WU111)"));

        rig.platform([](BleCentral& d) { Q_EMIT d.peripheralConnected(unit); });
        rig.central.takeCalls();
        rig.service.disconnect();
        QCOMPARE(rig.state(), QStringLiteral("disconnected()"));
        QCOMPARE(rig.central.takeCalls(), QStringList{QStringLiteral("cancel EW-WU111")});
        QCOMPARE(rig.defaults.stringValue(savedKey), std::nullopt);
        // The platform then reports the end of the link: not a loss.
        rig.platform([](BleCentral& d) { Q_EMIT d.peripheralDisconnected(unit, std::nullopt); });
        QVERIFY(!rig.service.isWaitingForUnit());
        rig.advertise();
        QCOMPARE(rig.attempts(), 0); // the user ended it: no unit is listened for
    }

    void lostUnitIsWaitedForThroughRadioAndServiceRestarts()
    {
        Rig& rig = *m_rig;
        rig.connectUnit();
        rig.central.takeCalls();
        rig.platform([](BleCentral& d) {
            Q_EMIT d.peripheralDisconnected(unit, QStringLiteral("Remote user terminated"));
        });
        QCOMPARE(rig.state(), QStringLiteral("waiting(EW-WU111)"));
        QCOMPARE(rig.heard.messages.mid(rig.heard.messages.size() - 2),
                 (QStringList{QStringLiteral("Connection to EW-WU111 lost, reconnecting..."),
                              QStringLiteral("Press a shifter button to wake EW-WU111")}));
        QCOMPARE(rig.defaults.stringValue(savedKey), BleUuid::text(unit.identifier));
        QVERIFY(!rig.ble.connectedPeripheral());

        // Radio off during an attempt: it ends, nothing more is tried, and the state says why.
        rig.advertise();
        QCOMPARE(rig.attempts(), 1);
        rig.central.takeCalls();
        rig.platform([](BleCentral& d) { Q_EMIT d.stateUpdated(BleCentralState::poweredOff); });
        QCOMPARE(rig.state(), QStringLiteral("bluetoothOff"));
        QCOMPARE(rig.central.takeCalls(), QStringList{QStringLiteral("cancel EW-WU111")});
        rig.advertise();
        rig.fail(BleConnectFailure::refused, QStringLiteral("Bluetooth is off"));
        QCOMPARE(rig.state(), QStringLiteral("bluetoothOff"));
        QCOMPARE(rig.attempts(), 0);

        // Radio on: a moment to settle, then the wait for the unit again.
        rig.powerOn();
        QCOMPARE(rig.state(), QStringLiteral("bluetoothOff"));
        QTRY_COMPARE(rig.state(), QStringLiteral("waiting(EW-WU111)"));

        // bluetoothd goes away and comes back.
        rig.platform([](BleCentral& d) { Q_EMIT d.stateUpdated(BleCentralState::serviceStopped); });
        QVERIFY(rig.state().startsWith(QStringLiteral("disconnected(The Bluetooth service is not running")));
        rig.powerOn();
        QTRY_COMPARE(rig.state(), QStringLiteral("waiting(EW-WU111)"));
        rig.advertise();
        rig.platform([](BleCentral& d) { Q_EMIT d.peripheralConnected(unit); });
        QCOMPARE(rig.state(), QStringLiteral("connected(EW-WU111)"));
    }

    void radioOffWhileConnectedEndsInBluetoothOff()
    {
        Rig& rig = *m_rig;
        rig.connectUnit();
        rig.platform([](BleCentral& d) {
            Q_EMIT d.peripheralDisconnected(unit, QStringLiteral("Bluetooth is no longer available"));
            Q_EMIT d.stateUpdated(BleCentralState::poweredOff);
        });
        QCOMPARE(rig.state(), QStringLiteral("bluetoothOff"));
        QVERIFY(!rig.service.isWaitingForUnit());
    }

    void theScanListIsStable()
    {
        Rig& rig = *m_rig;
        rig.powerOn();
        const BlePeripheral other{QUuid::createUuid(), QStringLiteral("Heart Rate")};
        rig.platform([&](BleCentral& d) {
            Q_EMIT d.peripheralDiscovered(unit, -50, true);
            Q_EMIT d.peripheralDiscovered(other, -70, true);
        });
        rig.central.takeCalls();
        rig.service.rescan(); // while scanning: restarted, and the units in range stay listed
        QCOMPARE(rig.central.takeCalls(), (QStringList{QStringLiteral("stopScan"), QStringLiteral("scan")}));
        DebugLogRecorder::settle();
        QCOMPARE(rig.state(), QStringLiteral("scanning"));
        QCOMPARE(rig.service.peripherals().size(), 2);
        // The unit keeps advertising, the other falls silent and leaves the list.
        QTRY_VERIFY((rig.advertise(), rig.service.peripherals().size() == 1));
        QCOMPARE(rig.service.peripherals().constFirst().id, unit.identifier);
    }

    void rescanWhileWaitingStillListensForTheUnit()
    {
        Rig& rig = *m_rig;
        rig.connectUnit();
        rig.platform([](BleCentral& d) { Q_EMIT d.peripheralDisconnected(unit, std::nullopt); });
        QVERIFY(rig.service.isWaitingForUnit());
        rig.service.rescan();
        QTRY_COMPARE(rig.state(), QStringLiteral("found(0, stopped)")); // the list's own time-out
        rig.central.takeCalls();
        rig.advertise();
        QCOMPARE(rig.attempts(), 1);
    }
};

COGWISE_TEST(tst_ConnectionService)
#include "tst_ConnectionService.moc"
