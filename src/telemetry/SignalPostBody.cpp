#include "telemetry/SignalPostBody.h"

#include "platform/ReferenceDate.h"

#include <QCryptographicHash>
#include <QJsonDocument>

QJsonObject SignalPostBody::toJson(DateEncoding encoding) const
{
    QJsonObject payloadObject;
    for (auto it = payload.cbegin(); it != payload.cend(); ++it)
        payloadObject.insert(it.key(), it.value());

    QJsonObject object{
        {QStringLiteral("appID"), appID},           {QStringLiteral("clientUser"), clientUser},
        {QStringLiteral("sessionID"), sessionID},   {QStringLiteral("type"), type},
        {QStringLiteral("payload"), payloadObject}, {QStringLiteral("isTestMode"), isTestMode},
    };
    if (encoding == DateEncoding::wire)
        object.insert(QStringLiteral("receivedAt"),
                      QString(receivedAt.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
                              QStringLiteral("+0000")));
    else
        object.insert(QStringLiteral("receivedAt"), ReferenceDate::secondsSinceReferenceDate(receivedAt));
    if (floatValue)
        object.insert(QStringLiteral("floatValue"), *floatValue);
    return object;
}

std::optional<SignalPostBody> SignalPostBody::fromCacheJson(const QJsonObject& object)
{
    const QStringList textKeys{QStringLiteral("appID"), QStringLiteral("clientUser"),
                               QStringLiteral("sessionID"), QStringLiteral("type"),
                               QStringLiteral("isTestMode")};
    for (const QString& key : textKeys) {
        if (!object.value(key).isString())
            return std::nullopt;
    }
    if (!object.value(QStringLiteral("receivedAt")).isDouble() ||
        !object.value(QStringLiteral("payload")).isObject())
        return std::nullopt;
    const auto receivedAt =
        ReferenceDate::fromSecondsSinceReferenceDate(object.value(QStringLiteral("receivedAt")).toDouble());
    if (!receivedAt)
        return std::nullopt;

    SignalPostBody body;
    body.receivedAt = *receivedAt;
    body.appID = object.value(QStringLiteral("appID")).toString();
    body.clientUser = object.value(QStringLiteral("clientUser")).toString();
    body.sessionID = object.value(QStringLiteral("sessionID")).toString();
    body.type = object.value(QStringLiteral("type")).toString();
    body.isTestMode = object.value(QStringLiteral("isTestMode")).toString();
    if (object.contains(QStringLiteral("floatValue"))) {
        if (!object.value(QStringLiteral("floatValue")).isDouble())
            return std::nullopt;
        body.floatValue = object.value(QStringLiteral("floatValue")).toDouble();
    }
    const QJsonObject payload = object.value(QStringLiteral("payload")).toObject();
    for (auto it = payload.constBegin(); it != payload.constEnd(); ++it) {
        if (!it.value().isString())
            return std::nullopt;
        body.payload.insert(it.key(), it.value().toString());
    }
    return body;
}

QString SignalPostBody::hashedUser(const QString& userIdentifier, const QString& salt)
{
    return QString::fromLatin1(
        QCryptographicHash::hash((userIdentifier + salt).toUtf8(), QCryptographicHash::Sha256).toHex());
}

QString SignalPostBody::description() const
{
    return QString::fromUtf8(QJsonDocument(toJson(DateEncoding::wire)).toJson(QJsonDocument::Compact));
}
