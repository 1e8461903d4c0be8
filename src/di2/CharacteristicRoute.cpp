#include "di2/CharacteristicRoute.h"

#include "di2/Di2Parser.h"

#include <QSet>

CharacteristicRoute routeCharacteristic(const QString& shortIdentifier, const QByteArray& value)
{
    // Manufacturer Name, Serial Number, Firmware, Hardware and Software Revision, Model Number.
    static const QSet<QString> deviceInformation{QStringLiteral("2A29"), QStringLiteral("2A25"),
                                                 QStringLiteral("2A26"), QStringLiteral("2A27"),
                                                 QStringLiteral("2A28"), QStringLiteral("2A24")};
    const QString id = shortIdentifier.toUpper();
    if (id == QLatin1String("2AC2"))
        return CharacteristicRoute::di2Data;
    if (deviceInformation.contains(id))
        return CharacteristicRoute::deviceInformation;
    if (id == QLatin1String("2A19"))
        return CharacteristicRoute::batteryLevel;
    if (Di2Parser::isDi2PacketLength(value))
        return CharacteristicRoute::di2PacketLength;
    return CharacteristicRoute::unrouted;
}
