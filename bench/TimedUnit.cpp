#include "TimedUnit.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

std::optional<QString> TimedUnit::start()
{
    if (const auto missing = FakeBluez::missing())
        return missing;
    if (const auto error = m_bluez.start())
        return error;
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), QStringLiteral("/"),
                                                       QStringLiteral("org.freedesktop.DBus.Mock"),
                                                       QStringLiteral("AddTemplate"));
    call.setArguments({QStringLiteral(COGWISE_BENCH_TIMED_NOTIFY), QVariantMap()});
    const QDBusMessage reply = QDBusConnection::systemBus().call(call);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return QStringLiteral("the fake bluetoothd took no timed notifications: ") + reply.errorMessage();
    return std::nullopt;
}

std::optional<qint64> TimedUnit::notify(const QByteArray& value)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), QStringLiteral("/"),
                                       QStringLiteral("org.bluez.Mock"), QStringLiteral("NotifyTimed"));
    call.setArguments({value});
    const QDBusMessage reply = QDBusConnection::systemBus().call(call);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return std::nullopt;
    return qint64(reply.arguments().value(0).toULongLong());
}
