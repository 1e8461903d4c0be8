#include "diagnostics/DebugLogService.h"
#include "support/DebugLogRecorder.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

namespace {

const QDateTime ride(QDate(2026, 3, 1), QTime(18, 4, 5, 123));

DebugLogEntry entry(DebugLogLevel level, std::optional<DebugLogDetails> details = std::nullopt)
{
    return DebugLogEntry{QUuid::createUuid(),
                         ride,
                         QStringLiteral("ButtonPress"),
                         level,
                         QStringLiteral("Button 2 press detected"),
                         std::move(details)};
}

const QString header = QString(80, QLatin1Char('=')) + QStringLiteral("\nCogwise Debug Logs\nGenerated: ");

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
            service.log(QString::number(i), QStringLiteral("Test"), DebugLogLevel::debug);
        QCOMPARE(service.entries().size(), 2000);
        QCOMPARE(service.entries().constFirst().message, QStringLiteral("2"));
        QCOMPARE(service.entries().constLast().message, QStringLiteral("2001"));
        QCOMPARE(changed.size(), 2001);

        for (int i = 2002; i <= 2500; ++i)
            service.log(QString::number(i), QStringLiteral("Test"), DebugLogLevel::debug);
        QCOMPARE(service.entries().size(), 2000);
        QCOMPARE(service.entries().constFirst().message, QStringLiteral("501"));
        QCOMPARE(service.appendedCount(), quint64(2500));
    }

    void ignoresEverythingWhileLoggingIsOff()
    {
        DebugLogService service;
        service.log(QStringLiteral("before"), QStringLiteral("Test"), DebugLogLevel::info);
        QSignalSpy toggled(&service, &DebugLogService::isLoggingEnabledChanged);
        service.setLoggingEnabled(false);
        service.setLoggingEnabled(false);
        QCOMPARE(toggled.size(), 1);

        service.log(QStringLiteral("during"), QStringLiteral("Test"), DebugLogLevel::info);
        service.logChannelData(QByteArray(5, '\0'), std::nullopt, {});
        QCOMPARE(service.entries().size(), 1);
        // The report still holds what came before.
        QVERIFY(service.exportText().endsWith(QStringLiteral("[Test] before")));
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
            << DebugLogDetails{{QStringLiteral("rawData"), QStringLiteral("0A 00 01 00 00")},
                               {QStringLiteral("detectedButtons"), QStringLiteral("none")}};
        QTest::newRow("two presses")
            << raw << std::optional<QByteArray>(QByteArray::fromHex("FF00000000")) << QList<int>{1, 3}
            << DebugLogDetails{{QStringLiteral("rawData"), QStringLiteral("0A 00 01 00 00")},
                               {QStringLiteral("detectedButtons"), QStringLiteral("1, 3")},
                               {QStringLiteral("previousRawData"), QStringLiteral("FF 00 00 00 00")}};
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
        QCOMPARE(logged.message, QStringLiteral("Channel data received"));
        QCOMPARE(logged.category, QStringLiteral("Di2Channel"));
        QCOMPARE(logged.level, DebugLogLevel::debug);
        QCOMPARE(logged.details, std::optional(details));
    }

    void formatsEntries_data()
    {
        QTest::addColumn<DebugLogEntry>("entry");
        QTest::addColumn<QString>("text");

        const QString line =
            QStringLiteral("[2026-03-01 18:04:05.123] [%1] [ButtonPress] Button 2 press detected");
        QTest::newRow("warning is spelled out")
            << entry(DebugLogLevel::warning) << line.arg(QStringLiteral("WARNING"));
        QTest::newRow("empty details make one line")
            << entry(DebugLogLevel::info, DebugLogDetails{}) << line.arg(QStringLiteral("INFO"));
        QTest::newRow("details indented below")
            << entry(DebugLogLevel::error,
                     DebugLogDetails{{QStringLiteral("button"), QStringLiteral("2")},
                                     {QStringLiteral("valueDifference"), QStringLiteral("1")}})
            << line.arg(QStringLiteral("ERROR")) + QStringLiteral("\n  button: 2\n  valueDifference: 1");
    }

    void formatsEntries()
    {
        QFETCH(DebugLogEntry, entry);
        QFETCH(QString, text);
        QCOMPARE(DebugLogService::formatEntry(entry), text);
    }

    void reportOfAnEmptyLogIsTheHeaderOnly()
    {
        DebugLogService service;
        service.setClock([] { return ride; });
        const QString report = service.exportText();
        const QString generated = QLocale::system().toString(ride, QLocale::LongFormat);
        QCOMPARE(report, header + generated + QStringLiteral("\nTotal Entries: 0\n") +
                             QString(80, QLatin1Char('=')) + QStringLiteral("\n"));
    }

    void reportListsEntriesOldestFirst()
    {
        DebugLogService service;
        service.setClock([] { return ride; });
        service.log(QStringLiteral("first"), QStringLiteral("A"), DebugLogLevel::debug);
        service.log(QStringLiteral("second"), QStringLiteral("B"), DebugLogLevel::error,
                    DebugLogDetails{{QStringLiteral("k"), QStringLiteral("v")}});
        const QString report = service.exportText();
        QVERIFY(report.startsWith(header));
        QVERIFY(report.contains(QStringLiteral("\nTotal Entries: 2\n")));
        QVERIFY(report.endsWith(QStringLiteral("=\n[2026-03-01 18:04:05.123] [DEBUG] [A] first\n"
                                               "[2026-03-01 18:04:05.123] [ERROR] [B] second\n  k: v")));
    }

    // The report names the rider's unit: only its owner may read it, whatever the umask, and
    // two exports of the same second never share a file. Discarded, nothing of it is left.
    void exportsTheReportAsAPrivateUtf8File()
    {
        QTemporaryDir tmp;
        qputenv("TMPDIR", tmp.path().toUtf8());
        const mode_t umaskBefore = umask(0);
        DebugLogService service;
        service.setClock([] { return ride; });
        service.log(QStringLiteral("⚠️ Multiple value increment detected! Expected 1, got 2"),
                    QStringLiteral("ButtonPress"), DebugLogLevel::warning);
        const auto path = service.exportToTemporaryFile();
        const auto second = service.exportToTemporaryFile();
        umask(umaskBefore);
        qunsetenv("TMPDIR");
        QVERIFY(path && second && *path != *second);
        QCOMPARE(QFileInfo(*path).fileName(), QStringLiteral("Cogwise_DebugLogs_2026-03-01_180405.txt"));
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
        qputenv("TMPDIR", tmp.filePath(QStringLiteral("gone")).toUtf8());
        DebugLogService service;
        service.setClock([] { return ride; });
        const auto path = service.exportToTemporaryFile();
        qunsetenv("TMPDIR");
        QVERIFY(!path);
        QCOMPARE(service.entries().size(), 1);
        const DebugLogEntry& logged = service.entries().constLast();
        QVERIFY2(logged.message.startsWith(QStringLiteral("Failed to export logs: ")),
                 qPrintable(logged.message));
        QVERIFY(logged.message.size() > QStringLiteral("Failed to export logs: ").size());
        QCOMPARE(logged.category, QStringLiteral("DebugLogService"));
        QCOMPARE(logged.level, DebugLogLevel::error);
        QVERIFY(!logged.details);
        // Nothing lands anywhere else, the working directory included.
        QVERIFY(!QFileInfo::exists(QStringLiteral("Cogwise_DebugLogs_2026-03-01_180405.txt")));
    }
};

COGWISE_TEST(tst_DebugLogService)
#include "tst_DebugLogService.moc"
