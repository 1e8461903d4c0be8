#include "telemetry/SessionManager.h"

#include "platform/ReferenceDate.h"
#include "telemetry/PrivateSuite.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString recentSessionsKey = QStringLiteral("recentSessions");
const QString firstSessionDateKey = QStringLiteral("firstSessionDate");
const QString distinctDaysUsedKey = QStringLiteral("distinctDaysUsed");
const QString deletedSessionsCountKey = QStringLiteral("deletedSessionsCount");

// Stored numbers are added up into the retention figures: each is checked before it counts.
constexpr qint64 longestSessionSeconds = SessionManager::sessionRetention.count();
constexpr qint64 mostDeletedSessions = qint64(1) << 40;

// The sessions that make sense, and how many entries did not.
std::pair<QList<StoredSession>, qsizetype> decodeSessions(const QByteArray& json)
{
    QList<StoredSession> sessions;
    qsizetype refused = 0;
    for (const QJsonValue& value : QJsonDocument::fromJson(json).array()) {
        const QJsonObject object = value.toObject();
        const auto startedAt = ReferenceDate::fromSecondsSinceReferenceDate(
            object.value(QStringLiteral("startedAt")).toDouble(NAN));
        const double duration = object.value(QStringLiteral("durationInSeconds")).toDouble(NAN);
        if (startedAt && duration >= 0 && duration <= double(longestSessionSeconds))
            sessions.append({*startedAt, qint64(duration)});
        else
            ++refused;
    }
    return {sessions, refused};
}

QByteArray encodeSessions(const QList<StoredSession>& sessions)
{
    QJsonArray array;
    for (const StoredSession& session : sessions) {
        array.append(QJsonObject{
            {QStringLiteral("startedAt"), ReferenceDate::secondsSinceReferenceDate(session.startedAt)},
            {QStringLiteral("durationInSeconds"), session.durationInSeconds}});
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

} // namespace

SessionManager::SessionManager(PrivateSuite& suite, Clock clock, SendSignal sendSignal,
                               std::optional<LogHandler> logHandler, QObject* parent)
    : QObject(parent)
    , m_suite(suite)
    , m_clock(std::move(clock))
    , m_logHandler(std::move(logHandler))
    , m_sendSignal(std::move(sendSignal))
    , m_persistence(new QObject)
{
    m_persistenceThread.setObjectName(QStringLiteral("TelemetryPersistence"));
    m_persistence->moveToThread(&m_persistenceThread);
    m_persistenceThread.start();

    const QDateTime cutoff = m_clock().addSecs(-sessionRetention.count());
    const auto [stored, refused] = decodeSessions(m_suite.data(recentSessionsKey).value_or(QByteArray()));
    for (const StoredSession& session : stored) {
        if (session.startedAt >= cutoff)
            m_recentSessions.append(session);
    }
    if (refused > 0)
        log(QStringLiteral("Skipped %1 stored sessions whose start or length is out of range").arg(refused));
    m_deletedSessionsCount = m_suite.integer(deletedSessionsCountKey);
    if (m_deletedSessionsCount < 0 || m_deletedSessionsCount > mostDeletedSessions) {
        log(QStringLiteral("Stored deletedSessionsCount %1 is out of range; counting from 0")
                .arg(m_deletedSessionsCount));
        m_deletedSessionsCount = 0;
    }
    m_distinctDaysUsed = m_suite.textList(distinctDaysUsedKey);
    if (const qsizetype dropped = stored.size() - m_recentSessions.size(); dropped > 0) {
        m_deletedSessionsCount += dropped;
        persist(deletedSessionsCountKey, m_deletedSessionsCount);
        saveRecentSessions();
    }
    recordDayOfUse();

    m_sessionDurationUpdater.setInterval(std::chrono::seconds{1});
    connect(&m_sessionDurationUpdater, &QTimer::timeout, this, &SessionManager::updateDuration);
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            state == Qt::ApplicationActive ? applicationWillBecomeActive() : applicationDidResignActive();
        });
    }
}

SessionManager::~SessionManager()
{
    flush();
    m_persistenceThread.quit();
    m_persistenceThread.wait();
    delete m_persistence;
}

void SessionManager::log(const QString& message) const
{
    if (m_logHandler)
        m_logHandler->log(LogHandler::LogLevel::error, message);
}

QString SessionManager::today() const
{
    return m_clock().toLocalTime().date().toString(Qt::ISODate);
}

void SessionManager::startNewSession()
{
    m_sessionDurationUpdater.stop();
    if (m_recentSessions.isEmpty() && !m_suite.text(firstSessionDateKey)) {
        const QString date = today();
        persist(firstSessionDateKey, date);
        m_sendSignal(QStringLiteral("Telemetry.Acquisition.newInstallDetected"),
                     {{QStringLiteral("Telemetry.Acquisition.firstSessionDate"), date}});
    }
    m_currentSessionStartedAt = m_clock();
    m_currentSessionDuration = 0;
    m_sessionDurationLastUpdatedAt.reset();
    updateDuration();
    m_sessionDurationUpdater.start();
}

void SessionManager::applicationDidResignActive()
{
    updateDuration();
    m_sessionDurationUpdater.stop();
}

void SessionManager::applicationWillBecomeActive()
{
    updateDuration();
    if (m_currentSessionStartedAt.isValid())
        m_sessionDurationUpdater.start();
}

void SessionManager::updateDuration()
{
    const QDateTime now = m_clock();
    if (m_sessionDurationLastUpdatedAt)
        m_currentSessionDuration += double(m_sessionDurationLastUpdatedAt->msecsTo(now)) / 1000.0;
    m_sessionDurationLastUpdatedAt = now;
    if (m_currentSessionDuration < 1.0 || !m_currentSessionStartedAt.isValid())
        return;

    const qint64 seconds = static_cast<qint64>(m_currentSessionDuration);
    auto current =
        std::find_if(m_recentSessions.rbegin(), m_recentSessions.rend(),
                     [this](const StoredSession& s) { return s.startedAt == m_currentSessionStartedAt; });
    if (current != m_recentSessions.rend()) {
        if (current->durationInSeconds == seconds)
            return;
        current->durationInSeconds = seconds;
    } else {
        m_recentSessions.append({m_currentSessionStartedAt, seconds});
    }
    saveRecentSessions();
}

void SessionManager::recordDayOfUse()
{
    const QString date = today();
    if (!m_distinctDaysUsed.isEmpty() && m_distinctDaysUsed.constLast() == date)
        return;
    m_distinctDaysUsed.append(date);
    persist(distinctDaysUsedKey, m_distinctDaysUsed);
}

void SessionManager::saveRecentSessions()
{
    persist(recentSessionsKey, encodeSessions(m_recentSessions));
}

void SessionManager::persist(const QString& key, const QVariant& value)
{
    PrivateSuite* suite = &m_suite;
    QMetaObject::invokeMethod(
        m_persistence, [suite, key, value] { suite->setValue(key, value); }, Qt::QueuedConnection);
}

void SessionManager::flush()
{
    QMetaObject::invokeMethod(
        m_persistence, [] {}, Qt::BlockingQueuedConnection);
}

std::optional<QString> SessionManager::firstSessionDate() const
{
    return m_suite.text(firstSessionDateKey);
}

QMap<QString, QString> SessionManager::retentionParameters() const
{
    QMap<QString, QString> parameters;
    qint64 average = -1;
    if (m_recentSessions.size() == 1) {
        average = m_recentSessions.constFirst().durationInSeconds;
    } else if (m_recentSessions.size() > 1) {
        qint64 sum = 0;
        for (qsizetype i = 0; i + 1 < m_recentSessions.size(); ++i)
            sum += m_recentSessions.at(i).durationInSeconds;
        average = sum / (m_recentSessions.size() - 1);
    }
    parameters.insert(QStringLiteral("Telemetry.Retention.averageSessionSeconds"), QString::number(average));
    parameters.insert(QStringLiteral("Telemetry.Retention.distinctDaysUsed"),
                      QString::number(m_distinctDaysUsed.size()));

    const QString monthAgo = m_clock().toUTC().addSecs(-lastMonth.count()).date().toString(Qt::ISODate);
    const auto lastMonthDays = std::count_if(m_distinctDaysUsed.cbegin(), m_distinctDaysUsed.cend(),
                                             [&monthAgo](const QString& day) { return day >= monthAgo; });
    parameters.insert(QStringLiteral("Telemetry.Retention.distinctDaysUsedLastMonth"),
                      QString::number(lastMonthDays));
    parameters.insert(QStringLiteral("Telemetry.Retention.totalSessionsCount"),
                      QString::number(m_recentSessions.size() + m_deletedSessionsCount));
    if (m_recentSessions.size() >= 2) {
        parameters.insert(
            QStringLiteral("Telemetry.Retention.previousSessionSeconds"),
            QString::number(m_recentSessions.at(m_recentSessions.size() - 2).durationInSeconds));
    }
    return parameters;
}
