#include "CogwiseRun.h"
#include "FourPressRide.h"
#include "support/FocusedXClient.h"
#include "support/KdeDesktop.h"
#include "support/TestRegistry.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

constexpr int timeoutMs = 60000;

QStringList fourPressKeys()
{
    return FocusedXClient::pressesOf(QStringLiteral("period"), 2) +
           FocusedXClient::pressesOf(QStringLiteral("comma"), 1) +
           FocusedXClient::pressesOf(QStringLiteral("period"), 1) +
           FocusedXClient::pressesOf(QStringLiteral("comma"), 3);
}

} // namespace

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
            {QStringLiteral("--headless"),
             QStringLiteral("--simulate=") + m_home.filePath(QStringLiteral("ride.capture")),
             QStringLiteral("--enable-keys")},
            {QStringLiteral("COGWISE_KEY_SINK"),
             QStringLiteral("COGWISE_UINPUT_DEVICE=") + m_home.filePath(QStringLiteral("no-uinput"))},
            m_desktop->clientEnvironment());
        QVERIFY(cogwise.waitForFinished(timeoutMs));
        const QString out = QString::fromUtf8(cogwise.readAllStandardOutput());
        QVERIFY2(cogwise.exitCode() == 0 &&
                     out.contains(QStringLiteral("The desktop lets Cogwise type keys.")),
                 qPrintable(out + QString::fromUtf8(cogwise.readAllStandardError())));
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (const auto missing = KdeDesktop::missing())
            QSKIP(qPrintable(*missing));
        FourPressRide::storeMapping(m_home.filePath(QStringLiteral("config/Cogwise/Cogwise.conf")));
        QVERIFY(FourPressRide::writeCapture(m_home.filePath(QStringLiteral("ride.capture"))));
        m_desktop = std::make_unique<KdeDesktop>();
        const auto error = m_desktop->start();
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
    }

    void keysReachAWaylandClient()
    {
        const auto error = m_desktop->startWaylandClient();
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        ride();
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop->waylandKeys(), fourPressKeys(), timeoutMs);
    }

    void keysReachAnX11ClientThroughXwayland()
    {
        FocusedXClient client(m_desktop->xDisplay());
        QVERIFY(client.isConnected());
        QVERIFY(client.takeFocus(timeoutMs));
        ride();
        QCOMPARE(client.receiveKeys(int(fourPressKeys().size()), timeoutMs), fourPressKeys());
    }

    void cleanupTestCase() { m_desktop.reset(); }
};

COGWISE_TEST(tst_KdeDesktopRide)
#include "tst_KdeDesktopRide.moc"
