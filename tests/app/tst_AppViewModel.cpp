#include "analytics/Analytics.h"
#include "app/AppGraph.h"
#include "fakes/FakeBleCentral.h"
#include "fakes/RecordingKeySink.h"
#include "platform/Defaults.h"
#include "support/DebugLogRecorder.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The whole graph over a fake central, with keys going into a list.
struct Rig
{
    explicit Rig(const QString& settingsPath)
        : defaults(settingsPath)
        , analytics([this](const QString& name, const Analytics::Parameters& p) {
            events.append({name, p});
        })
    {
        graph = std::make_unique<AppGraph>(defaults, analytics, std::make_unique<FakeBleCentral>(),
                                           std::make_unique<RecordingKeySink>(keys));
        graph->keyboardService().keySequencer().setPauseBetweenPresses(KeySequencer::minPause);
    }

    QStringList messages() const
    {
        QStringList list;
        for (const Log& log : graph->viewModel().logs())
            list.append(log.message);
        return list;
    }

    Defaults defaults;
    QList<std::pair<QString, Analytics::Parameters>> events;
    Analytics analytics;
    QStringList keys;
    std::unique_ptr<AppGraph> graph;
};

} // namespace

class tst_AppViewModel : public QObject
{
    Q_OBJECT

    ScratchDir m_files;

private Q_SLOTS:
    void freshInstallation()
    {
        Rig rig(m_files.testFile());
        QCOMPARE(rig.defaults.stringValue(u"enableKeyboardEmulation"_s), u"false"_s);
        QVERIFY(!rig.graph->keyboardService().isEnabled());
    }

    void pressesBecomeKeysGearAndLog()
    {
        Rig rig(m_files.testFile());
        AppViewModel& model = rig.graph->viewModel();
        model.setKeyboardEnabled(true);
        model.configureButtonRepeatCount(2, 3);
        rig.events.clear();
        model.didPressButtons({2, 1});
        QTRY_COMPARE(rig.keys, (QStringList{u"47 down"_s, u"47 up"_s, u"47 down"_s, u"47 up"_s, u"47 down"_s,
                                            u"47 up"_s, u"43 down"_s, u"43 up"_s}));
        QTRY_COMPARE(model.logs().size(), 3);
        QCOMPARE(rig.messages().mid(1),
                 (QStringList{u"Keyboard: Shift Up x3 → Gear 16"_s, u"Keyboard: Shift Down → Gear 15"_s}));
        QVERIFY(rig.events.isEmpty()); // presses and repeat counts send no analytics
    }

    void keysStopWhenTheUnitGoes()
    {
        Rig rig(m_files.testFile());
        AppViewModel& model = rig.graph->viewModel();
        ConnectionService& connection = rig.graph->connectionService();
        model.setKeyboardEnabled(true);
        model.configureButtonRepeatCount(2, 3);
        rig.graph->keyboardService().keySequencer().setHoldTime(std::chrono::milliseconds{200});
        model.didPressButtons({2});
        // Neither a scan nor device information while connected stops the keys.
        Q_EMIT connection.connectionStateChanged(ConnectionState::scanning());
        Q_EMIT connection.connectionStateChanged(ConnectionState::Connected{});
        Q_EMIT connection.connectionStateChanged(ConnectionState::Connected{});
        QCOMPARE(rig.keys, (QStringList{u"47 down"_s}));

        Q_EMIT connection.connectionStateChanged(ConnectionState::Disconnected{u"Connection lost"_s});
        QCOMPARE(rig.keys, (QStringList{u"47 down"_s, u"47 up"_s}));
        DebugLogRecorder::settle();
    }

    void configurationTextsAndEvents()
    {
        Rig rig(m_files.testFile());
        AppViewModel& model = rig.graph->viewModel();
        model.configureButtonAction(4, KeyboardAction::shiftDown);
        model.configureButtonRepeatCount(4, 15);
        model.setInitialVirtualGear(30);
        model.resetButtonConfiguration();
        model.disableAllButtons();
        QCOMPARE(rig.messages(), (QStringList{u"Configured Keyboard Button 4 for action: Shift Down"_s,
                                              u"Configured Keyboard Button 4 repeat count: 15"_s,
                                              u"Set initial virtual gear to 30"_s,
                                              u"Reset keyboard button configuration to defaults"_s,
                                              u"Disabled all buttons for keyboard emulation"_s}));
        QTRY_COMPARE(rig.events.size(), 2);
        QCOMPARE(rig.events.at(0),
                 (std::pair{u"buttonMappingChanged"_s,
                            Analytics::Parameters{{u"button"_s, u"4"_s}, {u"action"_s, u"shift_down"_s}}}));
        QCOMPARE(rig.events.at(1).first, u"buttonMappingReset"_s);

        // At the lowest gear a shift down goes nowhere, and is logged all the same.
        model.setInitialVirtualGear(1);
        model.keyboardServiceDidSimulate(KeyboardAction::shiftDown, 1, u","_s);
        QCOMPARE(rig.messages().mid(5),
                 (QStringList{u"Set initial virtual gear to 1"_s, u"Keyboard: Shift Down → Gear 1"_s}));
    }

    void eventLogKeepsTheNewest200()
    {
        Rig rig(m_files.testFile());
        AppViewModel& model = rig.graph->viewModel();
        model.clearLogs();
        for (int i = 1; i <= 201; ++i)
            model.addLog(QString::number(i));
        QCOMPARE(model.logs().size(), 200);
        QCOMPARE(model.logs().constFirst().message, u"2"_s);
        QCOMPARE(model.logs().constLast().message, u"201"_s);
        model.clearLogs();
        QVERIFY(model.logs().isEmpty());
        DebugLogRecorder::settle();
    }
};

COGWISE_TEST(tst_AppViewModel)
#include "tst_AppViewModel.moc"
