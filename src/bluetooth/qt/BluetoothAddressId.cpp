#include "bluetooth/qt/BluetoothAddressId.h"

namespace BluetoothAddressId {

QUuid identifier(const QBluetoothAddress& address)
{
    const quint64 value = address.toUInt64();
    return QUuid(0, 0, 0, 0, 0, quint8(value >> 40), quint8(value >> 32), quint8(value >> 24),
                 quint8(value >> 16), quint8(value >> 8), quint8(value));
}

std::optional<QBluetoothAddress> address(const QUuid& identifier)
{
    if (identifier.data1 != 0 || identifier.data2 != 0 || identifier.data3 != 0 || identifier.data4[0] != 0 ||
        identifier.data4[1] != 0)
        return std::nullopt;
    quint64 value = 0;
    for (int i = 2; i < 8; ++i)
        value = (value << 8) | identifier.data4[i];
    if (value == 0)
        return std::nullopt;
    return QBluetoothAddress(value);
}

} // namespace BluetoothAddressId
