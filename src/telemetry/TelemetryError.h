#pragma once

#include <QString>

// Why the ingestion service did not take a batch.
struct TelemetryError
{
    enum class Kind { invalidStatusCode, unauthorised, forbidden, payloadTooLarge, invalidEndpointUrl };

    Kind kind = Kind::invalidStatusCode;
    int statusCode = 0;

    static TelemetryError forStatus(int statusCode)
    {
        switch (statusCode) {
        case 401:
            return {Kind::unauthorised, statusCode};
        case 403:
            return {Kind::forbidden, statusCode};
        case 413:
            return {Kind::payloadTooLarge, statusCode};
        default:
            return {Kind::invalidStatusCode, statusCode};
        }
    }

    QString description() const
    {
        switch (kind) {
        case Kind::invalidStatusCode:
            return QStringLiteral("Invalid status code %1").arg(statusCode);
        case Kind::unauthorised:
            return QStringLiteral("Unauthorized (401)");
        case Kind::forbidden:
            return QStringLiteral("Forbidden (403)");
        case Kind::payloadTooLarge:
            return QStringLiteral("Payload is too large (413)");
        case Kind::invalidEndpointUrl:
            return QStringLiteral("Invalid endpoint URL");
        }
        return {};
    }
};
