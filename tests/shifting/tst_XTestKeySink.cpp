#include "shifting/keysinks/XTestKeySink.h"
#include "support/DebugLogRecorder.h"
#include "support/FocusedXClient.h"
#include "support/TestRegistry.h"
#include "support/XvfbServer.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int timeoutMs = 10000;

// Posts one press of each key and returns what the client saw.
QStringList typeInto(FocusedXClient& client, KeySink& sink, const QList<VirtualKey>& keys)
{
    for (const VirtualKey& key : keys) {
        if (!sink.post(key, KeyDirection::down) || !sink.post(key, KeyDirection::up))
            return {key.name() + u": "_s + sink.lastError()};
    }
    return client.receiveKeys(int(keys.size()) * 2, timeoutMs);
}

} // namespace

// The real XTest sink typing into a real X client.
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

    // On a German layout Y and Z trade places: the rider chooses which one a "y" is.
    void theLayoutChoiceDecidesOnOtherLayouts()
    {
        XvfbServer server;
        QVERIFY(!server.start());
        FocusedXClient client(server.displayName());
        QVERIFY(client.takeFocus(timeoutMs));
        XTestKeySink sink(server.displayName());
        // Switched while Cogwise runs, as a rider may.
        QVERIFY(server.useGermanKeys());
        const VirtualKey y = *VirtualKey::fromName(u"y"_s);
        const VirtualKey slash = *VirtualKey::fromName(u"slash"_s);

        QCOMPARE(sink.keyMatching(), KeyMatching::character);
        const QStringList shiftedSlash{u"Shift_L down"_s, u"slash down"_s, u"slash up"_s, u"Shift_L up"_s};
        QCOMPARE(typeInto(client, sink, {y, slash}), FocusedXClient::pressesOf(u"y"_s, 1) + shiftedSlash);
        QVERIFY(!sink.setKeyMatching(KeyMatching::physicalKey));
        QCOMPARE(typeInto(client, sink, {y}), FocusedXClient::pressesOf(u"z"_s, 1));
    }

    // No display at all, or XWayland stopped or the display closed mid-ride: Cogwise lives on,
    // says why once, and the keys fail instead of ending the process as Xlib would.
    void theXServerGoingAwayEndsOnlyTheKeys()
    {
        XTestKeySink nowhere(":4095");
        QVERIFY(!nowhere.canPostKeys());
        QVERIFY2(nowhere.unavailableReason()->contains(u"no X display"_s),
                 qPrintable(*nowhere.unavailableReason()));
        QVERIFY(!nowhere.post(VirtualKey::comma(), KeyDirection::down));

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
        QVERIFY(
            recorder.lines().contains(u"X11ConnectionLoss: The connection to the X display %1 broke"_s.arg(
                QString::fromLatin1(display))));

        // A display without XTEST stays open unused; closing it after its server went is no end either.
        server = std::make_unique<XvfbServer>();
        QVERIFY(!server->start(QSize(320, 240), {u"-extension"_s, u"XTEST"_s}));
        auto withoutXTest = std::make_unique<XTestKeySink>(server->displayName());
        QVERIFY(!withoutXTest->canPostKeys());
        server.reset();
        withoutXTest.reset();
    }
};

COGWISE_TEST(tst_XTestKeySink)
#include "tst_XTestKeySink.moc"
