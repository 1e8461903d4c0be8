#pragma once

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

// The keyboard's own BlueZ D-Bus names (the shared ones are BluezInterfaces) and the types
// its calls carry.
namespace BluezNames {

inline const QString gattManager = QStringLiteral("org.bluez.GattManager1");
inline const QString gattService = QStringLiteral("org.bluez.GattService1");
inline const QString gattCharacteristic = QStringLiteral("org.bluez.GattCharacteristic1");
inline const QString gattDescriptor = QStringLiteral("org.bluez.GattDescriptor1");
inline const QString advertisingManager = QStringLiteral("org.bluez.LEAdvertisingManager1");
inline const QString advertisement = QStringLiteral("org.bluez.LEAdvertisement1");
inline const QString agentManager = QStringLiteral("org.bluez.AgentManager1");
inline const QString agent = QStringLiteral("org.bluez.Agent1");

using InterfaceMap = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceMap>;

// Makes the types above known to QtDBus; safe to call more than once.
void registerTypes();

// The a{sv} options argument at `index` of a call; empty when absent or not a dictionary.
QVariantMap optionsOf(const QDBusMessage& message, int index);

} // namespace BluezNames

Q_DECLARE_METATYPE(BluezNames::InterfaceMap)
Q_DECLARE_METATYPE(BluezNames::ManagedObjects)
