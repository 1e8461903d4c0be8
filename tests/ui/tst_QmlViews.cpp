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

using namespace Qt::StringLiterals;

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
        const QString iPad = u"/org/bluez/hci0/dev_1"_s;
        keyboard->setHosts({{iPad, u"AA"_s, u"iPad"_s, true}});
        QuickHarness quick;
        QQuickWindow window;
        window.resize(700, 500);
        const auto page = quick.create(u"KeyDestinationSettings"_s,
                                       {{u"model"_s, QVariant::fromValue(&keys.destination())},
                                        {u"parent"_s, QVariant::fromValue(window.contentItem())}});
        QVERIFY(page);
        QQuickItem* forget = QuickHarness::find(asItem(page), u"forgetButton"_s);
        QVERIFY(forget);
        auto* dialog = page->findChild<QObject*>(u"confirmDialog"_s);
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

        QQuickItem* countdown = QuickHarness::find(asItem(page), u"pairingCountdown"_s);
        QVERIFY(countdown);
        QVERIFY(!countdown->isVisible());
        QMetaObject::invokeMethod(QuickHarness::find(asItem(page), u"pairButton"_s), "clicked");
        keyboard->secondsLeft = 87;
        QTRY_VERIFY(countdown->property("text").toString().contains(u"87 s"_s));
    }

    // The symbols travel with the QML module; a wrong resource path leaves every icon blank.
    void symbolsAreDrawnFromTheModuleInTheirTint()
    {
        QVERIFY(QFile::exists(IconProvider::filePath(u"Icon"_s))); // the window's icon
        IconProvider icons;
        QSize size;
        const QImage image = icons.requestImage(u"keyboard.fill?color=ff0000"_s, &size, QSize(24, 24));
        QCOMPARE(size, QSize(24, 24));
        int tinted = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() > 128 && pixel.red() > 100 && pixel.green() < 30 && pixel.blue() < 30)
                    ++tinted;
            }
        }
        QVERIFY2(tinted > 24, qPrintable(u"%1 red pixels"_s.arg(tinted)));
    }

    // Every file of the module loads, and none is compiled at run time: the engine keeps a
    // cache of its own only for QML that qmlcachegen did not compile.
    void everyFileIsCompiledAheadOfTime()
    {
        QStandardPaths::setTestModeEnabled(true);
        QDir cache(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + u"/qmlcache"_s);
        QVERIFY(cache.removeRecursively());
        {
            QuickHarness quick;
            const QStringList files = QDir(u":/qt/qml/Cogwise"_s).entryList({u"*.qml"_s});
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
            const auto meter = quick.create(u"SignalStrengthIndicator"_s, {{u"litBars"_s, lit}});
            QVERIFY(meter);
            for (int bar = 1; bar <= 4; ++bar) {
                QQuickItem* item = QuickHarness::find(asItem(meter), u"bar%1"_s.arg(bar));
                QVERIFY(item);
                QCOMPARE(item->height(), 4.0 * bar + 4);
                QCOMPARE(item->property("lit").toBool(), bar <= lit);
            }
        }
    }

    // The welcome screen asks before anything is sent: off until the rider says yes, and named
    // for screen readers. (The Tab walk of every screen is tst_WindowChecks'.)
    void welcomeScreenAsksBeforeSharingUsageStatistics()
    {
        GuiRig rig(m_files.testFile());
        QuickHarness quick;
        const auto window = quick.create(u"Main"_s, {{u"app"_s, QVariant::fromValue(rig.app.get())}});
        auto* quickWindow = qobject_cast<QQuickWindow*>(window.get());
        QVERIFY(quickWindow);
        quickWindow->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(quickWindow));
        rig.app->flow()->start(std::chrono::milliseconds{0});
        QQuickItem* content = quickWindow->contentItem();
        QQuickItem* toggle = nullptr;
        QTRY_VERIFY((toggle = QuickHarness::find(content, u"usageStatisticsSwitch"_s)));
        QVERIFY(!toggle->property("checked").toBool());
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(toggle);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), u"Share anonymous usage statistics"_s);

        toggle->forceActiveFocus(Qt::TabFocusReason);
        QTest::keyClick(quickWindow, Qt::Key_Space);
        QVERIFY(rig.app->flow()->shareUsageStatistics());
    }

    // The menu's entries and the dialogs are built when first shown.
    void menuAndDialogsAppearWhenAskedFor()
    {
        GuiRig rig(m_files.testFile());
        QuickHarness quick;
        const auto window = quick.create(u"Main"_s, {{u"app"_s, QVariant::fromValue(rig.app.get())}});
        QVERIFY(window);

        // The quit shortcut works before the menu has ever been opened.
        auto* quickWindow = qobject_cast<QQuickWindow*>(window.get());
        QVERIFY(quickWindow);
        quickWindow->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(quickWindow));
        QSignalSpy quit(&quick.engine(), &QQmlEngine::quit);
        QTest::keyClick(quickWindow, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(quit.size(), 1);

        auto* menu = window->findChild<QObject*>(u"appMenu"_s);
        QVERIFY(menu);
        // Twice: opening again adds nothing.
        for (int opened = 0; opened < 2; ++opened) {
            QMetaObject::invokeMethod(menu, "open");
            QTRY_VERIFY(menu->property("opened").toBool());
            QStringList entries;
            QQuickItem* entry = nullptr;
            for (int i = 0; i < menu->property("count").toInt(); ++i) {
                QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, entry), Q_ARG(int, i));
                entries << entry->property("text").toString() +
                               (entry->property("enabled").toBool() ? QString() : u" (off)"_s);
            }
            // No update feed in the rig: checking is off. The separator has no text.
            QCOMPARE(entries, (QStringList{u"About Cogwise"_s, u"Check for Updates\u2026 (off)"_s, QString(),
                                           u"Check Setup\u2026"_s, u"Export Debug Log\u2026"_s, QString(),
                                           u"Quit Cogwise"_s}));
            // Ctrl+Q is shown where it works: on the last entry.
            QCOMPARE(QuickHarness::find(entry, u"menuShortcut"_s)->property("text").toString(), u"Ctrl+Q"_s);
            QMetaObject::invokeMethod(menu, "close");
            QTRY_VERIFY(!menu->property("visible").toBool());
        }

        QVERIFY(!window->findChild<QObject*>(u"aboutDialog"_s));
        QVERIFY(!window->findChild<QObject*>(u"messageDialog"_s));
        Q_EMIT rig.app->debugLog()->failed(u"Cannot write <b>log</b>"_s);
        QObject* message = window->findChild<QObject*>(u"messageDialog"_s);
        QVERIFY(message);
        QTRY_VERIFY(message->property("opened").toBool());
        QCOMPARE(message->property("title").toString(), u"Debug Logs"_s);
        QCOMPARE(message->property("text").toString(), u"Cannot write <b>log</b>"_s);
        // A second message reuses the dialog.
        Q_EMIT rig.app->debugLog()->failed(u"Again"_s);
        QCOMPARE(window->findChild<QObject*>(u"messageDialog"_s), message);
        QCOMPARE(message->property("text").toString(), u"Again"_s);
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
        const auto page =
            quick.create(u"MappingSection"_s, {{u"model"_s, QVariant::fromValue(rig.app->mapping())}});
        QVERIFY(page);
        QQuickItem* root = asItem(page);
        QQuickItem* card = QuickHarness::find(root, u"permissionCard"_s);
        QCOMPARE(card->property("title").toString(), u"Shift keys are off"_s);
        QCOMPARE(card->property("symbol").toString(), u"exclamationmark.triangle.fill"_s);
        QCOMPARE(QuickHarness::find(root, u"enableSwitch"_s)->property("text").toString(),
                 u"Send shift keys"_s);
        QVERIFY(QuickHarness::find(root, u"buttonPanel"_s)->isVisible());
        QVERIFY(QuickHarness::find(root, u"mappingActions"_s)->isVisible());

        QVERIFY(QMetaObject::invokeMethod(card, "actionTriggered"));
        QVERIFY(rig.app->mapping()->isKeyboardEnabled());
        QVERIFY(QuickHarness::find(root, u"enableSwitch"_s)->property("checked").toBool());
        QCOMPARE(card->property("title").toString(), u"Cogwise can type keys"_s);
        QCOMPARE(card->property("symbol").toString(), u"checkmark.circle.fill"_s);

        // A row's stepper follows its action, also when the change comes from elsewhere.
        QQuickItem* stepper = QuickHarness::find(root, u"repeatStepper2"_s);
        QVERIFY(QuickHarness::shown(stepper));
        rig.app->mapping()->disableAll();
        QVERIFY(!QuickHarness::shown(stepper));
        QCOMPARE(QuickHarness::find(root, u"actionPicker2"_s)->property("currentIndex").toInt(), 3);
    }

    void logsShowCountAndEmptyState()
    {
        GuiRig rig(m_files.testFile());
        QuickHarness quick;
        rig.graph->viewModel().clearLogs();
        const auto page = quick.create(u"LogsSection"_s, {{u"logs"_s, QVariant::fromValue(rig.app->logs())}});
        QVERIFY(page);
        QQuickItem* root = asItem(page);
        QCOMPARE(QuickHarness::find(root, u"eventCount"_s)->property("text").toString(), u"0 events"_s);
        QVERIFY(QuickHarness::find(root, u"emptyState"_s)->isVisible());
        QVERIFY(!QuickHarness::find(root, u"clearButton"_s)->isVisible());

        rig.graph->viewModel().addLog(u"Connected to <b>EW-WU111</b>"_s);
        QCOMPARE(QuickHarness::find(root, u"eventCount"_s)->property("text").toString(), u"1 events"_s);
        QVERIFY(QuickHarness::find(root, u"clearButton"_s)->isVisible());
        QVERIFY(!QuickHarness::find(root, u"emptyState"_s)->isVisible());
    }

    void deviceBannersFollowKeyPosting()
    {
        GuiRig rig(m_files.testFile());
        QuickHarness quick;
        rig.recordingSink->unavailable = u"no uinput"_s;
        rig.graph->gearService().setCurrentVirtualGear(5); // a rebuild
        const auto page =
            quick.create(u"DeviceInfoSection"_s, {{u"model"_s, QVariant::fromValue(rig.app->device())}});
        QVERIFY(page);
        QQuickItem* root = asItem(page);
        QVERIFY(QuickHarness::find(root, u"accessibilityBanner"_s)->isVisible());
        QVERIFY(!QuickHarness::find(root, u"shiftKeysOffBanner"_s)->isVisible());
        QCOMPARE(QuickHarness::find(root, u"modelTitle"_s)->property("text").toString(), u"Unknown Device"_s);
        QCOMPARE(QuickHarness::find(root, u"batteryText"_s)->property("text").toString(), u"0 %"_s);

        rig.recordingSink->unavailable.reset();
        rig.graph->gearService().setCurrentVirtualGear(6);
        QVERIFY(!QuickHarness::find(root, u"accessibilityBanner"_s)->isVisible());
        QCOMPARE(QuickHarness::find(root, u"virtualGear"_s)->property("text").toString(), u"6"_s);

        // The gear is read from the saddle: its digits grow with the room the section has.
        QQuickItem* gear = QuickHarness::find(root, u"virtualGear"_s);
        root->setWidth(520);
        const qreal narrow = gear->implicitHeight();
        root->setWidth(1600);
        QTRY_VERIFY2(gear->implicitHeight() >= 2 * narrow,
                     qPrintable(QString::number(gear->implicitHeight())));

        // Keys could be typed but are not sent: the section offers to, first thing after connecting.
        rig.app->mapping()->setKeyboardEnabled(false);
        QQuickItem* offer = QuickHarness::find(root, u"shiftKeysOffBanner"_s);
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
        const auto window = quick.create(u"Main"_s, {{u"app"_s, QVariant::fromValue(rig.app.get())}});
        QVERIFY(window);
        SetupCheckViewModel* check = rig.app->settings()->setupCheck();
        QSignalSpy running(check, &SetupCheckViewModel::runningChanged);

        QVERIFY(!window->findChild<QObject*>(u"setupCheckDialog"_s));
        QMetaObject::invokeMethod(window->findChild<QObject*>(u"checkSetup"_s), "trigger");
        auto* dialog = window->findChild<QObject*>(u"setupCheckDialog"_s);
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->property("opened").toBool());
        QTRY_COMPARE_WITH_TIMEOUT(running.size(), 2, 15000);
        QCOMPARE(running.at(0).at(0).toBool(), true);
        QCOMPARE(running.at(1).at(0).toBool(), false);

        const int lines = check->rowCount();
        QVERIFY(lines >= 10);
        // Riding the simulated unit, with keys typed: ready, whatever Bluetooth there is.
        QCOMPARE(check->data(check->index(0), SetupCheckViewModel::labelRole).toString(),
                 u"The unit is simulated: this ride needs no Bluetooth"_s);
        QVERIFY2(check->summary().startsWith(u"Ready to ride"_s), qPrintable(check->summary()));
        auto* list = dialog->findChild<QQuickItem*>(u"setupCheckLines"_s);
        QVERIFY(list);
        QCOMPARE(QuickHarness::findAll(list, u"setupCheckLine"_s).size(), lines);
        // Advice under each failed line, selectable to copy its commands; information is told apart
        // from faults.
        const QList<QQuickItem*> marks = QuickHarness::findAll(list, u"setupCheckMark"_s);
        const QList<QQuickItem*> advice = QuickHarness::findAll(list, u"setupCheckAdvice"_s);
        QCOMPARE(marks.size(), lines);
        QCOMPARE(advice.size(), lines);
        for (int row = 0; row < lines; ++row) {
            const QModelIndex index = check->index(row);
            const bool ok = check->data(index, SetupCheckViewModel::okRole).toBool();
            QCOMPARE(advice.at(row)->isVisible(), !ok);
            QVERIFY(ok || !advice.at(row)->property("text").toString().isEmpty());
            QVERIFY(advice.at(row)->property("selectByMouse").toBool());
            const QString expected = ok ? u"✓"_s
                                     : check->data(index, SetupCheckViewModel::informationalRole).toBool()
                                         ? u"ℹ"_s
                                         : u"✗"_s;
            QCOMPARE(marks.at(row)->property("text").toString(), expected);
        }
        QCOMPARE(dialog->findChild<QQuickItem*>(u"setupCheckSummary"_s)->property("text").toString(),
                 check->summary());

        // Checking again: the same report comes back, and no check starts while one runs.
        QMetaObject::invokeMethod(dialog->findChild<QQuickItem*>(u"setupCheckAgain"_s), "clicked");
        check->run();
        QTRY_COMPARE_WITH_TIMEOUT(running.size(), 4, 15000);
        QCOMPARE(check->rowCount(), lines);
    }
};

COGWISE_TEST(tst_QmlViews)
#include "tst_QmlViews.moc"
