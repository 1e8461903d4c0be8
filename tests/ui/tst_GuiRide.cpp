#include "shifting/TrainerApp.h"
#include "shifting/keysinks/XTestKeySink.h"
#include "support/FocusedXClient.h"
#include "support/QuickHarness.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"
#include "support/WindowInspector.h"
#include "support/WindowRig.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The first item of a class, depth-first: the menu bar's entries have no names of their own.
QQuickItem* firstOfClass(QQuickItem* root, const char* className)
{
    if (!root || root->inherits(className))
        return root;
    for (QQuickItem* child : root->childItems()) {
        if (QQuickItem* found = firstOfClass(child, className))
            return found;
    }
    return nullptr;
}

QStringList contrastProblems(const WindowRig& ride)
{
    WindowInspector inspector(*ride.window());
    return inspector.contrastProblems(inspector.settle());
}

QStringList edgeProblems(const WindowRig& ride, QObject* dialog)
{
    WindowInspector inspector(*ride.window());
    const QImage frame = inspector.settle();
    return inspector.edgeProblems(dialog->property("background").value<QQuickItem*>(), frame);
}

} // namespace

// A new user's first ride with the simulated unit, through the real window on a real X server:
// every screen is saved as a picture on the way, in the colour scheme of the row.
class tst_GuiRide : public QObject
{
    Q_OBJECT

    ScratchDir m_files;

    // Named after the screen and the row's scheme.
    static void screenshot(const WindowRig& ride, const char* screen)
    {
        ride.picture(QLatin1String(screen) + QLatin1Char('-') + QLatin1String(QTest::currentDataTag()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (const auto reason = WindowRig::missing())
            QSKIP(qPrintable(*reason));
    }

    void firstLaunchToShifting_data()
    {
        QTest::addColumn<QString>("scheme");
        QTest::newRow("light") << u"light"_s;
        QTest::newRow("dark") << u"dark"_s;
    }
    void firstLaunchToShifting()
    {
        QFETCH(QString, scheme);
        WindowRig ride(m_files.testFile(), scheme, std::make_unique<XTestKeySink>(qgetenv("DISPLAY")));
        QVERIFY(ride.window());
        QVERIFY(QTest::qWaitForWindowExposed(ride.window()));
        ride.rig().app->flow()->start();

        // Onboarding, then the scan screen with the unit among its neighbours.
        QTRY_VERIFY(ride.item(u"startScanningButton"_s));
        screenshot(ride, "1-onboarding");

        // The Cogwise menu, its About entry, and a message.
        QVERIFY(ride.click(firstOfClass(ride.window()->contentItem(), "QQuickMenuBarItem")));
        QQuickItem* aboutEntry = nullptr;
        QTRY_VERIFY((aboutEntry = firstOfClass(ride.window()->contentItem(), "QQuickMenuItem")) &&
                    QuickHarness::shown(aboutEntry));
        screenshot(ride, "1-menu");
        QVERIFY(ride.click(aboutEntry));
        QVERIFY(ride.opened(u"aboutDialog"_s));
        QCOMPARE(ride.object(u"aboutDialog"_s)->property("version").toString(), ride.rig().app->version());
        screenshot(ride, "1-about");
        QCOMPARE(edgeProblems(ride, ride.object(u"aboutDialog"_s)), QStringList());
        QVERIFY(ride.closedBy(Qt::Key_Escape, u"aboutDialog"_s));
        Q_EMIT ride.rig().app->debugLog()->failed(u"The debug log could not be written."_s);
        QVERIFY(ride.opened(u"messageDialog"_s));
        screenshot(ride, "1-message");
        QCOMPARE(edgeProblems(ride, ride.object(u"messageDialog"_s)), QStringList());
        QVERIFY(ride.closedBy(Qt::Key_Escape, u"messageDialog"_s));
        QVERIFY(ride.click(u"startScanningButton"_s));
        QTRY_VERIFY(ride.item(u"scanScreen"_s));
        QTRY_COMPARE(ride.rig().app->scan()->panelName(), u"found"_s);
        QTRY_VERIFY(QuickHarness::findAll(ride.window()->contentItem(), u"connectButton"_s).size() >= 2);
        // Pictured once the scanning spinner has faded in.
        QTRY_COMPARE(contrastProblems(ride), QStringList());
        screenshot(ride, "2-scan-found");

        QQuickItem* unitButton = nullptr;
        for (QQuickItem* button : QuickHarness::findAll(ride.window()->contentItem(), u"connectButton"_s)) {
            if (button->parentItem()->property("isDi2Device").toBool())
                unitButton = button;
        }
        QVERIFY(ride.click(unitButton));
        QTRY_VERIFY(ride.item(u"mainScreen"_s));
        QTRY_VERIFY(!ride.item(u"toolbarModelNumber"_s)->property("text").toString().isEmpty());
        screenshot(ride, "3-device");

        QVERIFY(ride.click(u"sectionMapping"_s));
        QTRY_VERIFY(ride.item(u"mappingSection"_s));
        screenshot(ride, "4-mapping-off");
        QVERIFY(ride.click(u"enableSwitch"_s));
        QTRY_VERIFY(QuickHarness::shown(ride.item(u"buttonPanel"_s)));
        // The repeat count takes typing as well as its arrows.
        QVERIFY(ride.click(u"repeatStepper1"_s));
        QTest::keyClick(ride.window(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(ride.window(), Qt::Key_4);
        QTest::keyClick(ride.window(), Qt::Key_Return);
        QTRY_COMPARE(ride.rig().app->mapping()->repeatCount(1), 4);
        ride.rig().app->mapping()->setRepeatCount(1, 1);

        // Custom keys are picked by pressing them in the window; Escape keeps the key there was.
        MappingViewModel& mapping = *ride.rig().app->mapping();
        mapping.setTrainerAppIndex(int(TrainerApp::all().size()) - 1); // Custom, last
        // Clicked only once laid out, Shift Up above Shift Down.
        const auto sceneY = [&ride](const char* name) {
            QQuickItem* picker = ride.item(QString::fromLatin1(name));
            return picker && QuickHarness::shown(picker) ? picker->mapToScene({}).y() : -1.0;
        };
        QTRY_VERIFY(sceneY("shiftUpKeyPicker") >= 0 &&
                    sceneY("shiftUpKeyPicker") < sceneY("shiftDownKeyPicker"));
        QVERIFY(ride.click(u"shiftUpKeyPicker"_s));
        QTest::keyClick(ride.window(), Qt::Key_F5);
        QTRY_COMPARE(mapping.shiftUpKeyLabel(), u"F5"_s);
        // Armed, the picker looks it; Ctrl+A is refused in words, not taken as A.
        QVERIFY(ride.click(u"shiftUpKeyPicker"_s));
        QTRY_VERIFY(ride.item(u"shiftUpKeyPicker"_s)->property("highlighted").toBool());
        QTest::keyClick(ride.window(), Qt::Key_A, Qt::ControlModifier);
        QTRY_VERIFY(!ride.item(u"shiftUpKeyPicker"_s)->property("problem").toString().isEmpty());
        QCOMPARE(mapping.shiftUpKeyLabel(), u"F5"_s);
        QTest::keyClick(ride.window(), Qt::Key_Escape);
        QTRY_VERIFY(!ride.item(u"shiftUpKeyPicker"_s)->property("highlighted").toBool());
        QVERIFY(ride.click(u"shiftUpKeyPicker"_s));
        screenshot(ride, "5-mapping-custom");
        QTest::keyClick(ride.window(), Qt::Key_Period);
        QTRY_COMPARE(mapping.shiftUpKeyLabel(), u"."_s);
        mapping.setTrainerAppIndex(0);
        // Pictured once the switch has long finished moving.
        QTRY_VERIFY(QuickHarness::shown(ride.item(u"trainerAppKeys"_s)));
        screenshot(ride, "5-mapping-on");

        // Back on the Device section, the unit's presses arrive as keys and move the gear.
        QVERIFY(ride.click(u"sectionDevice"_s));
        QTRY_VERIFY(ride.item(u"virtualGear"_s));
        const QString gearBefore = ride.item(u"virtualGear"_s)->property("text").toString();
        FocusedXClient trainer(qgetenv("DISPLAY"));
        QVERIFY(trainer.takeFocus(5000));
        // The presses come from the event loop: keep it turning while the keys are awaited.
        QStringList keys;
        QTRY_VERIFY_WITH_TIMEOUT((keys += trainer.receiveKeys(1, 0), !keys.isEmpty()), 20000);
        QVERIFY(keys.first() == QLatin1String("period down") || keys.first() == QLatin1String("comma down"));
        QTRY_VERIFY_WITH_TIMEOUT(ride.item(u"virtualGear"_s)->property("text").toString() != gearBefore,
                                 15000);
        screenshot(ride, "6-device-shifting");

        QVERIFY(ride.click(u"sectionLogs"_s));
        QTRY_VERIFY(ride.item(u"logsSection"_s));
        screenshot(ride, "7-logs");
        QVERIFY(ride.click(u"sectionSettings"_s));
        QTRY_VERIFY(ride.item(u"settingsSection"_s));
        screenshot(ride, "8-settings");

        QVERIFY(ride.click(u"sectionDevice"_s));
        QTRY_VERIFY(ride.item(u"disconnectButton"_s));
        QVERIFY(ride.click(u"disconnectButton"_s));
        QTRY_VERIFY(ride.item(u"scanScreen"_s));
    }

    // The scan panels that a smooth ride does not show for long.
    void scanStates_data() { firstLaunchToShifting_data(); }
    void scanStates()
    {
        QFETCH(QString, scheme);
        WindowRig ride(m_files.testFile(), scheme, std::make_unique<XTestKeySink>(qgetenv("DISPLAY")));
        QVERIFY(ride.window());
        GuiRig& rig = ride.rig();
        ScanViewModel& scan = *rig.app->scan();
        rig.defaults.setBool(u"hasCompletedOnboarding"_s, true);
        rig.app->flow()->start(std::chrono::milliseconds{0});
        QTRY_VERIFY(ride.item(u"scanScreen"_s));
        QVERIFY(QTest::qWaitForWindowExposed(ride.window()));
        screenshot(ride, "2-scan-scanning");
        // The spinner of the waiting panels stands out from the panel in both schemes, once it
        // has faded in.
        QTRY_COMPARE(contrastProblems(ride), QStringList());

        // The screen says that it scans while devices are listed. Connect on one that is no Di2
        // unit says so at once, and the list stays with the scan going on.
        const auto shownRows = [&ride](const QString& name = {}) {
            QList<QQuickItem*> rows;
            for (QQuickItem* button :
                 QuickHarness::findAll(ride.window()->contentItem(), u"connectButton"_s)) {
                if (QuickHarness::shown(button) &&
                    (name.isEmpty() || button->parentItem()->property("name").toString() == name))
                    rows.append(button);
            }
            return rows;
        };
        QTRY_COMPARE(shownRows().size(), 3);
        QVERIFY(QuickHarness::shown(ride.item(u"scanningIndicator"_s)));
        QVERIFY(ride.click(shownRows(u"HRM-Pro"_s).value(0)));
        QTRY_VERIFY(QuickHarness::shown(ride.item(u"scanNotice"_s)));
        QCOMPARE(ride.text(u"scanNoticeText"_s), u"HRM-Pro is not a Di2 unit"_s);
        QCOMPARE(shownRows().size(), 3);
        QVERIFY(QuickHarness::shown(ride.item(u"scanningIndicator"_s)));
        screenshot(ride, "2-scan-not-a-unit");

        // The link scans again right after a refused connection; the failure stays on screen
        // until "Try Again".
        rig.simulated->setConnectBehaviour(SimulatedCentral::ConnectBehaviour::refuse);
        QTRY_VERIFY(unitRow(rig) >= 0);
        scan.connectDevice(unitRow(rig));
        QTRY_COMPARE(scan.panelName(), u"failed"_s);
        QSignalSpy linkStates(&rig.graph->connectionService(), &ConnectionService::connectionStateChanged);
        QVERIFY(linkStates.wait(20000));
        QVERIFY(QuickHarness::shown(ride.item(u"failureTitle"_s)));
        screenshot(ride, "2-scan-failed");
        QVERIFY(ride.click(u"tryAgainButton"_s));
        QTRY_VERIFY(scan.panelName() != QLatin1String("failed"));

        rig.simulated->setConnectBehaviour(SimulatedCentral::ConnectBehaviour::hang);
        scan.scanAgain();
        QTRY_VERIFY(unitRow(rig) >= 0);
        scan.connectDevice(unitRow(rig));
        QTRY_COMPARE(scan.panelName(), u"connecting"_s);
        screenshot(ride, "2-scan-connecting");
        QTRY_COMPARE(contrastProblems(ride), QStringList());

        // The rider's unit asleep after the radio was off: the screen says how to wake it.
        rig.defaults.setString(u"lastConnectedDeviceUUID"_s,
                               SimulatedCentral::unit().identifier.toString(QUuid::WithoutBraces).toUpper());
        rig.simulated->setAsleep(true);
        rig.simulated->setPowered(false);
        rig.simulated->setPowered(true);
        QTRY_COMPARE(scan.panelName(), u"waiting"_s);
        QTRY_VERIFY(ride.item(u"wakeHint"_s)->isVisible());
        screenshot(ride, "2-scan-waiting");
    }
};

COGWISE_TEST(tst_GuiRide)
#include "tst_GuiRide.moc"
