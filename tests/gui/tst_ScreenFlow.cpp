#include "support/GuiRig.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

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

} // namespace

class tst_ScreenFlow : public QObject
{
    Q_OBJECT

    ScratchDir m_files;

private Q_SLOTS:
    // The welcome screen stays until Start; the choice of usage statistics made there is kept
    // and applied only then.
    void firstLaunchShowsOnboardingUntilStartIsPressed_data()
    {
        QTest::addColumn<bool>("share");
        QTest::newRow("shares") << true;
        QTest::newRow("does not share") << false;
    }
    void firstLaunchShowsOnboardingUntilStartIsPressed()
    {
        QFETCH(bool, share);
        GuiRig rig(m_files.testFile());
        ScreenFlow& flow = *rig.app->flow();
        QSignalSpy changes(&flow, &ScreenFlow::appStateChanged);
        flow.start(std::chrono::milliseconds{20});
        QCOMPARE(flow.appState(), AppState::loading); // the check waits for its delay
        QTRY_COMPARE(flow.appState(), AppState::onboarding);
        QVERIFY(!flow.shareUsageStatistics());
        QSignalSpy shown(&flow, &ScreenFlow::shareUsageStatisticsChanged);
        flow.setShareUsageStatistics(share);
        flow.setShareUsageStatistics(share);
        QCOMPARE(shown.size(), share ? 1 : 0);
        QVERIFY(!rig.defaults.contains(u"analyticsOptOut"_s));
        QVERIFY(rig.analyticsDisabled.isEmpty());

        flow.startScanning();
        QCOMPARE(flow.appState(), AppState::scanning);
        QVERIFY(rig.defaults.boolValue(u"hasCompletedOnboarding"_s));
        QCOMPARE(Defaults(m_files.testFile()).boolValue(u"analyticsOptOut"_s), !share);
        // A fresh profile's client starts switched off: only sharing switches it on.
        QCOMPARE(rig.analyticsDisabled, share ? QList<bool>{false} : QList<bool>());
        QCOMPARE(rig.app->settings()->shareUsageStatistics(), share);
        QTRY_COMPARE(rig.events, QStringList{u"onboardingCompleted"_s});
        QVERIFY2(isScanning(rig), qPrintable(stateOf(rig).description()));
        flow.startScanning(); // a second click changes nothing
        QCOMPARE(changes.size(), 2);

        // The scan screen hands over once it sees the connection.
        connectFromList(rig);
        QCOMPARE(flow.appState(), AppState::connected);
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
