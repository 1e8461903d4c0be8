#include "di2/CharacteristicRoute.h"

#include "di2/Di2Parser.h"
#include "di2/GattIds.h"

CharacteristicRoute routeCharacteristic(const QString& shortIdentifier, const QByteArray& value)
{
    static const QStringList deviceInformation = GattIds::deviceInformationTexts();
    const QString id = shortIdentifier.toUpper();
    if (id == GattIds::di2Data())
        return CharacteristicRoute::di2Data;
    if (deviceInformation.contains(id))
        return CharacteristicRoute::deviceInformation;
    if (id == GattIds::batteryLevel())
        return CharacteristicRoute::batteryLevel;
    if (Di2Parser::isDi2PacketLength(value))
        return CharacteristicRoute::di2PacketLength;
    return CharacteristicRoute::unrouted;
}
