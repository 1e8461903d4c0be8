#include "gui/DeviceListModel.h"

#include "gui/ViewRules.h"

#include <algorithm>
#include <numeric>

DeviceListModel::DeviceListModel(AddressOf addressOf, QObject* parent)
    : QAbstractListModel(parent)
    , m_addressOf(std::move(addressOf))
{}

void DeviceListModel::setDevices(QList<DiscoveredDevice> devices)
{
    // Sorting positions rather than the devices themselves: GCC 12 at -O1 warns falsely about
    // moved-from optionals inside the devices.
    QList<qsizetype> order(devices.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&devices](qsizetype a, qsizetype b) {
        return devices.at(a).rssi > devices.at(b).rssi;
    });
    QList<DiscoveredDevice> sorted;
    sorted.reserve(devices.size());
    for (qsizetype index : order)
        sorted.append(devices.at(index));

    // Row by row rather than a reset: each update of the signals would otherwise rebuild every
    // row, and the Connect button that has the keyboard focus with it.
    const auto rowOf = [this](const DiscoveredDevice& device, qsizetype from) -> qsizetype {
        for (qsizetype row = from; row < m_devices.size(); ++row) {
            if (m_devices.at(row) == device)
                return row;
        }
        return -1;
    };
    for (qsizetype row = m_devices.size() - 1; row >= 0; --row) {
        if (!sorted.contains(m_devices.at(row))) {
            beginRemoveRows({}, int(row), int(row));
            m_devices.removeAt(row);
            endRemoveRows();
        }
    }
    for (qsizetype row = 0; row < sorted.size(); ++row) {
        const DiscoveredDevice& device = sorted.at(row);
        const qsizetype found = rowOf(device, row);
        if (found < 0) {
            beginInsertRows({}, int(row), int(row));
            m_devices.insert(row, device);
            endInsertRows();
            continue;
        }
        if (found != row) {
            beginMoveRows({}, int(found), int(found), {}, int(row));
            m_devices.insert(row, m_devices.takeAt(found));
            endMoveRows();
        }
        const bool signalChanged = m_devices.at(row).rssi != device.rssi;
        m_devices[row] = device;
        if (signalChanged)
            Q_EMIT dataChanged(index(int(row)), index(int(row)), {litBarsRole});
    }
}

int DeviceListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_devices.size());
}

QVariant DeviceListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const DiscoveredDevice& device = m_devices.at(index.row());
    switch (role) {
    case nameRole:
        return device.name;
    case addressRole:
        return address(device.id);
    case litBarsRole:
        return ViewRules::litSignalBars(device.rssi);
    case isDi2DeviceRole:
        return device.isDi2Device();
    default:
        return {};
    }
}

QHash<int, QByteArray> DeviceListModel::roleNames() const
{
    return {{nameRole, "name"},
            {addressRole, "address"},
            {litBarsRole, "litBars"},
            {isDi2DeviceRole, "isDi2Device"}};
}

QString DeviceListModel::address(const QUuid& id) const
{
    return m_addressOf ? m_addressOf(id) : id.toString(QUuid::WithoutBraces).toUpper();
}
