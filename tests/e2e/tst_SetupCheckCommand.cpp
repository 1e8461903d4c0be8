#include "CogwiseRun.h"
#include "support/FakeBluezTest.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QDir>
#include <QTest>
#include <algorithm>

using namespace Qt::StringLiterals;

// `cogwise --check` as the rider runs it, against the fake bluetoothd on a private bus and an
// Xvfb (or no display): the lines it prints and whether it says Cogwise can ride.
class tst_SetupCheckCommand : public FakeBluezTest
{
    Q_OBJECT

    ScratchDir m_homes;

    struct Run
    {
        int exitCode = -1;
        QStringList lines;
    };

    // `environment`: NAME=VALUE to set, NAME to unset.
    Run check(const QStringList& arguments, const QStringList& environment, bool unitSaved = true)
    {
        const QString home = m_homes.testFile();
        QDir(home).removeRecursively();
        if (unitSaved)
            saveUnit(home + u"/config/Cogwise/Cogwise.conf"_s);
        const CogwiseRun::Result run = CogwiseRun::run(
            home, QStringList{u"--check"_s} + arguments,
            QStringList{u"WAYLAND_DISPLAY"_s, u"XDG_SESSION_TYPE"_s,
                        u"DISPLAY="_s + QString::fromLatin1(m_display.displayName()),
                        u"COGWISE_KEY_SINK=xtest"_s, u"COGWISE_UINPUT_DEVICE="_s + home + u"/no-uinput"_s,
                        u"QT_LOGGING_RULES=cogwise*=false"_s} +
                environment,
            QProcess::ForwardedErrorChannel);
        return {run.exitCode, run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)};
    }

    // Each expected line opens a line of the output; "!TEXT": no line contains TEXT.
    static void compareLines(const Run& run, const QStringList& expected)
    {
        const QString all = run.lines.join(QLatin1Char('\n'));
        for (const QString& line : expected) {
            if (line.startsWith(QLatin1Char('!'))) {
                QVERIFY2(!all.contains(line.mid(1)), qPrintable(line + u" in\n"_s + all));
                continue;
            }
            const bool found =
                std::any_of(run.lines.cbegin(), run.lines.cend(),
                            [&line](const QString& printed) { return printed.startsWith(line); });
            QVERIFY2(found, qPrintable(u"no line \"%1\" in\n%2"_s.arg(line, all)));
        }
        // One sentence of advice after every ✗, and a summary to close.
        for (const QString& printed : run.lines) {
            if (printed.startsWith(u"✗"_s))
                QVERIFY2(printed.contains(u" — "_s) && printed.endsWith(QLatin1Char('.')),
                         qPrintable(printed));
        }
        QVERIFY2(run.lines.last().contains(u"ride"_s), qPrintable(all));
    }

public:
    tst_SetupCheckCommand()
        : FakeBluezTest(kernelConnectLimit, true)
    {}

private Q_SLOTS:
    void linesAndStatus_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("expected");
        const QString ready = u"Ready to ride"_s;
        const QString notReady = u"Not ready to ride: fix the ✗ lines, first of all “"_s;
        const QStringList everyCheck{
            u"✓ bluetoothd "_s,
            u"✓ Bluetooth adapter hci0 (00:11:22:33:44:55)"_s,
            u"✓ hci0 is switched on"_s,
            u"✓ EW-WU111 (C0:FF:EE:00:00:01) is known to bluetoothd"_s,
            u"✓ Keys are typed through XTest: COGWISE_KEY_SINK=xtest chooses it."_s,
            u"✓ The X display :"_s,
            u"✓ X11 session"_s,
            u"✓ Keyboard layout us (from the X display)"_s,
            u"✓ Shift up (Rouvy) types “.” with the key where a US keyboard has “.”"_s,
            u"✓ Shift down (Rouvy) types “,” with the key where a US keyboard has “,”"_s};

        // uinput is missing, but XTest types: its lines are information, nothing is wrong.
        QTest::newRow("ready") << QString() << QStringList() << QStringList() << 0
                               << everyCheck + QStringList{u"✓ EW-WU111 is advertising now ("_s, u"ℹ "_s,
                                                           u"!✗ "_s, ready + u": everything needed"_s};
        QTest::newRow("not listening") << QString() << QStringList{u"--no-scan"_s} << QStringList() << 0
                                       << everyCheck + QStringList{u"!advertising"_s, ready};
        QTest::newRow("unit asleep")
            << u"asleep"_s << QStringList() << QStringList() << 0
            << QStringList{u"✗ EW-WU111 was not heard advertising just now — Press a shifter button"_s,
                           ready + u"; the ✗ lines"_s};
        QTest::newRow("no unit saved")
            << u"unsaved"_s << QStringList() << QStringList() << 0
            << QStringList{u"✗ No Di2 unit saved yet — Connect to your unit"_s, u"!advertising"_s, ready};
        QTest::newRow("adapter off")
            << u"off"_s << QStringList() << QStringList() << 1
            << QStringList{u"✗ hci0 is switched off — Switch Bluetooth on"_s,
                           u"✗ Not listened for your unit: the adapter is off or missing — "_s,
                           notReady + u"hci0 is switched off”."_s};
        QTest::newRow("bluetoothd stopped")
            << u"stopped"_s << QStringList() << QStringList() << 1
            << QStringList{QStringLiteral(
                               "✗ bluetoothd is not running on the system bus — Install and start it: sudo "
                               "apt install bluez && sudo systemctl enable --now bluetooth."),
                           u"✗ Bluetooth adapter: not checked without bluetoothd — Start bluetoothd"_s,
                           u"✗ Your unit C0:FF:EE:00:00:01: not checked without bluetoothd — "_s,
                           notReady + u"bluetoothd is not running on the system bus”."_s};
        QTest::newRow("no system bus")
            << QString() << QStringList() << QStringList{u"DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent"_s}
            << 1 << QStringList{u"✗ The system D-Bus is not reachable — Start it"_s, notReady};
        QTest::newRow("no display")
            << QString() << QStringList() << QStringList{u"DISPLAY"_s} << 1
            << QStringList{u"✗ Cogwise cannot type keys: There is no X display to type keys on"_s,
                           u"✗ No X display for XTest (DISPLAY is not set) — "_s,
                           u"✗ No desktop session here"_s, u"✓ hci0 is switched on"_s,
                           notReady + u"Cogwise cannot type keys"_s};
        QTest::newRow("Wayland with XTest")
            << QString() << QStringList()
            << QStringList{u"XDG_SESSION_TYPE=wayland"_s, u"WAYLAND_DISPLAY=wayland-9"_s} << 0
            << QStringList{
                   QStringLiteral("✗ Wayland session: XTest reaches only XWayland windows, so a trainer app "
                                  "under Wine gets the keys but a browser running on Wayland does not — Set "
                                  "up uinput"),
                   ready};
    }
    void linesAndStatus()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QFETCH(int, exitCode);
        QFETCH(QStringList, expected);
        if (fault == QLatin1String("off"))
            QVERIFY(m_bluez.control(u"SetPowered"_s, {false}));
        else if (fault == QLatin1String("asleep"))
            QVERIFY(m_bluez.control(u"SetAsleep"_s, {true}));
        else if (fault == QLatin1String("stopped"))
            QVERIFY(!m_bluez.stopService());

        const Run run = check(arguments, environment, fault != QLatin1String("unsaved"));
        if (fault == QLatin1String("stopped"))
            QVERIFY(!m_bluez.startService());
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.lines.join(QLatin1Char('\n'))));
        compareLines(run, expected);
    }

    // A layout that has no key for the trainer app's "." cannot shift up by character.
    void layoutWithoutTheKey()
    {
        XvfbServer server;
        const auto error = server.start();
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        QVERIFY(server.remapKeys({{60, {"colon", "greater"}}}));
        const Run run = check({u"--no-scan"_s}, {u"DISPLAY="_s + QString::fromLatin1(server.displayName())});
        QCOMPARE(run.exitCode, 1);
        compareLines(
            run, {QStringLiteral("✗ Shift up (Rouvy): the layout us has no key for “.” — Choose \"Send the "
                                 "physical key\" in Settings → Keys"),
                  u"✓ Shift down (Rouvy) types “,”"_s,
                  u"Not ready to ride: fix the ✗ lines, first of all “Shift up (Rouvy)"_s});
    }
};

COGWISE_TEST(tst_SetupCheckCommand)
#include "tst_SetupCheckCommand.moc"
