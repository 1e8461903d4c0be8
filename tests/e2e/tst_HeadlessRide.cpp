#include "platform/Defaults.h"
#include "shifting/UserDefaultsManager.h"
#include "support/FocusedXClient.h"
#include "support/TestRegistry.h"
#include "support/XvfbServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int timeoutMs = 60000;

} // namespace

// The cogwise executable, headless, on a simulated ride: its keys reach a real X client.
class tst_HeadlessRide : public QObject
{
    Q_OBJECT

    XvfbServer m_server;
    QTemporaryDir m_home;

    QString settingsPath() const { return m_home.filePath(QStringLiteral("config/Cogwise/Cogwise.conf")); }

    struct Run
    {
        int exitCode = -1;
        QString out;
    };

    Run ride(const QStringList& extraArguments)
    {
        const QString capture = m_home.filePath(QStringLiteral("ride.capture"));
        QFile file(capture);
        if (file.open(QIODevice::WriteOnly)) {
            // The counters as they stand, then one press of each button in turn.
            file.write("0 2AC2 0A03000700\n"
                       "80 2AC2 0B04000700\n"
                       "160 2AC2 0C04010700\n"
                       "240 2AC2 0D04010800\n"
                       "320 2AC2 0E04010801\n");
        }
        file.close();

        QProcess cogwise;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_server.displayName()));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
        environment.insert(QStringLiteral("COGWISE_KEY_SINK"), QStringLiteral("xtest"));
        environment.insert(QStringLiteral("COGWISE_TELEMETRY_URL"),
                           QStringLiteral("http://127.0.0.1:9/")); // nobody there
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("cogwise*.info=false"));
        cogwise.setProcessEnvironment(environment);
        cogwise.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QSignalSpy finished(&cogwise, &QProcess::finished);
        cogwise.start(QStringLiteral(COGWISE_BINARY),
                      QStringList{QStringLiteral("--headless"), QStringLiteral("--simulate=") + capture} +
                          extraArguments);
        if (!finished.wait(timeoutMs)) {
            cogwise.kill();
            cogwise.waitForFinished();
            return {};
        }
        return {cogwise.exitCode(), QString::fromUtf8(cogwise.readAllStandardOutput())};
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!XvfbServer::isInstalled())
            QSKIP("Xvfb is not installed (scripts/install-deps installs it)");
        const auto error = m_server.start();
        QVERIFY2(!error, qPrintable(error.value_or(QString())));

        QDir().mkpath(QFileInfo(settingsPath()).absolutePath());
        Defaults defaults(settingsPath());
        UserDefaultsManager storage(defaults);
        storage.updateButtonConfig(1, {KeyboardAction::shiftUp, 2});
        storage.updateButtonConfig(2, {KeyboardAction::shiftDown, 1});
        storage.updateButtonConfig(3, {KeyboardAction::shiftUp, 1});
        storage.updateButtonConfig(4, {KeyboardAction::shiftDown, 3});
    }

    void pressesOfAllFourButtonsArriveAsKeys()
    {
        FocusedXClient client(m_server.displayName());
        QVERIFY(client.takeFocus(timeoutMs));
        const Run run = ride({QStringLiteral("--enable-keys")});
        QCOMPARE(run.exitCode, 0);

        const QStringList expected = FocusedXClient::pressesOf(QStringLiteral("period"), 2) +
                                     FocusedXClient::pressesOf(QStringLiteral("comma"), 1) +
                                     FocusedXClient::pressesOf(QStringLiteral("period"), 1) +
                                     FocusedXClient::pressesOf(QStringLiteral("comma"), 3);
        QCOMPARE(client.receiveKeys(expected.size(), timeoutMs), expected);

        static const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} "));
        QStringList keyboardLines;
        for (const QString& line : run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            QVERIFY2(stamp.match(line).hasMatch(), qPrintable(line));
            if (line.contains(QStringLiteral("Keyboard:")))
                keyboardLines.append(line.mid(13));
        }
        QCOMPARE(keyboardLines, (QStringList{QStringLiteral("Keyboard: Shift Up x2 → Gear 15"),
                                             QStringLiteral("Keyboard: Shift Down → Gear 14"),
                                             QStringLiteral("Keyboard: Shift Up → Gear 15"),
                                             QStringLiteral("Keyboard: Shift Down x3 → Gear 12")}));
    }

    // What a simulated session saves (its unit as the rider's, the switch) stays in its own copy.
    void aSimulatedRideLeavesTheRidersSettingsAlone()
    {
        const QString riderUnit = QStringLiteral("00000000-0000-0000-0000-E35A11223344");
        Defaults(settingsPath()).setString(QStringLiteral("lastConnectedDeviceUUID"), riderUnit);
        const QByteArray before = [this] {
            QFile file(settingsPath());
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        const Run run = ride(
            {QStringLiteral("--enable-keys"), QStringLiteral("--trainer-app"), QStringLiteral("mywhoosh")});
        QCOMPARE(run.exitCode, 0);
        QFile after(settingsPath());
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), before);
        Defaults simulated(m_home.filePath(QStringLiteral("config/Cogwise/Cogwise-simulated.conf")));
        QCOMPARE(simulated.stringValue(QStringLiteral("trainerApp")), QStringLiteral("mywhoosh"));
        QVERIFY(simulated.stringValue(QStringLiteral("lastConnectedDeviceUUID")) != riderUnit);
    }

    void nothingArrivesWithEmulationOff()
    {
        Defaults(settingsPath()).setBool(QStringLiteral("enableKeyboardEmulation"), false);
        FocusedXClient client(m_server.displayName());
        QVERIFY(client.takeFocus(timeoutMs));
        const Run run = ride({});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(client.receiveKeys(0, 0), QStringList());
        QVERIFY(!run.out.contains(QStringLiteral("Keyboard:")));
    }
};

COGWISE_TEST(tst_HeadlessRide)
#include "tst_HeadlessRide.moc"
