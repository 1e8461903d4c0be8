#include "shifting/keysinks/bluez/BluetoothKeyboardKeySink.h"
#include "shifting/keysinks/bluez/HidKeyboardReport.h"
#include "support/FakeBluezTest.h"
#include "support/TestRegistry.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QByteArray period = QByteArray::fromHex("0000370000000000");
const QByteArray comma = QByteArray::fromHex("0000360000000000");
const QByteArray released(8, '\0');

} // namespace

// The keyboard served through the fake bluetoothd to a host that pairs, reads the report map
// in pieces, subscribes through the Report Reference, and records every report.
class tst_BluetoothKeyboardKeySink : public FakeBluezTest
{
    Q_OBJECT

    QString defaultAgentPath()
    {
        const auto agent = m_bluez.answer(u"DefaultAgent"_s).value<QDBusArgument>();
        QString name;
        QDBusObjectPath path;
        agent.beginStructure();
        agent >> name >> path;
        agent.endStructure();
        return path.path();
    }

    // The host's answer waits on our agent, which answers on this thread.
    bool pair(const QString& host)
    {
        QDBusPendingCallWatcher pairing(m_bluez.queryLater(u"HostPair"_s, {host}));
        if (!QTest::qWaitFor([&pairing] { return pairing.isFinished(); }, timeoutMs))
            return false;
        return pairing.reply().arguments().value(0).toBool();
    }

    void press(BluetoothKeyboardKeySink& sink, VirtualKey key)
    {
        QVERIFY2(sink.post(key, KeyDirection::down), qPrintable(sink.lastError()));
        QVERIFY2(sink.post(key, KeyDirection::up), qPrintable(sink.lastError()));
    }

private Q_SLOTS:
    // From nothing to keys on an iPad: registered without blocking (bluetoothd reads our objects
    // before it answers), advertised as a keyboard, discoverable only while pairing is open, our
    // agent default only then, and every press a report in order with its release.
    void aHostPairsAndTakesKeys()
    {
        BluetoothKeyboardKeySink sink(QDBusConnection::systemBus());
        QTRY_VERIFY2_WITH_TIMEOUT(sink.ready(), qPrintable(sink.status()), timeoutMs);
        QCOMPARE(m_bluez.answer(u"RegisteredApplications"_s).toUInt(), 1u);
        QVariantMap advertised = m_bluez.advertisement();
        QCOMPARE(advertised.value(u"Type"_s).toString(), u"peripheral"_s);
        QVERIFY(advertised.value(u"ServiceUUIDs"_s)
                    .toStringList()
                    .contains(u"00001812-0000-1000-8000-00805f9b34fb"_s));
        QCOMPARE(advertised.value(u"Appearance"_s).toUInt(), 0x03C1u);
        QCOMPARE(advertised.value(u"LocalName"_s).toString(), u"Cogwise"_s);
        QCOMPARE(advertised.value(u"Discoverable"_s).toBool(), false);
        QCOMPARE(*sink.unavailableReason(), u"No paired device is connected — keys are not sent"_s);
        QVERIFY(!pair(u"Stranger"_s)); // not discoverable: nobody new pairs

        const QString desktopAgent = defaultAgentPath();
        QSignalSpy logged(&sink, &BluetoothKeyboardKeySink::messageLogged);
        sink.openPairing();
        QTRY_VERIFY_WITH_TIMEOUT(m_bluez.advertisement().value(u"Discoverable"_s).toBool(), timeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(defaultAgentPath(), u"/org/cogwise/keyboard/agent"_s, timeoutMs);
        QVERIFY(pair(u"iPad"_s));
        QTRY_VERIFY_WITH_TIMEOUT(m_bluez.answer(u"HostSubscribed"_s).toBool(), timeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(sink.status(), u"iPad is connected and takes keys"_s, timeoutMs);
        QCOMPARE(m_bluez.answer(u"HostReportMap"_s).toByteArray(), HidKeyboardReport::reportMap());
        QCOMPARE(m_bluez.answer(u"HostReadError"_s).toString(), QString());

        press(sink, VirtualKey::period());
        press(sink, VirtualKey::comma());
        QTRY_COMPARE_WITH_TIMEOUT(m_bluez.hostReports(),
                                  (QList<QByteArray>{period, released, comma, released}), timeoutMs);

        sink.closePairing();
        QTRY_COMPARE_WITH_TIMEOUT(defaultAgentPath(), desktopAgent, timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_bluez.advertisement().contains(u"Discoverable"_s) &&
                                     !m_bluez.advertisement().value(u"Discoverable"_s).toBool(),
                                 timeoutMs);
        QTRY_VERIFY(logged.size() >= 3); // opened, paired, closed
        QVERIFY(logged.constLast().constFirst().toString() == u"Pairing closed."_s);

        // The host leaves: presses meanwhile are dropped, not sent late when it returns.
        QVERIFY(m_bluez.control(u"HostClearReports"_s));
        QVERIFY(m_bluez.control(u"HostDisconnect"_s));
        QTRY_COMPARE_WITH_TIMEOUT(*sink.unavailableReason(),
                                  u"No paired device is connected — keys are not sent"_s, timeoutMs);
        QVERIFY(!sink.post(VirtualKey::period(), KeyDirection::down));
        QVERIFY(m_bluez.answer(u"HostConnect"_s, {u"iPad"_s}).toBool());
        QTRY_COMPARE_WITH_TIMEOUT(sink.status(), u"iPad is connected and takes keys"_s, timeoutMs);
        press(sink, VirtualKey::comma());
        QTRY_COMPARE_WITH_TIMEOUT(m_bluez.hostReports(), (QList<QByteArray>{comma, released}), timeoutMs);
    }

    // bluetoothd restarts: it forgets the keyboard, which registers again by itself; the adapter
    // off and on: advertised again. A host that connects but never subscribes (as after such a
    // restart) is told to pair again.
    void bluetoothdOrTheRadioComeBackAndAHostDoesNotSubscribe()
    {
        BluetoothKeyboardKeySink sink(QDBusConnection::systemBus());
        QTRY_VERIFY_WITH_TIMEOUT(sink.ready(), timeoutMs);
        QVERIFY(!m_bluez.stopService());
        QTRY_VERIFY_WITH_TIMEOUT(!sink.ready(), timeoutMs);
        QVERIFY(!m_bluez.startService());
        QTRY_VERIFY_WITH_TIMEOUT(sink.ready(), timeoutMs);
        QCOMPARE(m_bluez.answer(u"RegisteredApplications"_s).toUInt(), 1u);
        QVERIFY(m_bluez.control(u"SetPowered"_s, {false}));
        QTRY_COMPARE_WITH_TIMEOUT(*sink.unavailableReason(), u"Bluetooth is off, so no device gets keys."_s,
                                  timeoutMs);
        QVERIFY(m_bluez.control(u"SetPowered"_s, {true}));
        QTRY_VERIFY_WITH_TIMEOUT(sink.ready(), timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!m_bluez.advertisement().isEmpty(), timeoutMs);

        QVERIFY(m_bluez.control(u"SetHostSubscribes"_s, {false}));
        sink.openPairing();
        QTRY_VERIFY_WITH_TIMEOUT(m_bluez.advertisement().value(u"Discoverable"_s).toBool(), timeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(defaultAgentPath(), u"/org/cogwise/keyboard/agent"_s, timeoutMs);
        QVERIFY(pair(u"Apple TV"_s));
        QTRY_VERIFY_WITH_TIMEOUT(m_bluez.answer(u"HostIdle"_s).toBool(), timeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(
            sink.status(),
            QStringLiteral("Apple TV is connected but has not asked for keys — remove Cogwise "
                           "from its Bluetooth settings and pair again"),
            timeoutMs);
        QVERIFY(!sink.post(VirtualKey::period(), KeyDirection::down));
    }
};

COGWISE_TEST(tst_BluetoothKeyboardKeySink)
#include "tst_BluetoothKeyboardKeySink.moc"
