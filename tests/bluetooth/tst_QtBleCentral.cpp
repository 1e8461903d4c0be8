#include "bluetooth/BLEConnectionManager.h"
#include "bluetooth/qt/BluetoothAddressId.h"
#include "bluetooth/qt/QtBleCentral.h"
#include "support/ConnectionRig.h"
#include "support/DebugLogRecorder.h"
#include "support/FakeBluezTest.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using namespace std::chrono_literals;
const QString di2Data = u"00002AC2-0000-1000-8000-00805F9B34FB"_s;

QString addressOf(const QUuid& identifier)
{
    const auto address = BluetoothAddressId::address(identifier);
    return address ? address->toString() : identifier.toString(QUuid::WithoutBraces);
}

BlePeripheral peripheralAt(const QString& address)
{
    return {FakeBluezTest::identifierAt(address), u"EW-WU111"_s};
}

// The real QtBluetooth backend on its own, over the fake bluetoothd: what it reports,
// one line per signal ("connected C0:FF:EE:00:00:01", "state poweredOff", ...).
struct CentralRig
{
    CentralRig()
    {
        static const char* const states[] = {"unknown",    "resetting", "unsupported",   "unauthorized",
                                             "poweredOff", "poweredOn", "serviceStopped"};
        static const char* const failures[] = {"notAnswering", "busy", "refused"};
        central.setTimeouts(std::chrono::milliseconds{FakeBluezTest::timeoutMs},
                            std::chrono::milliseconds{FakeBluezTest::timeoutMs});
        QObject::connect(&central, &BleCentral::stateUpdated, &central, [this](BleCentralState state) {
            events.append(u"state "_s + QLatin1String(states[int(state)]));
        });
        const auto note = [this](const char* what, const BlePeripheral& p, const QString& detail = {}) {
            events.append(QLatin1String(what) + QLatin1Char(' ') + addressOf(p.identifier) + detail);
        };
        QObject::connect(&central, &BleCentral::peripheralDiscovered, &central,
                         [note](const BlePeripheral& p, int, bool advertising) {
                             note("discovered", p, advertising ? u" advertising"_s : u" remembered"_s);
                         });
        QObject::connect(&central, &BleCentral::peripheralConnected, &central,
                         [note](const BlePeripheral& p) { note("connected", p); });
        QObject::connect(
            &central, &BleCentral::connectFailed, &central,
            [note](const BlePeripheral& p, BleConnectFailure failure, const std::optional<QString>& error) {
                note("failed", p,
                     u" %1: %2"_s.arg(QLatin1String(failures[int(failure)]), error.value_or(u"-"_s)));
            });
        QObject::connect(&central, &BleCentral::peripheralDisconnected, &central,
                         [note](const BlePeripheral& p, const std::optional<QString>& error) {
                             note("disconnected", p, u": "_s + error.value_or(u"-"_s));
                         });
    }

    // Everything but scan results: those come every few milliseconds.
    QStringList outcomes() const
    {
        QStringList kept = events;
        kept.removeIf([](const QString& event) { return event.startsWith(QLatin1String("discovered")); });
        return kept;
    }
    bool heard(const QString& event) const { return events.contains(event); }
    // Once the adapter is known to be on.
    bool poweredOn() const { return heard(u"state poweredOn"_s); }

    QtBleCentral central;
    QStringList events;
    const BlePeripheral unit = peripheralAt(FakeBluez::unitAddress());
};

// The real QtBluetooth backend under the link and the service.
struct Rig : ConnectionRig<QtBleCentral>
{
    explicit Rig(const QString& settingsPath)
        : ConnectionRig(settingsPath, {.scanTimeout = 1500ms, .firstRetryDelay = 100ms})
    {
        central.setTimeouts(1500ms, 3000ms);
    }
};

} // namespace

class tst_QtBleCentral : public FakeBluezTest
{
    Q_OBJECT

    ScratchDir m_files;

public:
    tst_QtBleCentral()
        : FakeBluezTest(std::chrono::milliseconds{timeoutMs})
    {}

private Q_SLOTS:
    // Cached devices come back from BlueZ as the scan starts; only what is heard during
    // the scan is advertising now.
    void advertisingTellsHeardFromRemembered()
    {
        QVERIFY(m_bluez.control(u"SetAsleep"_s, {true}));
        CentralRig rig;
        QTRY_VERIFY_WITH_TIMEOUT(rig.poweredOn(), timeoutMs);
        rig.central.scanForPeripherals();
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(u"discovered C0:FF:EE:00:00:01 remembered"_s), timeoutMs);

        // The fake advertises for every awake device in one go: two rounds of the
        // neighbour's, and a sleeping unit would have been heard by now.
        const QString neighbour = u"discovered C0:FF:EE:00:00:02 advertising"_s;
        QTRY_VERIFY_WITH_TIMEOUT(rig.events.count(neighbour) >= 2, timeoutMs);
        QVERIFY(!rig.heard(u"discovered C0:FF:EE:00:00:01 advertising"_s));

        QVERIFY(m_bluez.control(u"SetAsleep"_s, {false}));
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(u"discovered C0:FF:EE:00:00:01 advertising"_s), timeoutMs);
        QVERIFY(m_bluez.control(u"AddSecondUnit"_s));
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(u"discovered C0:FF:EE:00:00:03 advertising"_s), timeoutMs);
        QVERIFY(!rig.heard(u"discovered C0:FF:EE:00:00:03 remembered"_s));
        rig.central.stopScan();
    }

    // A cancelled attempt ends at BlueZ too, and is never reported: either way the success is the
    // first thing heard.
    void aSleepingUnitConnectsOnceAwake_data()
    {
        QTest::addColumn<bool>("cancelFirst");
        QTest::newRow("when it wakes") << false;
        QTest::newRow("after a cancelled attempt") << true;
    }

    void aSleepingUnitConnectsOnceAwake()
    {
        QFETCH(bool, cancelFirst);
        QVERIFY(m_bluez.control(u"SetAsleep"_s, {true}));
        CentralRig rig;
        QTRY_VERIFY_WITH_TIMEOUT(rig.poweredOn(), timeoutMs);
        rig.central.connectPeripheral(rig.unit);
        QTRY_COMPARE_WITH_TIMEOUT(m_bluez.count(u"PendingConnects"_s), 1, timeoutMs);
        if (cancelFirst) {
            rig.central.cancelPeripheralConnection(rig.unit);
            QTRY_COMPARE_WITH_TIMEOUT(m_bluez.count(u"PendingConnects"_s), 0, timeoutMs);
        }
        QVERIFY(m_bluez.control(u"SetAsleep"_s, {false}));
        if (cancelFirst)
            rig.central.connectPeripheral(rig.unit);
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(u"connected C0:FF:EE:00:00:01"_s), timeoutMs);
        QCOMPARE(rig.outcomes(), (QStringList{u"state poweredOn"_s, u"connected C0:FF:EE:00:00:01"_s}));
    }

    void attemptsEndWithBluezReason_data()
    {
        QTest::addColumn<QList<QVariantList>>("controls"); // method, arguments...
        QTest::addColumn<BlePeripheral>("peripheral");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("logged");

        const BlePeripheral unit = peripheralAt(FakeBluez::unitAddress());
        const QString asleep = QStringLiteral(
            "failed C0:FF:EE:00:00:01 notAnswering: EW-WU111 did not answer — it may be asleep");
        QTest::newRow("asleep past the kernel's limit")
            << QList<QVariantList>{{u"SetAsleep"_s, true}, {u"SetConnectLimit"_s, 100u}} << unit << asleep
            << u"org.bluez.Error.Failed le-connection-abort-by-local"_s;
        QTest::newRow("host is down")
            << QList<QVariantList>{{u"SetConnectError"_s, u"org.bluez.Error.Failed"_s, u"Host is down"_s}}
            << unit << asleep << u"org.bluez.Error.Failed Host is down"_s;
        QTest::newRow("refused") << QList<QVariantList>{{u"SetConnectMode"_s, u"fail"_s}} << unit
                                 << u"failed C0:FF:EE:00:00:01 refused: EW-WU111 refused the connection"_s
                                 << u"org.bluez.Error.Failed Connection refused"_s;
        QTest::newRow("adapter off") << QList<QVariantList>{{u"SetPowered"_s, false}} << unit
                                     << u"failed C0:FF:EE:00:00:01 refused: Bluetooth is off"_s
                                     << u"org.bluez.Error.NotReady"_s;
        QTest::newRow("an error BlueZ has not had before")
            << QList<QVariantList>{{u"SetConnectError"_s, u"org.bluez.Error.Strange"_s, QString()}} << unit
            << u"failed C0:FF:EE:00:00:01 refused: Could not connect to EW-WU111"_s
            << u"org.bluez.Error.Strange"_s;
        QTest::newRow("unknown to BlueZ")
            << QList<QVariantList>{} << peripheralAt(u"C0:FF:EE:00:00:09"_s)
            << QStringLiteral(
                   "failed C0:FF:EE:00:00:09 notAnswering: EW-WU111 did not answer — it may be asleep")
            << u"org.bluez.Error.DoesNotExist"_s;
        QTest::newRow("no address")
            << QList<QVariantList>{}
            << BlePeripheral{QUuid(u"{6f1d2a4e-0000-4000-8000-00000000abcd}"_s), u"Mystery"_s}
            << QStringLiteral(
                   "failed 6f1d2a4e-0000-4000-8000-00000000abcd refused: Could not connect to Mystery")
            << u"names no Bluetooth address"_s;
        QTest::newRow("BlueZ never answers") << QList<QVariantList>{{u"SetConnectMode"_s, u"hang"_s}} << unit
                                             << asleep << u"no link within 3000 ms"_s;
    }

    void attemptsEndWithBluezReason()
    {
        QFETCH(QList<QVariantList>, controls);
        QFETCH(BlePeripheral, peripheral);
        QFETCH(QString, outcome);
        QFETCH(QString, logged);
        for (const QVariantList& control : controls)
            QVERIFY(m_bluez.control(control.first().toString(), control.mid(1)));
        DebugLogRecorder log;
        CentralRig rig;
        rig.central.setTimeouts(3000ms, 3000ms); // our own limit, where BlueZ never answers
        QTRY_VERIFY_WITH_TIMEOUT(rig.central.state() != BleCentralState::unknown, timeoutMs);
        rig.central.connectPeripheral(peripheral);
        QTRY_VERIFY_WITH_TIMEOUT(rig.events.filter(u"failed"_s).size() == 1, timeoutMs);
        QCOMPARE(rig.events.filter(u"failed"_s).constFirst(), outcome);
        QTRY_VERIFY_WITH_TIMEOUT(
            !log.lines().filter(u"QtBleCentral: Connecting to"_s).filter(logged).isEmpty(), timeoutMs);
        QCOMPARE(m_bluez.count(u"PendingConnects"_s), 0);
    }

    // Another client's attempt is pending at BlueZ: ours is told busy, and theirs goes on.
    void busyWhileAnotherClientConnects()
    {
        QVERIFY(m_bluez.control(u"SetAsleep"_s, {true}));
        QDBusPendingCallWatcher theirs(
            QDBusConnection::systemBus().asyncCall(
                QDBusMessage::createMethodCall(u"org.bluez"_s, FakeBluez::unitPath(), u"org.bluez.Device1"_s,
                                               u"Connect"_s),
                timeoutMs),
            nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(m_bluez.count(u"PendingConnects"_s), 1, timeoutMs);

        CentralRig rig;
        QTRY_VERIFY_WITH_TIMEOUT(rig.poweredOn(), timeoutMs);
        rig.central.connectPeripheral(rig.unit);
        QTRY_VERIFY_WITH_TIMEOUT(
            rig.heard(u"failed C0:FF:EE:00:00:01 busy: Bluetooth is busy, trying again"_s), timeoutMs);
        QCOMPARE(m_bluez.count(u"PendingConnects"_s), 1);

        QVERIFY(m_bluez.control(u"SetAsleep"_s, {false}));
        QTRY_VERIFY_WITH_TIMEOUT(theirs.isFinished(), timeoutMs);
        QVERIFY(!theirs.isError());
    }

    // The adapter or bluetoothd goes away while connected: the link's end is told, then the
    // state; once back, the scan hears the unit and it connects again. Switched off, an
    // attempt then pending ends as refused before the state is told.
    void theAdapterGoesAndComesBack_data()
    {
        QTest::addColumn<QString>("away"); // the fake's switch, true to bring it back; empty: bluetoothd
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("lost"); // the lost link's error
        QTest::newRow("switched off") << u"SetPowered"_s << u"state poweredOff"_s << u"-"_s;
        QTest::newRow("unplugged") << u"SetAdapterPresent"_s << u"state unsupported"_s
                                   << u"The connection to EW-WU111 failed"_s;
        QTest::newRow("bluetoothd stops")
            << QString() << u"state serviceStopped"_s << u"The Bluetooth service is not running"_s;
    }
    void theAdapterGoesAndComesBack()
    {
        QFETCH(QString, away);
        QFETCH(QString, state);
        QFETCH(QString, lost);
        const auto setPresent = [&](bool present) {
            if (away.isEmpty())
                QVERIFY(!(present ? m_bluez.startService() : m_bluez.stopService()));
            else
                QVERIFY(m_bluez.control(away, {present}));
        };
        CentralRig rig;
        QTRY_VERIFY_WITH_TIMEOUT(rig.poweredOn(), timeoutMs);
        rig.central.scanForPeripherals();
        rig.central.connectPeripheral(rig.unit);
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(u"connected C0:FF:EE:00:00:01"_s), timeoutMs);

        setPresent(false);
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(state), timeoutMs);
        QCOMPARE(rig.outcomes().mid(2), (QStringList{u"disconnected C0:FF:EE:00:00:01: "_s + lost, state}));

        setPresent(true);
        QTRY_COMPARE_WITH_TIMEOUT(rig.outcomes().mid(4), QStringList{u"state poweredOn"_s}, timeoutMs);
        rig.events.clear();
        rig.central.scanForPeripherals();
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(u"discovered C0:FF:EE:00:00:01 advertising"_s), timeoutMs);
        rig.central.stopScan();
        if (away != u"SetPowered"_s) {
            rig.central.connectPeripheral(rig.unit);
            QTRY_VERIFY_WITH_TIMEOUT(rig.heard(u"connected C0:FF:EE:00:00:01"_s), timeoutMs);
            return;
        }
        QVERIFY(m_bluez.control(u"SetAsleep"_s, {true}));
        rig.central.connectPeripheral(rig.unit);
        QTRY_COMPARE_WITH_TIMEOUT(m_bluez.count(u"PendingConnects"_s), 1, timeoutMs);
        setPresent(false);
        QTRY_COMPARE_WITH_TIMEOUT(rig.outcomes().size(), 2, timeoutMs);
        QVERIFY2(rig.outcomes().constFirst().startsWith(u"failed C0:FF:EE:00:00:01 refused"_s),
                 qPrintable(rig.outcomes().join(u'\n')));
        QCOMPARE(rig.outcomes().constLast(), state);
    }

    // After a drop everything is set up anew. BlueZ kept the old subscription and turns
    // the new request down while it re-enables it; the values flow all the same.
    void aReconnectionSubscribesAgain()
    {
        CentralRig rig;
        BLEConnectionManager link(rig.central);
        QList<QByteArray> values;
        QObject::connect(&link, &BLEConnectionManager::valueReceived, &link,
                         [&values](const QByteArray& value, const BleCharacteristic& characteristic) {
                             if (characteristic.uuid == di2Data)
                                 values.append(value);
                         });
        QStringList subscriptionErrors;
        QObject::connect(&rig.central, &BleCentral::notificationStateUpdated, &link,
                         [&subscriptionErrors](const BlePeripheral&, const BleCharacteristic& characteristic,
                                               const std::optional<QString>& error) {
                             if (error)
                                 subscriptionErrors.append(characteristic.uuid);
                         });
        QTRY_VERIFY_WITH_TIMEOUT(rig.poweredOn(), timeoutMs);
        link.connect(rig.unit);
        QTRY_VERIFY_WITH_TIMEOUT(m_bluez.isNotifying(), timeoutMs);
        QVERIFY(m_bluez.control(u"Notify"_s, {QByteArray::fromHex("0101")}));
        QTRY_COMPARE_WITH_TIMEOUT(values, QList<QByteArray>{QByteArray::fromHex("0101")}, timeoutMs);

        QVERIFY(m_bluez.control(u"DropLink"_s));
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(u"disconnected C0:FF:EE:00:00:01: -"_s), timeoutMs);
        QVERIFY(m_bluez.control(u"SetNotifyInProgress"_s, {true}));
        const int subscriptions = m_bluez.count(u"StartNotifyCalls"_s);
        link.connect(rig.unit);
        QTRY_VERIFY_WITH_TIMEOUT(subscriptionErrors.contains(di2Data), timeoutMs);
        QCOMPARE(m_bluez.count(u"StartNotifyCalls"_s), subscriptions + 1);
        QVERIFY(m_bluez.control(u"Notify"_s, {QByteArray::fromHex("0202")}));
        QTRY_COMPARE_WITH_TIMEOUT(
            values, (QList<QByteArray>{QByteArray::fromHex("0101"), QByteArray::fromHex("0202")}), timeoutMs);
    }

    void scanConnectAndRead()
    {
        Rig rig(m_files.testFile());
        QTRY_VERIFY_WITH_TIMEOUT(rig.state().startsWith(u"found("_s), timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.service.peripherals().isEmpty(), timeoutMs);
        DiscoveredDevice unit;
        for (const DiscoveredDevice& device : rig.service.peripherals()) {
            if (device.name == QLatin1String("EW-WU111"))
                unit = device;
        }
        QCOMPARE(unit.id.toString(QUuid::WithoutBraces).toUpper(), unitIdentifier());
        rig.service.connect(unit);
        QTRY_COMPARE_WITH_TIMEOUT(rig.service.deviceInfo().batteryLevel, 88, timeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(rig.service.deviceInfo().manufacturerName, u"SHIMANO"_s, timeoutMs);
    }

    // The adapter off after the scan's list.
    void unknownSavedUnitFallsBackToAScan()
    {
        Rig rig(m_files.testFile());
        rig.defaults.setString(u"lastConnectedDeviceUUID"_s, u"00000000-0000-0000-0000-0000000000AB"_s);
        QTRY_VERIFY_WITH_TIMEOUT(rig.state().startsWith(u"found("_s), timeoutMs);
        QCOMPARE(rig.heard.messages.constFirst(), u"Last connected device not found, scanning..."_s);
        QVERIFY(m_bluez.control(u"SetPowered"_s, {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), u"bluetoothOff"_s, timeoutMs);
    }
};

COGWISE_TEST(tst_QtBleCentral)
#include "tst_QtBleCentral.moc"
