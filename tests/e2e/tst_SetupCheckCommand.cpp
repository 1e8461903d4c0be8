#include "CogwiseRun.h"
#include "bluetooth/BleUuid.h"
#include "bluetooth/qt/BluetoothAddressId.h"
#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"
#include "support/FakeBluez.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"
#include "support/XvfbServer.h"

#include <QDir>
#include <QTest>
#include <algorithm>

namespace {

constexpr int timeoutMs = 60000;

} // namespace

// `cogwise --check` as the rider runs it, against the fake bluetoothd on a private bus and an
// Xvfb (or no display): the lines it prints and whether it says Cogwise can ride.
class tst_SetupCheckCommand : public QObject
{
    Q_OBJECT

    FakeBluez m_bluez;
    XvfbServer m_server;
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
        if (unitSaved) {
            Defaults(home + QStringLiteral("/config/Cogwise/Cogwise.conf"))
                .setString(SettingsKeys::lastConnectedDeviceUUID(),
                           BleUuid::text(
                               BluetoothAddressId::identifier(QBluetoothAddress(FakeBluez::unitAddress()))));
        }
        const CogwiseRun::Result run = CogwiseRun::run(
            home, QStringList{QStringLiteral("--check")} + arguments,
            QStringList{QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("XDG_SESSION_TYPE"),
                        QStringLiteral("DISPLAY=") + QString::fromLatin1(m_server.displayName()),
                        QStringLiteral("COGWISE_KEY_SINK=xtest"),
                        QStringLiteral("COGWISE_UINPUT_DEVICE=") + home + QStringLiteral("/no-uinput"),
                        QStringLiteral("QT_LOGGING_RULES=cogwise*=false")} +
                environment,
            timeoutMs, QProcess::ForwardedErrorChannel);
        return {run.exitCode, run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)};
    }

    // Each expected line opens a line of the output; "!TEXT": no line contains TEXT.
    static void compareLines(const Run& run, const QStringList& expected)
    {
        const QString all = run.lines.join(QLatin1Char('\n'));
        for (const QString& line : expected) {
            if (line.startsWith(QLatin1Char('!'))) {
                QVERIFY2(!all.contains(line.mid(1)), qPrintable(line + QStringLiteral(" in\n") + all));
                continue;
            }
            const bool found =
                std::any_of(run.lines.cbegin(), run.lines.cend(),
                            [&line](const QString& printed) { return printed.startsWith(line); });
            QVERIFY2(found, qPrintable(QStringLiteral("no line \"%1\" in\n%2").arg(line, all)));
        }
        // One sentence of advice after every ✗, and a summary to close.
        for (const QString& printed : run.lines) {
            if (printed.startsWith(QStringLiteral("✗")))
                QVERIFY2(printed.contains(QStringLiteral(" — ")) && printed.endsWith(QLatin1Char('.')),
                         qPrintable(printed));
        }
        QVERIFY2(run.lines.last().contains(QStringLiteral("ride")), qPrintable(all));
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!XvfbServer::isInstalled())
            QSKIP("Xvfb is not installed (scripts/install-deps installs it)");
        if (const auto reason = FakeBluez::missing())
            QSKIP(qPrintable(*reason));
        auto error = m_server.start();
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        error = m_bluez.start();
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
    }

    void init()
    {
        QVERIFY(m_bluez.control(QStringLiteral("SetPowered"), {true}));
        QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {false}));
    }

    void linesAndStatus_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("expected");
        const QString ready = QStringLiteral("Ready to ride");
        const QString notReady = QStringLiteral("Not ready to ride: fix the ✗ lines, first of all “");
        const QStringList everyCheck{
            QStringLiteral("✓ bluetoothd "),
            QStringLiteral("✓ Bluetooth adapter hci0 (00:11:22:33:44:55)"),
            QStringLiteral("✓ hci0 is switched on"),
            QStringLiteral("✓ EW-WU111 (C0:FF:EE:00:00:01) is known to bluetoothd"),
            QStringLiteral("✓ Keys are typed through XTest: COGWISE_KEY_SINK=xtest chooses it."),
            QStringLiteral("✓ The X display :"),
            QStringLiteral("✓ X11 session"),
            QStringLiteral("✓ Keyboard layout us (from the X display)"),
            QStringLiteral("✓ Shift up (Rouvy) types “.” with the key where a US keyboard has “.”"),
            QStringLiteral("✓ Shift down (Rouvy) types “,” with the key where a US keyboard has “,”")};

        // uinput is missing, but XTest types: its lines are information, nothing is wrong.
        QTest::newRow("ready") << QString() << QStringList() << QStringList() << 0
                               << everyCheck + QStringList{QStringLiteral("✓ EW-WU111 is advertising now ("),
                                                           QStringLiteral("ℹ "), QStringLiteral("!✗ "),
                                                           ready + QStringLiteral(": everything needed")};
        QTest::newRow("not listening")
            << QString() << QStringList{QStringLiteral("--no-scan")} << QStringList() << 0
            << everyCheck + QStringList{QStringLiteral("!advertising"), ready};
        QTest::newRow("unit asleep")
            << QStringLiteral("asleep") << QStringList() << QStringList() << 0
            << QStringList{
                   QStringLiteral("✗ EW-WU111 was not heard advertising just now — Press a shifter button"),
                   ready + QStringLiteral("; the ✗ lines")};
        QTest::newRow("no unit saved")
            << QStringLiteral("unsaved") << QStringList() << QStringList() << 0
            << QStringList{QStringLiteral("✗ No Di2 unit saved yet — Connect to your unit"),
                           QStringLiteral("!advertising"), ready};
        QTest::newRow("adapter off")
            << QStringLiteral("off") << QStringList() << QStringList() << 1
            << QStringList{QStringLiteral("✗ hci0 is switched off — Switch Bluetooth on"),
                           QStringLiteral("✗ Not listened for your unit: the adapter is off or missing — "),
                           notReady + QStringLiteral("hci0 is switched off”.")};
        QTest::newRow("bluetoothd stopped")
            << QStringLiteral("stopped") << QStringList() << QStringList() << 1
            << QStringList{
                   QStringLiteral(
                       "✗ bluetoothd is not running on the system bus — Install and start it: sudo "
                       "apt install bluez && sudo systemctl enable --now bluetooth."),
                   QStringLiteral("✗ Bluetooth adapter: not checked without bluetoothd — Start bluetoothd"),
                   QStringLiteral("✗ Your unit C0:FF:EE:00:00:01: not checked without bluetoothd — "),
                   notReady + QStringLiteral("bluetoothd is not running on the system bus”.")};
        QTest::newRow("no system bus")
            << QString() << QStringList()
            << QStringList{QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent")} << 1
            << QStringList{QStringLiteral("✗ The system D-Bus is not reachable — Start it"), notReady};
        QTest::newRow("no display")
            << QString() << QStringList() << QStringList{QStringLiteral("DISPLAY")} << 1
            << QStringList{
                   QStringLiteral("✗ Cogwise cannot type keys: There is no X display to type keys on"),
                   QStringLiteral("✗ No X display for XTest (DISPLAY is not set) — "),
                   QStringLiteral("✗ No desktop session here"), QStringLiteral("✓ hci0 is switched on"),
                   notReady + QStringLiteral("Cogwise cannot type keys")};
        QTest::newRow("Wayland with XTest")
            << QString() << QStringList()
            << QStringList{QStringLiteral("XDG_SESSION_TYPE=wayland"),
                           QStringLiteral("WAYLAND_DISPLAY=wayland-9")}
            << 0
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
            QVERIFY(m_bluez.control(QStringLiteral("SetPowered"), {false}));
        else if (fault == QLatin1String("asleep"))
            QVERIFY(m_bluez.control(QStringLiteral("SetAsleep"), {true}));
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
        const Run run = check({QStringLiteral("--no-scan")},
                              {QStringLiteral("DISPLAY=") + QString::fromLatin1(server.displayName())});
        QCOMPARE(run.exitCode, 1);
        compareLines(
            run, {QStringLiteral("✗ Shift up (Rouvy): the layout us has no key for “.” — Choose \"Send the "
                                 "physical key\" in Settings → Keys"),
                  QStringLiteral("✓ Shift down (Rouvy) types “,”"),
                  QStringLiteral("Not ready to ride: fix the ✗ lines, first of all “Shift up (Rouvy)")});
    }
};

COGWISE_TEST(tst_SetupCheckCommand)
#include "tst_SetupCheckCommand.moc"
