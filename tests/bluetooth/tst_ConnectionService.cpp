#include "fakes/FakeBleCentral.h"
#include "platform/MonotonicTime.h"
#include "support/ConnectionRig.h"
#include "support/DebugLogRecorder.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using namespace std::chrono_literals;

const QString unitId = u"00000000-0000-0000-0000-C0FFEE000001"_s;
const BlePeripheral unit{QUuid::fromString(unitId), u"EW-WU111"_s};
const QString savedKey = u"lastConnectedDeviceUUID"_s;

BleCharacteristic characteristic(const char* shortId, quint8 properties)
{
    return {u"0000%1-0000-1000-8000-00805F9B34FB"_s.arg(QLatin1String(shortId)), u"S"_s, properties};
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
    qsizetype attempts() const { return central.calls.count(u"connect EW-WU111"_s); }
};

class tst_ConnectionService : public QObject
{
    Q_OBJECT

    ScratchDir m_files;

private Q_SLOTS:

    void bluetoothStates()
    {
        Rig rig(m_files.testFile());
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
        Rig rig(m_files.testFile());
        rig.powerOn();
        QCOMPARE(rig.central.takeCalls(), (QStringList{u"stopScan"_s, u"scan"_s}));
        QCOMPARE(rig.state(), u"scanning"_s);

        const BlePeripheral other{QUuid::createUuid(), u"Heart Rate"_s};
        rig.platform([&](BleCentral& d) {
            Q_EMIT d.peripheralDiscovered(unit, -50, true);
            Q_EMIT d.peripheralDiscovered(unit, -40, true);                      // same again: ignored
            Q_EMIT d.peripheralDiscovered({QUuid::createUuid(), {}}, -30, true); // no name: never listed
            Q_EMIT d.peripheralDiscovered({unit.identifier, u"EW-WU111 renamed"_s}, -45, true);
            Q_EMIT d.peripheralDiscovered(other, -70, true);
        });
        QCOMPARE(rig.service.peripherals().size(), 3);
        QCOMPARE(rig.service.peripherals().constFirst().rssi, -50);
        QCOMPARE(rig.state(), u"found(3, scanning)"_s);

        QTRY_COMPARE(rig.state(), u"found(3, stopped)"_s);
        QCOMPARE(rig.central.takeCalls(), QStringList{u"stopScan"_s});
    }

    void savedUnitIsConnectedWhenItAdvertises()
    {
        Rig rig(m_files.testFile());
        rig.central.known = {{unit.identifier, std::nullopt}};
        rig.defaults.setString(savedKey, unitId);
        rig.powerOn();
        QCOMPARE(rig.heard.messages, (QStringList{u"Attempting to auto-connect to last device: "_s + unitId,
                                                  u"Press a shifter button to wake Last Device"_s}));
        QCOMPARE(rig.state(), u"waiting(Last Device)"_s);
        QCOMPARE(rig.central.takeCalls(), QStringList{u"scan"_s});

        rig.advertise(false); // only remembered by the platform: asleep, maybe
        QCOMPARE(rig.attempts(), 0);
        rig.advertise();
        rig.advertise(); // one attempt at a time
        QCOMPARE(rig.central.takeCalls(), (QStringList{u"stopScan"_s, u"connect EW-WU111"_s}));
        QCOMPARE(rig.state(), u"connecting(EW-WU111)"_s);

        // No answer: the unit stays saved, and the rider is told once however often it happens.
        const QString asleep = u"EW-WU111 did not answer — it may be asleep"_s;
        for (int attempt = 0; attempt < 3; ++attempt) {
            rig.fail(BleConnectFailure::notAnswering, asleep);
            QCOMPARE(rig.state(), u"waiting(EW-WU111)"_s);
            QTRY_VERIFY((rig.advertise(), rig.attempts() == 1));
            rig.central.takeCalls();
        }
        QCOMPARE(rig.heard.messages.count(asleep), 1);
        QCOMPARE(rig.defaults.stringValue(savedKey), unitId);
        rig.platform([](BleCentral& d) { Q_EMIT d.peripheralConnected(unit); });
        QCOMPARE(rig.state(), u"connected(EW-WU111)"_s);
        QVERIFY(!rig.service.isWaitingForUnit());
    }

    void refusalsAreSpacedOutAndUnansweredAttemptsEnd()
    {
        Rig rig(m_files.testFile());
        rig.defaults.setString(savedKey, unitId);
        rig.powerOn();
        rig.advertise();
        QCOMPARE(rig.attempts(), 1);
        rig.fail(BleConnectFailure::refused, u"EW-WU111 refused the connection"_s);
        rig.advertise(); // too soon after a refusal
        QCOMPARE(rig.attempts(), 1);
        QTRY_VERIFY((rig.advertise(), rig.attempts() == 2));

        // An attempt the platform never answers is cancelled, and the wait goes on.
        QTRY_VERIFY(rig.central.calls.contains(u"cancel EW-WU111"_s));
        QCOMPARE(rig.state(), u"waiting(EW-WU111)"_s);
        QTRY_VERIFY((rig.advertise(), rig.attempts() == 3));
    }

    void forgottenUnitFallsBackToAScanAndIsStillHeard()
    {
        Rig rig(m_files.testFile());
        rig.central.known.clear();
        rig.defaults.setString(savedKey, unitId);
        rig.powerOn();
        QCOMPARE(rig.heard.messages, QStringList{u"Last connected device not found, scanning..."_s});
        QCOMPARE(rig.central.takeCalls(), (QStringList{u"stopScan"_s, u"scan"_s}));
        QCOMPARE(rig.state(), u"scanning"_s);
        rig.advertise();
        QCOMPARE(rig.attempts(), 1);
    }

    void connectingDiscoversSubscribesAndReads()
    {
        Rig rig(m_files.testFile());
        rig.connectUnit();
        QCOMPARE(rig.state(), u"connected(EW-WU111)"_s);
        QCOMPARE(rig.defaults.stringValue(savedKey), unitId);
        QTRY_COMPARE(rig.events.size(), 1);
        QCOMPARE(rig.events.constFirst(),
                 (std::pair{u"deviceConnected"_s, Analytics::Parameters{{u"device"_s, u"EW-WU111"_s}}}));

        rig.central.takeCalls();
        rig.platform([](BleCentral& d) {
            Q_EMIT d.servicesDiscovered(unit, {{u"180F"_s}, {u"D1"_s}}, std::nullopt);
            Q_EMIT d.characteristicsDiscovered(unit, {u"D1"_s},
                                               {characteristic("2AC2", 0x12), characteristic("2A19", 0x12),
                                                characteristic("2A24", 0x02), characteristic("FFF1", 0x08)},
                                               std::nullopt);
        });
        QCOMPARE(rig.central.takeCalls(),
                 (QStringList{u"discoverCharacteristics 180F"_s, u"discoverCharacteristics D1"_s,
                              u"notify "_s + characteristic("2AC2", 0).uuid,
                              u"notify "_s + characteristic("2A19", 0).uuid,
                              u"read "_s + characteristic("2A19", 0).uuid,
                              u"read "_s + characteristic("2A24", 0).uuid}));
    }

    void valuesAreRouted()
    {
        Rig rig(m_files.testFile());
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
        QCOMPARE(info.modelNumber, u"EW-WU111-B"_s);
        QCOMPARE(info.serialNumber, QString());
        QCOMPARE(info.firmwareRevision, u"4.1.0"_s);
        QCOMPARE(info.manufacturerName, u"SHIMANO"_s);
        QCOMPARE(info.batteryLevel, 90);
        QCOMPARE(rig.heard.presses, (QList<QList<int>>{{1, 3}, {1, 4}}));
        // A press carries when its value arrived, not when the decoder got round to it.
        QVERIFY(rig.heard.arrivals.first() >= beforePress && rig.heard.arrivals.first() <= afterPress);
        QVERIFY(rig.heard.arrivals.last() > afterPress);
        QVERIFY(recorder.lines().contains(u"General: Unknown characteristic "_s +
                                          characteristic("FFF1", 0).uuid + u": [1, 100, 0, 0]"_s));
        QVERIFY(recorder.lines().contains(u"ConnectionService: Channel state: [4]: [2, 0, 1, 0]"_s));

        rig.value("2AC2", QByteArray::fromHex("0000030002070B00000000000000000000")); // a 17-byte status
        QCOMPARE(rig.service.deviceInfo().rearDerailleur, 7);
        QCOMPARE(rig.state(), u"connected(EW-WU111-B)"_s);
    }

    void failedConnectionKeepsTheRidersUnit()
    {
        Rig rig(m_files.testFile());
        rig.defaults.setString(savedKey, unitId);
        const BlePeripheral other{QUuid::fromString(u"00000000-0000-0000-0000-C0FFEE000002"_s),
                                  u"EW-WU111"_s};
        rig.central.known = {unit, other};
        rig.service.connect(DiscoveredDevice{other.identifier, *other.name, -50, std::nullopt});
        rig.heard.states.clear();
        rig.platform(
            [&](BleCentral& d) { Q_EMIT d.connectFailed(other, BleConnectFailure::refused, std::nullopt); });
        QCOMPARE(rig.heard.states, QStringList{u"disconnected(Failed to connect)"_s}); // no churn
        QCOMPARE(rig.defaults.stringValue(savedKey), unitId);
        rig.central.takeCalls();
        rig.advertise(); // the rider's own unit, still listened for
        QCOMPARE(rig.attempts(), 1);
    }

    // A device that is no Di2 unit, whether it refuses the link or shows no Di2 data once
    // connected, is said to be none; the list stays and the scan goes on. A unit under a name of
    // its own connects once its data shows, with what it told meanwhile.
    void noDi2UnitIsToldAndTheListStays_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("data"); // its characteristic; empty: the link is refused
        QTest::addColumn<QString>("state");
        QTest::newRow("refuses") << u"HRM-Pro"_s << QByteArray() << u"found(2, "_s;
        QTest::newRow("no Di2 data") << u"HRM-Pro"_s << QByteArray("2A37") << u"found(2, "_s;
        QTest::newRow("a unit by another name")
            << u"RD-R9250"_s << QByteArray("2AC2") << u"connected(RD-R9250)"_s;
    }
    void noDi2UnitIsToldAndTheListStays()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, data);
        QFETCH(QString, state);
        Rig rig(m_files.testFile());
        const BlePeripheral device{QUuid::fromString(u"00000000-0000-0000-0000-C0FFEE000003"_s), name};
        rig.powerOn();
        rig.platform([&](BleCentral& d) {
            Q_EMIT d.peripheralDiscovered(unit, -50, true);
            Q_EMIT d.peripheralDiscovered(device, -60, true);
        });
        rig.service.connect(DiscoveredDevice{device.identifier, name, -60, device});
        rig.central.takeCalls();
        rig.platform([&](BleCentral& d) {
            if (data.isEmpty()) {
                Q_EMIT d.connectFailed(device, BleConnectFailure::refused, u"Connection refused"_s);
                return;
            }
            Q_EMIT d.peripheralConnected(device);
            Q_EMIT d.valueUpdated(device, characteristic("2A26", 0x02), "5.0", std::nullopt);
        });
        if (!data.isEmpty()) {
            QCOMPARE(rig.state(), u"connecting(%1)"_s.arg(name));
            rig.platform([&](BleCentral& d) {
                Q_EMIT d.servicesDiscovered(device, {{u"S"_s}}, std::nullopt);
                Q_EMIT d.characteristicsDiscovered(device, {u"S"_s}, {characteristic(data.constData(), 0x10)},
                                                   std::nullopt);
            });
        }
        const bool isUnit = data == "2AC2";
        QVERIFY2(rig.state().startsWith(state), qPrintable(rig.state()));
        QCOMPARE(rig.heard.messages.contains(name + u" is not a Di2 unit"_s), !isUnit);
        QCOMPARE(rig.service.deviceInfo().firmwareRevision == u"5.0"_s, isUnit);
        QCOMPARE(rig.defaults.stringValue(savedKey).has_value(), isUnit);
        QCOMPARE(rig.central.calls.contains(u"cancel HRM-Pro"_s), !isUnit && !data.isEmpty());
        QCOMPARE(rig.central.calls.contains(u"scan"_s), !isUnit);
    }

    void userDisconnect()
    {
        Rig rig(m_files.testFile());
        rig.service.connect(DiscoveredDevice{unit.identifier, *unit.name, -50, std::nullopt});
        rig.service.disconnect(); // only connecting: nothing happens
        QCOMPARE(rig.state(), u"connecting(EW-WU111)"_s);

        rig.platform([](BleCentral& d) { Q_EMIT d.peripheralConnected(unit); });
        rig.central.takeCalls();
        rig.service.disconnect();
        QCOMPARE(rig.state(), u"disconnected()"_s);
        QCOMPARE(rig.central.takeCalls(), QStringList{u"cancel EW-WU111"_s});
        QCOMPARE(rig.defaults.stringValue(savedKey), std::nullopt);
        // The platform then reports the end of the link: not a loss.
        rig.platform([](BleCentral& d) { Q_EMIT d.peripheralDisconnected(unit, std::nullopt); });
        QVERIFY(!rig.service.isWaitingForUnit());
        rig.advertise();
        QCOMPARE(rig.attempts(), 0); // the user ended it: no unit is listened for
    }

    void lostUnitIsWaitedForThroughRadioAndServiceRestarts()
    {
        Rig rig(m_files.testFile());
        rig.connectUnit();
        rig.central.takeCalls();
        rig.platform(
            [](BleCentral& d) { Q_EMIT d.peripheralDisconnected(unit, u"Remote user terminated"_s); });
        QCOMPARE(rig.state(), u"waiting(EW-WU111)"_s);
        QCOMPARE(rig.heard.messages.mid(rig.heard.messages.size() - 2),
                 (QStringList{u"Connection to EW-WU111 lost, reconnecting..."_s,
                              u"Press a shifter button to wake EW-WU111"_s}));
        QCOMPARE(rig.defaults.stringValue(savedKey), unitId);
        QVERIFY(!rig.ble.connectedPeripheral());

        // Radio off during an attempt: it ends, nothing more is tried, and the state says why.
        rig.advertise();
        QCOMPARE(rig.attempts(), 1);
        rig.central.takeCalls();
        rig.platform([](BleCentral& d) { Q_EMIT d.stateUpdated(BleCentralState::poweredOff); });
        QCOMPARE(rig.state(), u"bluetoothOff"_s);
        QCOMPARE(rig.central.takeCalls(), QStringList{u"cancel EW-WU111"_s});
        rig.advertise();
        rig.fail(BleConnectFailure::refused, u"Bluetooth is off"_s);
        QCOMPARE(rig.state(), u"bluetoothOff"_s);
        QCOMPARE(rig.attempts(), 0);

        // Radio on: a moment to settle, then the wait for the unit again.
        rig.powerOn();
        QCOMPARE(rig.state(), u"bluetoothOff"_s);
        QTRY_COMPARE(rig.state(), u"waiting(EW-WU111)"_s);

        // bluetoothd goes away and comes back.
        rig.platform([](BleCentral& d) { Q_EMIT d.stateUpdated(BleCentralState::serviceStopped); });
        QVERIFY(rig.state().startsWith(u"disconnected(The Bluetooth service is not running"_s));
        rig.powerOn();
        QTRY_COMPARE(rig.state(), u"waiting(EW-WU111)"_s);
        rig.advertise();
        rig.platform([](BleCentral& d) { Q_EMIT d.peripheralConnected(unit); });
        QCOMPARE(rig.state(), u"connected(EW-WU111)"_s);
    }

    // However the link ends, values still on their way (a status, the battery, a name read)
    // update what is known of the unit but do not make it connected again.
    void theEndOfTheLinkStaysInSpiteOfLateValues_data()
    {
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("state");
        QTest::newRow("dropped") << 0 << u"waiting(EW-WU111)"_s;
        QTest::newRow("radio off") << 1 << u"bluetoothOff"_s;
        QTest::newRow("bluetoothd gone") << 2
                                         << u"disconnected(The Bluetooth service is not running; Cogwise "
                                            "carries on when it is back)"_s;
        QTest::newRow("the rider's Disconnect") << 3 << u"disconnected()"_s;
    }
    void theEndOfTheLinkStaysInSpiteOfLateValues()
    {
        QFETCH(int, end);
        QFETCH(QString, state);
        Rig rig(m_files.testFile());
        rig.connectUnit();
        rig.platform([&rig, end](BleCentral& d) {
            Q_EMIT d.valueUpdated(unit, characteristic("2A19", 0x12), "\x50", std::nullopt);
            Q_EMIT d.valueUpdated(unit, characteristic("2A24", 0x02), "EW-WU111-B", std::nullopt);
            if (end == 3)
                rig.service.disconnect();
            else
                Q_EMIT d.peripheralDisconnected(unit, u"Remote user terminated"_s);
            if (end == 1)
                Q_EMIT d.stateUpdated(BleCentralState::poweredOff);
            if (end == 2)
                Q_EMIT d.stateUpdated(BleCentralState::serviceStopped);
        });
        DebugLogRecorder::settle();
        QCOMPARE(rig.service.deviceInfo().batteryLevel, 80);
        QCOMPARE(rig.state(), state);
        QCOMPARE(rig.service.isWaitingForUnit(), end == 0);
    }

    void theScanListIsStable()
    {
        Rig rig(m_files.testFile());
        rig.powerOn();
        const BlePeripheral other{QUuid::createUuid(), u"Heart Rate"_s};
        rig.platform([&](BleCentral& d) {
            Q_EMIT d.peripheralDiscovered(unit, -50, true);
            Q_EMIT d.peripheralDiscovered(other, -70, true);
        });
        rig.central.takeCalls();
        rig.service.rescan(); // while scanning: restarted, and the units in range stay listed
        QCOMPARE(rig.central.takeCalls(), (QStringList{u"stopScan"_s, u"scan"_s}));
        DebugLogRecorder::settle();
        QCOMPARE(rig.state(), u"scanning"_s);
        QCOMPARE(rig.service.peripherals().size(), 2);
        // The unit keeps advertising, the other falls silent and leaves the list.
        QTRY_VERIFY((rig.advertise(), rig.service.peripherals().size() == 1));
        QCOMPARE(rig.service.peripherals().constFirst().id, unit.identifier);
    }

    void rescanWhileWaitingStillListensForTheUnit()
    {
        Rig rig(m_files.testFile());
        rig.connectUnit();
        rig.platform([](BleCentral& d) { Q_EMIT d.peripheralDisconnected(unit, std::nullopt); });
        QVERIFY(rig.service.isWaitingForUnit());
        rig.service.rescan();
        QTRY_COMPARE(rig.state(), u"found(0, stopped)"_s); // the list's own time-out
        rig.central.takeCalls();
        rig.advertise();
        QCOMPARE(rig.attempts(), 1);
    }
};

} // namespace

COGWISE_TEST(tst_ConnectionService)
#include "tst_ConnectionService.moc"
