#include "gui/DebugLogActions.h"

#include "diagnostics/DebugLogService.h"
#include "diagnostics/Logger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString category = QStringLiteral("DebugLogService");

} // namespace

DebugLogActions::DebugLogActions(DebugLogService& debugLog, QObject* parent)
    : QObject(parent)
    , m_debugLog(debugLog)
    , m_runner([this](const QString& program, const QStringList& arguments, ExternalProgram::Done done) {
        ExternalProgram::run(*this, program, arguments, std::move(done));
    })
{}

QUrl DebugLogActions::prepareSave()
{
    discardSave();
    const auto file = m_debugLog.exportToTemporaryFile();
    if (!file) {
        report(QStringLiteral("Failed to create log file for saving"),
               QStringLiteral("Check that the temporary folder (%1) exists and has room, then try again.")
                   .arg(QDir::toNativeSeparators(QDir::tempPath())));
        return {};
    }
    m_exported = *file;
    return QUrl::fromLocalFile(*file);
}

QUrl DebugLogActions::saveFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString home = QDir::homePath();
    // Qt answers the home folder itself when XDG_DOCUMENTS_DIR says nothing better.
    if (documents.isEmpty() || QDir(documents) == QDir(home) || QFileInfo(documents).isDir())
        return QUrl::fromLocalFile(documents.isEmpty() ? home : documents);
    if (QDir().mkpath(documents)) {
        Logger::shared().logInfo(QStringLiteral("Created the documents folder %1").arg(documents), category);
        return QUrl::fromLocalFile(documents);
    }
    Logger::shared().logError(QStringLiteral("Could not create the documents folder %1").arg(documents),
                              category);
    return QUrl::fromLocalFile(home);
}

QUrl DebugLogActions::saveDestination(const QUrl& folder, const QString& name) const
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || trimmed.contains(QLatin1Char('/')) || trimmed == QLatin1String(".") ||
        trimmed == QLatin1String("..") || !folder.isLocalFile())
        return {};
    const QString file = QFileInfo(trimmed).suffix().isEmpty() ? trimmed + QStringLiteral(".txt") : trimmed;
    return QUrl::fromLocalFile(QDir(folder.toLocalFile()).filePath(file));
}

QString DebugLogActions::displayPath(const QUrl& file) const
{
    return QDir::toNativeSeparators(file.toLocalFile());
}

bool DebugLogActions::exists(const QUrl& file) const
{
    return file.isLocalFile() && QFileInfo::exists(file.toLocalFile());
}

bool DebugLogActions::completeSave(const QUrl& destination)
{
    if (m_exported.isEmpty() || !destination.isLocalFile())
        return false;
    const QString target = destination.toLocalFile();
    if (QFileInfo(target).canonicalFilePath() == QFileInfo(m_exported).canonicalFilePath()) {
        // Saved over the exported file itself: it is already there, and stays.
        m_exported.clear();
        m_savedFile = target;
        Q_EMIT saved(QDir::toNativeSeparators(target));
        return true;
    }
    const auto fail = [this](const QString& error) {
        report(QStringLiteral("Failed to save logs: %1").arg(error),
               QStringLiteral("Choose another folder or name and save again."));
        return false;
    };
    QFile existing(target);
    if (existing.exists() && !existing.remove())
        return fail(existing.errorString());
    QFile source(m_exported);
    if (!source.copy(target))
        return fail(source.errorString());
    Logger::shared().logInfo(QStringLiteral("Logs saved to: %1").arg(target), category);
    m_savedFile = target;
    Q_EMIT saved(QDir::toNativeSeparators(target));
    return true;
}

void DebugLogActions::discardSave()
{
    if (m_exported.isEmpty())
        return;
    DebugLogService::discardExport(m_exported);
    m_exported.clear();
}

void DebugLogActions::showSavedInFolder()
{
    const QString folder = QFileInfo(m_savedFile).absolutePath();
    m_runner(QStringLiteral("xdg-open"), {folder}, [this, folder](std::optional<QString> error) {
        if (error)
            report(QStringLiteral("Could not open the folder %1: %2")
                       .arg(QDir::toNativeSeparators(folder), *error),
                   QStringLiteral("Open it in your file manager yourself."));
    });
}

void DebugLogActions::shareLogs()
{
    const auto file = m_debugLog.exportToTemporaryFile();
    if (!file) {
        report(QStringLiteral("Failed to create log file for sharing"),
               QStringLiteral("Check that the temporary folder (%1) exists and has room, then try again.")
                   .arg(QDir::toNativeSeparators(QDir::tempPath())));
        return;
    }
    const QString path = *file;
    m_runner(
        QStringLiteral("xdg-email"),
        {QStringLiteral("--subject"), QStringLiteral("Cogwise Debug Logs"), QStringLiteral("--attach"), path},
        [this, path](std::optional<QString> error) {
            if (!error) {
                Logger::shared().logInfo(QStringLiteral("Logs handed to the mail client: %1").arg(path),
                                         category);
                return;
            }
            Logger::shared().logError(QStringLiteral("No mail client took the logs: %1").arg(*error),
                                      category);
            showInFolder(path, *error);
        });
}

void DebugLogActions::showInFolder(const QString& file, const QString& mailError)
{
    // No mail client: show the file where it lies, so that it can be attached by hand.
    const QString folder = QFileInfo(file).absolutePath();
    const QString name = QFileInfo(file).fileName();
    m_runner(
        QStringLiteral("xdg-open"), {folder},
        [this, file, folder, name, mailError](std::optional<QString> error) {
            if (!error) {
                Logger::shared().logInfo(QStringLiteral("Logs shown in the file manager: %1").arg(file),
                                         category);
                Q_EMIT failed(
                    QStringLiteral("No mail client could take the debug logs (%1). They are shown in your "
                                   "file manager instead: attach %2 to an email to share them.")
                        .arg(mailError, name));
                return;
            }
            report(QStringLiteral("Failed to share logs: no mail client or file manager to open %1")
                       .arg(QDir::toNativeSeparators(file)),
                   QStringLiteral("Set up a mail client, or attach the file to an email by hand."));
        });
}

void DebugLogActions::report(const QString& message, const QString& advice)
{
    Logger::shared().logError(message, category);
    Q_EMIT failed(message + QStringLiteral(". ") + advice);
}
