#include "telemetry/SignalCache.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSet>
#include <QUrl>

SignalCache::SignalCache(QString journalPath, std::optional<LogHandler> logHandler, Limits limits)
    : m_journalPath(std::move(journalPath))
    , m_logHandler(std::move(logHandler))
    , m_limits(limits)
{
    if (!m_journalPath.isEmpty())
        load();
}

void SignalCache::log(LogHandler::LogLevel level, const QString& message) const
{
    if (m_logHandler)
        m_logHandler->log(level, message);
}

void SignalCache::load()
{
    log(LogHandler::LogLevel::info,
        QStringLiteral("Loading Telemetry cache from: ") + QUrl::fromLocalFile(m_journalPath).toString());
    QFile file(m_journalPath);
    if (file.open(QIODevice::ReadOnly)) {
        const JournalTail tail = readTail(file);
        for (auto it = tail.newestFirst.crbegin(); it != tail.newestFirst.crend(); ++it) {
            m_entries.append({m_nextSequence++, it->first, it->second});
            m_bytes += it->second.size();
        }
        if (tail.unreadable > 0)
            log(LogHandler::LogLevel::error,
                QStringLiteral("Skipped %1 unreadable lines of the Telemetry cache").arg(tail.unreadable));
        if (tail.olderBytes > 0)
            log(LogHandler::LogLevel::error,
                QStringLiteral(
                    "Dropped the oldest %1 bytes of the Telemetry cache: the queue holds at most %2 "
                    "signals and %3 bytes")
                    .arg(tail.olderBytes)
                    .arg(m_limits.maximumRecords)
                    .arg(m_limits.maximumBytes));
        log(LogHandler::LogLevel::info, QStringLiteral("Loaded %1 signals").arg(m_entries.size()));
    }
    // A clean file, so that new lines never continue a torn one.
    compact();
}

// The journal is read from its end: the newest records that fit the caps are all that is
// ever read or held, whatever the file's size; what lies before them is only measured.
SignalCache::JournalTail SignalCache::readTail(QFile& file) const
{
    constexpr qint64 blockSize = 64 * 1024;
    JournalTail tail;
    qsizetype bytes = 0;
    QByteArray partial;    // the start of a later block: the end of a line begun in this one
    bool overlong = false; // the line being read back is longer than any record: skipped whole

    // False once the caps are reached.
    const auto take = [&](QByteArray line) {
        line = line.trimmed();
        if (line.isEmpty())
            return true;
        const QJsonDocument document =
            line.size() <= m_limits.maximumRecordBytes ? QJsonDocument::fromJson(line) : QJsonDocument();
        const auto body =
            document.isObject() ? SignalPostBody::fromCacheJson(document.object()) : std::nullopt;
        if (!body) {
            ++tail.unreadable; // a line torn by a crash, or damaged on disk
            return true;
        }
        if (tail.newestFirst.size() >= m_limits.maximumRecords || bytes + line.size() > m_limits.maximumBytes)
            return false;
        bytes += line.size();
        tail.newestFirst.append({*body, line});
        return true;
    };

    const qint64 fileSize = file.size();
    qint64 position = fileSize;
    while (position > 0) {
        const qint64 start = std::max<qint64>(0, position - blockSize);
        if (!file.seek(start))
            break;
        const QByteArray block = file.read(position - start);
        if (block.size() != position - start)
            break;
        position = start;
        qsizetype end = block.size();
        for (qsizetype newline = block.lastIndexOf('\n', end - 1); newline >= 0;
             newline = end > 0 ? block.lastIndexOf('\n', end - 1) : -1) {
            if (overlong) {
                ++tail.unreadable;
                overlong = false;
            } else if (!take(block.sliced(newline + 1, end - newline - 1) + partial)) {
                tail.olderBytes = std::min(start + end + partial.size() + 1, fileSize);
                return tail;
            }
            partial.clear();
            end = newline;
        }
        if (!overlong)
            partial.prepend(block.first(end));
        if (partial.size() > m_limits.maximumRecordBytes + 2) {
            overlong = true;
            partial.clear();
        }
    }
    if (overlong)
        ++tail.unreadable;
    else if (!take(partial))
        tail.olderBytes = std::min<qint64>(partial.size() + 1, fileSize);
    return tail;
}

void SignalCache::push(const SignalPostBody& body)
{
    const QByteArray line =
        QJsonDocument(body.toJson(SignalPostBody::DateEncoding::cache)).toJson(QJsonDocument::Compact);
    if (line.size() > m_limits.maximumRecordBytes) {
        log(LogHandler::LogLevel::error, QStringLiteral("Refused the signal %1: %2 bytes is more than %3")
                                             .arg(body.type)
                                             .arg(line.size())
                                             .arg(m_limits.maximumRecordBytes));
        return;
    }
    m_entries.append({m_nextSequence++, body, line});
    m_bytes += line.size();
    const qsizetype before = m_entries.size();
    enforceLimits();
    // After a drop, or while the journal was failing, only a full rewrite makes it whole again.
    if (m_entries.size() != before || m_journalFailing)
        compact();
    else
        append(line);
}

QList<SignalCache::Entry> SignalCache::peek(qsizetype count) const
{
    return m_entries.mid(0, std::min({count, maximumNumberOfSignalsToPopAtOnce, m_entries.size()}));
}

void SignalCache::remove(const QList<Entry>& entries)
{
    QSet<quint64> settled;
    for (const Entry& entry : entries)
        settled.insert(entry.sequence);
    const qsizetype before = m_entries.size();
    m_entries.removeIf([&](const Entry& entry) {
        if (!settled.contains(entry.sequence))
            return false;
        m_bytes -= entry.line.size();
        return true;
    });
    if (m_entries.size() != before)
        compact();
}

void SignalCache::clear()
{
    m_entries.clear();
    m_bytes = 0;
    m_journal.close();
    if (!m_journalPath.isEmpty())
        QFile::remove(m_journalPath);
}

void SignalCache::enforceLimits()
{
    qsizetype dropped = 0;
    while (!m_entries.isEmpty() &&
           (m_entries.size() > m_limits.maximumRecords || m_bytes > m_limits.maximumBytes)) {
        m_bytes -= m_entries.constFirst().line.size();
        m_entries.removeFirst();
        ++dropped;
    }
    if (dropped > 0)
        log(LogHandler::LogLevel::error,
            QStringLiteral("Dropped the %1 oldest signals: the queue holds at most %2 signals and %3 bytes")
                .arg(dropped)
                .arg(m_limits.maximumRecords)
                .arg(m_limits.maximumBytes));
}

bool SignalCache::append(const QByteArray& line)
{
    if (m_journalPath.isEmpty())
        return true;
    if (!m_journal.isOpen()) {
        m_journal.setFileName(m_journalPath);
        if (!m_journal.open(QIODevice::WriteOnly | QIODevice::Append)) {
            if (!m_journalFailing)
                failedToSave(m_journal.errorString());
            m_journalFailing = true;
            return false;
        }
    }
    if (m_journal.write(line + '\n') != line.size() + 1 || !m_journal.flush()) {
        if (!m_journalFailing)
            failedToSave(m_journal.errorString());
        m_journalFailing = true;
        m_journal.close();
        return false;
    }
    m_journalFailing = false;
    return true;
}

void SignalCache::failedToSave(const QString& reason) const
{
    log(LogHandler::LogLevel::error, QStringLiteral("Error saving Telemetry cache"));
    log(LogHandler::LogLevel::debug, m_journalPath + QStringLiteral(": ") + reason);
}

bool SignalCache::save()
{
    if (m_journalPath.isEmpty())
        return true;
    m_journalFailing = false; // the outcome is told whatever was told before
    if (!compact())
        return false;
    log(LogHandler::LogLevel::info, QStringLiteral("Saved Telemetry cache %1 bytes of %2 signals")
                                        .arg(m_bytes + m_entries.size())
                                        .arg(m_entries.size()));
    return true;
}

bool SignalCache::compact()
{
    if (m_journalPath.isEmpty())
        return true;
    m_journal.close();
    QDir().mkpath(QFileInfo(m_journalPath).absolutePath());
    QSaveFile file(m_journalPath);
    bool written = file.open(QIODevice::WriteOnly);
    for (const Entry& entry : std::as_const(m_entries)) {
        if (!written)
            break;
        written = file.write(entry.line + '\n') == entry.line.size() + 1;
    }
    if (written && file.commit()) {
        m_journalFailing = false;
        return true;
    }
    if (!m_journalFailing)
        failedToSave(file.errorString());
    m_journalFailing = true;
    return false;
}
