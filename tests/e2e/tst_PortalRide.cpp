#include "platform/Defaults.h"
#include "shifting/UserDefaultsManager.h"
#include "support/FakePortal.h"
#include "support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int timeoutMs = 60000;
// The keysyms of "." and ",".
constexpr int period = 0x2e;
constexpr int comma = 0x2c;

QList<FakePortal::KeyEvent> presses(int keysym, int count)
{
    QList<FakePortal::KeyEvent> events;
    for (int i = 0; i < count; ++i)
        events << FakePortal::KeyEvent{QStringLiteral("keysym"), keysym, 1}
               << FakePortal::KeyEvent{QStringLiteral("keysym"), keysym, 0};
    return events;
}

} // namespace

// The cogwise executable, headless, in a Wayland session without X and without uinput: its
// keys go through the desktop's remote-desktop portal (a fake on a private session bus).
class tst_PortalRide : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    void startRide(QProcess& cogwise, const FakePortal& desktop)
    {
        const QString capture = m_home.filePath(QStringLiteral("ride.capture"));
        QFile file(capture);
        if (file.open(QIODevice::WriteOnly)) {
            // The counters as they stand, then one press of each button in turn.
            file.write("0 2AC2 0A03000700\n"
                       "80 2AC2 0B04000700\n"
                       "160 2AC2 0C04010700\n"
                       "240 2AC2 0D04010800\n"
                       "320 2AC2 0E04010801\n");
        }
        file.close();

        startProcess(cogwise, desktop,
                     {QStringLiteral("--headless"), QStringLiteral("--simulate=") + capture,
                      QStringLiteral("--enable-keys")});
    }

    // In a Wayland session without X and without uinput, on the fake desktop's session bus.
    void startProcess(QProcess& cogwise, const FakePortal& desktop, const QStringList& arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "COGWISE_KEY_SINK"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), desktop.address());
        environment.insert(QStringLiteral("COGWISE_UINPUT_DEVICE"),
                           m_home.filePath(QStringLiteral("no-uinput")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
        environment.insert(QStringLiteral("COGWISE_TELEMETRY_URL"), QStringLiteral("http://127.0.0.1:9/"));
        cogwise.setProcessEnvironment(environment);
        cogwise.start(QStringLiteral(COGWISE_BINARY), arguments);
    }

    static bool finish(QProcess& cogwise)
    {
        if (cogwise.state() == QProcess::NotRunning || cogwise.waitForFinished(timeoutMs))
            return cogwise.exitStatus() == QProcess::NormalExit && cogwise.exitCode() == 0;
        cogwise.kill();
        cogwise.waitForFinished();
        return false;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (const auto missing = FakePortal::missing())
            QSKIP(qPrintable(*missing));
        const QString settings = m_home.filePath(QStringLiteral("config/Cogwise/Cogwise.conf"));
        QDir().mkpath(QFileInfo(settings).absolutePath());
        Defaults defaults(settings);
        UserDefaultsManager storage(defaults);
        storage.updateButtonConfig(1, {KeyboardAction::shiftUp, 2});
        storage.updateButtonConfig(2, {KeyboardAction::shiftDown, 1});
        storage.updateButtonConfig(3, {KeyboardAction::shiftUp, 1});
        storage.updateButtonConfig(4, {KeyboardAction::shiftDown, 3});
    }

    // The rider answers the dialog while the ride is under way: the presses made meanwhile wait,
    // then arrive in order, once each.
    void pressesWaitForTheConsentThenArriveInOrder()
    {
        FakePortal desktop;
        FakePortal::RemoteDesktop portal;
        portal.consent = QStringLiteral("wait");
        const auto error = desktop.start(std::nullopt, portal);
        QVERIFY2(!error, qPrintable(error.value_or(QString())));

        QProcess cogwise;
        startRide(cogwise, desktop);
        QTRY_COMPARE_WITH_TIMEOUT(desktop.dialogs(), 1u, timeoutMs);
        // Answered once the ride's presses wait for it.
        QByteArray log;
        QVERIFY(QTest::qWaitFor(
            [&] {
                log += cogwise.readAllStandardError();
                return log.contains("Keys wait for the desktop's permission to type");
            },
            timeoutMs));
        QVERIFY(desktop.answer(0));
        QVERIFY(finish(cogwise));

        QCOMPARE(desktop.keyEvents(),
                 presses(period, 2) + presses(comma, 1) + presses(period, 1) + presses(comma, 3));
        const QString out = QString::fromUtf8(cogwise.readAllStandardOutput());
        QVERIFY2(out.contains(QStringLiteral("Cogwise asks the desktop for permission to type keys")),
                 qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("The desktop lets Cogwise type keys.")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("Keyboard: Shift Down x3 → Gear 12")), qPrintable(out));
        // Quitting ends the session.
        QCOMPARE(desktop.closedByClient(), 1u);
    }

    // The rider cancels: no key reaches the desktop, and the log says why in words.
    void aRefusalTypesNothingAndSaysWhy()
    {
        FakePortal desktop;
        FakePortal::RemoteDesktop portal;
        portal.consent = QStringLiteral("wait");
        const auto error = desktop.start(std::nullopt, portal);
        QVERIFY2(!error, qPrintable(error.value_or(QString())));

        QProcess cogwise;
        startRide(cogwise, desktop);
        QTRY_COMPARE_WITH_TIMEOUT(desktop.dialogs(), 1u, timeoutMs);
        QVERIFY(desktop.answer(1));
        QVERIFY(finish(cogwise));

        QCOMPARE(desktop.keyEvents(), QList<FakePortal::KeyEvent>());
        const QString out = QString::fromUtf8(cogwise.readAllStandardOutput());
        QVERIFY2(out.contains(QStringLiteral("You did not allow Cogwise to type keys.")), qPrintable(out));
        QVERIFY2(!out.contains(QStringLiteral("Keyboard: Shift")), qPrintable(out));
    }

    // `cogwise --check` tells which way keys go and why, and asks the rider nothing.
    void theSetupCheckNamesThePortal()
    {
        FakePortal desktop;
        const auto error = desktop.start(std::nullopt, FakePortal::RemoteDesktop{});
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        QProcess cogwise;
        startProcess(cogwise, desktop, {QStringLiteral("--check"), QStringLiteral("--no-scan")});
        QVERIFY(cogwise.waitForFinished(timeoutMs));
        const QStringList lines = QString::fromUtf8(cogwise.readAllStandardOutput()).split(QLatin1Char('\n'));
        for (const QString& expected :
             {QStringLiteral("✓ Keys are typed through the desktop's remote-desktop portal: it reaches every "
                             "window once you allow it, without root (uinput is not set up)."),
              QStringLiteral(
                  "✓ The desktop asks you once to let Cogwise type keys, when you switch on keyboard "
                  "emulation"),
              QStringLiteral("✓ Wayland session: the remote-desktop portal reaches every window")})
            QVERIFY2(lines.contains(expected), qPrintable(lines.join(QLatin1Char('\n'))));
        QCOMPARE(desktop.dialogs(), 0u);
    }
};

COGWISE_TEST(tst_PortalRide)
#include "tst_PortalRide.moc"
