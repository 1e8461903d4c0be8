#pragma once

#include <QDateTime>

struct StoredSession
{
    QDateTime startedAt;
    qint64 durationInSeconds = 0;

    bool operator==(const StoredSession&) const = default;
};
