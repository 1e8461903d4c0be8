#pragma once

#include "bluetooth/BleCentral.h"

#include <QString>

// How characteristics are recognised: by the short form of their UUID.
namespace BleUuid {

// "2A19" for 2a19; "2AC2" for 00002AC2-0000-1000-8000-00805F9B34FB; else the last four characters.
QString shortUUIDString(const QString& uuid);

// Canonical upper-case text of a peripheral identifier.
inline QString text(const QUuid& uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

} // namespace BleUuid
