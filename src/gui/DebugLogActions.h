#pragma once

#include <QObject>
#include <QUrl>
#include <QtQml/qqmlregistration.h>
#include <functional>

class DebugLogService;

// "Export" and "Share" of the Logs section: the debug log as a text file, copied where
// the user chooses or handed to the desktop's mail client.
class DebugLogActions : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Built by the application")

public:
    // Starts a program detached; false when it could not be started.
    using Launcher = std::function<bool(const QString& program, const QStringList& arguments)>;
    // Opens a URL with the desktop's default handler.
    using Opener = std::function<bool(const QUrl& url)>;

    explicit DebugLogActions(DebugLogService& debugLog, QObject* parent = nullptr);

    void setLauncher(Launcher launcher) { m_launcher = std::move(launcher); }
    void setOpener(Opener opener) { m_opener = std::move(opener); }
    // Where xdg-email is looked up; empty: PATH.
    void setSearchPaths(QStringList paths) { m_searchPaths = std::move(paths); }

    // Exports to the temporary directory and returns the file to propose in the save
    // dialogue; an empty URL when the export failed (already logged).
    Q_INVOKABLE QUrl prepareSave();
    // The save dialogue was confirmed with this destination.
    Q_INVOKABLE bool completeSave(const QUrl& destination);
    Q_INVOKABLE void shareLogs();

Q_SIGNALS:
    // For the window to tell the user; the debug log has the same line.
    void failed(const QString& message);

private:
    // An error line in the debug log, and the same words for the window.
    void report(const QString& message);

    DebugLogService& m_debugLog;
    QString m_exported;
    Launcher m_launcher;
    Opener m_opener;
    QStringList m_searchPaths;
};
