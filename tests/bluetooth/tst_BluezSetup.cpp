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

using namespace Qt::StringLiterals;

namespace {

// Long enough for the fake unit's advertisements every 150 ms, short enough for a quick test.
constexpr auto listenTime = std::chrono::milliseconds{1500};

QVariant adapterProperty(const QString& name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(u"org.bluez"_s, u"/org/bluez/hci0"_s,
                                                      u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get.setArguments({u"org.bluez.Adapter1"_s, name});
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
        const QString path = m_dir.filePath(u"bluetoothd"_s);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n" + script + "\n") < 0)
            return {};
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        return {{{m_dir.filePath(u"missing-bluetoothd"_s)}, u"nothing"_s},
                {{path, u"--version"_s}, u"bluetoothd --version"_s}};
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
    // Everything in place, then what goes wrong, one thing at a time; nothing is listened for when
    // it cannot be heard.
    void whatIsMissing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<BluetoothSetup::Heard>("heard");
        using Heard = BluetoothSetup::Heard;
        QTest::newRow("everything in place") << QString() << Heard::advertising;
        QTest::newRow("adapter off") << u"off"_s << Heard::notListened;
        QTest::newRow("no adapter") << u"unplugged"_s << Heard::notListened;
        QTest::newRow("bluetoothd stopped") << u"stopped"_s << Heard::notListened;
        QTest::newRow("unit asleep") << u"asleep"_s << Heard::silent;
        QTest::newRow("unit connected") << u"connected"_s << Heard::connected;
        QTest::newRow("unit unknown to bluetoothd") << u"unknown"_s << Heard::silent;
    }
    void whatIsMissing()
    {
        QFETCH(QString, fault);
        QFETCH(BluetoothSetup::Heard, heard);
        const bool running = fault != QLatin1String("stopped");
        const QString adapter = running && fault != QLatin1String("unplugged") ? u"hci0"_s : QString();
        const bool powered = !adapter.isEmpty() && fault != QLatin1String("off");
        const bool known = !adapter.isEmpty() && fault != QLatin1String("unknown");
        QString unit = FakeBluez::unitAddress();
        if (fault == QLatin1String("off"))
            QVERIFY(m_bluez.control(u"SetPowered"_s, {false}));
        else if (fault == QLatin1String("unplugged"))
            QVERIFY(m_bluez.control(u"SetAdapterPresent"_s, {false}));
        else if (!running)
            QVERIFY(!m_bluez.stopService());
        else if (fault == QLatin1String("asleep"))
            QVERIFY(m_bluez.control(u"SetAsleep"_s, {true}));
        else if (fault == QLatin1String("unknown"))
            unit = u"C0:FF:EE:00:00:09"_s;
        else if (fault == QLatin1String("connected"))
            QCOMPARE(QDBusConnection::systemBus()
                         .call(QDBusMessage::createMethodCall(u"org.bluez"_s, FakeBluez::unitPath(),
                                                              u"org.bluez.Device1"_s, u"Connect"_s))
                         .type(),
                     QDBusMessage::ReplyMessage);

        const auto facts = inspect(identifierAt(unit), true);
        if (!running)
            QVERIFY(!m_bluez.startService());
        QVERIFY(facts.busReachable);
        QCOMPARE(facts.serviceRunning, running);
        QCOMPARE(facts.adapter, adapter);
        QCOMPARE(facts.adapterAddress, adapter.isEmpty() ? QString() : u"00:11:22:33:44:55"_s);
        QCOMPARE(facts.adapterPowered, powered);
        QCOMPARE(facts.unitAddress, unit);
        QCOMPARE(facts.unitKnown, known);
        QCOMPARE(facts.unitName, known ? u"EW-WU111"_s : QString());
        QCOMPARE(facts.heard, heard);
        QCOMPARE(facts.rssi.has_value(), heard == BluetoothSetup::Heard::advertising);
        if (facts.rssi)
            QVERIFY(*facts.rssi < 0);
        // The check's own discovery is over when it reports; bluetoothd says so a moment later.
        if (!adapter.isEmpty())
            QTRY_COMPARE(adapterProperty(u"Discovering"_s), QVariant(false));
    }

    // A version source that fails or hangs gives way to the next, then to none.
    void version_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("version");
        QTest::newRow("answers") << QByteArray("echo 'bluetoothd 5.66'") << u"bluetoothd 5.66"_s;
        QTest::newRow("fails") << QByteArray("echo 5.66; exit 3") << QString();
        QTest::newRow("hangs") << QByteArray("exec sleep 60") << QString();
    }
    void version()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, version);
        const auto facts = inspect(std::nullopt, false, script);
        QCOMPARE(facts.serviceVersion, version);
        QCOMPARE(facts.versionSource, version.isEmpty() ? QString() : u"bluetoothd --version"_s);
        QVERIFY(facts.serviceRunning);
    }
};

COGWISE_TEST(tst_BluezSetup)
#include "tst_BluezSetup.moc"
