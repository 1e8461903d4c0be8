#include "gui/IconProvider.h"
#include "support/DestinationRig.h"
#include "support/GuiRig.h"
#include "support/QuickHarness.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QQmlComponent>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <memory>

namespace {

QQuickItem* asItem(const std::unique_ptr<QObject>& object)
{
    return qobject_cast<QQuickItem*>(object.get());
}

} // namespace

class tst_QmlViews : public QObject
{
    Q_OBJECT

    ScratchDir m_files;

private Q_SLOTS:
    // The paired devices are listed; "Forget" asks first, and only the answer forgets; the
    // pairing countdown is shown while pairing is open.
    void pairedDevicesAreForgottenOnlyAfterAsking()
    {
        DestinationRig keys(m_files.testFile(), KeyDestinationSwitch::Target::pairedDevice);
        FakeRemoteKeySink* keyboard = keys.keyboard;
        const QString iPad = QStringLiteral("/org/bluez/hci0/dev_1");
        keyboard->setHosts({{iPad, QStringLiteral("AA"), QStringLiteral("iPad"), true}});
        QuickHarness quick;
        QQuickWindow window;
        window.resize(700, 500);
        const auto page =
            quick.create(QStringLiteral("KeyDestinationSettings"),
                         {{QStringLiteral("model"), QVariant::fromValue(&keys.destination())},
                          {QStringLiteral("parent"), QVariant::fromValue(window.contentItem())}});
        QVERIFY(page);
        QQuickItem* forget = QuickHarness::find(asItem(page), QStringLiteral("forgetButton"));
        QVERIFY(forget);
        auto* dialog = page->findChild<QObject*>(QStringLiteral("confirmDialog"));
        QVERIFY(dialog);
        for (const char* answer : {"confirmCancel", "confirmAccept"}) {
            QMetaObject::invokeMethod(forget, "clicked");
            QTRY_VERIFY(dialog->property("opened").toBool());
            QVERIFY(keyboard->forgotten.isEmpty());
            auto* button = dialog->findChild<QQuickItem*>(QString::fromLatin1(answer));
            QVERIFY(button);
            QMetaObject::invokeMethod(button, "clicked");
            QTRY_VERIFY(!dialog->property("visible").toBool());
        }
        QCOMPARE(keyboard->forgotten, QStringList{iPad});

        QQuickItem* countdown = QuickHarness::find(asItem(page), QStringLiteral("pairingCountdown"));
        QVERIFY(countdown);
        QVERIFY(!countdown->isVisible());
        QMetaObject::invokeMethod(QuickHarness::find(asItem(page), QStringLiteral("pairButton")), "clicked");
        keyboard->secondsLeft = 87;
        QTRY_VERIFY(countdown->property("text").toString().contains(QStringLiteral("87 s")));
    }

    // The symbols travel with the QML module; a wrong resource path leaves every icon blank.
    void symbolsAreDrawnFromTheModuleInTheirTint()
    {
        QVERIFY(QFile::exists(IconProvider::filePath(QStringLiteral("Icon")))); // the window's icon
        IconProvider icons;
        QSize size;
        const QImage image =
            icons.requestImage(QStringLiteral("keyboard.fill?color=ff0000"), &size, QSize(24, 24));
        QCOMPARE(size, QSize(24, 24));
        int tinted = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() > 128 && pixel.red() > 100 && pixel.green() < 30 && pixel.blue() < 30)
                    ++tinted;
            }
        }
        QVERIFY2(tinted > 24, qPrintable(QStringLiteral("%1 red pixels").arg(tinted)));
    }

    // Every file of the module loads, and none is compiled at run time: the engine keeps a
    // cache of its own only for QML that qmlcachegen did not compile.
    void everyFileIsCompiledAheadOfTime()
    {
        QStandardPaths::setTestModeEnabled(true);
        QDir cache(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                   QStringLiteral("/qmlcache"));
        QVERIFY(cache.removeRecursively());
        {
            QuickHarness quick;
            const QStringList files =
                QDir(QStringLiteral(":/qt/qml/Cogwise")).entryList({QStringLiteral("*.qml")});
            QVERIFY(files.size() > 20);
            for (const QString& file : files) {
                if (file == QLatin1String("Theme.qml"))
                    continue; // a singleton, which components cannot load; every view uses it
                QQmlComponent component(&quick.engine(), CogwiseApp::componentUrl(file.chopped(4)));
                QVERIFY2(component.isReady(), qPrintable(file + QLatin1Char(' ') + component.errorString()));
            }
        }
        const QStringList compiledHere = cache.entryList(QDir::Files);
        QStandardPaths::setTestModeEnabled(false);
        QVERIFY2(compiledHere.isEmpty(), qPrintable(compiledHere.join(QLatin1Char(' '))));
    }

    void signalMeterLightsTheRightBars()
    {
        QuickHarness quick;
        for (int lit = 1; lit <= 4; ++lit) {
            const auto meter =
                quick.create(QStringLiteral("SignalStrengthIndicator"), {{QStringLiteral("litBars"), lit}});
            QVERIFY(meter);
            for (int bar = 1; bar <= 4; ++bar) {
                QQuickItem* item = QuickHarness::find(asItem(meter), QStringLiteral("bar%1").arg(bar));
                QVERIFY(item);
                QCOMPARE(item->height(), 4.0 * bar + 4);
                QCOMPARE(item->property("lit").toBool(), bar <= lit);
            }
        }
    }

    void screensFollowTheFlow()
    {
        GuiRig rig(m_files.testFile());
        QuickHarness quick;
        const auto window = quick.create(QStringLiteral("Main"),
                                         {{QStringLiteral("app"), QVariant::fromValue(rig.app.get())}});
        QVERIFY(window);
        QQuickItem* content = qobject_cast<QQuickWindow*>(window.get())->contentItem();
        QVERIFY(QuickHarness::find(content, QStringLiteral("loadingScreen")));
        rig.app->flow()->start(std::chrono::milliseconds{0});
        QTRY_VERIFY(QuickHarness::find(content, QStringLiteral("onboardingScreen")));
        rig.app->flow()->startScanning();
        QTRY_VERIFY(QuickHarness::find(content, QStringLiteral("scanScreen")));
        QTRY_VERIFY(rig.app->scan()->devices()->rowCount() > 0);
        QTRY_VERIFY(!QuickHarness::findAll(content, QStringLiteral("connectButton")).isEmpty());
        rig.app->scan()->connectDevice(0);
        QTRY_VERIFY(QuickHarness::find(content, QStringLiteral("mainScreen")));
        // The main window opens on the Device section.
        QVERIFY(QuickHarness::find(content, QStringLiteral("deviceSection")));
    }

    // The welcome screen asks before anything is sent: off until the rider says yes, reached with
    // Tab like the other controls, and kept only when the rider goes on.
    void welcomeScreenAsksBeforeSharingUsageStatistics()
    {
        GuiRig rig(m_files.testFile());
        QuickHarness quick;
        const auto window = quick.create(QStringLiteral("Main"),
                                         {{QStringLiteral("app"), QVariant::fromValue(rig.app.get())}});
        auto* quickWindow = qobject_cast<QQuickWindow*>(window.get());
        QVERIFY(quickWindow);
        quickWindow->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(quickWindow));
        rig.app->flow()->start(std::chrono::milliseconds{0});
        QQuickItem* content = quickWindow->contentItem();
        QQuickItem* toggle = nullptr;
        QTRY_VERIFY((toggle = QuickHarness::find(content, QStringLiteral("usageStatisticsSwitch"))));
        QVERIFY(!toggle->property("checked").toBool());
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(toggle);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Share anonymous usage statistics"));

        for (int tab = 0; tab < 20 && quickWindow->activeFocusItem() != toggle; ++tab)
            QTest::keyClick(quickWindow, Qt::Key_Tab);
        QCOMPARE(quickWindow->activeFocusItem(), toggle);
        QVERIFY(QuickHarness::find(toggle, QStringLiteral("focusRing"))->isVisible());
        QTest::keyClick(quickWindow, Qt::Key_Space);
        QVERIFY(toggle->property("checked").toBool());
        QVERIFY(!rig.defaults.contains(QStringLiteral("analyticsOptOut")));
        QVERIFY(rig.analyticsDisabled.isEmpty());

        QMetaObject::invokeMethod(QuickHarness::find(content, QStringLiteral("startScanningButton")),
                                  "clicked");
        QVERIFY(rig.defaults.contains(QStringLiteral("analyticsOptOut")));
        QVERIFY(!rig.defaults.boolValue(QStringLiteral("analyticsOptOut")));
        QCOMPARE(rig.analyticsDisabled, QList<bool>{false});
    }

    // The menu's entries and the dialogs are built when first shown.
    void menuAndDialogsAppearWhenAskedFor()
    {
        GuiRig rig(m_files.testFile());
        QuickHarness quick;
        const auto window = quick.create(QStringLiteral("Main"),
                                         {{QStringLiteral("app"), QVariant::fromValue(rig.app.get())}});
        QVERIFY(window);

        // The quit shortcut works before the menu has ever been opened.
        auto* quickWindow = qobject_cast<QQuickWindow*>(window.get());
        QVERIFY(quickWindow);
        quickWindow->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(quickWindow));
        QSignalSpy quit(&quick.engine(), &QQmlEngine::quit);
        QTest::keyClick(quickWindow, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(quit.size(), 1);

        auto* menu = window->findChild<QObject*>(QStringLiteral("appMenu"));
        QVERIFY(menu);
        const auto entries = [menu] {
            QStringList texts;
            for (int i = 0; i < menu->property("count").toInt(); ++i) {
                QQuickItem* item = nullptr;
                QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, item), Q_ARG(int, i));
                texts.append(item->property("text").toString() +
                             (item->property("enabled").toBool() ? QString() : QStringLiteral(" (off)")));
            }
            return texts;
        };
        // Twice: opening again adds nothing.
        for (int opened = 0; opened < 2; ++opened) {
            QMetaObject::invokeMethod(menu, "open");
            QTRY_VERIFY(menu->property("opened").toBool());
            // No update feed in the rig: checking is off. The separator has no text.
            QCOMPARE(entries(), (QStringList{QStringLiteral("About Cogwise"),
                                             QStringLiteral("Check for Updates\u2026 (off)"), QString(),
                                             QStringLiteral("Check Setup\u2026"),
                                             QStringLiteral("Export Debug Log\u2026"), QString(),
                                             QStringLiteral("Quit Cogwise")}));
            // Ctrl+Q is shown where it works.
            QQuickItem* quitEntry = nullptr;
            QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, quitEntry),
                                      Q_ARG(int, menu->property("count").toInt() - 1));
            QCOMPARE(
                QuickHarness::find(quitEntry, QStringLiteral("menuShortcut"))->property("text").toString(),
                QStringLiteral("Ctrl+Q"));
            QMetaObject::invokeMethod(menu, "close");
            QTRY_VERIFY(!menu->property("visible").toBool());
        }

        QVERIFY(!window->findChild<QObject*>(QStringLiteral("aboutDialog")));
        QMetaObject::invokeMethod(window->findChild<QObject*>(QStringLiteral("about")), "trigger");
        QObject* about = window->findChild<QObject*>(QStringLiteral("aboutDialog"));
        QVERIFY(about);
        QTRY_VERIFY(about->property("opened").toBool());
        QCOMPARE(about->property("version").toString(), rig.app->version());
        QMetaObject::invokeMethod(about, "close");
        QTRY_VERIFY(!about->property("visible").toBool());

        QVERIFY(!window->findChild<QObject*>(QStringLiteral("messageDialog")));
        Q_EMIT rig.app->debugLog()->failed(QStringLiteral("Cannot write <b>log</b>"));
        QObject* message = window->findChild<QObject*>(QStringLiteral("messageDialog"));
        QVERIFY(message);
        QTRY_VERIFY(message->property("opened").toBool());
        QCOMPARE(message->property("title").toString(), QStringLiteral("Debug Logs"));
        QCOMPARE(message->property("text").toString(), QStringLiteral("Cannot write <b>log</b>"));
        // A second message reuses the dialog.
        Q_EMIT rig.app->debugLog()->failed(QStringLiteral("Again"));
        QCOMPARE(window->findChild<QObject*>(QStringLiteral("messageDialog")), message);
        QCOMPARE(message->property("text").toString(), QStringLiteral("Again"));
        // Return is its one button.
        QTest::keyClick(quickWindow, Qt::Key_Return);
        QTRY_VERIFY(!message->property("visible").toBool());
    }

    // With the switch off nothing reaches an app: the card says so and offers to switch it on,
    // and the buttons can be set meanwhile.
    void mappingOffersToSendShiftKeys()
    {
        GuiRig rig(m_files.testFile());
        QuickHarness quick;
        rig.app->mapping()->setKeyboardEnabled(false);
        const auto page = quick.create(QStringLiteral("MappingSection"),
                                       {{QStringLiteral("model"), QVariant::fromValue(rig.app->mapping())}});
        QVERIFY(page);
        QQuickItem* root = asItem(page);
        QQuickItem* card = QuickHarness::find(root, QStringLiteral("permissionCard"));
        QCOMPARE(card->property("title").toString(), QStringLiteral("Shift keys are off"));
        QCOMPARE(card->property("symbol").toString(), QStringLiteral("exclamationmark.triangle.fill"));
        QCOMPARE(QuickHarness::find(root, QStringLiteral("enableSwitch"))->property("text").toString(),
                 QStringLiteral("Send shift keys"));
        QVERIFY(QuickHarness::find(root, QStringLiteral("buttonPanel"))->isVisible());
        QVERIFY(QuickHarness::find(root, QStringLiteral("mappingActions"))->isVisible());

        QVERIFY(QMetaObject::invokeMethod(card, "actionTriggered"));
        QVERIFY(rig.app->mapping()->isKeyboardEnabled());
        QVERIFY(QuickHarness::find(root, QStringLiteral("enableSwitch"))->property("checked").toBool());
        QCOMPARE(card->property("title").toString(), QStringLiteral("Cogwise can type keys"));
        QCOMPARE(card->property("symbol").toString(), QStringLiteral("checkmark.circle.fill"));

        // A row's stepper follows its action, also when the change comes from elsewhere.
        QQuickItem* stepper = QuickHarness::find(root, QStringLiteral("repeatStepper2"));
        QVERIFY(QuickHarness::shown(stepper));
        rig.app->mapping()->disableAll();
        QVERIFY(!QuickHarness::shown(stepper));
        QCOMPARE(QuickHarness::find(root, QStringLiteral("actionPicker2"))->property("currentIndex").toInt(),
                 3);
    }

    void logsShowCountAndEmptyState()
    {
        GuiRig rig(m_files.testFile());
        QuickHarness quick;
        rig.graph->viewModel().clearLogs();
        const auto page = quick.create(QStringLiteral("LogsSection"),
                                       {{QStringLiteral("logs"), QVariant::fromValue(rig.app->logs())}});
        QVERIFY(page);
        QQuickItem* root = asItem(page);
        QCOMPARE(QuickHarness::find(root, QStringLiteral("eventCount"))->property("text").toString(),
                 QStringLiteral("0 events"));
        QVERIFY(QuickHarness::find(root, QStringLiteral("emptyState"))->isVisible());
        QVERIFY(!QuickHarness::find(root, QStringLiteral("clearButton"))->isVisible());

        rig.graph->viewModel().addLog(QStringLiteral("Connected to <b>EW-WU111</b>"));
        QCOMPARE(QuickHarness::find(root, QStringLiteral("eventCount"))->property("text").toString(),
                 QStringLiteral("1 events"));
        QVERIFY(QuickHarness::find(root, QStringLiteral("clearButton"))->isVisible());
        QVERIFY(!QuickHarness::find(root, QStringLiteral("emptyState"))->isVisible());
    }

    void deviceBannersFollowKeyPosting()
    {
        GuiRig rig(m_files.testFile());
        QuickHarness quick;
        rig.recordingSink->unavailable = QStringLiteral("no uinput");
        rig.graph->gearService().setCurrentVirtualGear(5); // a rebuild
        const auto page = quick.create(QStringLiteral("DeviceInfoSection"),
                                       {{QStringLiteral("model"), QVariant::fromValue(rig.app->device())}});
        QVERIFY(page);
        QQuickItem* root = asItem(page);
        QVERIFY(QuickHarness::find(root, QStringLiteral("accessibilityBanner"))->isVisible());
        QVERIFY(!QuickHarness::find(root, QStringLiteral("shiftKeysOffBanner"))->isVisible());
        QCOMPARE(QuickHarness::find(root, QStringLiteral("modelTitle"))->property("text").toString(),
                 QStringLiteral("Unknown Device"));
        QCOMPARE(QuickHarness::find(root, QStringLiteral("batteryText"))->property("text").toString(),
                 QStringLiteral("0 %"));

        rig.recordingSink->unavailable.reset();
        rig.graph->gearService().setCurrentVirtualGear(6);
        QVERIFY(!QuickHarness::find(root, QStringLiteral("accessibilityBanner"))->isVisible());
        QCOMPARE(QuickHarness::find(root, QStringLiteral("virtualGear"))->property("text").toString(),
                 QStringLiteral("6"));

        // The gear is read from the saddle: its digits grow with the room the section has.
        QQuickItem* gear = QuickHarness::find(root, QStringLiteral("virtualGear"));
        root->setWidth(520);
        const qreal narrow = gear->implicitHeight();
        root->setWidth(1600);
        QTRY_VERIFY2(gear->implicitHeight() >= 2 * narrow,
                     qPrintable(QString::number(gear->implicitHeight())));

        // Keys could be typed but are not sent: the section offers to, first thing after connecting.
        rig.app->mapping()->setKeyboardEnabled(false);
        QQuickItem* offer = QuickHarness::find(root, QStringLiteral("shiftKeysOffBanner"));
        QVERIFY(offer->isVisible());
        QVERIFY(QMetaObject::invokeMethod(offer, "actionTriggered"));
        QVERIFY(rig.app->mapping()->isKeyboardEnabled());
        QVERIFY(!offer->isVisible());
    }

    // "Check Setup…" opens the report over the window, before any connection, and runs the
    // check on this machine: every line shown with its mark, advice under each failed one, and
    // the summary.
    void checkSetupShowsEachLineWithItsAdvice()
    {
        GuiRig rig(m_files.testFile());
        QuickHarness quick;
        const auto window = quick.create(QStringLiteral("Main"),
                                         {{QStringLiteral("app"), QVariant::fromValue(rig.app.get())}});
        QVERIFY(window);
        SetupCheckViewModel* check = rig.app->settings()->setupCheck();
        QSignalSpy running(check, &SetupCheckViewModel::runningChanged);

        QVERIFY(!window->findChild<QObject*>(QStringLiteral("setupCheckDialog")));
        QMetaObject::invokeMethod(window->findChild<QObject*>(QStringLiteral("checkSetup")), "trigger");
        auto* dialog = window->findChild<QObject*>(QStringLiteral("setupCheckDialog"));
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->property("opened").toBool());
        QTRY_COMPARE_WITH_TIMEOUT(running.size(), 2, 15000);
        QCOMPARE(running.at(0).at(0).toBool(), true);
        QCOMPARE(running.at(1).at(0).toBool(), false);

        const int lines = check->rowCount();
        QVERIFY(lines >= 10);
        // Riding the simulated unit, with keys typed: ready, whatever Bluetooth there is.
        QCOMPARE(check->data(check->index(0), SetupCheckViewModel::labelRole).toString(),
                 QStringLiteral("The unit is simulated: this ride needs no Bluetooth"));
        QVERIFY2(check->summary().startsWith(QStringLiteral("Ready to ride")), qPrintable(check->summary()));
        int failed = 0;
        for (int row = 0; row < lines; ++row)
            failed += check->data(check->index(row), SetupCheckViewModel::okRole).toBool() ? 0 : 1;
        auto* list = dialog->findChild<QQuickItem*>(QStringLiteral("setupCheckLines"));
        QVERIFY(list);
        QCOMPARE(QuickHarness::findAll(list, QStringLiteral("setupCheckLine")).size(), lines);
        int advised = 0;
        for (QQuickItem* advice : QuickHarness::findAll(list, QStringLiteral("setupCheckAdvice"))) {
            if (advice->isVisible()) {
                QVERIFY(!advice->property("text").toString().isEmpty());
                ++advised;
            }
        }
        QCOMPARE(advised, failed);
        // Information is told apart from faults, and advice can be selected to copy its commands.
        const QList<QQuickItem*> marks = QuickHarness::findAll(list, QStringLiteral("setupCheckMark"));
        QCOMPARE(marks.size(), lines);
        for (int row = 0; row < lines; ++row) {
            const QModelIndex index = check->index(row);
            const QString expected =
                check->data(index, SetupCheckViewModel::okRole).toBool()              ? QStringLiteral("✓")
                : check->data(index, SetupCheckViewModel::informationalRole).toBool() ? QStringLiteral("ℹ")
                                                                                      : QStringLiteral("✗");
            QCOMPARE(marks.at(row)->property("text").toString(), expected);
        }
        for (QQuickItem* advice : QuickHarness::findAll(list, QStringLiteral("setupCheckAdvice")))
            QVERIFY(advice->property("selectByMouse").toBool());
        QCOMPARE(
            dialog->findChild<QQuickItem*>(QStringLiteral("setupCheckSummary"))->property("text").toString(),
            check->summary());

        // Checking again: the same report comes back, and no check starts while one runs.
        QMetaObject::invokeMethod(dialog->findChild<QQuickItem*>(QStringLiteral("setupCheckAgain")),
                                  "clicked");
        check->run();
        QTRY_COMPARE_WITH_TIMEOUT(running.size(), 4, 15000);
        QCOMPARE(check->rowCount(), lines);
    }
};

COGWISE_TEST(tst_QmlViews)
#include "tst_QmlViews.moc"
