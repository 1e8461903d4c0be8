#include "diagnostics/DebugLogService.h"
#include "diagnostics/Logger.h"
#include "diagnostics/QueuedWork.h"
#include "fakes/RecordingSystemLog.h"
#include "support/TestRegistry.h"

#include <QLoggingCategory>
#include <QTest>

using Level = SystemLog::Level;

class tst_Logger : public QObject
{
    Q_OBJECT

    struct Rig
    {
        explicit Rig(bool showsPrivate = false)
            : systemLog(new RecordingSystemLog)
            , logger(debugLog, std::unique_ptr<SystemLog>(systemLog))
        {
            systemLog->setShowsPrivateText(showsPrivate);
        }
        void settle() { QueuedWork::settle(logger, debugLog); }

        DebugLogService debugLog;
        RecordingSystemLog* systemLog; // owned by logger
        Logger logger;
    };

    static void logAt(Logger& logger, Level level, const QString& message, const QString& category)
    {
        switch (level) {
        case Level::debug:
            return logger.logDebug(message, category);
        case Level::info:
            return logger.logInfo(message, category);
        case Level::notice:
            return logger.logDefault(message, category);
        case Level::error:
            return logger.logError(message, category);
        }
    }

private Q_SLOTS:
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("cogwise*.debug=true")); }
    void cleanup() { QLoggingCategory::setFilterRules(QString()); }

    void writesBothLogs_data()
    {
        QTest::addColumn<Level>("level");
        QTest::addColumn<QString>("category");
        QTest::addColumn<DebugLogLevel>("entryLevel");
        QTest::addColumn<QString>("entryCategory");
        QTest::addColumn<QString>("systemText");

        const QString redacted = SystemLog::redactedText();
        QTest::newRow("debug") << Level::debug << QStringLiteral("DI2Parser") << DebugLogLevel::debug
                               << QStringLiteral("DI2Parser") << redacted;
        QTest::newRow("info is public, with its category in brackets")
            << Level::info << QStringLiteral("DI2Parser") << DebugLogLevel::info
            << QStringLiteral("DI2Parser") << QStringLiteral("[DI2Parser] Battery level: 50%");
        QTest::newRow("info without category")
            << Level::info << QString() << DebugLogLevel::info << QStringLiteral("General")
            << QStringLiteral("Battery level: 50%");
        QTest::newRow("default becomes info")
            << Level::notice << QStringLiteral("DI2Parser") << DebugLogLevel::info
            << QStringLiteral("DI2Parser") << redacted;
        QTest::newRow("error") << Level::error << QString() << DebugLogLevel::error
                               << QStringLiteral("General") << redacted;
    }

    void writesBothLogs()
    {
        QFETCH(Level, level);
        QFETCH(QString, category);
        QFETCH(DebugLogLevel, entryLevel);
        QFETCH(QString, entryCategory);
        QFETCH(QString, systemText);

        Rig rig;
        logAt(rig.logger, level, QStringLiteral("Battery level: 50%"), category);
        rig.settle();

        QCOMPARE(rig.debugLog.entries().size(), 1);
        const DebugLogEntry& entry = rig.debugLog.entries().constFirst();
        QCOMPARE(entry.message, QStringLiteral("Battery level: 50%"));
        QCOMPARE(entry.category, entryCategory);
        QCOMPARE(entry.level, entryLevel);
        QVERIFY(!entry.details);
        QCOMPARE(rig.systemLog->lines, (QList<std::pair<Level, QString>>{{level, systemText}}));
    }

    void privateLoggingShowsEveryLine()
    {
        Rig rig(true);
        rig.logger.logError(QStringLiteral("Failed"), QStringLiteral("Storage"));
        rig.settle();
        QCOMPARE(rig.systemLog->lines.constFirst().second, QStringLiteral("[Storage] Failed"));
    }

    void debugLinesStayOutOfTheSystemLogUnlessEnabled()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("cogwise*.debug=false"));
        Rig rig(true);
        rig.logger.logDebug(QStringLiteral("Keep-alive received"), QStringLiteral("DI2Parser"));
        rig.logger.logInfo(QStringLiteral("shown"), QStringLiteral("DI2Parser"));
        rig.settle();
        QCOMPARE(rig.debugLog.entries().size(), 2);
        QCOMPARE(rig.systemLog->lines,
                 (QList<std::pair<Level, QString>>{{Level::info, QStringLiteral("[DI2Parser] shown")}}));
    }

    void debugLinesCanBeTurnedOnForOneSubsystem()
    {
        QLoggingCategory::setFilterRules(
            QStringLiteral("cogwise*.debug=false\ncogwise.bluetooth.debug=true"));
        Rig rig(true);
        rig.logger.logDebug(QStringLiteral("Keep-alive received"), QStringLiteral("DI2Parser"));
        rig.logger.logDebug(QStringLiteral("Discovered peripheral"), QStringLiteral("BLEConnectionManager"));
        rig.logger.logDebug(QStringLiteral("Channel state"), QStringLiteral("ConnectionService"));
        rig.settle();
        QCOMPARE(rig.systemLog->lines,
                 (QList<std::pair<Level, QString>>{
                     {Level::debug, QStringLiteral("[BLEConnectionManager] Discovered peripheral")},
                     {Level::debug, QStringLiteral("[ConnectionService] Channel state")}}));
    }

    void disabledLoggerWritesNothing()
    {
        Rig rig;
        rig.logger.setLoggingEnabled(false);
        rig.logger.logError(QStringLiteral("dropped"), QStringLiteral("Test"));
        rig.settle();
        QVERIFY(rig.debugLog.entries().isEmpty());
        QVERIFY(rig.systemLog->lines.isEmpty());
    }
};

COGWISE_TEST(tst_Logger)
#include "tst_Logger.moc"
