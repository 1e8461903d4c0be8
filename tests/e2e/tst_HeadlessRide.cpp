#include "CogwiseRun.h"
#include "FourPressRide.h"
#include "fakes/IngestionServer.h"
#include "platform/Defaults.h"
#include "support/FocusedXClient.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"
#include "support/XvfbServer.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using CogwiseRun::timeoutMs;

// The cogwise executable, headless, on a simulated ride: its keys reach a real X client.
class tst_HeadlessRide : public QObject
{
    Q_OBJECT

    XvfbServer m_server;
    QTemporaryDir m_home;
    IngestionServer m_analytics;

    QString settingsPath() const { return m_home.filePath(u"config/Cogwise/Cogwise.conf"_s); }

    using Run = CogwiseRun::Result;

    // cogwise --headless replaying `capture`, its standard output and error apart.
    Run replay(const QByteArray& capture)
    {
        const QString path = m_home.filePath(u"replay.capture"_s);
        if (!ScratchDir::write(path, capture))
            return {};
        return CogwiseRun::run(m_home.path(), {u"--headless"_s, u"--simulate="_s + path},
                               {u"COGWISE_KEY_SINK=none"_s, u"QT_LOGGING_RULES=cogwise*.info=false"_s,
                                u"COGWISE_TELEMETRY_URL="_s + m_analytics.baseUrl()});
    }

    Run ride(const QStringList& extraArguments)
    {
        return CogwiseRun::run(
            m_home.path(),
            QStringList{u"--headless"_s, u"--simulate="_s + m_home.filePath(u"ride.capture"_s)} +
                extraArguments,
            {u"DISPLAY="_s + QString::fromLatin1(m_server.displayName()), u"COGWISE_KEY_SINK=xtest"_s,
             u"QT_LOGGING_RULES=cogwise*.info=false"_s},
            QProcess::ForwardedErrorChannel);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!XvfbServer::isInstalled())
            QSKIP("Xvfb is not installed (scripts/install-deps installs it)");
        const auto error = m_server.start();
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        QVERIFY(FourPressRide::prepare(m_home.path()));
    }

    // What a simulated session saves (its unit as the rider's, the switch) stays in its own copy.
    void pressesOfAllFourButtonsArriveAsKeys()
    {
        const QString riderUnit = u"00000000-0000-0000-0000-E35A11223344"_s;
        Defaults(settingsPath()).setString(u"lastConnectedDeviceUUID"_s, riderUnit);
        const QByteArray riderSettings = ScratchDir::read(settingsPath());
        FocusedXClient client(m_server.displayName());
        QVERIFY(client.takeFocus(timeoutMs));
        const Run run = ride({u"--enable-keys"_s});
        QCOMPARE(run.exitCode, 0);

        const QStringList expected = FourPressRide::keyEvents();
        QCOMPARE(client.receiveKeys(expected.size(), timeoutMs), expected);

        static const QRegularExpression stamp(u"^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} "_s);
        QStringList keyboardLines;
        for (const QString& line : run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            QVERIFY2(stamp.match(line).hasMatch(), qPrintable(line));
            if (line.contains(u"Keyboard:"_s))
                keyboardLines.append(line.mid(13));
        }
        QCOMPARE(keyboardLines,
                 (QStringList{u"Keyboard: Shift Up x2 → Gear 15"_s, u"Keyboard: Shift Down → Gear 14"_s,
                              u"Keyboard: Shift Up → Gear 15"_s, u"Keyboard: Shift Down x3 → Gear 12"_s}));

        QCOMPARE(ScratchDir::read(settingsPath()), riderSettings);
        Defaults simulated(m_home.filePath(u"config/Cogwise/Cogwise-simulated.conf"_s));
        QCOMPARE(simulated.stringValue(u"enableKeyboardEmulation"_s), u"true"_s);
        QVERIFY(simulated.stringValue(u"lastConnectedDeviceUUID"_s) != riderUnit);
    }

    // The capture's own rows (2^31 ms, 2^32 ms and more) are tst_Di2Capture's.
    void timesBeyondAWeekAreRefused()
    {
        const Run run = replay("0 2AC2 0A03000700\n9223372036854775807 2AC2 0B04000700\n");
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(u"replay.capture:2: time "_s), qPrintable(run.err));
        QVERIFY2(run.err.contains(u"is beyond the longest capture"_s), qPrintable(run.err));
    }

    // The terminal demo is nobody's use of Cogwise: it sends no usage statistics and keeps none
    // to send later, and shows the ride alone, device texts escaped.
    void aDemoRideReportsNothingAndEscapesDeviceTexts()
    {
        // The model number the unit reports: "EW-WU111", red from here on, and a bell.
        const QByteArray model = QByteArray("EW-WU111\x1b[31mX\x07").toHex();
        const Run run = replay("0 2A24 " + model + "\n10 2AC2 0A03000700\n90 2AC2 0B04000700\n");
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains(u"connected(EW-WU111\\x1B[31mX\\x07)"_s), qPrintable(run.err));
        for (const QString& stream : {run.out, run.err}) {
            for (const QChar c : stream)
                QVERIFY(c == QLatin1Char('\n') || (c.unicode() >= 0x20 && c.unicode() != 0x7F));
        }
        QVERIFY(m_analytics.requests().isEmpty());
        QDirIterator files(m_home.path(), QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext())
            QVERIFY2(!files.next().contains(u"telemetry"_s), qPrintable(files.filePath()));
        QVERIFY2(!run.err.contains(u"Telemetry"_s), qPrintable(run.err));
    }

    void nothingArrivesWithEmulationOff()
    {
        Defaults(settingsPath()).setBool(u"enableKeyboardEmulation"_s, false);
        FocusedXClient client(m_server.displayName());
        QVERIFY(client.takeFocus(timeoutMs));
        const Run run = ride({});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(client.receiveKeys(0, 0), QStringList());
        QVERIFY(!run.out.contains(u"Keyboard:"_s));
    }
};

COGWISE_TEST(tst_HeadlessRide)
#include "tst_HeadlessRide.moc"
