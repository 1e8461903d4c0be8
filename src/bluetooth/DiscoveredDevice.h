#pragma once

#include "bluetooth/BleCentral.h"

#include <QMetaType>

// One scan result. Equal by identifier and name only.
struct DiscoveredDevice
{
    QUuid id;
    QString name;
    int rssi = 0; // dBm
    std::optional<BlePeripheral> peripheral;

    bool operator==(const DiscoveredDevice& other) const { return id == other.id && name == other.name; }

    // Whether the name looks like a Shimano Di2 wireless unit; filters nothing.
    bool isDi2Device() const { return isDi2Name(name); }
    static bool isDi2Name(const QString& name);
};

Q_DECLARE_METATYPE(DiscoveredDevice)
