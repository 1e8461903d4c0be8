#include "KeyboardHost.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QThread>
#include <cmath>

namespace {

const QString hostName = QStringLiteral("iPad");
constexpr int readyTimeoutMs = 30000;
constexpr int waitStepMs = 20;
// The fake takes each report's arrival time on the thread that answers our questions: asked
// only every so often, it is idle while a report is on its way.
constexpr int pollMs = 10;

// Report: modifiers, a reserved byte, then the key slots; Cogwise puts its key in the first.
constexpr qsizetype firstKeySlot = 2;

// The keysym that the key at this position types on a US layout, as the key window names it.
QString keyName(quint8 usage)
{
    switch (usage) {
    case 0x36:
        return QStringLiteral("comma");
    case 0x37:
        return QStringLiteral("period");
    default:
        return QStringLiteral("usage 0x%1").arg(usage, 2, 16, QLatin1Char('0'));
    }
}

QVariant first(const QDBusMessage& reply)
{
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0) : QVariant();
}

template<typename T> T demarshalled(const QVariant& value)
{
    return value.userType() == qMetaTypeId<QDBusArgument>() ? qdbus_cast<T>(value.value<QDBusArgument>())
                                                            : value.value<T>();
}

template<typename Done> bool waitFor(Done done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(waitStepMs);
    }
    return true;
}

} // namespace

std::optional<QString> KeyboardHost::attach()
{
    query(QStringLiteral("HostClearReports"));
    m_seen = 0;
    // Open for pairing: registered, discoverable, and its agent the default one instead of the
    // desktop's.
    const auto open = [] {
        const auto advertised =
            demarshalled<QVariantMap>(first(query(QStringLiteral("AdvertisementProperties"))));
        const QVariant answer = first(query(QStringLiteral("DefaultAgent")));
        if (answer.userType() != qMetaTypeId<QDBusArgument>())
            return false;
        const auto agent = answer.value<QDBusArgument>();
        QString agentName;
        QDBusObjectPath agentPath;
        agent.beginStructure();
        agent >> agentName >> agentPath;
        agent.endStructure();
        return first(query(QStringLiteral("RegisteredApplications"))).toUInt() > 0 &&
               advertised.value(QStringLiteral("Discoverable")).toBool() && !agentName.isEmpty() &&
               agentName != first(query(QStringLiteral("DesktopAgentName"))).toString();
    };
    if (!waitFor(open, readyTimeoutMs))
        return QStringLiteral("the keyboard never opened for pairing");
    const QString how = m_paired ? QStringLiteral("HostConnect") : QStringLiteral("HostPair");
    const QDBusMessage reply = query(how, {hostName});
    if (!first(reply).toBool())
        return QStringLiteral("the host could not %1: %2")
            .arg(m_paired ? QStringLiteral("connect again") : QStringLiteral("pair"), reply.errorMessage());
    m_paired = true;
    if (!waitFor([] { return first(query(QStringLiteral("HostSubscribed"))).toBool(); }, readyTimeoutMs))
        return QStringLiteral("the host never subscribed to the keyboard's reports");
    return std::nullopt;
}

std::optional<QString> KeyboardHost::detach()
{
    query(QStringLiteral("HostDisconnect"));
    const auto gone = [] {
        return first(query(QStringLiteral("RegisteredApplications"))).toUInt() == 0 &&
               demarshalled<QVariantMap>(first(query(QStringLiteral("AdvertisementProperties")))).isEmpty();
    };
    if (!waitFor(gone, readyTimeoutMs))
        return QStringLiteral("the keyboard stayed registered after its process ended");
    return std::nullopt;
}

std::optional<KeyArrivals::Key> KeyboardHost::nextDown(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    do {
        QThread::msleep(pollMs);
        const QList<Report> reports = arrived();
        while (m_seen < reports.size()) {
            const Report& report = reports.at(m_seen++);
            const quint8 usage =
                report.value.size() > firstKeySlot ? quint8(report.value.at(firstKeySlot)) : 0;
            if (usage != 0)
                return Key{true, keyName(usage), report.received};
        }
    } while (!deadline.hasExpired());
    return std::nullopt;
}

void KeyboardHost::discardArrived()
{
    m_seen = arrived().size();
}

QList<KeyboardHost::Report> KeyboardHost::arrived()
{
    const auto values = demarshalled<QList<QByteArray>>(first(query(QStringLiteral("HostReports"))));
    const auto times = demarshalled<QList<double>>(first(query(QStringLiteral("HostReportTimes"))));
    // A report may arrive between the two questions: its time is then left for the next time.
    QList<Report> reports;
    for (qsizetype i = 0; i < std::min(values.size(), times.size()); ++i)
        reports.append({values.at(i), qint64(std::llround(times.at(i) * 1e9))});
    return reports;
}

QDBusMessage KeyboardHost::query(const QString& method, const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), QStringLiteral("/"),
                                                       QStringLiteral("org.bluez.Mock"), method);
    call.setArguments(arguments);
    return QDBusConnection::systemBus().call(call);
}
