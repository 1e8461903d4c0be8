#include "gui/DebugLogActions.h"

#include "diagnostics/DebugLogService.h"
#include "diagnostics/Logger.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

const QString category = QStringLiteral("DebugLogService");

} // namespace

DebugLogActions::DebugLogActions(DebugLogService& debugLog, QObject* parent)
    : QObject(parent)
    , m_debugLog(debugLog)
    , m_launcher([](const QString& program, const QStringList& arguments) {
        return QProcess::startDetached(program, arguments);
    })
    , m_opener([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{}

QUrl DebugLogActions::prepareSave()
{
    const auto file = m_debugLog.exportToTemporaryFile();
    if (!file) {
        report(QStringLiteral("Failed to create log file for saving"));
        return {};
    }
    m_exported = *file;
    return QUrl::fromLocalFile(*file);
}

bool DebugLogActions::completeSave(const QUrl& destination)
{
    if (m_exported.isEmpty() || !destination.isLocalFile())
        return false;
    const QString target = destination.toLocalFile();
    if (QFileInfo(target).canonicalFilePath() == QFileInfo(m_exported).canonicalFilePath())
        return true; // saved over the exported file itself: it is already there
    const auto fail = [this](const QString& error) {
        report(QStringLiteral("Failed to save logs: %1").arg(error));
        return false;
    };
    QFile existing(target);
    if (existing.exists() && !existing.remove())
        return fail(existing.errorString());
    QFile source(m_exported);
    if (!source.copy(target))
        return fail(source.errorString());
    Logger::shared().logInfo(QStringLiteral("Logs saved to: %1").arg(target), category);
    return true;
}

void DebugLogActions::shareLogs()
{
    const auto file = m_debugLog.exportToTemporaryFile();
    if (!file) {
        report(QStringLiteral("Failed to create log file for sharing"));
        return;
    }
    const QString mailer = QStandardPaths::findExecutable(QStringLiteral("xdg-email"), m_searchPaths);
    if (!mailer.isEmpty() &&
        m_launcher(mailer, {QStringLiteral("--subject"), QStringLiteral("Cogwise Debug Logs"),
                            QStringLiteral("--attach"), *file})) {
        Logger::shared().logInfo(QStringLiteral("Logs handed to the mail client: %1").arg(*file), category);
        return;
    }
    // No mail client: show the file where it lies, so that it can be attached by hand.
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(*file).absolutePath());
    if (m_opener(folder)) {
        Logger::shared().logInfo(QStringLiteral("Logs shown in the file manager: %1").arg(*file), category);
        return;
    }
    report(QStringLiteral("Failed to share logs: no mail client or file manager to open %1")
               .arg(QDir::toNativeSeparators(*file)));
}

void DebugLogActions::report(const QString& message)
{
    Logger::shared().logError(message, category);
    Q_EMIT failed(message);
}
