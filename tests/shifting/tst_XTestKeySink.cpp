#include "platform/Defaults.h"
#include "shifting/Di2ToKeyboardBridge.h"
#include "shifting/UserDefaultsManager.h"
#include "shifting/keysinks/XTestKeySink.h"
#include "support/DebugLogRecorder.h"
#include "support/FocusedXClient.h"
#include "support/TestRegistry.h"
#include "support/XvfbServer.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int timeoutMs = 10000;

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
