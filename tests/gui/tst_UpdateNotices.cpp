#include "analytics/Analytics.h"
#include "app/Updater.h"
#include "gui/CheckForUpdatesViewModel.h"
#include "support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

// What "Check for Updates…" tells the rider: in words, and never a download that would bypass
// the package manager Cogwise came with.
class tst_UpdateNotices : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void eachOutcomeIsTold_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("textContains");
        QTest::addColumn<bool>("offersDownload");
        const int newer = int(Updater::Result::Kind::newerVersion);
        const int failed = int(Updater::Result::Kind::failed);
        const QString news = u"A new version of Cogwise is available!"_s;
        QTest::newRow("newer, downloaded copy")
            << false << newer << news << u"Cogwise 9.9 is now available"_s << true;
        QTest::newRow("newer, installed package") << true << newer << news << u"package manager"_s << false;
        QTest::newRow("failed") << false << failed << u"Could Not Check for Updates"_s
                                << u"The update server answered with status 503. Check the internet"_s
                                << false;
    }

    void eachOutcomeIsTold()
    {
        QFETCH(bool, installed);
        QFETCH(int, kind);
        QFETCH(QString, title);
        QFETCH(QString, textContains);
        QFETCH(bool, offersDownload);
        Updater updater(QUrl(u"https://127.0.0.1:9/feed.json"_s), QVersionNumber(1, 0));
        Analytics analytics([](const QString&, const Analytics::Parameters&) {});
        CheckForUpdatesViewModel updates(updater, analytics);
        updates.setInstalledByPackageManager(installed);
        QSignalSpy told(&updates, &CheckForUpdatesViewModel::resultReady);
        Q_EMIT updater.checkFinished({Updater::Result::Kind(kind), u"9.9"_s,
                                      QUrl(u"https://cogwise.app/download"_s),
                                      u"The update server answered with status 503."_s});
        QCOMPARE(told.size(), 1);
        QCOMPARE(told.at(0).at(0).toString(), title);
        QVERIFY2(told.at(0).at(1).toString().contains(textContains), qPrintable(told.at(0).at(1).toString()));
        QCOMPARE(!told.at(0).at(2).toUrl().isEmpty(), offersDownload);
    }

    // Without a web browser the download page cannot open: the rider learns where it is.
    void aDownloadPageThatCannotOpenIsTold()
    {
        Updater updater(QUrl(u"https://127.0.0.1:9/feed.json"_s), QVersionNumber(1, 0));
        Analytics analytics([](const QString&, const Analytics::Parameters&) {});
        CheckForUpdatesViewModel updates(updater, analytics);
        QStringList opened;
        updates.setRunner(
            [&opened](const QString& program, const QStringList& arguments, ExternalProgram::Done done) {
                opened << program + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
                done(u"xdg-open: no method available for opening 'https://cogwise.app/download'"_s);
            });
        QSignalSpy told(&updates, &CheckForUpdatesViewModel::resultReady);
        updates.openDownload(QUrl(u"https://cogwise.app/download"_s));
        QCOMPARE(opened, QStringList{u"xdg-open https://cogwise.app/download"_s});
        QCOMPARE(told.size(), 1);
        QCOMPARE(told.at(0).at(0).toString(), u"Could Not Open the Download Page"_s);
        QVERIFY(told.at(0).at(1).toString().contains(u"Open https://cogwise.app/download in a browser"_s));
    }
};

COGWISE_TEST(tst_UpdateNotices)
#include "tst_UpdateNotices.moc"
