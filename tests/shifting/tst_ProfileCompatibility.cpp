#include "shifting/KeyboardRig.h"
#include "support/DebugLogRecorder.h"
#include "support/TestRegistry.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Keyboard emulation over a copy of a stored settings file, keys stamped with the virtual clock.
struct ProfileRig : KeyboardRig
{
    explicit ProfileRig(const QString& settingsPath)
        : KeyboardRig(settingsPath)
    {
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
            return u"no member "_s + QLatin1String(member);
    }
    const QJsonObject configs = root.value(u"buttonConfigs"_s).toObject();
    for (auto it = configs.begin(); it != configs.end(); ++it) {
        const QJsonObject config = it.value().toObject();
        const QString action = config.value(u"action"_s).toString();
        if (action != QLatin1String("shift_up") && action != QLatin1String("shift_down") &&
            action != QLatin1String("none"))
            return u"button %1: action \"%2\""_s.arg(it.key(), action);
        if (!config.value(u"repeatCount"_s).isDouble())
            return u"button %1: no repeat count"_s.arg(it.key());
    }
    return {};
}

// The key names versions before the keypad keys know; any other makes a button press nothing there.
bool knownToEarlierVersions(const QString& keyName)
{
    static const QStringList names =
        QStringLiteral("a b c d e f g h i j k l m n o p q r s t u v w x y z 0 1 2 3 4 5 6 7 8 9 "
                       "period comma slash semicolon apostrophe bracketleft bracketright minus "
                       "equal grave backslash space Return Tab BackSpace Delete Home End Prior "
                       "Next Left Right Up Down F1 F2 F3 F4 F5 F6 F7 F8 F9 F10 F11 F12")
            .split(QLatin1Char(' '));
    return names.contains(keyName);
}

// What a button does in versions before the keypad keys: the name of the key it presses, empty
// for none.
QString earlierVersionsKey(const QJsonObject& config)
{
    const QString key = config.value(u"key"_s).toString();
    return knownToEarlierVersions(key) ? key : QString();
}

QByteArray storedProfile(const QString& path)
{
    return Defaults(path).dataValue(u"activeButtonProfile"_s).value_or(QByteArray());
}

QJsonObject storedConfigs(const QString& path)
{
    return QJsonDocument::fromJson(storedProfile(path)).object().value(u"buttonConfigs"_s).toObject();
}

QStringList presses(qint64 code, int count, qint64 start, qint64 hold, qint64 pause)
{
    QStringList events;
    for (int i = 0; i < count; ++i) {
        const qint64 down = start + i * (hold + pause);
        events << u"%1 down @%2"_s.arg(code).arg(down) << u"%1 up @%2"_s.arg(code).arg(down + hold);
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
        ProfileRig rig(copyOf(u"settings-before-trainer-apps.conf"_s, m_dir));
        QVERIFY(rig.service.isEnabled());
        QCOMPARE(rig.service.trainerApp().id, u"rouvy"_s);
        QCOMPARE(rig.storage.initialVirtualGear(), 9);
        QCOMPARE(rig.service.buttonConfigs().value(3), (ButtonConfig{KeyboardAction::none, 1}));
        // Period and comma, not held, 50 ms apart, as before.
        QCOMPARE(rig.press(2), presses(47, 3, 0, 0, 50));
        QCOMPARE(rig.press(1), presses(43, 2, rig.scheduler->now(), 0, 50));
        QCOMPARE(rig.press(3), QStringList());
        // Reading wrote nothing back.
        QVERIFY(!rig.defaults.stringValue(u"trainerApp"_s));
    }

    void aLaterFileIsReadHereAndStillByEarlierVersions()
    {
        const QString path = copyOf(u"settings-with-trainer-apps.conf"_s, m_dir);
        QCOMPARE(problemForEarlierVersions(storedProfile(path)), QString());

        ProfileRig rig(path);
        QCOMPARE(rig.service.trainerApp().id, u"mywhoosh"_s);
        QCOMPARE(rig.service.customShiftKey(KeyboardAction::shiftUp).label(), u"="_s);
        QCOMPARE(rig.service.keyHold(), std::chrono::milliseconds{40});
        QCOMPARE(rig.service.keyPause(), std::chrono::milliseconds{80});
        QCOMPARE(rig.press(2), presses(34, 3, 0, 40, 80));                    // MyWhoosh's I
        QCOMPARE(rig.press(3), presses(96, 2, rig.scheduler->now(), 40, 80)); // the picked F5
        QCOMPARE(rig.press(4), QStringList());                                // "Key", none picked yet
        const ButtonConfigs configs = rig.service.buttonConfigs();
        QCOMPARE(configs.value(3).action, KeyboardAction::key);
        QCOMPARE(configs.value(4), (ButtonConfig{KeyboardAction::key, 1}));
    }

    // Keypad keys, and a trainer app earlier versions lack: they keep the file and press the
    // nearest key they know, and this version reads every key back.
    void keypadKeysSurviveEarlierVersions()
    {
        const QString path = copyOf(u"settings-with-keypad-keys.conf"_s, m_dir);
        const QJsonObject configs = storedConfigs(path);
        QCOMPARE(problemForEarlierVersions(storedProfile(path)), QString());
        QCOMPARE(earlierVersionsKey(configs.value(u"3"_s).toObject()), u"minus"_s);
        QCOMPARE(earlierVersionsKey(configs.value(u"4"_s).toObject()), QString());
        const Defaults earlier(path);
        QVERIFY(knownToEarlierVersions(*earlier.stringValue(u"customShiftUpKey"_s)));
        QVERIFY(knownToEarlierVersions(*earlier.stringValue(u"customShiftDownKey"_s)));

        ProfileRig rig(path);
        QCOMPARE(rig.service.trainerApp().id, u"tpv"_s);
        QCOMPARE(rig.press(2), presses(69, 1, 0, 0, 50)); // keypad +
        QCOMPARE(rig.press(3), presses(78, 1, rig.scheduler->now(), 0, 50));
        QCOMPARE(rig.press(4), presses(69, 2, rig.scheduler->now(), 0, 50));
        QCOMPARE(rig.service.customShiftKey(KeyboardAction::shiftUp).name(), u"KP_Enter"_s);
        QCOMPARE(rig.service.customShiftKey(KeyboardAction::shiftDown).name(), u"KP_Subtract"_s);
        // An earlier version changed a key since, unaware of the exact one: its choice counts.
        Defaults rewritten(path);
        rewritten.setString(u"customShiftUpKey"_s, u"F5"_s);
        QCOMPARE(rig.service.customShiftKey(KeyboardAction::shiftUp).name(), u"F5"_s);
    }

    // What this version writes is the later file's form: earlier versions keep reading it.
    void whatThisVersionWritesEarlierVersionsRead()
    {
        const QString path = m_dir.filePath(u"written.conf"_s);
        {
            ProfileRig rig(path);
            rig.service.setAction(1, KeyboardAction::shiftDown);
            rig.service.setRepeatCount(1, 2);
            rig.service.setRepeatCount(2, 3);
            rig.service.setButtonKey(3, *VirtualKey::fromName(u"F5"_s));
            rig.service.setRepeatCount(3, 2);
            rig.service.setAction(4, KeyboardAction::key);
        }
        QCOMPARE(storedConfigs(path), storedConfigs(copyOf(u"settings-with-trainer-apps.conf"_s, m_dir)));
    }

    void keypadKeysAreWrittenInTheFormEarlierVersionsRead()
    {
        const QString path = m_dir.filePath(u"written-with-keypad-keys.conf"_s);
        {
            ProfileRig rig(path);
            rig.service.setTrainerApp(*TrainerApp::find(u"tpv"_s));
            rig.service.setCustomShiftKey(KeyboardAction::shiftUp, *VirtualKey::fromName(u"KP_Enter"_s));
            rig.service.setCustomShiftKey(KeyboardAction::shiftDown, *VirtualKey::fromName(u"KP_Subtract"_s));
            rig.service.setButtonKey(3, *VirtualKey::fromName(u"KP_Subtract"_s));
            rig.service.setButtonKey(4, *VirtualKey::fromName(u"KP_Add"_s));
            rig.service.setRepeatCount(4, 2);
        }
        const QString golden = copyOf(u"settings-with-keypad-keys.conf"_s, m_dir);
        QCOMPARE(storedConfigs(path), storedConfigs(golden));
        const Defaults written(path), expected(golden);
        for (const char* setting : {"trainerApp", "customShiftUpKey", "customShiftUpExactKey",
                                    "customShiftDownKey", "customShiftDownExactKey"})
            QCOMPARE(written.stringValue(QLatin1String(setting)),
                     expected.stringValue(QLatin1String(setting)));

        // A key earlier versions know again: no exact key is left behind to override it.
        ProfileRig rig(path);
        rig.service.setCustomShiftKey(KeyboardAction::shiftUp, VirtualKey::period());
        QVERIFY(!written.stringValue(u"customShiftUpExactKey"_s));
        QCOMPARE(rig.service.customShiftKey(KeyboardAction::shiftUp), VirtualKey::period());
    }
};

COGWISE_TEST(tst_ProfileCompatibility)
#include "tst_ProfileCompatibility.moc"
