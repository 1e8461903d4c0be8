#pragma once

#include "bluetooth/DiscoveredDevice.h"

#include <QAbstractListModel>
#include <QtQml/qqmlregistration.h>

// The scan list: the devices found, strongest signal first.
class DeviceListModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Owned by the scan view model")

public:
    enum Role { nameRole = Qt::UserRole + 1, shortIdRole, litBarsRole, isDi2DeviceRole };

    using QAbstractListModel::QAbstractListModel;

    void setDevices(QList<DiscoveredDevice> devices);
    const QList<DiscoveredDevice>& devices() const { return m_devices; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // "8-4-4" of the upper-case UUID text, as the row shows it.
    static QString shortIdentifier(const QUuid& id);

private:
    QList<DiscoveredDevice> m_devices;
};
