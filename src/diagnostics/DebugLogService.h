#pragma once

#include "diagnostics/DebugLogEntry.h"
#include "platform/Clock.h"

#include <QList>
#include <QObject>
#include <functional>

// The bounded, structured in-memory debug log and its text report.
// Lives on the GUI thread; other threads reach it through queued calls only.
class DebugLogService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(
        bool isLoggingEnabled READ isLoggingEnabled WRITE setLoggingEnabled NOTIFY isLoggingEnabledChanged)

public:
    // Bounds the memory of a long ride's log; trimmed from the front.
    static constexpr qsizetype entryCap = 2000;

    explicit DebugLogService(QObject* parent = nullptr);

    // The process-wide instance, bound to the application's main thread.
    static DebugLogService& shared();

    void log(const QString& message, const QString& category, DebugLogLevel level,
             const std::optional<DebugLogDetails>& details = std::nullopt);
    // log(), queued behind the service thread's current work, its queued tasks included;
    // callable from any thread.
    void logLater(const QString& message, const QString& category, DebugLogLevel level,
                  const std::optional<DebugLogDetails>& details = std::nullopt);
    // Runs work on the service's thread after its other queued tasks: recording an entry
    // never delays what a press queued on its way to the key.
    void later(std::function<void(DebugLogService&)> work);
    void logChannelData(QByteArrayView rawData, const std::optional<QByteArray>& previousRawData,
                        const QList<int>& detectedButtons);

    const QList<DebugLogEntry>& entries() const { return m_entries; }
    // Entries appended since construction, trimmed ones included.
    quint64 appendedCount() const { return m_appendedCount; }

    bool isLoggingEnabled() const { return m_isLoggingEnabled; }
    void setLoggingEnabled(bool enabled);

    void setClock(Clock clock) { m_clock = std::move(clock); }

    static QString formatEntry(const DebugLogEntry& entry);
    QString exportText() const;
    // Writes the report to a new file that only its owner may read, in a folder of its own in
    // the temporary directory; its path, or nothing when it could not be written (the reason
    // is logged).
    std::optional<QString> exportToTemporaryFile();
    // Removes such a file and its folder.
    static void discardExport(const QString& path);

Q_SIGNALS:
    void entriesChanged();
    void entryAppended(const DebugLogEntry& entry);
    void isLoggingEnabledChanged(bool enabled);

protected:
    bool event(QEvent* event) override;

private:
    QList<DebugLogEntry> m_entries;
    quint64 m_appendedCount = 0;
    bool m_isLoggingEnabled = true;
    Clock m_clock = systemNow;
};
