#include "platform/Defaults.h"
#include "shifting/Di2ToKeyboardBridge.h"
#include "shifting/TrainerApp.h"
#include "shifting/UserDefaultsManager.h"
#include "shifting/keysinks/XTestKeySink.h"
#include "support/DebugLogRecorder.h"
#include "support/FocusedXClient.h"
#include "support/TestRegistry.h"
#include "support/XvfbServer.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int timeoutMs = 10000;

// What a German layout does to the keys the tests use: Y and Z trade places, "/" is Shift+7.
bool useGermanKeys(const XvfbServer& server)
{
    return server.remapKeys(
        {{29, {"z", "Z"}}, {52, {"y", "Y"}}, {16, {"7", "slash"}}, {61, {"minus", "underscore"}}});
}

// Posts one press of each key and returns what the client saw.
QStringList typeInto(FocusedXClient& client, KeySink& sink, const QList<VirtualKey>& keys)
{
    for (const VirtualKey& key : keys) {
        if (!sink.post(key, KeyDirection::down) || !sink.post(key, KeyDirection::up))
            return {key.name() + QStringLiteral(": ") + sink.lastError()};
    }
    return client.receiveKeys(int(keys.size()) * 2, timeoutMs);
}

} // namespace

// The real XTest sink, driven by the real bridge, typing into a real X client.
class tst_XTestKeySink : public QObject
{
    Q_OBJECT

    XvfbServer m_server;

private Q_SLOTS:
    void initTestCase()
    {
        if (!XvfbServer::isInstalled())
            QSKIP("Xvfb is not installed (scripts/install-deps installs it)");
        const auto error = m_server.start();
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
    }

    void focusedApplicationReceivesTheMappedKeys()
    {
        FocusedXClient client(m_server.displayName());
        QVERIFY(client.isConnected());
        QVERIFY(client.takeFocus(timeoutMs));

        QTemporaryDir dir;
        Defaults defaults(dir.filePath(QStringLiteral("Cogwise.conf")));
        UserDefaultsManager storage(defaults);
        XTestKeySink sink(m_server.displayName());
        QVERIFY2(sink.canPostKeys(), qPrintable(sink.unavailableReason().value_or(QString())));
        Di2ToKeyboardBridge bridge(storage, sink);
        bridge.setRepeatCount(1, 2);
        bridge.setRepeatCount(2, 3);
        bridge.setEnabled(true);

        bridge.handleButtonPress(1);
        bridge.handleButtonPress(2);
        bridge.handleButtonPress(3); // mapped to nothing
        const QStringList expected = FocusedXClient::pressesOf(QStringLiteral("comma"), 2) +
                                     FocusedXClient::pressesOf(QStringLiteral("period"), 3);
        // The repeats follow on timers: keep the event loop turning while the keys are awaited.
        QStringList keys;
        QTRY_VERIFY_WITH_TIMEOUT((keys += client.receiveKeys(1, 0), keys.size() >= expected.size()),
                                 timeoutMs);
        QCOMPARE(keys, expected);
        DebugLogRecorder::settle();
    }

    // Both ways of finding a key agree on a US layout, for every key a rider can pick: the
    // catalogue's names and the physical codes are the keys' own.
    // Keypad digits are digits only with Num Lock on, as on a real keypad.
    void everyPickableKeyArrivesAsItself_data()
    {
        QTest::addColumn<KeyMatching>("matching");
        QTest::newRow("character") << KeyMatching::character;
        QTest::newRow("physical key") << KeyMatching::physicalKey;
    }
    void everyPickableKeyArrivesAsItself()
    {
        QFETCH(KeyMatching, matching);
        FocusedXClient client(m_server.displayName());
        QVERIFY(client.takeFocus(timeoutMs));
        QVERIFY(m_server.setNumLock(true));
        const auto unlock = qScopeGuard([this] { m_server.setNumLock(false); });
        XTestKeySink sink(m_server.displayName());
        QVERIFY(!sink.setKeyMatching(matching));
        QList<VirtualKey> keys;
        QStringList expected;
        for (const VirtualKey::Info& info : VirtualKey::catalogue()) {
            keys.append(*VirtualKey::fromCode(info.code));
            expected += FocusedXClient::pressesOf(QString::fromLatin1(info.name), 1);
        }
        QCOMPARE(typeInto(client, sink, keys), expected);
    }

    // Each preset's shift keys reach the app in front, whichever way keys are matched.
    void everyPresetsShiftsArrive_data()
    {
        QTest::addColumn<QString>("app");
        QTest::addColumn<QString>("up");
        QTest::addColumn<QString>("down");
        const QList<QStringList> presets{
            {QStringLiteral("rouvy"), QStringLiteral("period"), QStringLiteral("comma")},
            {QStringLiteral("mywhoosh"), QStringLiteral("i"), QStringLiteral("k")},
            {QStringLiteral("tpv"), QStringLiteral("KP_Add"), QStringLiteral("KP_Subtract")},
            {QStringLiteral("maximumtrainer"), QStringLiteral("Up"), QStringLiteral("Down")},
            {QStringLiteral("goldencheetah"), QStringLiteral("KP_Add"), QStringLiteral("KP_Subtract")},
        };
        // Every preset is one of these rows.
        QCOMPARE(presets.size(), TrainerApp::all().size() - 1);
        for (const QStringList& preset : presets) {
            for (const char* matching : {"character", "physical key"})
                QTest::addRow("%s, %s", qPrintable(preset.at(0)), matching)
                    << preset.at(0) << preset.at(1) << preset.at(2);
        }
    }
    void everyPresetsShiftsArrive()
    {
        QFETCH(QString, app);
        QFETCH(QString, up);
        QFETCH(QString, down);
        FocusedXClient client(m_server.displayName());
        QVERIFY(client.takeFocus(timeoutMs));
        QTemporaryDir dir;
        Defaults defaults(dir.filePath(QStringLiteral("Cogwise.conf")));
        UserDefaultsManager storage(defaults);
        QVERIFY(TrainerApp::find(app));
        storage.setTrainerApp(*TrainerApp::find(app));
        XTestKeySink sink(m_server.displayName());
        if (QByteArray(QTest::currentDataTag()).endsWith("physical key"))
            QVERIFY(!sink.setKeyMatching(KeyMatching::physicalKey));
        Di2ToKeyboardBridge bridge(storage, sink);
        bridge.setEnabled(true);

        bridge.handleButtonPress(2);
        bridge.handleButtonPress(1);
        const QStringList expected = FocusedXClient::pressesOf(up, 1) + FocusedXClient::pressesOf(down, 1);
        QStringList keys;
        QTRY_VERIFY_WITH_TIMEOUT((keys += client.receiveKeys(1, 0), keys.size() >= expected.size()),
                                 timeoutMs);
        QCOMPARE(keys, expected);
        DebugLogRecorder::settle();
    }

    // On a German layout Y and Z trade places: the rider chooses which one a "y" is.
    void theLayoutChoiceDecidesOnOtherLayouts()
    {
        XvfbServer server;
        QVERIFY(!server.start());
        FocusedXClient client(server.displayName());
        QVERIFY(client.takeFocus(timeoutMs));
        XTestKeySink sink(server.displayName());
        // Switched while Cogwise runs, as a rider may.
        QVERIFY(useGermanKeys(server));
        const VirtualKey y = *VirtualKey::fromName(QStringLiteral("y"));
        const VirtualKey slash = *VirtualKey::fromName(QStringLiteral("slash"));

        QCOMPARE(sink.keyMatching(), KeyMatching::character);
        const QStringList shiftedSlash{QStringLiteral("Shift_L down"), QStringLiteral("slash down"),
                                       QStringLiteral("slash up"), QStringLiteral("Shift_L up")};
        QCOMPARE(typeInto(client, sink, {y, slash}),
                 FocusedXClient::pressesOf(QStringLiteral("y"), 1) + shiftedSlash);
        QVERIFY(!sink.setKeyMatching(KeyMatching::physicalKey));
        QCOMPARE(typeInto(client, sink, {y}), FocusedXClient::pressesOf(QStringLiteral("z"), 1));
    }

    // XWayland stopped or the display closed mid-ride: Cogwise lives on, says why once, and the
    // keys fail instead of ending the process as Xlib would.
    void theXServerGoingAwayEndsOnlyTheKeys()
    {
        auto server = std::make_unique<XvfbServer>();
        const auto error = server->start();
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        const QByteArray display = server->displayName();
        XTestKeySink sink(display);
        QVERIFY(sink.post(VirtualKey::period(), KeyDirection::down));
        QVERIFY(sink.post(VirtualKey::period(), KeyDirection::up));
        QSignalSpy news(&sink, &KeySink::changed);
        DebugLogRecorder recorder;

        server.reset();
        // A key or two may still fit the connection's buffer before the break is seen.
        QVERIFY(
            QTest::qWaitFor([&] { return !sink.post(VirtualKey::comma(), KeyDirection::down); }, timeoutMs));
        const QString reason = QStringLiteral("The X display %1 went away: Cogwise cannot type keys through "
                                              "XTest until it is restarted.")
                                   .arg(QString::fromLatin1(display));
        QCOMPARE(sink.unavailableReason(), reason);
        QCOMPARE(sink.lastError(), reason);
        QVERIFY(!sink.post(VirtualKey::comma(), KeyDirection::up));
        QTRY_COMPARE(news.size(), 1);
        QCOMPARE(news.first().first().toString(), reason);
        recorder.settle();
        QVERIFY(recorder.lines().contains(
            QStringLiteral("X11ConnectionLoss: The connection to the X display %1 broke")
                .arg(QString::fromLatin1(display))));

        // A display without XTEST stays open unused; closing it after its server went is no end either.
        server = std::make_unique<XvfbServer>();
        QVERIFY(!server->start(QSize(320, 240), {QStringLiteral("-extension"), QStringLiteral("XTEST")}));
        auto withoutXTest = std::make_unique<XTestKeySink>(server->displayName());
        QVERIFY(!withoutXTest->canPostKeys());
        server.reset();
        withoutXTest.reset();
    }

    void noDisplayMeansNoKeysAndAReason()
    {
        XTestKeySink sink(":4095");
        QVERIFY(!sink.canPostKeys());
        QVERIFY2(sink.unavailableReason()->contains(QStringLiteral("no X display")),
                 qPrintable(*sink.unavailableReason()));
        QVERIFY(!sink.post(VirtualKey::comma(), KeyDirection::down));
    }
};

COGWISE_TEST(tst_XTestKeySink)
#include "tst_XTestKeySink.moc"
