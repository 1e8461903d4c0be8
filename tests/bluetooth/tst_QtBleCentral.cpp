#include "analytics/Analytics.h"
#include "bluetooth/BLEConnectionManager.h"
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

// The real QtBluetooth backend under the link and the service, over a fake bluetoothd.
struct Rig
{
    explicit Rig(const QString& settingsPath)
        : defaults(settingsPath)
        , analytics([](const QString&, const Analytics::Parameters&) {})
        , ble(central)
        , service(ble, parser, defaults, analytics)
    {
        ConnectionService::Timing timing;
        timing.scanTimeout = std::chrono::milliseconds{1500};
        timing.firstRetryDelay = std::chrono::milliseconds{100};
        service.setTiming(timing);
        central.setTimeouts(std::chrono::milliseconds{1500}, std::chrono::milliseconds{3000});
    }
    QString state() const { return service.connectionState().description(); }

    Defaults defaults;
    Analytics analytics;
    QtBleCentral central;
    Di2Parser parser;
    BLEConnectionManager ble;
    ConnectionService service;
    ConnectionRecorder heard{service};
};

} // namespace

class tst_QtBleCentral : public QObject
{
    Q_OBJECT

    FakeBluez m_bluez;
    QTemporaryDir m_dir;

    QString path() const { return m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction())); }
    QString unitIdentifier() const
    {
        return BluetoothAddressId::identifier(QBluetoothAddress(FakeBluez::unitAddress()))
            .toString(QUuid::WithoutBraces)
            .toUpper();
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
        QVERIFY(m_bluez.control(QStringLiteral("DropLink")));
        QVERIFY(m_bluez.control(QStringLiteral("SetConnectMode"), {QStringLiteral("normal")}));
        QVERIFY(m_bluez.control(QStringLiteral("SetPowered"), {true}));
    }

    void scanConnectDiscoverAndPress()
    {
        Rig rig(path());
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
        Rig rig(path());
        rig.defaults.setString(QStringLiteral("lastConnectedDeviceUUID"), unitIdentifier());
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connected(EW-WU111)"), timeoutMs);
        QCOMPARE(rig.heard.messages.constFirst(),
                 QStringLiteral("Attempting to auto-connect to last device: EW-WU111"));
    }

    void unknownSavedUnitFallsBackToAScan()
    {
        Rig rig(path());
        rig.defaults.setString(QStringLiteral("lastConnectedDeviceUUID"),
                               QStringLiteral("00000000-0000-0000-0000-0000000000AB"));
        QTRY_VERIFY_WITH_TIMEOUT(rig.state().startsWith(QStringLiteral("found(")), timeoutMs);
        QCOMPARE(rig.heard.messages.constFirst(),
                 QStringLiteral("Last connected device not found, scanning..."));
    }

    void aDroppedUnitComesBack()
    {
        Rig rig(path());
        rig.defaults.setString(QStringLiteral("lastConnectedDeviceUUID"), unitIdentifier());
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
        Rig rig(path());
        rig.defaults.setString(QStringLiteral("lastConnectedDeviceUUID"), unitIdentifier());
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("connecting(EW-WU111)"), timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(
            !rig.heard.messages.filter(QStringLiteral("The device did not answer")).isEmpty(), timeoutMs);
        QVERIFY(rig.heard.states.contains(QStringLiteral("waiting(EW-WU111)"))); // still the rider's unit
    }

    void adapterOff()
    {
        Rig rig(path());
        QTRY_VERIFY_WITH_TIMEOUT(rig.state().startsWith(QStringLiteral("found(")), timeoutMs);
        QVERIFY(m_bluez.control(QStringLiteral("SetPowered"), {false}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(), QStringLiteral("bluetoothOff"), timeoutMs);
    }
};

COGWISE_TEST(tst_QtBleCentral)
#include "tst_QtBleCentral.moc"
