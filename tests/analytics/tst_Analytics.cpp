#include "analytics/Analytics.h"
#include "analytics/UsageStatisticsChoice.h"
#include "platform/Defaults.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QTest>

class tst_Analytics : public QObject
{
    Q_OBJECT

    ScratchDir m_files;

private Q_SLOTS:
    // Which events carry what: tst_AppViewModel::configurationTextsAndEvents.
    void eventsReachTheClientInALaterTask()
    {
        QList<std::pair<QString, Analytics::Parameters>> sent;
        Analytics analytics([&sent](const QString& name, const Analytics::Parameters& parameters) {
            sent.append({name, parameters});
        });
        analytics.track(Analytics::TelemetrySignal::checkForUpdatesClicked);
        QVERIFY(sent.isEmpty()); // the caller never waits
        QTRY_COMPARE(sent,
                     (QList{std::pair{QStringLiteral("checkForUpdatesClicked"), Analytics::Parameters{}}}));
    }

    // A settings file as each version leaves it. Only a profile that went past the welcome
    // screen without being asked (earlier versions) shares without a stored choice.
    void usageStatisticsChoiceReadsEveryProfile_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<bool>("decided");
        QTest::addColumn<bool>("shared");
        QTest::newRow("fresh") << QByteArray() << false << false;
        QTest::newRow("welcome screen not finished")
            << QByteArray("[General]\nhasCompletedOnboarding=false\n") << false << false;
        QTest::newRow("onboarded before the question")
            << QByteArray("[General]\nhasCompletedOnboarding=true\n") << true << true;
        QTest::newRow("onboarded, switched off")
            << QByteArray("[General]\nhasCompletedOnboarding=true\nanalyticsOptOut=true\n") << true << false;
        QTest::newRow("chose to share") << QByteArray("[General]\nanalyticsOptOut=false\n") << true << true;
        QTest::newRow("chose not to share") << QByteArray("[General]\nanalyticsOptOut=1\n") << true << false;
    }
    void usageStatisticsChoiceReadsEveryProfile()
    {
        QFETCH(QByteArray, settings);
        QFETCH(bool, decided);
        QFETCH(bool, shared);
        QVERIFY(ScratchDir::write(m_files.testFile(), settings));
        const Defaults defaults(m_files.testFile());
        QCOMPARE(UsageStatisticsChoice::isDecided(defaults), decided);
        QCOMPARE(UsageStatisticsChoice::isShared(defaults), shared);
    }
};

COGWISE_TEST(tst_Analytics)
#include "tst_Analytics.moc"
