#include "analytics/Analytics.h"
#include "fakes/RecordingKeySink.h"
#include "platform/Defaults.h"
#include "shifting/KeyboardService.h"
#include "shifting/UserDefaultsManager.h"
#include "support/DebugLogRecorder.h"
#include "support/TestRegistry.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Rig
{
    explicit Rig(const QString& settingsPath)
        : defaults(settingsPath)
        , storage(defaults)
        , analytics([this](const QString& name, const Analytics::Parameters&) { events.append(name); })
        , sink(keys)
        , service(storage, sink, analytics)
    {
        service.setPause([](std::chrono::milliseconds) {});
    }

    QStringList events;
    QStringList keys;
    Defaults defaults;
    UserDefaultsManager storage;
    Analytics analytics;
    RecordingKeySink sink;
    KeyboardService service;
};

const ButtonConfig disabled{KeyboardAction::none, 1};

} // namespace

class tst_KeyboardService : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path() const
    {
        return m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + QStringLiteral(".conf"));
    }

private Q_SLOTS:
    void cleanup() { DebugLogRecorder::settle(); }

    void mappingNotifiesOnlyWhatTheFourButtonsShow()
    {
        Rig rig(path());
        QSignalSpy changes(&rig.service, &KeyboardService::buttonConfigsChanged);

        rig.service.setAction(2, KeyboardAction::shiftUp); // already so
        rig.service.setRepeatCount(2, 1);
        QCOMPARE(changes.size(), 0);
        rig.service.setRepeatCount(2, 30);
        QCOMPARE(changes.size(), 1);
        QCOMPARE(rig.service.buttonConfigs().value(2), (ButtonConfig{KeyboardAction::shiftUp, 10}));

        // A button beyond the four is kept and pressed, but not shown.
        rig.service.setAction(7, KeyboardAction::shiftDown);
        QCOMPARE(changes.size(), 1);
        QCOMPARE(rig.service.buttonConfigs().keys(), (QList<qint64>{1, 2, 3, 4}));
        rig.service.setEnabled(true);
        rig.service.handleButtonPress(7);
        QCOMPARE(rig.keys, (QStringList{QStringLiteral("43 down"), QStringLiteral("43 up")}));

        rig.service.disableAllButtons();
        rig.service.disableAllButtons();
        QCOMPARE(changes.size(), 2);
        QCOMPARE(rig.service.buttonConfigs(),
                 (ButtonConfigs{{1, disabled}, {2, disabled}, {3, disabled}, {4, disabled}}));
        QCOMPARE(rig.storage.storedButtonProfile()->buttonConfigs.value(7), disabled);

        rig.service.resetToDefaults();
        QCOMPARE(changes.size(), 3);
        QCOMPARE(rig.service.buttonConfigs(), defaultButtonConfigs());
        QCOMPARE(rig.storage.storedButtonProfile()->buttonConfigs, defaultButtonConfigs());

        // Every action choice and reset is reported, also an unchanged one.
        QTRY_COMPARE(rig.events, (QStringList{QStringLiteral("buttonMappingChanged"),
                                              QStringLiteral("buttonMappingChanged"),
                                              QStringLiteral("buttonMappingReset")}));
    }

    void switchIsStoredAndGatesThePresses()
    {
        Defaults(path()).setBool(QStringLiteral("enableKeyboardEmulation"), true);
        {
            Rig rig(path());
            QVERIFY(rig.service.isEnabled());
            QSignalSpy switched(&rig.service, &KeyboardService::isEnabledChanged);
            rig.service.setEnabled(true);
            QCOMPARE(switched.size(), 0);
            rig.service.handleButtonPress(2);
            QCOMPARE(rig.keys.size(), 2);

            rig.service.setEnabled(false);
            rig.service.setEnabled(false);
            QCOMPARE(switched.size(), 1);
            rig.service.handleButtonPress(2);
            QCOMPARE(rig.keys.size(), 2);
        }
        Rig restarted(path());
        QVERIFY(!restarted.service.isEnabled());
    }

    void completedSequencesAreRelayedAfterTheKeys()
    {
        Rig rig(path());
        rig.service.setEnabled(true);
        rig.service.setRepeatCount(1, 2);
        QSignalSpy simulated(&rig.service, &KeyboardService::didSimulate);
        rig.service.handleButtonPress(1);
        QCOMPARE(rig.keys.size(), 4);
        QVERIFY(simulated.isEmpty()); // queued, so that listeners never hold up the keys
        QVERIFY(simulated.wait());
        QCOMPARE(simulated.constFirst().at(0).value<KeyboardAction>(), KeyboardAction::shiftDown);
        QCOMPARE(simulated.constFirst().at(1).toLongLong(), 2);
    }
};

COGWISE_TEST(tst_KeyboardService)
#include "tst_KeyboardService.moc"
