#include "gui/DeviceListModel.h"

#include "gui/ViewRules.h"

#include <algorithm>
#include <numeric>

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
    devices = std::move(sorted);
    const bool sameRows = devices.size() == m_devices.size() &&
                          std::equal(devices.begin(), devices.end(), m_devices.begin(),
                                     [](const DiscoveredDevice& a, const DiscoveredDevice& b) {
                                         return a == b && a.rssi == b.rssi;
                                     });
    if (sameRows)
        return;
    beginResetModel();
    m_devices = std::move(devices);
    endResetModel();
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
    case shortIdRole:
        return shortIdentifier(device.id);
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
            {shortIdRole, "shortId"},
            {litBarsRole, "litBars"},
            {isDi2DeviceRole, "isDi2Device"}};
}

QString DeviceListModel::shortIdentifier(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper().left(18);
}
