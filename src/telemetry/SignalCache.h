#pragma once

#include "telemetry/LogHandler.h"
#include "telemetry/SignalPostBody.h"

#include <QFile>
#include <QList>
#include <optional>

// The queue of signals waiting to be sent, oldest first, backed by a journal file:
// one record per line, appended and flushed as each record arrives, rewritten
// atomically once a batch is settled. A crash loses nothing that was queued.
// Past its caps the queue keeps its newest records, when it grows and when it is
// loaded alike: a record only grows staler. Confined to the sender's thread.
class SignalCache
{
public:
    static constexpr qsizetype maximumNumberOfSignalsToPopAtOnce = 100;

    struct Limits
    {
        qsizetype maximumRecords = 1000;
        qsizetype maximumBytes = 5'000'000;
        qsizetype maximumRecordBytes = 32 * 1024;
    };

    // One queued record; `sequence` names it across reloads of the queue.
    struct Entry
    {
        quint64 sequence = 0;
        SignalPostBody body;
        QByteArray line; // its journal line, without the line break
    };

    // An empty path keeps the queue in memory only.
    SignalCache(QString journalPath, std::optional<LogHandler> logHandler, Limits limits);
    SignalCache(QString journalPath, std::optional<LogHandler> logHandler)
        : SignalCache(std::move(journalPath), std::move(logHandler), Limits())
    {}

    void push(const SignalPostBody& body);
    // The oldest records, at most `count` (and never more than 100); they stay queued.
    QList<Entry> peek(qsizetype count = maximumNumberOfSignalsToPopAtOnce) const;
    // Settles records: removes those still queued and rewrites the journal.
    void remove(const QList<Entry>& entries);
    qsizetype count() const { return m_entries.size(); }
    qsizetype byteCount() const { return m_bytes; }
    // Forgets everything and deletes the journal (the user opted out).
    void clear();
    // Writes the journal afresh and tells how it went: at the application's end.
    bool save();

private:
    struct JournalTail
    {
        QList<std::pair<SignalPostBody, QByteArray>> newestFirst;
        qsizetype unreadable = 0;
        qint64 olderBytes = 0; // before the newest records that fit the caps
    };

    void load();
    JournalTail readTail(QFile& file) const;
    bool append(const QByteArray& line);
    bool compact();
    void failedToSave(const QString& reason) const;
    void enforceLimits();
    void log(LogHandler::LogLevel level, const QString& message) const;

    QString m_journalPath;
    std::optional<LogHandler> m_logHandler;
    Limits m_limits;
    QList<Entry> m_entries;
    qsizetype m_bytes = 0;
    quint64 m_nextSequence = 1;
    QFile m_journal;
    bool m_journalFailing = false;
};
