#include "bluetooth/qt/BluezSetup.h"
#include "support/FakeBluezTest.h"
#include "support/TestRegistry.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Long enough for the fake unit's advertisements every 150 ms, short enough for a quick test.
constexpr auto listenTime = std::chrono::milliseconds{1500};

QVariant adapterProperty(const QString& name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("org.bluez"), QStringLiteral("/org/bluez/hci0"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get.setArguments({QStringLiteral("org.bluez.Adapter1"), name});
    const QDBusReply<QDBusVariant> reply = QDBusConnection::systemBus().call(get);
    return reply.isValid() ? reply.value().variant() : QVariant();
}

} // namespace

// What a setup check learns of bluetoothd, its adapter and the rider's unit, from the fake
// bluetoothd on a private bus: each way the set-up can be wrong, and a short listen for the unit.
class tst_BluezSetup : public FakeBluezTest
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // A stand-in for `bluetoothd --version`.
    QList<BluezSetup::VersionSource> versionSources(const QByteArray& script)
    {
        const QString path = m_dir.filePath(QStringLiteral("bluetoothd"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n" + script + "\n") < 0)
            return {};
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        return {{{m_dir.filePath(QStringLiteral("missing-bluetoothd"))}, QStringLiteral("nothing")},
                {{path, QStringLiteral("--version")}, QStringLiteral("bluetoothd --version")}};
    }

    BluetoothSetup::Facts inspect(const std::optional<QUuid>& unit, bool listen,
                                  const QByteArray& versionScript = "echo 5.66")
    {
        BluezSetup setup;
        setup.setListenTime(listenTime);
        setup.setVersionSources(versionSources(versionScript));
        QSignalSpy inspected(&setup, &BluetoothSetup::inspected);
        setup.inspect(unit, listen);
        // Asked again while it runs: still one answer.
        setup.inspect(unit, listen);
        if (!inspected.wait(timeoutMs) || inspected.size() != 1) {
            qWarning("no single answer");
            return {};
        }
        return inspected.first().first().value<BluetoothSetup::Facts>();
    }

private Q_SLOTS:
    void everythingInPlace()
    {
        const auto facts = inspect(identifierAt(FakeBluez::unitAddress()), true);
        QVERIFY(facts.busReachable);
        QVERIFY(facts.serviceRunning);
        QCOMPARE(facts.serviceVersion, QStringLiteral("5.66"));
        QCOMPARE(facts.versionSource, QStringLiteral("bluetoothd --version"));
        QCOMPARE(facts.adapter, QStringLiteral("hci0"));
        QCOMPARE(facts.adapterAddress, QStringLiteral("00:11:22:33:44:55"));
        QVERIFY(facts.adapterPowered);
        QCOMPARE(facts.unitAddress, FakeBluez::unitAddress());
        QVERIFY(facts.unitKnown);
        QCOMPARE(facts.unitName, QStringLiteral("EW-WU111"));
        QCOMPARE(facts.heard, BluetoothSetup::Heard::advertising);
        QVERIFY(facts.rssi && *facts.rssi < 0);
        // The check's own discovery is over when it reports; bluetoothd says so a moment later.
        QTRY_COMPARE(adapterProperty(QStringLiteral("Discovering")), QVariant(false));
    }

    // What goes wrong, one thing at a time; nothing is listened for when it cannot be heard.
    void whatIsMissing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("running");
        QTest::addColumn<QString>("adapter");
        QTest::addColumn<bool>("powered");
        QTest::addColumn<bool>("known");
        QTest::addColumn<BluetoothSetup::Heard>("heard");
        using Heard = BluetoothSetup::Heard;
        QTest::newRow("adapter off") << QStringLiteral("off") << true << QStringLiteral("hci0") << false
                                     << true << Heard::notListened;
        QTest::newRow("no adapter") << QStringLiteral("unplugged") << true << QString() << false << false
                                    << Heard::notListened;
        QTest::newRow("bluetoothd stopped")
            << QStringLiteral("stopped") << false << QString() << false << false << Heard::notListened;
        QTest::newRow("unit asleep") << QStringLiteral("asleep") << true << QStringLiteral("hci0") << true
                                     << true << Heard::silent;
        QTest::newRow("unit connected") << QStringLiteral("connected") << true << QStringLiteral("hci0")
                                        << true << true << Heard::connected;
        QTest::newRow("unit unknown to bluetoothd")
            << QStringLiteral("unknown") << true << QStringLiteral("hci0") << true << false << Heard::silent;
    }
    void whatIsMissing()
    {
        QFETCH(QString, fault);
        QFETCH(bool, running);
        QFETCH(QString, adapter);
        QFETCH(bool, powered);
        QFETCH(bool, known);
        QFETCH(BluetoothSetup::Heard, heard);
        QString unit = FakeBluez::unitAddress();
        if (fault == QLatin1String("off"))
            QVERIFY(m_bluez.control(QStringLiteral("SetPowered"), {false}));
        else if (fault == QLatin1String("unplugged"))
            QVERIFY(m_bluez.control(QStringLiteral("SetAdapterPresent"), {false}));
        else if (fault == QLatin1String("stopped"))
            QVERIFY(!m_bluez.stopService());
        else if (fault == QLatin1String("asleep"))
            QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {true}));
        else if (fault == QLatin1String("unknown"))
            unit = QStringLiteral("C0:FF:EE:00:00:09");
        else if (fault == QLatin1String("connected"))
            QCOMPARE(QDBusConnection::systemBus()
                         .call(QDBusMessage::createMethodCall(
                             QStringLiteral("org.bluez"), FakeBluez::unitPath(),
                             QStringLiteral("org.bluez.Device1"), QStringLiteral("Connect")))
                         .type(),
                     QDBusMessage::ReplyMessage);

        const auto facts = inspect(identifierAt(unit), true);
        if (fault == QLatin1String("stopped"))
            QVERIFY(!m_bluez.startService());
        QVERIFY(facts.busReachable);
        QCOMPARE(facts.serviceRunning, running);
        QCOMPARE(facts.adapter, adapter);
        QCOMPARE(facts.adapterPowered, powered);
        QCOMPARE(facts.unitAddress, unit);
        QCOMPARE(facts.unitKnown, known);
        QCOMPARE(facts.heard, heard);
        QVERIFY(!facts.rssi);
        if (!adapter.isEmpty())
            QTRY_COMPARE(adapterProperty(QStringLiteral("Discovering")), QVariant(false));
    }

    // Skipped by the rider, or nothing to listen for.
    void noListening_data()
    {
        QTest::addColumn<bool>("saved");
        QTest::addColumn<bool>("listen");
        QTest::newRow("not asked to") << true << false;
        QTest::newRow("no unit saved") << false << true;
    }
    void noListening()
    {
        QFETCH(bool, saved);
        QFETCH(bool, listen);
        const auto facts =
            inspect(saved ? std::optional(identifierAt(FakeBluez::unitAddress())) : std::nullopt, listen);
        QVERIFY(facts.adapterPowered);
        QCOMPARE(facts.unitKnown, saved);
        QCOMPARE(facts.unitAddress.has_value(), saved);
        QCOMPARE(facts.heard, BluetoothSetup::Heard::notListened);
    }

    // A version source that fails or hangs gives way to the next, then to none.
    void version_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("version");
        QTest::newRow("answers") << QByteArray("echo 'bluetoothd 5.66'") << QStringLiteral("bluetoothd 5.66");
        QTest::newRow("fails") << QByteArray("echo 5.66; exit 3") << QString();
        QTest::newRow("hangs") << QByteArray("exec sleep 60") << QString();
    }
    void version()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, version);
        const auto facts = inspect(std::nullopt, false, script);
        QCOMPARE(facts.serviceVersion, version);
        QCOMPARE(facts.versionSource.isEmpty(), version.isEmpty());
        QVERIFY(facts.serviceRunning);
    }
};

COGWISE_TEST(tst_BluezSetup)
#include "tst_BluezSetup.moc"
