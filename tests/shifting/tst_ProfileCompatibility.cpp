#include "analytics/Analytics.h"
#include "fakes/RecordingKeySink.h"
#include "platform/Defaults.h"
#include "shifting/KeyboardService.h"
#include "shifting/ManualScheduler.h"
#include "shifting/UserDefaultsManager.h"
#include "support/DebugLogRecorder.h"
#include "support/TestRegistry.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Keyboard emulation over a copy of a stored settings file, keys stamped with a virtual clock.
struct Rig
{
    explicit Rig(const QString& settingsPath)
        : defaults(settingsPath)
        , storage(defaults)
        , analytics([](const QString&, const Analytics::Parameters&) {})
        , sink(keys)
        , service(storage, sink, analytics)
    {
        auto manual = std::make_unique<ManualScheduler>();
        scheduler = manual.get();
        service.keySequencer().setScheduler(std::move(manual));
        sink.clock = [this] { return scheduler->now(); };
    }

    QStringList press(qint64 button)
    {
        keys.clear();
        service.handleButtonPress(button);
        while (scheduler->advance()) {
        }
        return keys;
    }

    QStringList keys;
    Defaults defaults;
    UserDefaultsManager storage;
    Analytics analytics;
    RecordingKeySink sink;
    KeyboardService service;
    ManualScheduler* scheduler = nullptr;
};

QString copyOf(const QString& dataFile, const QTemporaryDir& dir)
{
    const QString copy = dir.filePath(dataFile);
    QFile::remove(copy);
    QFile::copy(QStringLiteral(COGWISE_TEST_DATA_DIR "/") + dataFile, copy);
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    return copy;
}

// What the versions before trainer apps demand of a stored profile, or they replace it by the
// default: the known members, and only the actions they know.
QString problemForEarlierVersions(const QByteArray& json)
{
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    for (const char* member : {"id", "name", "buttonConfigs", "createdAt", "updatedAt"}) {
        if (!root.contains(QLatin1String(member)))
            return QStringLiteral("no member ") + QLatin1String(member);
    }
    const QJsonObject configs = root.value(QStringLiteral("buttonConfigs")).toObject();
    for (auto it = configs.begin(); it != configs.end(); ++it) {
        const QJsonObject config = it.value().toObject();
        const QString action = config.value(QStringLiteral("action")).toString();
        if (action != QLatin1String("shift_up") && action != QLatin1String("shift_down") &&
            action != QLatin1String("none"))
            return QStringLiteral("button %1: action \"%2\"").arg(it.key(), action);
        if (!config.value(QStringLiteral("repeatCount")).isDouble())
            return QStringLiteral("button %1: no repeat count").arg(it.key());
    }
    return {};
}

QStringList presses(qint64 code, int count, qint64 start, qint64 hold, qint64 pause)
{
    QStringList events;
    for (int i = 0; i < count; ++i) {
        const qint64 down = start + i * (hold + pause);
        events << QStringLiteral("%1 down @%2").arg(code).arg(down)
               << QStringLiteral("%1 up @%2").arg(code).arg(down + hold);
    }
    return events;
}

} // namespace

// Settings files kept in tests/data: one written before trainer apps and picked keys, one
// written after. Each version reads the other's.
class tst_ProfileCompatibility : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void cleanup() { DebugLogRecorder::settle(); }

    void anEarlierFileBehavesAsItDidThere()
    {
        Rig rig(copyOf(QStringLiteral("settings-before-trainer-apps.conf"), m_dir));
        QVERIFY(rig.service.isEnabled());
        QCOMPARE(rig.service.trainerApp().id, QStringLiteral("rouvy"));
        QCOMPARE(rig.storage.initialVirtualGear(), 9);
        QCOMPARE(rig.service.buttonConfigs().value(3), (ButtonConfig{KeyboardAction::none, 1}));
        // Period and comma, not held, 50 ms apart, as before.
        QCOMPARE(rig.press(2), presses(47, 3, 0, 0, 50));
        QCOMPARE(rig.press(1), presses(43, 2, rig.scheduler->now(), 0, 50));
        QCOMPARE(rig.press(3), QStringList());
        // Reading wrote nothing back.
        QVERIFY(!rig.defaults.stringValue(QStringLiteral("trainerApp")));
    }

    void aLaterFileIsReadHereAndStillByEarlierVersions()
    {
        const QString path = copyOf(QStringLiteral("settings-with-trainer-apps.conf"), m_dir);
        const QByteArray stored = *Defaults(path).dataValue(QStringLiteral("activeButtonProfile"));
        QCOMPARE(problemForEarlierVersions(stored), QString());

        Rig rig(path);
        QCOMPARE(rig.service.trainerApp().id, QStringLiteral("mywhoosh"));
        QCOMPARE(rig.service.customShiftKey(KeyboardAction::shiftUp).label(), QStringLiteral("="));
        QCOMPARE(rig.service.keyHold(), std::chrono::milliseconds{40});
        QCOMPARE(rig.service.keyPause(), std::chrono::milliseconds{80});
        QCOMPARE(rig.press(2), presses(34, 3, 0, 40, 80));                    // MyWhoosh's I
        QCOMPARE(rig.press(3), presses(96, 2, rig.scheduler->now(), 40, 80)); // the picked F5
        QCOMPARE(rig.press(4), QStringList());                                // "Key", none picked yet
        const ButtonConfigs configs = rig.service.buttonConfigs();
        QCOMPARE(configs.value(3).action, KeyboardAction::key);
        QCOMPARE(configs.value(4), (ButtonConfig{KeyboardAction::key, 1}));
    }

    // What this version writes is the later file's form: earlier versions keep reading it.
    void whatThisVersionWritesEarlierVersionsRead()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Cogwise.conf"));
        {
            Rig rig(path);
            rig.service.setAction(1, KeyboardAction::shiftDown);
            rig.service.setRepeatCount(1, 2);
            rig.service.setRepeatCount(2, 3);
            rig.service.setButtonKey(3, *VirtualKey::fromName(QStringLiteral("F5")));
            rig.service.setRepeatCount(3, 2);
            rig.service.setAction(4, KeyboardAction::key);
        }
        const auto written =
            QJsonDocument::fromJson(*Defaults(path).dataValue(QStringLiteral("activeButtonProfile")))
                .object()
                .value(QStringLiteral("buttonConfigs"));
        const QString golden = copyOf(QStringLiteral("settings-with-trainer-apps.conf"), m_dir);
        const auto expected =
            QJsonDocument::fromJson(*Defaults(golden).dataValue(QStringLiteral("activeButtonProfile")))
                .object()
                .value(QStringLiteral("buttonConfigs"));
        QCOMPARE(written, expected);
    }
};

COGWISE_TEST(tst_ProfileCompatibility)
#include "tst_ProfileCompatibility.moc"
