#include "CogwiseRun.h"
#include "FourPressRide.h"
#include "support/FocusedXClient.h"
#include "support/KdeDesktop.h"
#include "support/TestRegistry.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;
using CogwiseRun::timeoutMs;

// The cogwise executable on a real KDE desktop (KWin, xdg-desktop-portal and its KDE back-end)
// with neither X nor uinput of its own: its keys go through the real remote-desktop portal and
// reach the focused window, a Wayland client or an X11 client through Xwayland.
class tst_KdeDesktopRide : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<KdeDesktop> m_desktop;

    void ride()
    {
        QProcess cogwise;
        CogwiseRun::start(
            cogwise, m_home.path(),
            {u"--headless"_s, u"--simulate="_s + m_home.filePath(u"ride.capture"_s), u"--enable-keys"_s},
            {u"COGWISE_KEY_SINK"_s, u"COGWISE_UINPUT_DEVICE="_s + m_home.filePath(u"no-uinput"_s)},
            m_desktop->clientEnvironment());
        QVERIFY(cogwise.waitForFinished(timeoutMs));
        const QString out = QString::fromUtf8(cogwise.readAllStandardOutput());
        QVERIFY2(cogwise.exitCode() == 0 && out.contains(u"The desktop lets Cogwise type keys."_s),
                 qPrintable(out + QString::fromUtf8(cogwise.readAllStandardError())));
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (const auto missing = KdeDesktop::missing())
            QSKIP(qPrintable(*missing));
        QVERIFY(FourPressRide::prepare(m_home.path()));
        m_desktop = std::make_unique<KdeDesktop>();
        const auto error = m_desktop->start();
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
    }

    void keysReachAWaylandClient()
    {
        const auto error = m_desktop->startWaylandClient();
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        ride();
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop->waylandKeys(), FourPressRide::keyEvents(), timeoutMs);
    }

    void keysReachAnX11ClientThroughXwayland()
    {
        FocusedXClient client(m_desktop->xDisplay());
        QVERIFY(client.isConnected());
        QVERIFY(client.takeFocus(timeoutMs));
        ride();
        const QStringList keys = FourPressRide::keyEvents();
        QCOMPARE(client.receiveKeys(int(keys.size()), timeoutMs), keys);
    }

    void cleanupTestCase() { m_desktop.reset(); }
};

COGWISE_TEST(tst_KdeDesktopRide)
#include "tst_KdeDesktopRide.moc"
