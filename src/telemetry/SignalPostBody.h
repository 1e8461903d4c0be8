#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <optional>

// One signal as the ingestion service receives it, and as the queue's journal keeps it.
struct SignalPostBody
{
    enum class DateEncoding {
        wire,  // "yyyy-MM-dd'T'HH:mm:ssZ" in UTC: 2025-03-01T14:05:09+0000
        cache, // seconds since 2001-01-01 00:00:00 UTC
    };

    QDateTime receivedAt;
    QString appID;
    QString clientUser;
    QString sessionID;
    QString type;
    std::optional<double> floatValue;
    QMap<QString, QString> payload;
    QString isTestMode; // "true" or "false"

    QJsonObject toJson(DateEncoding encoding) const;
    // Nothing for an object that is not a record in the cache encoding.
    static std::optional<SignalPostBody> fromCacheJson(const QJsonObject& object);

    // The lower-case hex SHA-256 of the user identifier followed by the salt.
    static QString hashedUser(const QString& userIdentifier, const QString& salt);

    QString description() const;

    bool operator==(const SignalPostBody&) const = default;
};
