#pragma once

#include <QMetaType>
#include <QString>
#include <QUuid>
#include <optional>

// What Cogwise knows of the connected Di2 unit.
struct Di2DeviceInfo
{
    std::optional<QUuid> id;
    std::optional<QString> modelNumber;
    std::optional<QString> serialNumber;
    std::optional<QString> firmwareRevision;
    std::optional<QString> manufacturerName;
    std::optional<int> frontDerailleur;
    std::optional<int> rearDerailleur;
    std::optional<int> maxRearDerailleur;
    std::optional<int> batteryLevel; // 0..100

    bool operator==(const Di2DeviceInfo&) const = default;
};

Q_DECLARE_METATYPE(Di2DeviceInfo)
