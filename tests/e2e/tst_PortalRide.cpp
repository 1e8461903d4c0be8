#include "CogwiseRun.h"
#include "FourPressRide.h"
#include "support/FakePortal.h"
#include "support/TestRegistry.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using CogwiseRun::timeoutMs;

// The cogwise executable in a Wayland session without X and without uinput: its keys go
// through the desktop's remote-desktop portal (a fake on a private session bus).
class tst_PortalRide : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    void start(QProcess& cogwise, const FakePortal& desktop, const QStringList& arguments)
    {
        CogwiseRun::start(cogwise, m_home.path(), arguments,
                          {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"COGWISE_KEY_SINK"_s,
                           u"XDG_SESSION_TYPE=wayland"_s, u"DBUS_SESSION_BUS_ADDRESS="_s + desktop.address(),
                           u"COGWISE_UINPUT_DEVICE="_s + m_home.filePath(u"no-uinput"_s)});
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (const auto missing = FakePortal::missing())
            QSKIP(qPrintable(*missing));
        QVERIFY(FourPressRide::prepare(m_home.path()));
    }

    // `cogwise --headless --enable-keys` asks once; the rider answers while the ride's presses
    // wait. Allowed, they arrive in order, once each; cancelled, none does.
    void theRidersAnswer_data()
    {
        QTest::addColumn<uint>("response");
        QTest::newRow("allowed") << 0u;
        QTest::newRow("cancelled") << 1u;
    }

    void theRidersAnswer()
    {
        QFETCH(uint, response);
        FakePortal desktop;
        FakePortal::RemoteDesktop portal;
        portal.consent = u"wait"_s;
        const auto error = desktop.start(std::nullopt, portal);
        QVERIFY2(!error, qPrintable(error.value_or(QString())));

        QProcess cogwise;
        start(cogwise, desktop,
              {u"--headless"_s, u"--simulate="_s + m_home.filePath(u"ride.capture"_s), u"--enable-keys"_s});
        QTRY_COMPARE_WITH_TIMEOUT(desktop.dialogs(), 1u, timeoutMs);
        QByteArray log;
        QVERIFY(QTest::qWaitFor(
            [&] {
                log += cogwise.readAllStandardError();
                return log.contains("Keys wait for the desktop's permission to type");
            },
            timeoutMs));
        QVERIFY(desktop.answer(response));
        QVERIFY(cogwise.waitForFinished(timeoutMs));
        QCOMPARE(cogwise.exitCode(), 0);

        const QString out = QString::fromUtf8(cogwise.readAllStandardOutput());
        QVERIFY2(out.contains(u"Cogwise asks the desktop for permission to type keys"_s), qPrintable(out));
        if (response == 0) {
            QList<FakePortal::KeyEvent> keys;
            for (const auto& [key, count] : FourPressRide::keys) {
                const int keysym = qstrcmp(key, "period") == 0 ? 0x2e : 0x2c; // "." or ","
                for (int i = 0; i < count; ++i)
                    keys << FakePortal::KeyEvent{u"keysym"_s, keysym, 1}
                         << FakePortal::KeyEvent{u"keysym"_s, keysym, 0};
            }
            QCOMPARE(desktop.keyEvents(), keys);
            // Quitting ends the session.
            QCOMPARE(desktop.closedByClient(), 1u);
        } else {
            QCOMPARE(desktop.keyEvents(), QList<FakePortal::KeyEvent>());
            QVERIFY2(out.contains(u"You did not allow Cogwise to type keys."_s), qPrintable(out));
            QVERIFY2(!out.contains(u"Keyboard: Shift"_s), qPrintable(out));
        }
    }

    // `cogwise --check` tells which way keys go and why, and asks the rider nothing.
    void theSetupCheckNamesThePortal()
    {
        FakePortal desktop;
        const auto error = desktop.start(std::nullopt, FakePortal::RemoteDesktop{});
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        QProcess cogwise;
        start(cogwise, desktop, {u"--check"_s, u"--no-scan"_s});
        QVERIFY(cogwise.waitForFinished(timeoutMs));
        const QStringList lines = QString::fromUtf8(cogwise.readAllStandardOutput()).split(QLatin1Char('\n'));
        for (const QString& expected :
             {QStringLiteral("✓ Keys are typed through the desktop's remote-desktop portal: it reaches every "
                             "window once you allow it, without root (uinput is not set up)."),
              QStringLiteral(
                  "✓ The desktop asks you once to let Cogwise type keys, when you switch on keyboard "
                  "emulation"),
              u"✓ Wayland session: the remote-desktop portal reaches every window"_s})
            QVERIFY2(lines.contains(expected), qPrintable(lines.join(QLatin1Char('\n'))));
        QCOMPARE(desktop.dialogs(), 0u);
    }
};

COGWISE_TEST(tst_PortalRide)
#include "tst_PortalRide.moc"
