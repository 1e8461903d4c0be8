#include "gui/ColorScheme.h"
#include "support/FakePortal.h"
#include "support/TestRegistry.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

bool isDark()
{
    return QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
}

} // namespace

// Light or dark as the desktop prefers, told by its portal over D-Bus and followed as it changes.
class tst_ColorScheme : public QObject
{
    Q_OBJECT

    QPalette m_original;

private Q_SLOTS:
    void initTestCase()
    {
        if (const auto missing = FakePortal::missing())
            QSKIP(qPrintable(*missing));
        m_original = QGuiApplication::palette();
    }
    void cleanup() { QGuiApplication::setPalette(m_original); }

    void followsTheDesktop_data()
    {
        QTest::addColumn<QString>("forced");       // COGWISE_COLOR_SCHEME
        QTest::addColumn<int>("portal");           // its color-scheme; -1: no portal on the bus
        QTest::addColumn<bool>("platformDark");    // the palette Qt found
        QTest::addColumn<bool>("darkAtFirst");     // once the portal answered
        QTest::addColumn<bool>("darkWhenDark");    // the rider then prefers dark
        QTest::addColumn<bool>("darkWhenLight");   // then light
        QTest::addColumn<bool>("darkWhenNothing"); // then nothing
        QTest::newRow("portal prefers dark") << QString() << 1 << false << true << true << false << false;
        QTest::newRow("portal prefers light") << QString() << 2 << true << false << true << false << true;
        QTest::newRow("no portal: the platform's") << QString() << -1 << true << true << true << true << true;
        QTest::newRow("forced light") << u"light"_s << 1 << true << false << false << false << false;
        QTest::newRow("forced dark") << u"dark"_s << 2 << false << true << true << true << true;
    }
    void followsTheDesktop()
    {
        QFETCH(QString, forced);
        QFETCH(int, portal);
        QFETCH(bool, platformDark);
        QFETCH(bool, darkAtFirst);
        QFETCH(bool, darkWhenDark);
        QFETCH(bool, darkWhenLight);
        QFETCH(bool, darkWhenNothing);
        FakePortal desktop;
        if (const auto error = desktop.start(portal < 0 ? std::nullopt : std::optional<uint>(uint(portal))))
            QFAIL(qPrintable(*error));
        QGuiApplication::setPalette(
            ColorScheme::palette(platformDark ? ColorScheme::Scheme::dark : ColorScheme::Scheme::light));

        ColorScheme scheme(*qGuiApp, forced, desktop.bus());
        QTRY_COMPARE(isDark(), darkAtFirst);
        QCOMPARE(scheme.scheme() == ColorScheme::Scheme::dark, darkAtFirst);
        if (portal < 0)
            return;
        // The rider changes the preference three times; the window follows each change.
        QSignalSpy changes(&scheme, &ColorScheme::schemeChanged);
        const std::pair<uint, bool> steps[] = {{1, darkWhenDark}, {2, darkWhenLight}, {0, darkWhenNothing}};
        for (const auto& [preference, dark] : steps) {
            QVERIFY(desktop.setColorScheme(preference));
            QTRY_COMPARE(isDark(), dark);
        }
        if (!forced.isEmpty())
            QVERIFY(changes.isEmpty());
    }
};

COGWISE_TEST(tst_ColorScheme)
#include "tst_ColorScheme.moc"
