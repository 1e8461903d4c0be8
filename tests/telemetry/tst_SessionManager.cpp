#include "TelemetryRig.h"
#include "platform/ReferenceDate.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"
#include "telemetry/DurationSignalTracker.h"
#include "telemetry/PrivateSuite.h"
#include "telemetry/SessionManager.h"
#include "telemetry/SignalManager.h"
#include "telemetry/TelemetryManager.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

using Sent = QList<std::pair<QString, QMap<QString, QString>>>;

// A launch of the application on a given day, with its own clock.
struct Launch
{
    Launch(const QString& suitePath, QDateTime start)
        : now(std::move(start))
        , suite(QStringLiteral("app"), suitePath)
        , sessions(
              suite, [this] { return now; },
              [this](const QString& name, const QMap<QString, QString>& parameters) {
                  sent.append({name, parameters});
              })
    {}

    // Runs a session of `seconds`, measured when the application goes inactive.
    void ride(int seconds)
    {
        sessions.startNewSession();
        now = now.addSecs(seconds);
        sessions.applicationDidResignActive();
    }

    QString retention(const char* key) const
    {
        return sessions.retentionParameters().value(
            QStringLiteral("Telemetry.Retention.") + QLatin1String(key), QStringLiteral("absent"));
    }

    QDateTime now;
    PrivateSuite suite;
    Sent sent;
    SessionManager sessions;
};

const QDateTime day1(QDate(2026, 3, 1), QTime(12, 0));

QStringList deliveredTypes(const IngestionServer& server)
{
    QStringList types;
    for (const IngestionServer::Request& request : server.requests()) {
        for (const QJsonValue& record : request.records)
            types.append(record.toObject().value(QStringLiteral("type")).toString());
    }
    return types;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_SessionManager : public QObject
{
    Q_OBJECT

    ScratchDir m_files;
    QString path() const { return m_files.testFile(); }

private Q_SLOTS:
    void newInstallIsAnnouncedOnce()
    {
        {
            Launch first(path(), day1);
            QCOMPARE(first.retention("averageSessionSeconds"), QStringLiteral("-1"));
            first.ride(30);
            QCOMPARE(first.sent.size(), 1);
            QCOMPARE(first.sent.constFirst().first,
                     QStringLiteral("Telemetry.Acquisition.newInstallDetected"));
            QCOMPARE(first.sent.constFirst().second.value(
                         QStringLiteral("Telemetry.Acquisition.firstSessionDate")),
                     QStringLiteral("2026-03-01"));
        }
        Launch second(path(), day1.addSecs(3600));
        second.ride(10);
        QVERIFY(second.sent.isEmpty());
        QCOMPARE(second.sessions.firstSessionDate(), QStringLiteral("2026-03-01"));
        QCOMPARE(second.retention("distinctDaysUsed"), QStringLiteral("1")); // same day twice: one entry
    }

    void shortSessionsAreNotStored()
    {
        Launch launch(path(), day1);
        launch.sessions.startNewSession();
        launch.now = launch.now.addMSecs(900);
        launch.sessions.applicationDidResignActive();
        QVERIFY(launch.sessions.recentSessions().isEmpty());
    }

    void retentionFigures()
    {
        {
            Launch launch(path(), day1);
            launch.ride(10);
            QCOMPARE(launch.retention("averageSessionSeconds"), QStringLiteral("10"));
            QCOMPARE(launch.retention("previousSessionSeconds"), QStringLiteral("absent"));
        }
        {
            Launch launch(path(), day1.addDays(1));
            launch.ride(25);
        }
        Launch launch(path(), day1.addDays(40));
        launch.ride(7);
        // Average of all but the newest: (10 + 25) / 2, the fraction dropped.
        QCOMPARE(launch.retention("averageSessionSeconds"), QStringLiteral("17"));
        QCOMPARE(launch.retention("previousSessionSeconds"), QStringLiteral("25"));
        QCOMPARE(launch.retention("totalSessionsCount"), QStringLiteral("3"));
        QCOMPARE(launch.retention("distinctDaysUsed"), QStringLiteral("3"));
        QCOMPARE(launch.retention("distinctDaysUsedLastMonth"), QStringLiteral("1"));
    }

    void oldSessionsAgeOutButStillCount()
    {
        {
            Launch launch(path(), day1);
            launch.ride(10);
        }
        {
            Launch launch(path(), day1.addDays(1));
            launch.ride(20);
        }
        Launch later(path(), day1.addDays(91));
        QCOMPARE(later.sessions.recentSessions().size(), 1);
        QCOMPARE(later.retention("totalSessionsCount"), QStringLiteral("2"));
        later.ride(5);
        QVERIFY(later.sent.isEmpty()); // not a new install, though no recent session is left
        QCOMPARE(later.retention("totalSessionsCount"), QStringLiteral("3"));
        later.sessions.flush();
        QCOMPARE(PrivateSuite(QStringLiteral("app"), path()).integer(QStringLiteral("deletedSessionsCount")),
                 1);
    }

    void optingOutRecordsNoUsageHistory()
    {
        TelemetryRig rig;
        QDateTime now = day1;
        const Clock clock = [&now] { return now; };
        TelemetryManagerConfiguration configuration = rig.configuration();
        configuration.sessionStatsEnabled = true;
        configuration.newSessionDelay = std::chrono::hours{1}; // sessions start when the test says
        const QString suite = rig.directory.filePath(QStringLiteral("suite.ini"));
        const QString install = QStringLiteral("Telemetry.Acquisition.newInstallDetected");
        {
            TelemetryManager manager(configuration, clock);
            manager.setSessionID(QUuid::createUuid());
            QTRY_COMPARE(manager.signalManager().queuedCount(), 1);
            manager.signalManager().checkForSignalsAndSend();
            QTRY_COMPARE(deliveredTypes(rig.server), QStringList{install});
        }
        const QByteArray history = contents(suite);
        QVERIFY(history.contains("distinctDaysUsed"));

        // Days later, opted out: sessions come and go, and the history stays as it was.
        configuration.analyticsDisabled = true;
        for (const int days : {2, 5}) {
            now = day1.addDays(days);
            TelemetryManager manager(configuration, clock);
            manager.setSessionID(QUuid::createUuid());
            now = now.addSecs(90);
            manager.setSessionID(QUuid::createUuid());
        }
        QCOMPARE(contents(suite), history);

        // Opting in again: the day counts, and the install is not announced a second time.
        now = day1.addDays(7);
        TelemetryManager manager(configuration, clock);
        manager.setAnalyticsDisabled(false);
        manager.signal(QStringLiteral("rideEvent"), {{QStringLiteral("seq"), QStringLiteral("1")}});
        QTRY_COMPARE(manager.signalManager().queuedCount(), 1);
        manager.signalManager().checkForSignalsAndSend();
        QTRY_COMPARE(rig.server.delivered(), (QStringList{QString(), QStringLiteral("1")}));
        QCOMPARE(deliveredTypes(rig.server), (QStringList{install, QStringLiteral("rideEvent")}));
        QCOMPARE(rig.server.delivered(QStringLiteral("Telemetry.Retention.distinctDaysUsed")).constLast(),
                 QStringLiteral("2"));
    }

    void storedNumbersOutOfRangeAreNotCounted_data()
    {
        QTest::addColumn<QList<double>>("durations"); // of sessions started the day before
        QTest::addColumn<QVariant>("deleted");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("average");
        QTest::addColumn<int>("complaints");

        QTest::newRow("sane") << QList<double>{10, 20, 30} << QVariant(4) << QStringLiteral("7")
                              << QStringLiteral("15") << 0;
        QTest::newRow("lengths that overflow a sum") << QList<double>{9.2e18, 9.2e18, 10, 20} << QVariant(0)
                                                     << QStringLiteral("2") << QStringLiteral("10") << 1;
        QTest::newRow("negative and fractional lengths") << QList<double>{-5, 12.7, 1e300} << QVariant(0)
                                                         << QStringLiteral("1") << QStringLiteral("12") << 1;
        QTest::newRow("deleted count at int64 max")
            << QList<double>{10} << QVariant(QStringLiteral("9223372036854775807")) << QStringLiteral("1")
            << QStringLiteral("10") << 1;
        QTest::newRow("negative deleted count")
            << QList<double>{10} << QVariant(-3) << QStringLiteral("1") << QStringLiteral("10") << 1;
        QTest::newRow("deleted count that is no number")
            << QList<double>{10} << QVariant(QStringLiteral("many")) << QStringLiteral("1")
            << QStringLiteral("10") << 0;
    }

    void storedNumbersOutOfRangeAreNotCounted()
    {
        QFETCH(QList<double>, durations);
        QFETCH(QVariant, deleted);
        QFETCH(QString, total);
        QFETCH(QString, average);
        QFETCH(int, complaints);
        {
            QJsonArray sessions;
            for (const double duration : durations)
                sessions.append(QJsonObject{
                    {QStringLiteral("startedAt"), ReferenceDate::secondsSinceReferenceDate(day1.addDays(-1))},
                    {QStringLiteral("durationInSeconds"), duration}});
            PrivateSuite suite(QStringLiteral("app"), path());
            suite.setValue(QStringLiteral("recentSessions"), QJsonDocument(sessions).toJson());
            suite.setValue(QStringLiteral("deletedSessionsCount"), deleted);
        }
        QStringList logged;
        PrivateSuite suite(QStringLiteral("app"), path());
        SessionManager sessions(
            suite, [] { return day1; }, [](const QString&, const QMap<QString, QString>&) {},
            LogHandler{LogHandler::LogLevel::debug,
                       [&logged](LogHandler::LogLevel, const QString& message) { logged.append(message); }});
        const auto retention = sessions.retentionParameters();
        QCOMPARE(retention.value(QStringLiteral("Telemetry.Retention.totalSessionsCount")), total);
        QCOMPARE(retention.value(QStringLiteral("Telemetry.Retention.averageSessionSeconds")), average);
        QCOMPARE(logged.size(), complaints);
    }

    void durationsLeaveOutInactiveTime()
    {
        QDateTime now = day1;
        DurationSignalTracker tracker([&now] { return now; });
        tracker.startSignal(QStringLiteral("ride"), {{QStringLiteral("route"), QStringLiteral("Alpe")}});
        tracker.startSignal(QStringLiteral("all"), {}, true);
        now = now.addSecs(30);
        tracker.applicationDidResignActive();
        now = now.addSecs(20);
        tracker.applicationWillBecomeActive();
        now = now.addMSecs(10'250);

        Sent sent;
        const auto send = [&sent](const QString& name, const QMap<QString, QString>& p) {
            sent.append({name, p});
        };
        tracker.stopAndSendSignal(QStringLiteral("ride"),
                                  {{QStringLiteral("route"), QStringLiteral("Galibier")}}, send);
        tracker.stopAndSendSignal(QStringLiteral("all"), {}, send);
        tracker.stopAndSendSignal(QStringLiteral("never started"), {}, send);
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent.at(0).second,
                 (QMap<QString, QString>{
                     {QStringLiteral("Telemetry.Signal.durationInSeconds"), QStringLiteral("40.25")},
                     {QStringLiteral("route"), QStringLiteral("Galibier")}}));
        QCOMPARE(sent.at(1).second.value(QStringLiteral("Telemetry.Signal.durationInSeconds")),
                 QStringLiteral("60.25"));

        // Whole seconds read as every other double of the client's does.
        tracker.startSignal(QStringLiteral("whole"));
        now = now.addSecs(40);
        tracker.stopAndSendSignal(QStringLiteral("whole"), {}, send);
        QCOMPARE(sent.at(2).second.value(QStringLiteral("Telemetry.Signal.durationInSeconds")),
                 QStringLiteral("40.0"));
    }
};

COGWISE_TEST(tst_SessionManager)
#include "tst_SessionManager.moc"
