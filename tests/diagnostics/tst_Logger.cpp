#include "diagnostics/DebugLogService.h"
#include "diagnostics/Logger.h"
#include "diagnostics/QueuedWork.h"
#include "platform/SystemLog.h"
#include "support/TestRegistry.h"

#include <QLoggingCategory>
#include <QTest>

using namespace Qt::StringLiterals;

using Level = SystemLog::Level;
using Lines = QList<std::pair<Level, QString>>;
using LogCall = void (Logger::*)(const QString&, const QString&);
Q_DECLARE_METATYPE(LogCall)

// Keeps what would have reached the system log, after redaction. Written on the logger's
// thread: read it only once the logger has settled.
class RecordingSystemLog final : public SystemLog
{
public:
    Lines lines;

protected:
    void writeLine(Level level, const QLoggingCategory&, const QString& text) override
    {
        lines.append({level, text});
    }
};

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

private Q_SLOTS:
    void init() { QLoggingCategory::setFilterRules(u"cogwise*.debug=true"_s); }
    void cleanup() { QLoggingCategory::setFilterRules(QString()); }

    void writesBothLogs_data()
    {
        QTest::addColumn<LogCall>("log");
        QTest::addColumn<Level>("level");
        QTest::addColumn<QString>("category");
        QTest::addColumn<DebugLogLevel>("entryLevel");
        QTest::addColumn<QString>("entryCategory");
        QTest::addColumn<QString>("systemText");

        const QString redacted = SystemLog::redactedText();
        QTest::newRow("debug") << &Logger::logDebug << Level::debug << u"DI2Parser"_s << DebugLogLevel::debug
                               << u"DI2Parser"_s << redacted;
        QTest::newRow("info is public, with its category in brackets")
            << &Logger::logInfo << Level::info << u"DI2Parser"_s << DebugLogLevel::info << u"DI2Parser"_s
            << u"[DI2Parser] Battery level: 50%"_s;
        QTest::newRow("info without category")
            << &Logger::logInfo << Level::info << QString() << DebugLogLevel::info << u"General"_s
            << u"Battery level: 50%"_s;
        QTest::newRow("default becomes info") << &Logger::logDefault << Level::notice << u"DI2Parser"_s
                                              << DebugLogLevel::info << u"DI2Parser"_s << redacted;
        QTest::newRow("error") << &Logger::logError << Level::error << QString() << DebugLogLevel::error
                               << u"General"_s << redacted;
    }

    void writesBothLogs()
    {
        QFETCH(LogCall, log);
        QFETCH(Level, level);
        QFETCH(QString, category);
        QFETCH(DebugLogLevel, entryLevel);
        QFETCH(QString, entryCategory);
        QFETCH(QString, systemText);

        Rig rig;
        (rig.logger.*log)(u"Battery level: 50%"_s, category);
        rig.settle();

        QCOMPARE(rig.debugLog.entries().size(), 1);
        const DebugLogEntry& entry = rig.debugLog.entries().constFirst();
        QCOMPARE(entry.message, u"Battery level: 50%"_s);
        QCOMPARE(entry.category, entryCategory);
        QCOMPARE(entry.level, entryLevel);
        QVERIFY(!entry.details);
        QCOMPARE(rig.systemLog->lines, (Lines{{level, systemText}}));
    }

    // The debug log keeps every line; the system log only the debug lines the rules turn on, in
    // the clear where private text is shown.
    void debugLinesReachTheSystemLogOnlyWhereEnabled_data()
    {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<Lines>("lines");
        const std::pair<Level, QString> shown{Level::info, u"[DI2Parser] shown"_s};
        QTest::newRow("off") << u"cogwise*.debug=false"_s << QList{shown};
        QTest::newRow("on for one subsystem")
            << u"cogwise*.debug=false\ncogwise.bluetooth.debug=true"_s
            << Lines{{Level::debug, u"[BLEConnectionManager] Discovered peripheral"_s},
                     {Level::debug, u"[ConnectionService] Channel state"_s},
                     shown};
    }

    void debugLinesReachTheSystemLogOnlyWhereEnabled()
    {
        QFETCH(QString, rules);
        QFETCH(Lines, lines);
        QLoggingCategory::setFilterRules(rules);
        Rig rig(true);
        rig.logger.logDebug(u"Keep-alive received"_s, u"DI2Parser"_s);
        rig.logger.logDebug(u"Discovered peripheral"_s, u"BLEConnectionManager"_s);
        rig.logger.logDebug(u"Channel state"_s, u"ConnectionService"_s);
        rig.logger.logInfo(u"shown"_s, u"DI2Parser"_s);
        rig.settle();
        QCOMPARE(rig.debugLog.entries().size(), 4);
        QCOMPARE(rig.systemLog->lines, lines);
    }

    void disabledLoggerWritesNothing()
    {
        Rig rig;
        rig.logger.setLoggingEnabled(false);
        rig.logger.logError(u"dropped"_s, u"Test"_s);
        rig.settle();
        QVERIFY(rig.debugLog.entries().isEmpty());
        QVERIFY(rig.systemLog->lines.isEmpty());
    }
};

COGWISE_TEST(tst_Logger)
#include "tst_Logger.moc"
