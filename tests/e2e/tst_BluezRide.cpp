#include "CogwiseRun.h"
#include "platform/Defaults.h"
#include "shifting/UserDefaultsManager.h"
#include "support/FakeBluezTest.h"
#include "support/FocusedXClient.h"
#include "support/TestRegistry.h"

#include <QDBusArgument>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// cogwise on the real QtBluetooth backend, over a fake bluetoothd: the unit's
// notifications become keys in a real X client.
class tst_BluezRide : public FakeBluezTest
{
    Q_OBJECT

    static constexpr int timeoutMs = CogwiseRun::timeoutMs;
    QTemporaryDir m_home;

public:
    tst_BluezRide()
        : FakeBluezTest(kernelConnectLimit, true)
    {}

private Q_SLOTS:
    // Button 1 shifts down once, button 2 up three times: the keys of a trainer app named on the
    // command line (which keeps it), held as long as it says.
    void notificationsBecomeKeys()
    {
        const QString settings = prepareSettings();
        {
            Defaults defaults(settings);
            UserDefaultsManager(defaults).updateButtonConfig(2, {KeyboardAction::shiftUp, 3});
        }
        FocusedXClient client(m_display.displayName());
        QVERIFY(client.takeFocus(timeoutMs));

        QProcess cogwise;
        startSubscribed(cogwise,
                        {u"--headless"_s, u"--trainer-app"_s, u"mywhoosh"_s, u"--key-hold"_s, u"40"_s});
        QVERIFY(pressButtonsOneAndTwo());
        const QStringList keys = FocusedXClient::pressesOf(u"k"_s, 1) + FocusedXClient::pressesOf(u"i"_s, 3);
        QCOMPARE(client.receiveKeys(int(keys.size()), timeoutMs), keys);
        stop(cogwise);

        // Each key is held (4 × 40 ms) and the repeats keep a pause between them (2 × 50 ms). The X
        // server stamps an event when it gets round to it: kept from running for a while, it stamps
        // one key's release and the next press alike. So holds and pauses are judged in sum, against
        // half of what was asked, which still tells keys held and spaced from keys that were not.
        const QList<qint64>& times = client.keyTimes();
        qint64 held = 0;
        qint64 paused = 0;
        for (qsizetype i = 0; i + 1 < times.size(); i += 2)
            held += times.at(i + 1) - times.at(i);
        for (qsizetype i = 3; i + 1 < times.size(); i += 2)
            paused += times.at(i + 1) - times.at(i);
        QVERIFY2(held >= 4 * 40 / 2, qPrintable(u"held %1 ms in all"_s.arg(held)));
        QVERIFY2(paused >= 2 * 50 / 2, qPrintable(u"paused %1 ms in all"_s.arg(paused)));
        Defaults kept(settings);
        QCOMPARE(kept.stringValue(u"trainerApp"_s), u"mywhoosh"_s);
        QCOMPARE(kept.integerValue(u"keyHoldMilliseconds"_s), 40);
    }

    // Keys for an iPad: the real QtBluetooth central to the unit and Cogwise's Bluetooth keyboard
    // on the same bluetoothd. Pairing opened from the command line, presses arrive as reports in
    // order and held, and the host never becomes the rider's unit.
    void pressesBecomeReportsOnAPairedDevice()
    {
        const QString settings = prepareSettings();
        QProcess cogwise;
        startSubscribed(
            cogwise, {u"--headless"_s, u"--keys-to"_s, u"bluetooth"_s, u"--pair"_s, u"--key-hold"_s, u"30"_s},
            QString());
        QTRY_VERIFY_WITH_TIMEOUT(m_bluez.advertisement().value(u"Discoverable"_s).toBool(), timeoutMs);
        QVERIFY(m_bluez.answer(u"HostPair"_s, {u"iPad"_s}).toBool());
        QTRY_VERIFY_WITH_TIMEOUT(m_bluez.answer(u"HostSubscribed"_s).toBool(), timeoutMs);

        QVERIFY(pressButtonsOneAndTwo()); // shift down, shift up
        const QByteArray released(8, '\0');
        QTRY_COMPARE_WITH_TIMEOUT(m_bluez.hostReports(),
                                  (QList<QByteArray>{QByteArray::fromHex("0000360000000000"), released,
                                                     QByteArray::fromHex("0000370000000000"), released}),
                                  timeoutMs);
        const auto times =
            qdbus_cast<QList<double>>(m_bluez.answer(u"HostReportTimes"_s).value<QDBusArgument>());
        QCOMPARE(times.size(), 4);
        // Held as asked; half of it tells a held key from one that was not, however busy the machine.
        QVERIFY2(times.at(1) - times.at(0) >= 0.015, qPrintable(QString::number(times.at(1) - times.at(0))));

        // A controller that takes one role at a time keeps the unit out while the iPad is connected:
        // said once, in words.
        QString events;
        const auto heard = [&cogwise, &events](const QString& text) {
            events += QString::fromUtf8(cogwise.readAllStandardOutput());
            return events.contains(text);
        };
        QVERIFY(m_bluez.control(u"SetRefuseCentralWhileHostConnected"_s, {true}));
        QVERIFY(m_bluez.control(u"DropLink"_s));
        QTRY_VERIFY_WITH_TIMEOUT(heard(u"may not reach your unit while a device is connected"_s), timeoutMs);
        QVERIFY(m_bluez.control(u"SetRefuseCentralWhileHostConnected"_s, {false}));
        QTRY_VERIFY_WITH_TIMEOUT(m_bluez.isNotifying(), timeoutMs);
        stop(cogwise);

        events += QString::fromUtf8(cogwise.readAllStandardOutput());
        QCOMPARE(events.count(u"may not reach your unit"_s), 1);
        QVERIFY2(events.contains(u"iPad paired with Cogwise."_s), qPrintable(events));
        Defaults kept(settings);
        QCOMPARE(kept.stringValue(u"keysTo"_s), u"bluetooth"_s);
        QCOMPARE(kept.stringValue(u"lastConnectedDeviceUUID"_s), unitIdentifier());
    }

private:
    QString prepareSettings()
    {
        const QString settings = m_home.filePath(u"config/Cogwise/Cogwise.conf"_s);
        QFile::remove(settings);
        QDir().mkpath(QFileInfo(settings).absolutePath());
        saveUnit(settings);
        Defaults(settings).setBool(u"enableKeyboardEmulation"_s, true);
        return settings;
    }

    // The first channel packet only sets the counters; the next two press buttons 1 and 2.
    bool pressButtonsOneAndTwo()
    {
        const auto notify = [this](const char* packet) {
            return m_bluez.control(u"Notify"_s, {QByteArray::fromHex(packet)});
        };
        return notify("0503000000") && notify("0604000000") && notify("0704010000");
    }

    // Until this run's own subscription to the unit: the fake may still show the run before's.
    // `keySink` is forced through COGWISE_KEY_SINK; empty: chosen as for a rider.
    void startSubscribed(QProcess& cogwise, const QStringList& arguments, const QString& keySink = u"xtest"_s)
    {
        const int subscriptions = m_bluez.count(u"StartNotifyCalls"_s);
        cogwise.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        CogwiseRun::start(
            cogwise, m_home.path(), arguments,
            {u"DISPLAY="_s + QString::fromLatin1(m_display.displayName()),
             u"COGWISE_KEY_SINK"_s + (keySink.isEmpty() ? QString() : QLatin1Char('=') + keySink),
             u"QT_LOGGING_RULES=cogwise*.info=false;qt.bluetooth*=false"_s});
        QVERIFY(cogwise.waitForStarted(timeoutMs));
        QTRY_VERIFY_WITH_TIMEOUT(
            m_bluez.count(u"StartNotifyCalls"_s) > subscriptions && m_bluez.isNotifying(), timeoutMs);
    }

    void stop(QProcess& cogwise)
    {
        QSignalSpy finished(&cogwise, &QProcess::finished);
        cogwise.terminate();
        QVERIFY(finished.wait(timeoutMs));
        QCOMPARE(cogwise.exitCode(), 0);
        QCOMPARE(cogwise.exitStatus(), QProcess::NormalExit);
    }
};

COGWISE_TEST(tst_BluezRide)
#include "tst_BluezRide.moc"
