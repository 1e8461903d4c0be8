#pragma once

#include "gui/ExternalProgram.h"

#include <QObject>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

class DebugLogService;

// "Export" and "Share" of the Logs section: the debug log as a text file, copied where
// the user chooses or handed to the desktop's mail client.
class DebugLogActions : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Built by the application")

public:
    explicit DebugLogActions(DebugLogService& debugLog, QObject* parent = nullptr);

    // How xdg-email and xdg-open are run; ExternalProgram::run unless a test says otherwise.
    void setRunner(ExternalProgram::Runner runner) { m_runner = std::move(runner); }

    // Exports to the temporary directory and returns the file to propose in the save
    // dialogue; an empty URL when the export failed (already logged).
    Q_INVOKABLE QUrl prepareSave();
    // The folder the save dialogue opens in: the user's documents folder ($XDG_DOCUMENTS_DIR),
    // created when it is missing, else the home folder.
    Q_INVOKABLE QUrl saveFolder();
    // The file a name typed into the save dialogue stands for: ".txt" is added to a name
    // without a suffix. Empty when the name cannot be a file name.
    Q_INVOKABLE QUrl saveDestination(const QUrl& folder, const QString& name) const;
    Q_INVOKABLE bool exists(const QUrl& file) const;
    // A local file or folder as the desktop writes it.
    Q_INVOKABLE QString displayPath(const QUrl& file) const;
    // The save dialogue was confirmed with this destination.
    Q_INVOKABLE bool completeSave(const QUrl& destination);
    // The save dialogue closed: the exported file goes, saved or not.
    Q_INVOKABLE void discardSave();
    // Opens the folder the logs were last saved to in the file manager.
    Q_INVOKABLE void showSavedInFolder();
    Q_INVOKABLE void shareLogs();

Q_SIGNALS:
    // For the window to tell the user what went wrong and what to do; the debug log has
    // what went wrong.
    void failed(const QString& message);
    // The logs were saved to this file (as the desktop writes it).
    void saved(const QString& file);

private:
    // An error line in the debug log; the window has the same words and the advice.
    void report(const QString& message, const QString& advice);
    void showInFolder(const QString& file, const QString& mailError);

    DebugLogService& m_debugLog;
    QString m_exported;
    QString m_savedFile;
    ExternalProgram::Runner m_runner;
};
