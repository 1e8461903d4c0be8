#pragma once

#include <QString>

namespace AppIdentity {

// Reverse-DNS identifier: the system log's subsystem, and the desktop file's name.
inline QString applicationId()
{
    return QStringLiteral("app.cogwise.Cogwise");
}

inline QString applicationName()
{
    return QStringLiteral("Cogwise");
}

} // namespace AppIdentity
