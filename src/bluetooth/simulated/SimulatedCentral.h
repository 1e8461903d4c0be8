#pragma once

#include "bluetooth/BleCentral.h"
#include "di2/Di2Capture.h"

#include <QObject>
#include <QTimer>
#include <chrono>

// A central with a scripted Di2 unit in range: "EW-WU111" and two neighbours that
// are no Di2 units, advertising while the central scans. Once its data characteristic
// is subscribed, the unit plays a ride — a capture, or the built-in demo — in the real
// packet format, and resumes it after a reconnection. It can be told to refuse or hang
// connections, drop the link, go silent or fall asleep, and the radio and the
// platform's Bluetooth service can be switched off and on.
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
    // Whether the unit tells its counters as soon as it is subscribed, or stays quiet until
    // the next press; nothing known of the real unit says which it does.
    void setReportsStateOnSubscription(bool reports) { m_reportsStateOnSubscription = reports; }
    // The unit goes out of range; it can be reached again at once.
    void dropLink();
    // An asleep unit neither advertises nor answers; an attempt on it waits for it to wake
    // until the connect limit passes. Falling asleep ends the link.
    void setAsleep(bool asleep);
    void setConnectLimit(std::chrono::milliseconds limit) { m_connectLimit = limit; }
    // How often one of the peripherals in range advertises while the central scans.
    void setAdvertisingInterval(std::chrono::milliseconds interval) { m_scanTimer.setInterval(interval); }
    void setPowered(bool powered);
    void setServiceRunning(bool running);

    BleCentralState state() const override { return m_state; }
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
    void completeConnection();
    void endLink(const QString& reason);
    void setState(BleCentralState state);
    void startRide();
    void scheduleNext();
    void waitOn();
    void deliverDueRecord();
    void stopRide();
    BleCharacteristic characteristicFor(const QString& shortIdentifier) const;

    bool m_looping;
    QList<Di2CaptureRecord> m_ride;
    ConnectBehaviour m_connectBehaviour = ConnectBehaviour::succeed;
    bool m_silent = false;
    bool m_reportsStateOnSubscription = true;
    bool m_connected = false;
    bool m_asleep = false;
    BleCentralState m_state = BleCentralState::poweredOn;
    std::chrono::milliseconds m_connectLimit{3'000};
    QTimer m_pendingAttempt;  // an attempt on an asleep unit
    QByteArray m_lastChannel; // the unit's last channel packet, for a subscriber it reports to
    QTimer m_scanTimer;
    int m_nextDiscovery = 0;
    QTimer m_rideTimer;
    qsizetype m_nextRecord = 0;
    qint64 m_lastRecordMs = 0;
    qint64 m_waitLeftMs = 0; // of the gap before the next record, beyond the timer's current step
};
