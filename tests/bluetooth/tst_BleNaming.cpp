#include "bluetooth/BleUuid.h"
#include "bluetooth/DiscoveredDevice.h"
#include "bluetooth/qt/BluetoothAddressId.h"
#include "support/TestRegistry.h"

#include <QTest>

// How devices and characteristics are recognised by name.
class tst_BleNaming : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void di2Names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isDi2");
        QTest::newRow("trimmed, any case") << QStringLiteral(" ew-wu111 \n") << true;
        QTest::newRow("code as a token") << QStringLiteral("My RD-R8150") << true;
        QTest::newRow("RDR code only at the start") << QStringLiteral("Shimano RDR9150") << false;
        QTest::newRow("RDR code at the start") << QStringLiteral("RDR9170 rear") << true;
        QTest::newRow("SM prefix") << QStringLiteral("Smart Trainer") << true;
        QTest::newRow("other") << QStringLiteral("Heart Rate") << false;
        QTest::newRow("code inside a token") << QStringLiteral("XR8150") << false;
    }

    void di2Names()
    {
        QFETCH(QString, name);
        QFETCH(bool, isDi2);
        QCOMPARE((DiscoveredDevice{QUuid::createUuid(), name, 0, std::nullopt}.isDi2Device()), isDi2);
    }

    void shortIdentifiers()
    {
        QCOMPARE(BleUuid::shortUUIDString(QStringLiteral("2a19")), QStringLiteral("2A19"));
        QCOMPARE(BleUuid::shortUUIDString(QStringLiteral("00002AC2-0000-1000-8000-00805F9B34FB")),
                 QStringLiteral("2AC2"));
        QCOMPARE(BleUuid::shortUUIDString(QStringLiteral("6E400001-B5A3-F393-E0A9-E50E24DCCA9E")),
                 QStringLiteral("CA9E"));
        QCOMPARE(BleUuid::shortUUIDString(QStringLiteral("0000AB")), QStringLiteral("00AB"));
    }

    void addressesSurviveAsIdentifiers()
    {
        const QBluetoothAddress address(QStringLiteral("C0:FF:EE:01:02:03"));
        const QUuid identifier = BluetoothAddressId::identifier(address);
        QCOMPARE(BleUuid::text(identifier), QStringLiteral("00000000-0000-0000-0000-C0FFEE010203"));
        QCOMPARE(BluetoothAddressId::address(identifier), std::optional(address));
        QCOMPARE(BluetoothAddressId::address(
                     QUuid::fromString(QStringLiteral("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"))),
                 std::nullopt);
    }
};

COGWISE_TEST(tst_BleNaming)
#include "tst_BleNaming.moc"
