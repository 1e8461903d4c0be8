#include "TelemetryRig.h"
#include "platform/ReferenceDate.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"
#include "telemetry/DurationSignalTracker.h"
#include "telemetry/PrivateSuite.h"
#include "telemetry/SessionManager.h"
#include "telemetry/SignalManager.h"
#include "telemetry/TelemetryManager.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using Sent = QList<std::pair<QString, QMap<QString, QString>>>;

// A launch of the application on a given day, with its own clock.
struct Launch
{
    Launch(const QString& suitePath, QDateTime start)
        : now(std::move(start))
        , suite(u"app"_s, suitePath)
        , sessions(
              suite, [this] { return now; },
              [this](const QString& name, const QMap<QString, QString>& parameters) {
                  sent.append({name, parameters});
              })
    {}

    // Runs a session of `seconds`, measured when the application goes inactive.
    void ride(double seconds)
    {
        sessions.startNewSession();
        now = now.addMSecs(qint64(seconds * 1000));
        sessions.applicationDidResignActive();
    }

    QString retention(const char* key) const
    {
        return sessions.retentionParameters().value(u"Telemetry.Retention."_s + QLatin1String(key),
                                                    u"absent"_s);
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
            types.append(record.toObject().value(u"type"_s).toString());
    }
    return types;
}

} // namespace

class tst_SessionManager : public QObject
{
    Q_OBJECT

    ScratchDir m_files;
    QString path() const { return m_files.testFile(); }

private Q_SLOTS:
    // Announced by the first session only: not by later ones, nor once every session has aged out.
    void newInstallIsAnnouncedOnce()
    {
        {
            Launch first(path(), day1);
            QCOMPARE(first.retention("averageSessionSeconds"), u"-1"_s);
            first.ride(30);
            QCOMPARE(first.sent.size(), 1);
            QCOMPARE(first.sent.constFirst().first, u"Telemetry.Acquisition.newInstallDetected"_s);
            QCOMPARE(first.sent.constFirst().second.value(u"Telemetry.Acquisition.firstSessionDate"_s),
                     u"2026-03-01"_s);
        }
        {
            Launch second(path(), day1.addSecs(3600));
            second.ride(10);
            QVERIFY(second.sent.isEmpty());
            QCOMPARE(second.sessions.firstSessionDate(), u"2026-03-01"_s);
            QCOMPARE(second.retention("distinctDaysUsed"), u"1"_s); // same day twice: one entry
        }
        Launch(path(), day1.addDays(1)).ride(20);
        Launch later(path(), day1.addDays(91));
        QCOMPARE(later.sessions.recentSessions().size(), 1);
        QCOMPARE(later.retention("totalSessionsCount"), u"3"_s); // aged out, still counted
        later.ride(5);
        QVERIFY(later.sent.isEmpty());
        QCOMPARE(later.retention("totalSessionsCount"), u"4"_s);
        later.sessions.flush();
        QCOMPARE(PrivateSuite(u"app"_s, path()).integer(u"deletedSessionsCount"_s), 2);
    }

    void retentionFigures()
    {
        {
            Launch launch(path(), day1);
            launch.ride(0.9); // too short to be stored
            launch.ride(10);
            QCOMPARE(launch.retention("averageSessionSeconds"), u"10"_s);
            QCOMPARE(launch.retention("previousSessionSeconds"), u"absent"_s);
        }
        Launch(path(), day1.addDays(1)).ride(25);
        Launch launch(path(), day1.addDays(40));
        launch.ride(7);
        // Average of all but the newest: (10 + 25) / 2, the fraction dropped.
        QCOMPARE(launch.retention("averageSessionSeconds"), u"17"_s);
        QCOMPARE(launch.retention("previousSessionSeconds"), u"25"_s);
        QCOMPARE(launch.retention("totalSessionsCount"), u"3"_s);
        QCOMPARE(launch.retention("distinctDaysUsed"), u"3"_s);
        QCOMPARE(launch.retention("distinctDaysUsedLastMonth"), u"1"_s);
    }

    void optingOutRecordsNoUsageHistory()
    {
        TelemetryRig rig;
        QDateTime now = day1;
        const Clock clock = [&now] { return now; };
        TelemetryManagerConfiguration configuration = rig.configuration();
        configuration.sessionStatsEnabled = true;
        configuration.newSessionDelay = std::chrono::hours{1}; // sessions start when the test says
        const QString suite = rig.directory.filePath(u"suite.ini"_s);
        const QString install = u"Telemetry.Acquisition.newInstallDetected"_s;
        {
            TelemetryManager manager(configuration, clock);
            manager.setSessionID(QUuid::createUuid());
            QTRY_COMPARE(manager.signalManager().queuedCount(), 1);
            manager.signalManager().checkForSignalsAndSend();
            QTRY_COMPARE(deliveredTypes(rig.server), QStringList{install});
        }
        const QByteArray history = ScratchDir::read(suite);
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
        QCOMPARE(ScratchDir::read(suite), history);

        // Opting in again: the day counts, and the install is not announced a second time.
        now = day1.addDays(7);
        TelemetryManager manager(configuration, clock);
        manager.setAnalyticsDisabled(false);
        manager.signal(u"rideEvent"_s, {{u"seq"_s, u"1"_s}});
        QTRY_COMPARE(manager.signalManager().queuedCount(), 1);
        manager.signalManager().checkForSignalsAndSend();
        QTRY_COMPARE(rig.server.delivered(), (QStringList{QString(), u"1"_s}));
        QCOMPARE(deliveredTypes(rig.server), (QStringList{install, u"rideEvent"_s}));
        QCOMPARE(rig.server.delivered(u"Telemetry.Retention.distinctDaysUsed"_s).constLast(), u"2"_s);
    }

    void storedNumbersOutOfRangeAreNotCounted_data()
    {
        QTest::addColumn<QList<double>>("durations"); // of sessions started the day before
        QTest::addColumn<QVariant>("deleted");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("average");
        QTest::addColumn<int>("complaints");

        QTest::newRow("sane") << QList<double>{10, 20, 30} << QVariant(4) << u"7"_s << u"15"_s << 0;
        QTest::newRow("lengths that overflow a sum")
            << QList<double>{9.2e18, 9.2e18, 10, 20} << QVariant(0) << u"2"_s << u"10"_s << 1;
        QTest::newRow("negative and fractional lengths")
            << QList<double>{-5, 12.7, 1e300} << QVariant(0) << u"1"_s << u"12"_s << 1;
        QTest::newRow("deleted count at int64 max")
            << QList<double>{10} << QVariant(u"9223372036854775807"_s) << u"1"_s << u"10"_s << 1;
        QTest::newRow("negative deleted count")
            << QList<double>{10} << QVariant(-3) << u"1"_s << u"10"_s << 1;
        QTest::newRow("deleted count that is no number")
            << QList<double>{10} << QVariant(u"many"_s) << u"1"_s << u"10"_s << 0;
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
                sessions.append(
                    QJsonObject{{u"startedAt"_s, ReferenceDate::secondsSinceReferenceDate(day1.addDays(-1))},
                                {u"durationInSeconds"_s, duration}});
            PrivateSuite suite(u"app"_s, path());
            suite.setValue(u"recentSessions"_s, QJsonDocument(sessions).toJson());
            suite.setValue(u"deletedSessionsCount"_s, deleted);
        }
        QStringList logged;
        PrivateSuite suite(u"app"_s, path());
        SessionManager sessions(
            suite, [] { return day1; }, [](const QString&, const QMap<QString, QString>&) {},
            LogHandler{LogHandler::LogLevel::debug,
                       [&logged](LogHandler::LogLevel, const QString& message) { logged.append(message); }});
        const auto retention = sessions.retentionParameters();
        QCOMPARE(retention.value(u"Telemetry.Retention.totalSessionsCount"_s), total);
        QCOMPARE(retention.value(u"Telemetry.Retention.averageSessionSeconds"_s), average);
        QCOMPARE(logged.size(), complaints);
    }

    void durationsLeaveOutInactiveTime()
    {
        QDateTime now = day1;
        DurationSignalTracker tracker([&now] { return now; });
        tracker.startSignal(u"ride"_s, {{u"route"_s, u"Alpe"_s}});
        tracker.startSignal(u"all"_s, {}, true);
        now = now.addSecs(30);
        tracker.applicationDidResignActive();
        now = now.addSecs(20);
        tracker.applicationWillBecomeActive();
        now = now.addMSecs(10'250);

        Sent sent;
        const auto send = [&sent](const QString& name, const QMap<QString, QString>& p) {
            sent.append({name, p});
        };
        tracker.stopAndSendSignal(u"ride"_s, {{u"route"_s, u"Galibier"_s}}, send);
        tracker.stopAndSendSignal(u"all"_s, {}, send);
        tracker.stopAndSendSignal(u"never started"_s, {}, send);
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent.at(0).second,
                 (QMap<QString, QString>{{u"Telemetry.Signal.durationInSeconds"_s, u"40.25"_s},
                                         {u"route"_s, u"Galibier"_s}}));
        QCOMPARE(sent.at(1).second.value(u"Telemetry.Signal.durationInSeconds"_s), u"60.25"_s);

        // Whole seconds read as every other double of the client's does.
        tracker.startSignal(u"whole"_s);
        now = now.addSecs(40);
        tracker.stopAndSendSignal(u"whole"_s, {}, send);
        QCOMPARE(sent.at(2).second.value(u"Telemetry.Signal.durationInSeconds"_s), u"40.0"_s);
    }
};

COGWISE_TEST(tst_SessionManager)
#include "tst_SessionManager.moc"
