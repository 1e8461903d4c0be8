#include "di2/Di2Status.h"

QString Di2Status::frontDescription() const
{
    switch (front) {
    case 0:
        return QStringLiteral("Unknown");
    case 1:
        return QStringLiteral("Small Ring");
    case 2:
        return QStringLiteral("Big Ring");
    case 3:
        return QStringLiteral("Biggest Ring");
    default:
        return QStringLiteral("Ring %1").arg(front);
    }
}

QString Di2Status::description() const
{
    return QStringLiteral("%1, Rear %2 of %3 (type: %4, subtype: %5)")
        .arg(frontDescription())
        .arg(rear)
        .arg(rearMax)
        .arg(msgType)
        .arg(subtype);
}
