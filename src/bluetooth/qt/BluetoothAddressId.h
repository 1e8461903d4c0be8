#pragma once

#include <QBluetoothAddress>
#include <QUuid>
#include <optional>

// Peripheral identifiers for stacks that know devices by their address (BlueZ):
// the 48-bit address in the UUID's last field, 00000000-0000-0000-0000-AABBCCDDEEFF,
// so that a saved identifier turns back into an address.
namespace BluetoothAddressId {

QUuid identifier(const QBluetoothAddress& address);
// Nothing for identifiers that carry no address.
std::optional<QBluetoothAddress> address(const QUuid& identifier);

} // namespace BluetoothAddressId
