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

namespace {

using namespace std::chrono_literals;
const QString di2Data = QStringLiteral("00002AC2-0000-1000-8000-00805F9B34FB");

QString addressOf(const QUuid& identifier)
{
    const auto address = BluetoothAddressId::address(identifier);
    return address ? address->toString() : identifier.toString(QUuid::WithoutBraces);
}

BlePeripheral peripheralAt(const QString& address)
{
    return {FakeBluezTest::identifierAt(address), QStringLiteral("EW-WU111")};
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
            events.append(QStringLiteral("state ") + QLatin1String(states[int(state)]));
        });
        QObject::connect(&central, &BleCentral::peripheralDiscovered, &central,
                         [this](const BlePeripheral& peripheral, int, bool advertising) {
                             events.append(QStringLiteral("discovered %1 %2")
                                               .arg(addressOf(peripheral.identifier),
                                                    advertising ? QStringLiteral("advertising")
                                                                : QStringLiteral("remembered")));
                         });
        QObject::connect(&central, &BleCentral::peripheralConnected, &central,
                         [this](const BlePeripheral& peripheral) {
                             events.append(QStringLiteral("connected ") + addressOf(peripheral.identifier));
                         });
        QObject::connect(&central, &BleCentral::connectFailed, &central,
                         [this](const BlePeripheral& peripheral, BleConnectFailure failure,
                                const std::optional<QString>& error) {
                             events.append(QStringLiteral("failed %1 %2: %3")
                                               .arg(addressOf(peripheral.identifier),
                                                    QLatin1String(failures[int(failure)]),
                                                    error.value_or(QStringLiteral("-"))));
                         });
        QObject::connect(&central, &BleCentral::peripheralDisconnected, &central,
                         [this](const BlePeripheral& peripheral, const std::optional<QString>& error) {
                             events.append(QStringLiteral("disconnected %1: %2")
                                               .arg(addressOf(peripheral.identifier),
                                                    error.value_or(QStringLiteral("-"))));
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
    bool poweredOn() const { return heard(QStringLiteral("state poweredOn")); }

    QtBleCentral central;
    QStringList events;
    const BlePeripheral unit = peripheralAt(FakeBluez::unitAddress());
};

// The real QtBluetooth backend under the link and the service; `unitSaved`: as at any launch
// after the first.
struct Rig : ConnectionRig<QtBleCentral>
{
    explicit Rig(const QString& settingsPath, bool unitSaved = false)
        : ConnectionRig(settingsPath, {.scanTimeout = 1500ms, .firstRetryDelay = 100ms})
    {
        central.setTimeouts(1500ms, 3000ms);
        if (unitSaved)
            defaults.setString(QStringLiteral("lastConnectedDeviceUUID"), FakeBluezTest::unitIdentifier());
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
        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {true}));
        CentralRig rig;
        QTRY_VERIFY_WITH_TIMEOUT(rig.poweredOn(), timeoutMs);
        rig.central.scanForPeripherals();
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(QStringLiteral("discovered C0:FF:EE:00:00:01 remembered")),
                                 timeoutMs);

        // The fake advertises for every awake device in one go: two rounds of the
        // neighbour's, and a sleeping unit would have been heard by now.
        const QString neighbour = QStringLiteral("discovered C0:FF:EE:00:00:02 advertising");
        QTRY_VERIFY_WITH_TIMEOUT(rig.events.count(neighbour) >= 2, timeoutMs);
        QVERIFY(!rig.heard(QStringLiteral("discovered C0:FF:EE:00:00:01 advertising")));

        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {false}));
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(QStringLiteral("discovered C0:FF:EE:00:00:01 advertising")),
                                 timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("AddSecondUnit")));
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(QStringLiteral("discovered C0:FF:EE:00:00:03 advertising")),
                                 timeoutMs);
        QVERIFY(!rig.heard(QStringLiteral("discovered C0:FF:EE:00:00:03 remembered")));
        rig.central.stopScan();
    }

    void aSleepingUnitConnectsWhenItWakes()
    {
        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {true}));
        CentralRig rig;
        QTRY_VERIFY_WITH_TIMEOUT(rig.poweredOn(), timeoutMs);
        rig.central.connectPeripheral(rig.unit);
        QTRY_COMPARE_WITH_TIMEOUT(m_bluez.count(QStringLiteral("PendingConnects")), 1, timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {false}));
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(QStringLiteral("connected C0:FF:EE:00:00:01")), timeoutMs);
        QCOMPARE(rig.outcomes(), (QStringList{QStringLiteral("state poweredOn"),
                                              QStringLiteral("connected C0:FF:EE:00:00:01")}));
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
            << QList<QVariantList>{{QStringLiteral("SetAsleep"), true},
                                   {QStringLiteral("SetConnectLimit"), 100u}}
            << unit << asleep << QStringLiteral("org.bluez.Error.Failed le-connection-abort-by-local");
        QTest::newRow("host is down")
            << QList<QVariantList>{{QStringLiteral("SetConnectError"),
                                    QStringLiteral("org.bluez.Error.Failed"), QStringLiteral("Host is down")}}
            << unit << asleep << QStringLiteral("org.bluez.Error.Failed Host is down");
        QTest::newRow("refused")
            << QList<QVariantList>{{QStringLiteral("SetConnectMode"), QStringLiteral("fail")}} << unit
            << QStringLiteral("failed C0:FF:EE:00:00:01 refused: EW-WU111 refused the connection")
            << QStringLiteral("org.bluez.Error.Failed Connection refused");
        QTest::newRow("adapter off") << QList<QVariantList>{{QStringLiteral("SetPowered"), false}} << unit
                                     << QStringLiteral("failed C0:FF:EE:00:00:01 refused: Bluetooth is off")
                                     << QStringLiteral("org.bluez.Error.NotReady");
        QTest::newRow("an error BlueZ has not had before")
            << QList<QVariantList>{{QStringLiteral("SetConnectError"),
                                    QStringLiteral("org.bluez.Error.Strange"), QString()}}
            << unit << QStringLiteral("failed C0:FF:EE:00:00:01 refused: Could not connect to EW-WU111")
            << QStringLiteral("org.bluez.Error.Strange");
        QTest::newRow("unknown to BlueZ")
            << QList<QVariantList>{} << peripheralAt(QStringLiteral("C0:FF:EE:00:00:09"))
            << QStringLiteral(
                   "failed C0:FF:EE:00:00:09 notAnswering: EW-WU111 did not answer — it may be asleep")
            << QStringLiteral("org.bluez.Error.DoesNotExist");
        QTest::newRow("no address")
            << QList<QVariantList>{}
            << BlePeripheral{QUuid(QStringLiteral("{6f1d2a4e-0000-4000-8000-00000000abcd}")),
                             QStringLiteral("Mystery")}
            << QStringLiteral(
                   "failed 6f1d2a4e-0000-4000-8000-00000000abcd refused: Could not connect to Mystery")
            << QStringLiteral("names no Bluetooth address");
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
        QTRY_VERIFY_WITH_TIMEOUT(rig.central.state() != BleCentralState::unknown, timeoutMs);
        rig.central.connectPeripheral(peripheral);
        QTRY_VERIFY_WITH_TIMEOUT(rig.events.filter(QStringLiteral("failed")).size() == 1, timeoutMs);
        QCOMPARE(rig.events.filter(QStringLiteral("failed")).constFirst(), outcome);
        QTRY_VERIFY_WITH_TIMEOUT(
            !log.lines().filter(QStringLiteral("QtBleCentral: Connecting to")).filter(logged).isEmpty(),
            timeoutMs);
        QCOMPARE(m_bluez.count(QStringLiteral("PendingConnects")), 0);
    }

    // Another client's attempt is pending at BlueZ: ours is told busy, and theirs goes on.
    void busyWhileAnotherClientConnects()
    {
        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {true}));
        QDBusPendingCallWatcher theirs(
            QDBusConnection::systemBus().asyncCall(
                QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), FakeBluez::unitPath(),
                                               QStringLiteral("org.bluez.Device1"),
                                               QStringLiteral("Connect")),
                timeoutMs),
            nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(m_bluez.count(QStringLiteral("PendingConnects")), 1, timeoutMs);

        CentralRig rig;
        QTRY_VERIFY_WITH_TIMEOUT(rig.poweredOn(), timeoutMs);
        rig.central.connectPeripheral(rig.unit);
        QTRY_VERIFY_WITH_TIMEOUT(
            rig.heard(QStringLiteral("failed C0:FF:EE:00:00:01 busy: Bluetooth is busy, trying again")),
            timeoutMs);
        QCOMPARE(m_bluez.count(QStringLiteral("PendingConnects")), 1);

        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {false}));
        QTRY_VERIFY_WITH_TIMEOUT(theirs.isFinished(), timeoutMs);
        QVERIFY(!theirs.isError());
    }

    // A cancelled attempt ends at BlueZ too, and is never reported: the next attempt's
    // success is the first thing heard.
    void cancellingAPendingAttemptTellsNothing()
    {
        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {true}));
        CentralRig rig;
        QTRY_VERIFY_WITH_TIMEOUT(rig.poweredOn(), timeoutMs);
        rig.central.connectPeripheral(rig.unit);
        QTRY_COMPARE_WITH_TIMEOUT(m_bluez.count(QStringLiteral("PendingConnects")), 1, timeoutMs);
        rig.central.cancelPeripheralConnection(rig.unit);
        QTRY_COMPARE_WITH_TIMEOUT(m_bluez.count(QStringLiteral("PendingConnects")), 0, timeoutMs);

        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {false}));
        rig.central.connectPeripheral(rig.unit);
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(QStringLiteral("connected C0:FF:EE:00:00:01")), timeoutMs);
        QCOMPARE(rig.outcomes(), (QStringList{QStringLiteral("state poweredOn"),
                                              QStringLiteral("connected C0:FF:EE:00:00:01")}));
    }

    void adapterPowerOffEndsTheLinkAndTheAttempt()
    {
        CentralRig rig;
        QTRY_VERIFY_WITH_TIMEOUT(rig.poweredOn(), timeoutMs);
        rig.central.connectPeripheral(rig.unit);
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(QStringLiteral("connected C0:FF:EE:00:00:01")), timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("SetPowered"), {false}));
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(QStringLiteral("state poweredOff")), timeoutMs);
        QCOMPARE(rig.events.filter(QStringLiteral("disconnected C0:FF:EE:00:00:01")).size(), 1);

        QVERIFY(m_bluez.control(QStringLiteral("SetPowered"), {true}));
        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {true}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.central.state(), BleCentralState::poweredOn, timeoutMs);
        rig.central.connectPeripheral(rig.unit);
        QTRY_COMPARE_WITH_TIMEOUT(m_bluez.count(QStringLiteral("PendingConnects")), 1, timeoutMs);
        const qsizetype before = rig.outcomes().size();
        QVERIFY(m_bluez.control(QStringLiteral("SetPowered"), {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.outcomes().size() - before, 2, timeoutMs);
        QVERIFY2(rig.outcomes().at(before).startsWith(QLatin1String("failed C0:FF:EE:00:00:01 refused")),
                 qPrintable(rig.outcomes().join(QLatin1Char('\n'))));
        QCOMPARE(rig.outcomes().at(before + 1), QStringLiteral("state poweredOff"));
    }

    void bluetoothdStopsAndComesBack()
    {
        CentralRig rig;
        QTRY_VERIFY_WITH_TIMEOUT(rig.poweredOn(), timeoutMs);
        rig.central.scanForPeripherals();
        rig.central.connectPeripheral(rig.unit);
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(QStringLiteral("connected C0:FF:EE:00:00:01")), timeoutMs);

        auto error = m_bluez.stopService();
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(QStringLiteral("state serviceStopped")), timeoutMs);
        QCOMPARE(rig.outcomes().mid(2),
                 (QStringList{
                     QStringLiteral("disconnected C0:FF:EE:00:00:01: The Bluetooth service is not running"),
                     QStringLiteral("state serviceStopped")}));

        error = m_bluez.startService();
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        QTRY_COMPARE_WITH_TIMEOUT(rig.outcomes().mid(4), QStringList{QStringLiteral("state poweredOn")},
                                  timeoutMs);
        rig.events.clear();
        rig.central.scanForPeripherals();
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(QStringLiteral("discovered C0:FF:EE:00:00:01 advertising")),
                                 timeoutMs);
        rig.central.stopScan();
        rig.central.connectPeripheral(rig.unit);
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(QStringLiteral("connected C0:FF:EE:00:00:01")), timeoutMs);
    }

    void anAdapterUnpluggedAndPluggedInAgain()
    {
        CentralRig rig;
        QTRY_VERIFY_WITH_TIMEOUT(rig.poweredOn(), timeoutMs);
        rig.central.connectPeripheral(rig.unit);
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(QStringLiteral("connected C0:FF:EE:00:00:01")), timeoutMs);

        QVERIFY(m_bluez.control(QStringLiteral("SetAdapterPresent"), {false}));
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(QStringLiteral("state unsupported")), timeoutMs);
        QCOMPARE(rig.outcomes().filter(QStringLiteral("disconnected C0:FF:EE:00:00:01")).size(), 1);

        QVERIFY(m_bluez.control(QStringLiteral("SetAdapterPresent"), {true}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.outcomes().constLast(), QStringLiteral("state poweredOn"), timeoutMs);
        rig.central.connectPeripheral(rig.unit);
        QTRY_COMPARE_WITH_TIMEOUT(rig.outcomes().constLast(), QStringLiteral("connected C0:FF:EE:00:00:01"),
                                  timeoutMs);
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
        QVERIFY(m_bluez.control(QStringLiteral("Notify"), {QByteArray::fromHex("0101")}));
        QTRY_COMPARE_WITH_TIMEOUT(values, QList<QByteArray>{QByteArray::fromHex("0101")}, timeoutMs);

        QVERIFY(m_bluez.control(QStringLiteral("DropLink")));
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard(QStringLiteral("disconnected C0:FF:EE:00:00:01: -")), timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("SetNotifyInProgress"), {true}));
        const int subscriptions = m_bluez.count(QStringLiteral("StartNotifyCalls"));
        link.connect(rig.unit);
        QTRY_VERIFY_WITH_TIMEOUT(subscriptionErrors.contains(di2Data), timeoutMs);
        QCOMPARE(m_bluez.count(QStringLiteral("StartNotifyCalls")), subscriptions + 1);
        QVERIFY(m_bluez.control(QStringLiteral("Notify"), {QByteArray::fromHex("0202")}));
        QTRY_COMPARE_WITH_TIMEOUT(
            values, (QList<QByteArray>{QByteArray::fromHex("0101"), QByteArray::fromHex("0202")}), timeoutMs);
    }

    void scanConnectDiscoverAndPress()
    {
        Rig rig(m_files.testFile());
        QTRY_VERIFY_WITH_TIMEOUT(rig.state().startsWith(QStringLiteral("found(")), timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.service.peripherals().isEmpty(), timeoutMs);
        DiscoveredDevice unit;
        for (const DiscoveredDevice& device : rig.service.peripherals()) {
            if (device.name == QLatin1String("EW-WU111"))
                unit = device;
        }
        QCOMPARE(unit.id.toString(QUuid::WithoutBraces).toUpper(), unitIdentifier());
        rig.service.connect(unit);
        QTRY_COMPARE_WITH_TIMEOUT(rig.service.deviceInfo().batteryLevel, 88, timeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(rig.service.deviceInfo().manufacturerName, QStringLiteral("SHIMANO"),
                                  timeoutMs);

        for (const char* packet : {"0503000100", "0604000100", "0704020100"})
            QVERIFY(m_bluez.control(QStringLiteral("Notify"), {QByteArray::fromHex(packet)}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.heard.presses, (QList<QList<int>>{{1}, {2}}), timeoutMs);
    }

    void savedUnitReconnectsWithoutScanning()
    {
        Rig rig(m_files.testFile(), true);
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connected(EW-WU111)"), timeoutMs);
        QCOMPARE(rig.heard.messages.constFirst(),
                 QStringLiteral("Attempting to auto-connect to last device: EW-WU111"));
    }

    void unknownSavedUnitFallsBackToAScan()
    {
        Rig rig(m_files.testFile());
        rig.defaults.setString(QStringLiteral("lastConnectedDeviceUUID"),
                               QStringLiteral("00000000-0000-0000-0000-0000000000AB"));
        QTRY_VERIFY_WITH_TIMEOUT(rig.state().startsWith(QStringLiteral("found(")), timeoutMs);
        QCOMPARE(rig.heard.messages.constFirst(),
                 QStringLiteral("Last connected device not found, scanning..."));
    }

    void aDroppedUnitComesBack()
    {
        Rig rig(m_files.testFile(), true);
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connected(EW-WU111)"), timeoutMs);
        rig.heard.states.clear();
        QVERIFY(m_bluez.control(QStringLiteral("DropLink")));
        QTRY_VERIFY_WITH_TIMEOUT(rig.heard.states.contains(QStringLiteral("waiting(EW-WU111)")), timeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connected(EW-WU111)"), timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("Notify"), {QByteArray::fromHex("0901000000")}));
        QVERIFY(m_bluez.control(QStringLiteral("Notify"), {QByteArray::fromHex("0A02000000")}));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.heard.presses.isEmpty(), timeoutMs);
    }

    void aHangingConnectionIsEndedByOurTimeLimit()
    {
        QVERIFY(m_bluez.control(QStringLiteral("SetConnectMode"), {QStringLiteral("hang")}));
        Rig rig(m_files.testFile(), true);
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connecting(EW-WU111)"), timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(
            !rig.heard.messages.filter(QStringLiteral("EW-WU111 did not answer")).isEmpty(), timeoutMs);
        QVERIFY(rig.heard.states.contains(QStringLiteral("waiting(EW-WU111)"))); // still the rider's unit
    }

    void adapterOff()
    {
        Rig rig(m_files.testFile());
        QTRY_VERIFY_WITH_TIMEOUT(rig.state().startsWith(QStringLiteral("found(")), timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("SetPowered"), {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("bluetoothOff"), timeoutMs);
    }
};

COGWISE_TEST(tst_QtBleCentral)
#include "tst_QtBleCentral.moc"
