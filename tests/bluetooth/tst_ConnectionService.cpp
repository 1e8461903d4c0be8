#include "analytics/Analytics.h"
#include "bluetooth/BLEConnectionManager.h"
#include "bluetooth/BleUuid.h"
#include "bluetooth/ConnectionService.h"
#include "di2/Di2Parser.h"
#include "fakes/FakeBleCentral.h"
#include "platform/Defaults.h"
#include "support/ConnectionRecorder.h"
#include "support/DebugLogRecorder.h"
#include "support/TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const BlePeripheral unit{QUuid::fromString(QStringLiteral("00000000-0000-0000-0000-C0FFEE000001")),
                         QStringLiteral("EW-WU111")};
const QString savedKey = QStringLiteral("lastConnectedDeviceUUID");

BleCharacteristic characteristic(const char* shortId, quint8 properties)
{
    return {QStringLiteral("0000%1-0000-1000-8000-00805F9B34FB").arg(QLatin1String(shortId)),
            QStringLiteral("S"), properties};
}

// The service with a fake central below it and a recording view model above.
struct Rig
{
    explicit Rig(const QString& settingsPath)
        : defaults(settingsPath)
        , analytics([this](const QString& name, const Analytics::Parameters& p) {
            events.append({name, p});
        })
        , ble(central)
        , service(ble, parser, defaults, analytics)
    {
        ConnectionService::Timing timing;
        timing.scanTimeout = std::chrono::milliseconds{60};
        timing.firstReconnectDelay = std::chrono::milliseconds{20};
        timing.maximumReconnectDelay = std::chrono::milliseconds{80};
        timing.reconnectAttemptTimeout = std::chrono::milliseconds{100};
        service.setTiming(timing);
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
    QString state() const { return service.connectionState().description(); }

    Defaults defaults;
    QList<std::pair<QString, Analytics::Parameters>> events;
    Analytics analytics;
    FakeBleCentral central;
    Di2Parser parser;
    BLEConnectionManager ble;
    ConnectionService service;
    ConnectionRecorder heard{service};
};

} // namespace

class tst_ConnectionService : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Rig> m_rig;

private Q_SLOTS:
    void init()
    {
        const QString path =
            m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + QStringLiteral(".conf"));
        QFile::remove(path);
        m_rig = std::make_unique<Rig>(path);
        m_rig->central.known = {unit};
    }
    void cleanup() { m_rig.reset(); }

    void bluetoothStates()
    {
        Rig& rig = *m_rig;
        for (auto [state, expected] : std::initializer_list<std::pair<BleCentralState, const char*>>{
                 {BleCentralState::unsupported, "disconnected(Bluetooth is not supported on this device)"},
                 {BleCentralState::unauthorized, "bluetoothUnauthorized"},
                 {BleCentralState::poweredOff, "bluetoothOff"},
                 {BleCentralState::resetting, "bluetoothOff"}}) {
            rig.platform([state](BleCentral& d) { Q_EMIT d.stateUpdated(state); });
            QCOMPARE(rig.state(), QString::fromLatin1(expected));
        }
    }

    void scanFindsNamedDevicesOnceAndTimesOut()
    {
        Rig& rig = *m_rig;
        rig.platform([](BleCentral& d) { Q_EMIT d.stateUpdated(BleCentralState::poweredOn); });
        QCOMPARE(rig.central.takeCalls(), QStringList{QStringLiteral("scan")});
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

    void savedUnitIsReconnectedWithoutScanning()
    {
        Rig& rig = *m_rig;
        const BlePeripheral nameless{unit.identifier, std::nullopt};
        rig.central.known = {nameless};
        rig.defaults.setString(savedKey, BleUuid::text(unit.identifier));
        rig.platform([](BleCentral& d) { Q_EMIT d.stateUpdated(BleCentralState::poweredOn); });
        QCOMPARE(rig.heard.messages,
                 QStringList{QStringLiteral("Attempting to auto-connect to last device: ") +
                             BleUuid::text(unit.identifier)});
        QCOMPARE(rig.state(), QStringLiteral("connecting(Last Device)"));
        QCOMPARE(rig.central.takeCalls(),
                 (QStringList{QStringLiteral("stopScan"), QStringLiteral("connect ?")}));
    }

    void forgottenUnitFallsBackToAScan()
    {
        Rig& rig = *m_rig;
        rig.central.known.clear();
        rig.defaults.setString(savedKey, BleUuid::text(unit.identifier));
        rig.platform([](BleCentral& d) { Q_EMIT d.stateUpdated(BleCentralState::poweredOn); });
        QCOMPARE(rig.heard.messages,
                 QStringList{QStringLiteral("Last connected device not found, scanning...")});
        QCOMPARE(rig.central.takeCalls(), QStringList{QStringLiteral("scan")});
        QCOMPARE(rig.defaults.stringValue(savedKey), BleUuid::text(unit.identifier)); // kept
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
        rig.value("2AC2", QByteArray::fromHex("0402000100"));
        rig.value("FFF1", QByteArray::fromHex("01640000"));   // unknown, 4 bytes: logged
        rig.value("FFF1", QByteArray::fromHex("0503000101")); // unknown, 5 bytes: a channel packet

        const Di2DeviceInfo& info = rig.service.deviceInfo();
        QCOMPARE(info.modelNumber, QStringLiteral("EW-WU111-B"));
        QCOMPARE(info.serialNumber, QString());
        QCOMPARE(info.firmwareRevision, QStringLiteral("4.1.0"));
        QCOMPARE(info.manufacturerName, QStringLiteral("SHIMANO"));
        QCOMPARE(info.batteryLevel, 90);
        QCOMPARE(rig.heard.presses, (QList<QList<int>>{{1, 3}, {1, 4}}));
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

    void failedConnectionForgetsThatUnitAndScans()
    {
        Rig& rig = *m_rig;
        rig.defaults.setString(savedKey, BleUuid::text(unit.identifier));
        rig.service.connect(DiscoveredDevice{unit.identifier, *unit.name, -50, std::nullopt});
        rig.heard.states.clear();
        rig.platform(
            [](BleCentral& d) { Q_EMIT d.connectFailed(unit, BleConnectFailure::refused, std::nullopt); });
        QCOMPARE(rig.heard.states, (QStringList{QStringLiteral("disconnected(Failed to connect)"),
                                                QStringLiteral("scanning")}));
        QCOMPARE(rig.defaults.stringValue(savedKey), std::nullopt);
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
        QVERIFY(!rig.service.isReconnecting());
    }

    void lostUnitComesBackByItself()
    {
        Rig& rig = *m_rig;
        rig.connectUnit();
        rig.central.takeCalls();
        rig.platform([](BleCentral& d) {
            Q_EMIT d.peripheralDisconnected(unit, QStringLiteral("Remote user terminated"));
        });
        QCOMPARE(rig.state(), QStringLiteral("disconnected(Connection lost)"));
        QCOMPARE(rig.heard.messages.constLast(),
                 QStringLiteral("Connection to EW-WU111 lost, reconnecting..."));
        QCOMPARE(rig.defaults.stringValue(savedKey), BleUuid::text(unit.identifier));
        QVERIFY(!rig.ble.connectedPeripheral());

        // First attempt fails, the next one hangs and is ended by the attempt time-out, the third succeeds.
        QTRY_VERIFY(rig.central.calls.contains(QStringLiteral("connect EW-WU111")));
        rig.central.takeCalls();
        rig.platform([](BleCentral& d) {
            Q_EMIT d.connectFailed(unit, BleConnectFailure::notAnswering, QStringLiteral("Timed out"));
        });
        QCOMPARE(rig.state(), QStringLiteral("scanning"));
        QTRY_VERIFY(rig.central.calls.contains(QStringLiteral("connect EW-WU111")));
        QTRY_VERIFY(rig.central.calls.contains(QStringLiteral("cancel EW-WU111")));
        QTRY_COMPARE(rig.central.calls.count(QStringLiteral("connect EW-WU111")), 2);
        rig.platform([](BleCentral& d) { Q_EMIT d.peripheralConnected(unit); });
        QCOMPARE(rig.state(), QStringLiteral("connected(EW-WU111)"));
        QVERIFY(!rig.service.isReconnecting());
    }

    void theUserEndsTheAttempts()
    {
        Rig& rig = *m_rig;
        rig.connectUnit();
        rig.platform([](BleCentral& d) { Q_EMIT d.peripheralDisconnected(unit, std::nullopt); });
        QVERIFY(rig.service.isReconnecting());
        rig.service.rescan();
        QVERIFY(!rig.service.isReconnecting());
        rig.central.takeCalls();
        QTRY_COMPARE(rig.state(),
                     QStringLiteral("found(0, stopped)")); // the scan's own time-out, and no attempt
        QVERIFY(!rig.central.calls.contains(QStringLiteral("connect EW-WU111")));
    }
};

COGWISE_TEST(tst_ConnectionService)
#include "tst_ConnectionService.moc"
