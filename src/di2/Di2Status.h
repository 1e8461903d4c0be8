#pragma once

#include <QByteArray>
#include <QString>

// A decoded 17-byte status packet: where the derailleurs are.
struct Di2Status
{
    quint8 msgType = 3;
    quint8 subtype = 0;
    quint8 front = 0;   // chainring position
    quint8 rear = 0;    // sprocket position
    quint8 rearMax = 0; // number of rear positions
    QByteArray raw;

    QString frontDescription() const;
    QString description() const;

    bool operator==(const Di2Status&) const = default;
};
