#include "app/HeadlessConnector.h"
#include "bluetooth/BleUuid.h"
#include "fakes/FakeBleCentral.h"
#include "support/ConnectionRig.h"
#include "support/DebugLogRecorder.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const BlePeripheral mine{QUuid::fromString(u"00000000-0000-0000-0000-C0FFEE000001"_s), u"EW-WU111"_s};
const BlePeripheral theirs{QUuid::fromString(u"00000000-0000-0000-0000-C0FFEE000002"_s), u"EW-WU111"_s};
const BlePeripheral heartRate{QUuid::fromString(u"00000000-0000-0000-0000-C0FFEE000003"_s), u"HRM-Pro"_s};

// Headless mode over a central the test plays, with the connector's listing kept.
struct HeadlessRig : ConnectionRig<FakeBleCentral>
{
    explicit HeadlessRig(const QString& settingsPath)
        : ConnectionRig(settingsPath, {.scanTimeout = std::chrono::milliseconds{50}})
    {
        central.known = {mine, theirs, heartRate};
    }

    void inRange(const QList<BlePeripheral>& peripherals)
    {
        Q_EMIT central.stateUpdated(BleCentralState::poweredOn);
        DebugLogRecorder::settle();
        for (const BlePeripheral& peripheral : peripherals)
            Q_EMIT central.peripheralDiscovered(peripheral, -60, true);
        DebugLogRecorder::settle();
    }
    qsizetype attemptsOn(const BlePeripheral& peripheral) const
    {
        return central.calls.count(u"connect "_s + *peripheral.name);
    }

    QString listing;
    QTextStream out{&listing};
    HeadlessConnector connector{
        service, [](const QUuid& id) { return id.toString(QUuid::WithoutBraces).right(4); }, out};
};

} // namespace

class tst_HeadlessConnector : public QObject
{
    Q_OBJECT

    ScratchDir m_files;

private Q_SLOTS:
    void theOnlyUnitInRangeIsConnected()
    {
        HeadlessRig rig(m_files.testFile());
        rig.inRange({heartRate, mine});
        QTRY_COMPARE(rig.attemptsOn(mine), 1);
        QVERIFY(rig.listing.isEmpty());
    }

    // Listed once, not per scan, names without their control characters, and none is chosen.
    void severalUnitsAreListedAndNoneIsChosen()
    {
        HeadlessRig rig(m_files.testFile());
        const BlePeripheral red{QUuid::fromString(u"00000000-0000-0000-0000-C0FFEE000004"_s),
                                u"EW-WU111\x1b[31mred\x07"_s};
        const BlePeripheral csi{QUuid::fromString(u"00000000-0000-0000-0000-C0FFEE000005"_s),
                                u"EW-WU111\u009b2J\r"_s};
        rig.central.known += {red, csi};
        rig.inRange({mine, heartRate, theirs, red, csi});
        QTRY_VERIFY(rig.listing.contains(u"4 Di2 units are in range"_s));
        QTRY_VERIFY(rig.central.calls.count(u"scan"_s) >= 4); // still looking, scan after scan
        QCOMPARE(rig.central.calls.filter(u"connect "_s).size(), 0);
        QCOMPARE(rig.listing.count(u"in range"_s), 1);
        QVERIFY2(rig.listing.contains(u"EW-WU111  0001  -60 dBm"_s), qPrintable(rig.listing));
        QVERIFY2(rig.listing.contains(u"EW-WU111\\x1B[31mred\\x07  0004"_s), qPrintable(rig.listing));
        QVERIFY2(rig.listing.contains(u"EW-WU111\\x9B2J\\x0D  0005"_s), qPrintable(rig.listing));
        for (const QChar c : std::as_const(rig.listing))
            QVERIFY(c == QLatin1Char('\n') ||
                    (c.unicode() >= 0x20 && c.unicode() != 0x7F && c.unicode() != 0x9B));
    }

    void theSavedUnitOnlyEverIsConnected()
    {
        HeadlessRig rig(m_files.testFile());
        rig.defaults.setString(u"lastConnectedDeviceUUID"_s, BleUuid::text(mine.identifier));
        rig.inRange({theirs, heartRate});
        QCOMPARE(rig.central.calls.filter(u"connect "_s).size(), 0);
        Q_EMIT rig.central.peripheralDiscovered(mine, -55, true);
        DebugLogRecorder::settle();
        QCOMPARE(rig.attemptsOn(mine), 1);
    }
};

COGWISE_TEST(tst_HeadlessConnector)
#include "tst_HeadlessConnector.moc"
