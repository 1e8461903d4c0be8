#pragma once

#include <QString>

// bluetoothd's D-Bus names, spelled once for every file that talks to it (the unit's link and
// the keyboard alike).
namespace BluezInterfaces {

inline const QString service = QStringLiteral("org.bluez");
inline const QString adapterInterface = QStringLiteral("org.bluez.Adapter1");
inline const QString deviceInterface = QStringLiteral("org.bluez.Device1");
inline const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
inline const QString objectManagerInterface = QStringLiteral("org.freedesktop.DBus.ObjectManager");

} // namespace BluezInterfaces
