#pragma once

#include <QByteArray>
#include <QString>

// Where the value of a characteristic goes, by its short identifier ("2AC2").
// The first rule that applies wins, in the order of the enumeration.
enum class CharacteristicRoute {
    di2Data,           // "2AC2": the parser's notification entry
    deviceInformation, // "2A24".."2A29": a text of the device information
    batteryLevel,      // "2A19": the parser's battery entry
    di2PacketLength,   // any other whose value has a Di2 packet length: the notification entry
    unrouted,
};

CharacteristicRoute routeCharacteristic(const QString& shortIdentifier, const QByteArray& value);
