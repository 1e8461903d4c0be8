#include "analytics/UsageStatisticsChoice.h"
#include "support/GuiRig.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"
#include "telemetry/SignalManager.h"
#include "telemetry/TelemetryRig.h"

#include <QDirIterator>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using AppState = ScreenFlow::AppState;

const ConnectionState& stateOf(GuiRig& rig)
{
    return rig.graph->connectionService().connectionState();
}

bool isScanning(GuiRig& rig)
{
    return stateOf(rig).is(ConnectionState::Simple::scanning) || stateOf(rig).as<ConnectionState::Found>();
}

QStringList filesUnder(const QString& path)
{
    QStringList files;
    QDirIterator found(path, QDir::Files, QDirIterator::Subdirectories);
    while (found.hasNext())
        files.append(found.next());
    return files;
}

QStringList postedTypes(const IngestionServer& server)
{
    QStringList types;
    for (const IngestionServer::Request& request : server.requests()) {
        for (const QJsonValue& record : request.records)
            types.append(record.toObject().value(u"type"_s).toString());
    }
    return types;
}

} // namespace

class tst_ScreenFlow : public QObject
{
    Q_OBJECT

    ScratchDir m_files;

private Q_SLOTS:
    void firstLaunchShowsOnboardingUntilStartIsPressed()
    {
        GuiRig rig(m_files.testFile());
        ScreenFlow& flow = *rig.app->flow();
        QSignalSpy changes(&flow, &ScreenFlow::appStateChanged);
        flow.start(std::chrono::milliseconds{20});
        QCOMPARE(flow.appState(), AppState::loading); // the check waits for its delay
        QTRY_COMPARE(flow.appState(), AppState::onboarding);

        flow.startScanning();
        QCOMPARE(flow.appState(), AppState::scanning);
        QVERIFY(rig.defaults.boolValue(u"hasCompletedOnboarding"_s));
        QTRY_COMPARE(rig.events, QStringList{u"onboardingCompleted"_s});
        QVERIFY2(isScanning(rig), qPrintable(stateOf(rig).description()));
        flow.startScanning(); // a second click changes nothing
        QCOMPARE(changes.size(), 2);

        // The scan screen hands over once it sees the connection.
        connectFromList(rig);
        QCOMPARE(flow.appState(), AppState::connected);
    }

    // The analytics client as the composition root starts it, on the loopback ingestion server:
    // a fresh profile sends and keeps nothing until the welcome screen's choice, and then only
    // if the rider shares; a profile onboarded by an earlier version, never asked, sends as before.
    void usageStatisticsWaitForTheWelcomeScreensChoice_data()
    {
        QTest::addColumn<bool>("onboardedEarlier");
        QTest::addColumn<bool>("share");
        QTest::newRow("fresh, shares") << false << true;
        QTest::newRow("fresh, does not share") << false << false;
        QTest::newRow("onboarded earlier") << true << true;
    }
    void usageStatisticsWaitForTheWelcomeScreensChoice()
    {
        QFETCH(bool, onboardedEarlier);
        QFETCH(bool, share);
        if (onboardedEarlier)
            Defaults(m_files.testFile()).setBool(u"hasCompletedOnboarding"_s, true);
        TelemetryRig telemetry;
        TelemetryManagerConfiguration configuration = telemetry.configuration();
        configuration.sendInterval = std::chrono::milliseconds{20};
        configuration.sessionStatsEnabled = true; // the product's: what a new install keeps, too
        configuration.sendNewSessionBeganSignal = true;
        configuration.analyticsDisabled = !UsageStatisticsChoice::isShared(Defaults(m_files.testFile()));
        TelemetryManager client(configuration);
        GuiRig rig(m_files.testFile());
        rig.telemetry = &client;
        rig.analytics.track(Analytics::TelemetrySignal::appLaunched);
        ScreenFlow& flow = *rig.app->flow();
        flow.start(std::chrono::milliseconds{0});
        if (onboardedEarlier) {
            QTRY_VERIFY(postedTypes(telemetry.server).contains(u"appLaunched"_s));
            QCOMPARE(flow.appState(), AppState::scanning);
            return;
        }

        QTRY_COMPARE(flow.appState(), AppState::onboarding);
        QTRY_VERIFY(rig.events.contains(u"appLaunched"_s));
        QCoreApplication::processEvents(); // the client's share of the event
        QCOMPARE(client.signalManager().queuedCount(), 0);
        QCOMPARE(filesUnder(telemetry.directory.path()), QStringList());

        QSignalSpy shown(&flow, &ScreenFlow::shareUsageStatisticsChanged);
        flow.setShareUsageStatistics(share);
        flow.setShareUsageStatistics(share);
        QCOMPARE(shown.size(), share ? 1 : 0);
        QVERIFY(!rig.defaults.contains(u"analyticsOptOut"_s)); // kept only on going on
        QVERIFY(rig.analyticsDisabled.isEmpty());
        flow.startScanning();
        QCOMPARE(Defaults(m_files.testFile()).boolValue(u"analyticsOptOut"_s), !share);
        QCOMPARE(rig.app->settings()->shareUsageStatistics(), share);
        QTRY_VERIFY(rig.events.contains(u"onboardingCompleted"_s));
        if (share) {
            QTRY_VERIFY(postedTypes(telemetry.server).contains(u"onboardingCompleted"_s));
            QVERIFY(!postedTypes(telemetry.server).contains(u"appLaunched"_s));
        } else {
            QCoreApplication::processEvents();
            QCOMPARE(client.signalManager().queuedCount(), 0);
            QCOMPARE(filesUnder(telemetry.directory.path()), QStringList());
            QVERIFY(telemetry.server.requests().isEmpty());
        }
    }

    void laterLaunchScansAndFollowsTheConnection()
    {
        GuiRig rig(m_files.testFile());
        rig.defaults.setBool(u"hasCompletedOnboarding"_s, true);
        ScreenFlow& flow = *rig.app->flow();
        flow.setReadyToScanDelay(std::chrono::milliseconds{20});
        flow.start(std::chrono::milliseconds{0});
        QTRY_COMPARE(flow.appState(), AppState::scanning);
        QVERIFY2(isScanning(rig), qPrintable(stateOf(rig).description())); // scanning at once
        connectFromList(rig);
        QCOMPARE(flow.appState(), AppState::connected);

        // Anything but a disconnection leaves the main window where it is.
        rig.graph->viewModel().handleConnectionAction({ConnectionAction::Kind::scanAgain, {}});
        QTRY_VERIFY(!stateOf(rig).as<ConnectionState::Connected>());
        QCOMPARE(flow.appState(), AppState::connected);
        connectFromList(rig);

        // A lost link keeps the main window while Cogwise waits for the unit to come back.
        QList<AppState> screens;
        bool waited = false;
        QObject listening; // goes before what it fills
        QObject::connect(&rig.graph->connectionService(), &ConnectionService::connectionStateChanged,
                         &listening, [&](const ConnectionState& state) {
                             waited = waited || state.as<ConnectionState::Waiting>();
                             screens.append(flow.appState());
                         });
        rig.simulated->dropLink();
        QTRY_VERIFY(waited);
        QTRY_VERIFY(stateOf(rig).as<ConnectionState::Connected>()); // back by itself
        QVERIFY(!screens.contains(AppState::scanning));

        // A user disconnect shows "Ready to scan…" and scans half a beat later.
        rig.app->device()->disconnectDevice();
        QCOMPARE(flow.appState(), AppState::scanning);
        QCOMPARE(rig.app->scan()->panel(), ScanViewModel::Panel::readyToScan);
        QTRY_VERIFY(!stateOf(rig).as<ConnectionState::Disconnected>());
        QVERIFY(rig.app->scan()->panel() == ScanViewModel::Panel::scanning ||
                rig.app->scan()->panel() == ScanViewModel::Panel::found);
    }

    void alreadyConnectedGoesStraightToTheMainWindow()
    {
        GuiRig rig(m_files.testFile());
        rig.defaults.setBool(u"hasCompletedOnboarding"_s, true);
        rig.graph->viewModel().handleConnectionAction({ConnectionAction::Kind::scanAgain, {}});
        connectFromList(rig);
        const QString before = stateOf(rig).description();
        ScreenFlow& flow = *rig.app->flow();
        flow.start(std::chrono::milliseconds{0});
        QTRY_COMPARE(flow.appState(), AppState::connected);
        QCOMPARE(stateOf(rig).description(), before); // no scan was started
    }
};

COGWISE_TEST(tst_ScreenFlow)
#include "tst_ScreenFlow.moc"
