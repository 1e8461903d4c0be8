#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

class AppViewModel;
class KeySink;

// The Device section and the toolbar: what is known of the connected unit, the gears,
// and whether keys can be posted.
class DeviceViewModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Built by the application")
    Q_PROPERTY(QString modelNumber READ modelNumber NOTIFY changed)
    Q_PROPERTY(QString title READ title NOTIFY changed)
    Q_PROPERTY(QString manufacturer READ manufacturer NOTIFY changed)
    Q_PROPERTY(int batteryLevel READ batteryLevel NOTIFY changed)
    Q_PROPERTY(QString batteryIcon READ batteryIcon NOTIFY changed)
    Q_PROPERTY(QString batteryColor READ batteryColor NOTIFY changed)
    Q_PROPERTY(QString picture READ picture NOTIFY changed)
    Q_PROPERTY(QString serialNumber READ serialNumber NOTIFY changed)
    Q_PROPERTY(QString firmwareRevision READ firmwareRevision NOTIFY changed)
    Q_PROPERTY(int frontGear READ frontGear NOTIFY changed)
    Q_PROPERTY(int rearGear READ rearGear NOTIFY changed)
    Q_PROPERTY(int maxRear READ maxRear NOTIFY changed)
    Q_PROPERTY(int currentVirtualGear READ currentVirtualGear NOTIFY changed)
    Q_PROPERTY(bool canPostKeys READ canPostKeys NOTIFY changed)
    // Why keys cannot be posted, with the fix; empty when they can.
    Q_PROPERTY(QString keyProblem READ keyProblem NOTIFY changed)
    // Keys could be typed, but the rider has not switched on sending them.
    Q_PROPERTY(bool shiftKeysOff READ shiftKeysOff NOTIFY changed)
    // Which device takes keys when that is not this computer; empty otherwise.
    Q_PROPERTY(QString keyDestination READ keyDestination NOTIFY changed)
    // Empty while connected; else what the link is doing, in a sentence.
    Q_PROPERTY(QString linkStatus READ linkStatus NOTIFY changed)
    // "Last shift: 0.31 ms · median 0.30 ms this ride"; empty before the first timed press.
    Q_PROPERTY(QString shiftLatency READ shiftLatency NOTIFY shiftLatencyChanged)

public:
    DeviceViewModel(AppViewModel& viewModel, const KeySink& keySink, QObject* parent = nullptr);

    QString modelNumber() const; // empty until read
    QString title() const;
    QString manufacturer() const;
    int batteryLevel() const;
    QString batteryIcon() const;
    QString batteryColor() const;
    QString picture() const;
    QString serialNumber() const;
    QString firmwareRevision() const;
    int frontGear() const;
    int rearGear() const;
    int maxRear() const;
    int currentVirtualGear() const;
    bool canPostKeys() const { return m_keyProblem.isEmpty(); }
    const QString& keyProblem() const { return m_keyProblem; }
    bool shiftKeysOff() const;
    QString keyDestination() const;
    QString linkStatus() const;
    QString shiftLatency() const;

    Q_INVOKABLE void disconnectDevice();
    // "Navigate to Mapping": the main window selects the Mapping section.
    Q_INVOKABLE void requestMapping() { Q_EMIT navigateToMapping(); }
    // "Send Shift Keys" on the section's offer.
    Q_INVOKABLE void sendShiftKeys();

Q_SIGNALS:
    void changed();
    void navigateToMapping();
    void shiftLatencyChanged();

private:
    // The key-posting test runs again with each update of what the section shows.
    void rebuild();

    AppViewModel& m_viewModel;
    const KeySink& m_keySink;
    QString m_keyProblem;
};
