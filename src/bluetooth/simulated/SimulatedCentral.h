#pragma once

#include "bluetooth/BleCentral.h"
#include "di2/Di2Capture.h"

#include <QObject>
#include <QTimer>

// A central with a scripted Di2 unit in range: "EW-WU111" and two neighbours that
// are no Di2 units. Once its data characteristic is subscribed, the unit plays a
// ride — a capture, or the built-in demo — in the real packet format. It can be told
// to refuse or hang connections, drop the link, or go silent.
class SimulatedCentral : public BleCentral
{
    Q_OBJECT

public:
    enum class ConnectBehaviour { succeed, refuse, hang };

    // An empty ride means the built-in demo, played in a loop.
    explicit SimulatedCentral(QList<Di2CaptureRecord> ride = {}, QObject* parent = nullptr);

    static const BlePeripheral& unit();
    static QList<Di2CaptureRecord> demoRide();

    void setConnectBehaviour(ConnectBehaviour behaviour) { m_connectBehaviour = behaviour; }
    void setSilent(bool silent) { m_silent = silent; }
    // The unit goes out of range; it can be reached again at once.
    void dropLink();

    BleCentralState state() const override { return BleCentralState::poweredOn; }
    void scanForPeripherals() override;
    void stopScan() override;
    void connectPeripheral(const BlePeripheral& peripheral) override;
    void cancelPeripheralConnection(const BlePeripheral& peripheral) override;
    QList<BlePeripheral> retrievePeripherals(const QUuid& identifier) override;
    void discoverServices(const BlePeripheral& peripheral) override;
    void discoverCharacteristics(const BlePeripheral& peripheral, const BleService& service) override;
    void setNotifyValue(bool enabled, const BlePeripheral& peripheral,
                        const BleCharacteristic& characteristic) override;
    void readValue(const BlePeripheral& peripheral, const BleCharacteristic& characteristic) override;

Q_SIGNALS:
    // The whole capture has been played (never for the looping demo).
    void rideFinished();

private:
    void later(int delayMs, std::function<void()> report);
    void startRide();
    void scheduleNext();
    void deliverDueRecord();
    void stopRide();
    BleCharacteristic characteristicFor(const QString& shortIdentifier) const;

    bool m_looping;
    QList<Di2CaptureRecord> m_ride;
    ConnectBehaviour m_connectBehaviour = ConnectBehaviour::succeed;
    bool m_silent = false;
    bool m_connected = false;
    QTimer m_scanTimer;
    int m_nextDiscovery = 0;
    QTimer m_rideTimer;
    qsizetype m_nextRecord = 0;
    qint64 m_lastRecordMs = 0;
};
