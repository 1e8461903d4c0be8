#include "diagnostics/DebugLogService.h"
#include "support/EnvironmentChange.h"
#include "support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QDateTime ride(QDate(2026, 3, 1), QTime(18, 4, 5, 123));

DebugLogEntry entry(DebugLogLevel level, std::optional<DebugLogDetails> details = std::nullopt)
{
    return DebugLogEntry{QUuid::createUuid(), ride, u"ButtonPress"_s, level, u"Button 2 press detected"_s,
                         std::move(details)};
}

} // namespace

class tst_DebugLogService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keepsTheNewest2000Entries()
    {
        DebugLogService service;
        QSignalSpy changed(&service, &DebugLogService::entriesChanged);
        for (int i = 1; i <= 2001; ++i)
            service.log(QString::number(i), u"Test"_s, DebugLogLevel::debug);
        QCOMPARE(service.entries().size(), 2000);
        QCOMPARE(service.entries().constFirst().message, u"2"_s);
        QCOMPARE(service.entries().constLast().message, u"2001"_s);
        QCOMPARE(changed.size(), 2001);

        for (int i = 2002; i <= 2500; ++i)
            service.log(QString::number(i), u"Test"_s, DebugLogLevel::debug);
        QCOMPARE(service.entries().size(), 2000);
        QCOMPARE(service.entries().constFirst().message, u"501"_s);
        QCOMPARE(service.appendedCount(), quint64(2500));
    }

    void ignoresEverythingWhileLoggingIsOff()
    {
        DebugLogService service;
        service.log(u"before"_s, u"Test"_s, DebugLogLevel::info);
        QSignalSpy toggled(&service, &DebugLogService::isLoggingEnabledChanged);
        service.setLoggingEnabled(false);
        service.setLoggingEnabled(false);
        QCOMPARE(toggled.size(), 1);

        service.log(u"during"_s, u"Test"_s, DebugLogLevel::info);
        service.logChannelData(QByteArray(5, '\0'), std::nullopt, {});
        QCOMPARE(service.entries().size(), 1);
        // The report still holds what came before.
        QVERIFY(service.exportText().endsWith(u"[Test] before"_s));
    }

    void channelData_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<std::optional<QByteArray>>("previous");
        QTest::addColumn<QList<int>>("buttons");
        QTest::addColumn<DebugLogDetails>("details");

        const QByteArray raw = QByteArray::fromHex("0A00010000");
        QTest::newRow("first packet")
            << raw << std::optional<QByteArray>() << QList<int>{}
            << DebugLogDetails{{u"rawData"_s, u"0A 00 01 00 00"_s}, {u"detectedButtons"_s, u"none"_s}};
        QTest::newRow("two presses") << raw << std::optional<QByteArray>(QByteArray::fromHex("FF00000000"))
                                     << QList<int>{1, 3}
                                     << DebugLogDetails{{u"rawData"_s, u"0A 00 01 00 00"_s},
                                                        {u"detectedButtons"_s, u"1, 3"_s},
                                                        {u"previousRawData"_s, u"FF 00 00 00 00"_s}};
    }

    void channelData()
    {
        QFETCH(QByteArray, raw);
        QFETCH(std::optional<QByteArray>, previous);
        QFETCH(QList<int>, buttons);
        QFETCH(DebugLogDetails, details);

        DebugLogService service;
        service.logChannelData(raw, previous, buttons);
        const DebugLogEntry& logged = service.entries().constLast();
        QCOMPARE(logged.message, u"Channel data received"_s);
        QCOMPARE(logged.category, u"Di2Channel"_s);
        QCOMPARE(logged.level, DebugLogLevel::debug);
        QCOMPARE(logged.details, std::optional(details));
    }

    void formatsEntries_data()
    {
        QTest::addColumn<DebugLogEntry>("entry");
        QTest::addColumn<QString>("text");

        const QString line = u"[2026-03-01 18:04:05.123] [%1] [ButtonPress] Button 2 press detected"_s;
        QTest::newRow("warning is spelled out") << entry(DebugLogLevel::warning) << line.arg(u"WARNING"_s);
        QTest::newRow("empty details make one line")
            << entry(DebugLogLevel::info, DebugLogDetails{}) << line.arg(u"INFO"_s);
    }

    void formatsEntries()
    {
        QFETCH(DebugLogEntry, entry);
        QFETCH(QString, text);
        QCOMPARE(DebugLogService::formatEntry(entry), text);
    }

    void reportListsEntriesOldestFirstBelowTheHeader()
    {
        DebugLogService service;
        service.setClock([] { return ride; });
        const QString rule = QString(80, QLatin1Char('='));
        const QString header = rule + u"\nCogwise Debug Logs\nGenerated: "_s +
                               QLocale::system().toString(ride, QLocale::LongFormat) +
                               u"\nTotal Entries: %1\n"_s + rule + u"\n"_s;
        QCOMPARE(service.exportText(), header.arg(0));
        service.log(u"first"_s, u"A"_s, DebugLogLevel::debug);
        service.log(u"second"_s, u"B"_s, DebugLogLevel::error,
                    DebugLogDetails{{u"k"_s, u"v"_s}, {u"n"_s, u"2"_s}});
        QCOMPARE(service.exportText(), header.arg(2) +
                                           u"[2026-03-01 18:04:05.123] [DEBUG] [A] first\n"
                                           "[2026-03-01 18:04:05.123] [ERROR] [B] second\n  k: v\n  n: 2"_s);
    }

    // The report names the rider's unit: only its owner may read it, whatever the umask, and
    // two exports of the same second never share a file. Discarded, nothing of it is left.
    void exportsTheReportAsAPrivateUtf8File()
    {
        QTemporaryDir tmp;
        const EnvironmentChange exports{{"TMPDIR", tmp.path().toUtf8()}};
        const mode_t umaskBefore = umask(0);
        DebugLogService service;
        service.setClock([] { return ride; });
        service.log(u"⚠️ Multiple value increment detected! Expected 1, got 2"_s, u"ButtonPress"_s,
                    DebugLogLevel::warning);
        const auto path = service.exportToTemporaryFile();
        const auto second = service.exportToTemporaryFile();
        umask(umaskBefore);
        QVERIFY(path && second && *path != *second);
        QCOMPARE(QFileInfo(*path).fileName(), u"Cogwise_DebugLogs_2026-03-01_180405.txt"_s);
        const QFileInfo folder(QFileInfo(*path).absolutePath());
        QCOMPARE(folder.dir().canonicalPath(), QDir(tmp.path()).canonicalPath());
        QCOMPARE(QFileInfo(*path).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(folder.permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile written(*path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(written.readAll()), service.exportText());

        DebugLogService::discardExport(*path);
        DebugLogService::discardExport(*second);
        QCOMPARE(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    void exportFailureIsLoggedAndYieldsNoFile()
    {
        QTemporaryDir tmp;
        const EnvironmentChange exports{{"TMPDIR", tmp.filePath(u"gone"_s).toUtf8()}};
        DebugLogService service;
        service.setClock([] { return ride; });
        const auto path = service.exportToTemporaryFile();
        QVERIFY(!path);
        QCOMPARE(service.entries().size(), 1);
        const DebugLogEntry& logged = service.entries().constLast();
        QVERIFY2(logged.message.startsWith(u"Failed to export logs: "_s), qPrintable(logged.message));
        QVERIFY(logged.message.size() > u"Failed to export logs: "_s.size());
        QCOMPARE(logged.category, u"DebugLogService"_s);
        QCOMPARE(logged.level, DebugLogLevel::error);
        QVERIFY(!logged.details);
        // Nothing lands anywhere else, the working directory included.
        QVERIFY(!QFileInfo::exists(u"Cogwise_DebugLogs_2026-03-01_180405.txt"_s));
    }
};

COGWISE_TEST(tst_DebugLogService)
#include "tst_DebugLogService.moc"
