#pragma once

#include "platform/Clock.h"
#include "telemetry/LogHandler.h"
#include "telemetry/StoredSession.h"

#include <QMap>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <functional>
#include <optional>

class PrivateSuite;

// The usage history behind every signal's retention figures: recent sessions and
// their lengths, the days of use, the first session. Lives on the GUI thread; the
// history reaches the disk on a thread of its own as it changes.
class SessionManager : public QObject
{
    Q_OBJECT

public:
    using SendSignal = std::function<void(const QString& name, const QMap<QString, QString>& parameters)>;

    static constexpr auto sessionRetention = std::chrono::seconds{7'776'000}; // 90 days
    static constexpr auto lastMonth = std::chrono::seconds{2'592'000};        // 30 days

    SessionManager(PrivateSuite& suite, Clock clock, SendSignal sendSignal,
                   std::optional<LogHandler> logHandler = std::nullopt, QObject* parent = nullptr);
    ~SessionManager() override;

    void startNewSession();
    void applicationDidResignActive();
    void applicationWillBecomeActive();

    QMap<QString, QString> retentionParameters() const;
    std::optional<QString> firstSessionDate() const;
    const QList<StoredSession>& recentSessions() const { return m_recentSessions; }

    // Waits until every change so far is on disk (tests, shutdown).
    void flush();

private:
    void updateDuration();
    void recordDayOfUse();
    void saveRecentSessions();
    void persist(const QString& key, const QVariant& value);
    QString today() const;
    void log(const QString& message) const;

    PrivateSuite& m_suite;
    Clock m_clock;
    std::optional<LogHandler> m_logHandler;
    SendSignal m_sendSignal;
    QList<StoredSession> m_recentSessions;
    QDateTime m_currentSessionStartedAt;
    double m_currentSessionDuration = 0;
    QTimer m_sessionDurationUpdater;
    std::optional<QDateTime> m_sessionDurationLastUpdatedAt;
    QStringList m_distinctDaysUsed;
    qint64 m_deletedSessionsCount = 0;
    QThread m_persistenceThread;
    QObject* m_persistence;
};
