#include "diagnostics/DebugLogService.h"
#include "platform/Defaults.h"
#include "shifting/UserDefaultsManager.h"
#include "support/DebugLogRecorder.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QDateTime dayTwo(QDate(2001, 1, 2), QTime(0, 0), Qt::UTC);
const QByteArray buttonOneShiftsUp = "{\"1\":{\"action\":\"shift_up\",\"repeatCount\":2}}";

QByteArray storedJson(const QByteArray& buttonConfigs,
                      const QByteArray& id = "E621E1F8-C36C-495A-93FC-0C247A3E6E5F")
{
    return "{\"id\":\"" + id + "\",\"name\":\"Race\",\"buttonConfigs\":" + buttonConfigs +
           ",\"createdAt\":86400,\"updatedAt\":86400.5}";
}

} // namespace

class tst_UserDefaultsManager : public QObject
{
    Q_OBJECT

    ScratchDir m_files;
    std::unique_ptr<Defaults> m_defaults;
    std::unique_ptr<UserDefaultsManager> m_store;
    QDateTime m_now;

private Q_SLOTS:
    void init()
    {
        m_defaults = std::make_unique<Defaults>(m_files.testFile());
        m_store = std::make_unique<UserDefaultsManager>(*m_defaults);
        m_now = dayTwo;
        m_store->setClock([this] { return m_now; });
    }

    void freshInstallCreatesAndWritesTheDefault()
    {
        DebugLogRecorder recorder;
        const ButtonProfile created = m_store->loadOrCreateProfile();
        QCOMPARE(created.name, u"Default"_s);
        QCOMPARE(created.buttonConfigs, defaultButtonConfigs());
        recorder.settle();
        QCOMPARE(recorder.lines(), (QStringList{u"Storage: Saved button profile: Default"_s,
                                                u"Storage: Created new default button profile"_s}));

        // The exact stored bytes: compact JSON, upper-case id, reference-date seconds.
        const QByteArray bytes = *m_defaults->dataValue(u"activeButtonProfile"_s);
        QVERIFY(!bytes.contains(' ') && !bytes.contains('\n'));
        const QJsonObject json = QJsonDocument::fromJson(bytes).object();
        QCOMPARE(json.value(u"id"_s).toString(), created.id.toString(QUuid::WithoutBraces).toUpper());
        QCOMPARE(json.value(u"createdAt"_s).toDouble(), 86400.0);

        recorder.entries.clear();
        QCOMPARE(m_store->loadOrCreateProfile().id, created.id);
        recorder.settle();
        QCOMPARE(recorder.lines(), QStringList{u"Storage: Loaded existing button profile: Default"_s});
    }

    void roundTripKeepsEverything()
    {
        ButtonProfile profile{QUuid::createUuid(),
                              u"Sprint \"é\""_s,
                              {{1, {KeyboardAction::shiftUp, 3}}, {7, {KeyboardAction::none, 10}}},
                              dayTwo.addMSecs(123),
                              dayTwo.addDays(400).addMSecs(999)};
        m_store->setStoredButtonProfile(profile);
        QCOMPARE(UserDefaultsManager(*m_defaults).storedButtonProfile(), std::optional(profile));
    }

    void changesThroughOneHolderReachAnother()
    {
        UserDefaultsManager other(*m_defaults);
        other.setClock([this] { return m_now; });
        const ButtonProfile before = m_store->loadOrCreateProfile();
        m_now = dayTwo.addSecs(60);
        other.updateButtonConfig(5, {KeyboardAction::shiftUp, 3});
        const ButtonProfile after = m_store->loadOrCreateProfile();
        QCOMPARE(after.buttonConfigs.value(5), (ButtonConfig{KeyboardAction::shiftUp, 3}));
        QCOMPARE(after.id, before.id);
        QCOMPARE(after.createdAt, before.createdAt);
        QCOMPARE(after.updatedAt, dayTwo.addSecs(60));
    }

    void extraButtonsSurviveUpdatesButNotAReset()
    {
        m_defaults->setData(u"activeButtonProfile"_s,
                            storedJson("{\"1\":{\"action\":\"shift_up\",\"repeatCount\":2},"
                                       "\"7\":{\"action\":\"shift_down\",\"repeatCount\":4}}"));
        m_store->updateButtonConfig(2, {KeyboardAction::shiftDown, 1});
        QVERIFY(m_store->loadOrCreateProfile().buttonConfigs.contains(7));

        DebugLogRecorder recorder;
        m_store->resetProfileToDefaults();
        const ButtonProfile reset = m_store->loadOrCreateProfile();
        QCOMPARE(reset.buttonConfigs, defaultButtonConfigs());
        QCOMPARE(reset.name, u"Race"_s);
        recorder.settle();
        QVERIFY(recorder.lines().contains(u"Storage: Reset button profile to defaults"_s));
    }

    void unreadableProfileIsReplacedButKept_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("reason");

        QTest::newRow("not JSON") << QByteArray("{\"id\": oops") << u"not valid JSON"_s;
        QTest::newRow("not an object") << QByteArray("[1,2]") << u"not a JSON object"_s;
        QTest::newRow("missing member")
            << QByteArray("{\"id\":\"E621E1F8-C36C-495A-93FC-0C247A3E6E5F\"}") << u"\"name\" is missing"_s;
        QTest::newRow("wrong type") << storedJson("[]") << u"\"buttonConfigs\" is not an object"_s;
        QTest::newRow("fractional count") << storedJson("{\"1\":{\"action\":\"none\",\"repeatCount\":1.5}}")
                                          << u"repeatCount\" is not an integer"_s;
        QTest::newRow("bad UUID") << storedJson(buttonOneShiftsUp, "E621E1F8-C36C-495A-93FC-0C247A3E6EZZ")
                                  << u"\"id\" is not a UUID"_s;
        QTest::newRow("button key of letters")
            << storedJson("{\"one\":{\"action\":\"none\",\"repeatCount\":1}}")
            << u"\"one\" is not a decimal integer"_s;
        QTest::newRow("unknown action")
            << storedJson("{\"1\":{\"action\":\"jump\",\"repeatCount\":1}}") << u"Unknown action \"jump\""_s;
        QTest::newRow("date out of range")
            << QByteArray(storedJson(buttonOneShiftsUp)).replace("86400.5", "1e300")
            << u"\"updatedAt\" is not a date"_s;
    }

    void unreadableProfileIsReplacedButKept()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, reason);

        m_defaults->setData(u"activeButtonProfile"_s, stored);
        DebugLogRecorder recorder;
        QCOMPARE(m_store->storedButtonProfile(), std::nullopt);
        const ButtonProfile replaced = m_store->loadOrCreateProfile();
        recorder.settle();

        QCOMPARE(replaced.name, u"Default"_s);
        QCOMPARE(replaced.buttonConfigs, defaultButtonConfigs());
        QCOMPARE(m_defaults->dataValue(u"activeButtonProfile.corrupt"_s), std::optional(stored));
        QCOMPARE(m_store->storedButtonProfile(), std::optional(replaced));

        const auto failures = recorder.entries.size();
        QVERIFY(failures > 0);
        const DebugLogEntry& error = recorder.entries.constFirst();
        QCOMPARE(error.level, DebugLogLevel::error);
        QCOMPARE(error.category, u"Storage"_s);
        QVERIFY2(error.message.startsWith(u"Failed to decode button profile: "_s) &&
                     error.message.contains(reason),
                 qPrintable(error.message));
    }

    // However the value was spelled in the file, nothing of it is lost: a hand-written profile
    // is read, anything else is kept word for word under ".corrupt".
    void storedFormsOtherThanBytes_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("name"); // of the profile read; empty: the default replaced it
        QTest::addColumn<QString>("copy"); // kept under activeButtonProfile.corrupt
        QTest::newRow("JSON by hand, split at its commas")
            << QByteArray("activeButtonProfile=" + storedJson(buttonOneShiftsUp)) << u"Race"_s << QString();
        QTest::newRow("a list") << QByteArray("activeButtonProfile=a, b, c") << QString() << u"a, b, c"_s;
        QTest::newRow("a damaged variant") << QByteArray("activeButtonProfile=@Variant(\\0\\0garbage)")
                                           << QString() << u"@Variant(\\0\\0garbage)"_s;
    }
    void storedFormsOtherThanBytes()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, name);
        QFETCH(QString, copy);
        const QString path = m_files.filePath(u"forms.conf"_s);
        QVERIFY(ScratchDir::write(path, "[General]\n" + line + "\ninitialVirtualGear=@Variant(garbage)\n"));

        DebugLogRecorder::settle();
        DebugLogRecorder recorder;
        Defaults defaults(path);
        UserDefaultsManager store(defaults);
        const ButtonProfile profile = store.loadOrCreateProfile();
        recorder.settle();
        // What was set aside is named in the log.
        QCOMPARE(recorder.lines().filter(u"under activeButtonProfile.corrupt"_s).isEmpty(), copy.isEmpty());
        QCOMPARE(profile.name, name.isEmpty() ? u"Default"_s : name);
        if (!name.isEmpty())
            QCOMPARE(profile.buttonConfigs.value(1), (ButtonConfig{KeyboardAction::shiftUp, 2}));
        Defaults reopened(path);
        QCOMPARE(reopened.stringValue(u"activeButtonProfile.corrupt"_s),
                 copy.isEmpty() ? std::nullopt : std::optional(copy));
        // A gear that could not be decoded reads as the default and keeps its text too.
        QCOMPARE(UserDefaultsManager(reopened).initialVirtualGear(), UserDefaultsManager::defaultInitialGear);
        QCOMPARE(reopened.stringValue(u"initialVirtualGear.corrupt"_s), u"@Variant(garbage)"_s);
    }

    void invalidDatesAreNotWritten()
    {
        const ButtonProfile good = m_store->loadOrCreateProfile();
        ButtonProfile bad = good;
        bad.updatedAt = QDateTime();
        DebugLogRecorder::settle();
        DebugLogRecorder recorder;
        m_store->setStoredButtonProfile(bad);
        recorder.settle();
        QCOMPARE(m_store->storedButtonProfile(), std::optional(good));
        QCOMPARE(recorder.lines().filter(u"Storage: Failed to encode button profile: "_s).size(), 1);
        QVERIFY(recorder.lines().filter(u"Saved button profile"_s).isEmpty());
    }
};

COGWISE_TEST(tst_UserDefaultsManager)
#include "tst_UserDefaultsManager.moc"
