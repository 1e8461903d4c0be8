#pragma once

#include "gui/DeviceListModel.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

class AppViewModel;
class ConnectionState;

// What the device scan screen shows: one panel per connection state, and the devices.
class ScanViewModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Built by the application")
    // The panel's name, for the screen to switch on.
    Q_PROPERTY(QString panel READ panelName NOTIFY changed)
    Q_PROPERTY(QString errorText READ errorText NOTIFY changed)
    // The unit being connected to, or waited for.
    Q_PROPERTY(QString connectingName READ connectingName NOTIFY changed)
    Q_PROPERTY(bool activeScanning READ activeScanning NOTIFY changed)
    // Why the last device chosen did not connect, shown over the list ("HRM-Pro is not a Di2 unit").
    Q_PROPERTY(QString notice READ notice NOTIFY changed)
    Q_PROPERTY(DeviceListModel* devices READ devices CONSTANT)

public:
    enum class Panel {
        bluetoothRequired,
        scanning,
        found,
        connecting,
        readyToScan,
        failed,
        connected,
        waiting
    };
    Q_ENUM(Panel)

    ScanViewModel(AppViewModel& viewModel, DeviceListModel::AddressOf addressOf, QObject* parent = nullptr);

    Panel panel() const { return m_panel; }
    QString panelName() const;
    const QString& errorText() const { return m_errorText; }
    const QString& connectingName() const { return m_connectingName; }
    bool activeScanning() const { return m_activeScanning; }
    const QString& notice() const { return m_notice; }
    DeviceListModel* devices() { return &m_devices; }

    // "Enable Bluetooth", "Scan Again" and "Try Again". A failure stays on screen until then,
    // though the link scans again right after it.
    Q_INVOKABLE void scanAgain();
    Q_INVOKABLE void connectDevice(int row);

Q_SIGNALS:
    void changed();

private:
    void show(const ConnectionState& state);
    void setNotice(const QString& notice);

    AppViewModel& m_viewModel;
    DeviceListModel m_devices;
    Panel m_panel = Panel::bluetoothRequired;
    QString m_errorText;
    QString m_connectingName;
    QString m_notice;
    bool m_activeScanning = false;
    bool m_holdingFailure = false;
};
