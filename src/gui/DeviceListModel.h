#pragma once

#include "bluetooth/DiscoveredDevice.h"

#include <QAbstractListModel>
#include <QtQml/qqmlregistration.h>
#include <functional>

// The scan list: the devices found, strongest signal first.
class DeviceListModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Owned by the scan view model")

public:
    enum Role { nameRole = Qt::UserRole + 1, addressRole, litBarsRole, isDi2DeviceRole };

    // The Bluetooth address of a unit, as the platform's backend knows it from the identifier.
    using AddressOf = std::function<QString(const QUuid& identifier)>;

    // Without an AddressOf a row shows the whole identifier.
    explicit DeviceListModel(AddressOf addressOf = {}, QObject* parent = nullptr);

    void setDevices(QList<DiscoveredDevice> devices);
    const QList<DiscoveredDevice>& devices() const { return m_devices; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // What tells two units apart in the row: the address, "E3:5A:11:22:33:44".
    QString address(const QUuid& id) const;

private:
    AddressOf m_addressOf;
    QList<DiscoveredDevice> m_devices;
};
