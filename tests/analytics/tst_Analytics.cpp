#include "analytics/Analytics.h"
#include "support/TestRegistry.h"

#include <QTest>

class tst_Analytics : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void eventsReachTheClientInALaterTask()
    {
        QList<std::pair<QString, Analytics::Parameters>> sent;
        Analytics analytics([&sent](const QString& name, const Analytics::Parameters& parameters) {
            sent.append({name, parameters});
        });
        analytics.track(Analytics::TelemetrySignal::buttonMappingChanged,
                        {{QStringLiteral("button"), QStringLiteral("4")},
                         {QStringLiteral("action"), QStringLiteral("shift_down")}});
        analytics.track(Analytics::TelemetrySignal::checkForUpdatesClicked);
        QVERIFY(sent.isEmpty()); // the caller never waits
        QTRY_COMPARE(sent.size(), 2);
        QCOMPARE(sent.at(0).first, QStringLiteral("buttonMappingChanged"));
        QCOMPARE(sent.at(0).second.value(QStringLiteral("action")), QStringLiteral("shift_down"));
        QCOMPARE(sent.at(1), (std::pair{QStringLiteral("checkForUpdatesClicked"), Analytics::Parameters{}}));
    }
};

COGWISE_TEST(tst_Analytics)
#include "tst_Analytics.moc"
