#pragma once

#include <QDateTime>
#include <QString>

// One line of the user-visible event log.
struct Log
{
    double id = 0; // seconds since 1970, when the entry was made
    QDateTime timestamp;
    QString message;

    bool operator==(const Log&) const = default;
};
