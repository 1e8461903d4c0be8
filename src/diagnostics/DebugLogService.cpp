#include "diagnostics/DebugLogService.h"

#include "diagnostics/HexFormat.h"
#include "diagnostics/LowPriorityPost.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

namespace {

const QString separatorLine = QString(80, QLatin1Char('='));

} // namespace

DebugLogService::DebugLogService(QObject* parent)
    : QObject(parent)
{}

DebugLogService& DebugLogService::shared()
{
    static DebugLogService* instance = [] {
        auto* service = new DebugLogService;
        if (auto* app = QCoreApplication::instance())
            service->moveToThread(app->thread());
        return service;
    }();
    return *instance;
}

void DebugLogService::setLoggingEnabled(bool enabled)
{
    if (m_isLoggingEnabled == enabled)
        return;
    m_isLoggingEnabled = enabled;
    Q_EMIT isLoggingEnabledChanged(enabled);
}

void DebugLogService::log(const QString& message, const QString& category, DebugLogLevel level,
                          const std::optional<DebugLogDetails>& details)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (!m_isLoggingEnabled)
        return;
    m_entries.append(DebugLogEntry{QUuid::createUuid(), m_clock(), category, level, message, details});
    if (m_entries.size() > entryCap)
        m_entries.remove(0, m_entries.size() - entryCap);
    ++m_appendedCount;
    Q_EMIT entryAppended(m_entries.constLast());
    Q_EMIT entriesChanged();
}

void DebugLogService::logLater(const QString& message, const QString& category, DebugLogLevel level,
                               const std::optional<DebugLogDetails>& details)
{
    later([message, category, level, details](DebugLogService& service) {
        service.log(message, category, level, details);
    });
}

void DebugLogService::later(std::function<void(DebugLogService&)> work)
{
    LowPriorityPost::post(this, [this, work = std::move(work)] { work(*this); });
}

bool DebugLogService::event(QEvent* event)
{
    return LowPriorityPost::run(event) || QObject::event(event);
}

void DebugLogService::logChannelData(QByteArrayView rawData, const std::optional<QByteArray>& previousRawData,
                                     const QList<int>& detectedButtons)
{
    QStringList buttons;
    for (int button : detectedButtons)
        buttons.append(QString::number(button));

    DebugLogDetails details;
    details.insert(QStringLiteral("rawData"), HexFormat::dump(rawData));
    details.insert(QStringLiteral("detectedButtons"),
                   buttons.isEmpty() ? QStringLiteral("none") : buttons.join(QStringLiteral(", ")));
    if (previousRawData)
        details.insert(QStringLiteral("previousRawData"), HexFormat::dump(*previousRawData));

    log(QStringLiteral("Channel data received"), QStringLiteral("Di2Channel"), DebugLogLevel::debug, details);
}

QString DebugLogService::formatEntry(const DebugLogEntry& entry)
{
    // Fixed Gregorian digits in local time, so a report reads the same whatever the locale's calendar.
    const QString time = entry.timestamp.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    QString line = QStringLiteral("[%1] [%2] [%3] %4")
                       .arg(time, rawValue(entry.level).toUpper(), entry.category, entry.message);
    if (entry.details && !entry.details->isEmpty()) {
        for (auto it = entry.details->cbegin(); it != entry.details->cend(); ++it)
            line += QStringLiteral("\n  ") + it.key() + QStringLiteral(": ") + it.value();
    }
    return line;
}

QString DebugLogService::exportText() const
{
    QString report = separatorLine + QStringLiteral("\nCogwise Debug Logs\nGenerated: ") +
                     QLocale::system().toString(m_clock(), QLocale::LongFormat) +
                     QStringLiteral("\nTotal Entries: ") + QString::number(m_entries.size()) +
                     QStringLiteral("\n") + separatorLine + QStringLiteral("\n");
    QStringList lines;
    lines.reserve(m_entries.size());
    for (const DebugLogEntry& entry : m_entries)
        lines.append(formatEntry(entry));
    return report + lines.join(QLatin1Char('\n'));
}

std::optional<QString> DebugLogService::exportToTemporaryFile()
{
    const QString text = exportText();
    const QString name = QStringLiteral("Cogwise_DebugLogs_") +
                         m_clock().toLocalTime().toString(QStringLiteral("yyyy-MM-dd_HHmmss")) +
                         QStringLiteral(".txt");
    const auto fail = [this](const QString& error) {
        log(QStringLiteral("Failed to export logs: ") + error, QStringLiteral("DebugLogService"),
            DebugLogLevel::error);
        return std::nullopt;
    };

    // An unusable TMPDIR yields an empty path, which would put the file in the working directory.
    const QString directory = QDir::tempPath();
    if (directory.isEmpty() || !QFileInfo(directory).isDir())
        return fail(QStringLiteral("The temporary directory does not exist."));

    // The report names the rider's unit and what they did: nobody else on the machine may read
    // it, whatever the umask. The folder is the owner's alone from its creation on.
    QTemporaryDir folder(QDir(directory).filePath(QStringLiteral("Cogwise-export-XXXXXX")));
    if (!folder.isValid())
        return fail(folder.errorString());
    const QString path = folder.filePath(name);
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (!(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()))
        return fail(file.errorString());
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    folder.setAutoRemove(false);
    return path;
}

void DebugLogService::discardExport(const QString& path)
{
    const QFileInfo file(path);
    // Only what exportToTemporaryFile made: never a folder the rider chose.
    if (!file.absoluteDir().dirName().startsWith(QLatin1String("Cogwise-export-")))
        return;
    QFile::remove(path);
    QDir().rmdir(file.absolutePath());
}
