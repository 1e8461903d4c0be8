#pragma once

#include <QString>
#include <QStringList>

// The GATT services and characteristics a Di2 unit offers, by the short form of their
// UUID (upper case), as the Bluetooth SIG assigns them. Named here and nowhere else.
namespace GattIds {

inline QString deviceInformationService()
{
    return QStringLiteral("180A");
}
inline QString batteryService()
{
    return QStringLiteral("180F");
}

// Notifies the Di2 packets.
inline QString di2Data()
{
    return QStringLiteral("2AC2");
}
inline QString batteryLevel()
{
    return QStringLiteral("2A19");
}

// The texts of the device information service.
inline QString modelNumber()
{
    return QStringLiteral("2A24");
}
inline QString serialNumber()
{
    return QStringLiteral("2A25");
}
inline QString firmwareRevision()
{
    return QStringLiteral("2A26");
}
inline QString hardwareRevision()
{
    return QStringLiteral("2A27");
}
inline QString softwareRevision()
{
    return QStringLiteral("2A28");
}
inline QString manufacturerName()
{
    return QStringLiteral("2A29");
}
inline QStringList deviceInformationTexts()
{
    return {manufacturerName(), serialNumber(),     firmwareRevision(),
            hardwareRevision(), softwareRevision(), modelNumber()};
}

// The full UUID of a short one, on the Bluetooth base UUID.
inline QString fullUuid(const QString& shortId)
{
    return QStringLiteral("0000%1-0000-1000-8000-00805F9B34FB").arg(shortId);
}

} // namespace GattIds
