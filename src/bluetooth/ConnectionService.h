#pragma once

#include "bluetooth/BleCentral.h"
#include "bluetooth/ConnectionState.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <deque>

class Analytics;
class BLEConnectionManager;
class Defaults;
struct Di2Channel;
class Di2Parser;
struct Di2Status;

// The connection state machine: when to scan, which unit to connect to, the device
// information, and where each characteristic value goes. The rider's unit (the last
// one connected) is followed through sleep, drops and radio power: while it is not
// connected Cogwise listens for its advertisements and connects when it hears one.
class ConnectionService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(ConnectionState connectionState READ connectionState NOTIFY connectionStateChanged)
    Q_PROPERTY(QList<DiscoveredDevice> peripherals READ peripherals NOTIFY peripheralsChanged)
    Q_PROPERTY(Di2DeviceInfo deviceInfo READ deviceInfo NOTIFY deviceInfoChanged)

public:
    struct Timing
    {
        std::chrono::milliseconds scanTimeout{8'000};
        // After a refusal the unit is tried again on its next advertisement, no sooner than
        // 0.25 s, then 0.5, 1 ... up to 30 s later.
        std::chrono::milliseconds firstRetryDelay{250};
        std::chrono::milliseconds maximumRetryDelay{30'000};
        // An attempt the platform never answers is given up after this long.
        std::chrono::milliseconds attemptTimeout{25'000};
        // The radio needs a moment after power-on before it scans and connects reliably.
        std::chrono::milliseconds powerOnSettle{1'500};
        // A unit unseen for this long leaves the scan list.
        std::chrono::milliseconds listLifetime{30'000};
        // Discovery that has heard nothing for this long while waiting is restarted.
        std::chrono::milliseconds scanWatchdog{90'000};
    };

    ConnectionService(BLEConnectionManager& ble, Di2Parser& parser, Defaults& storage, Analytics& analytics,
                      QObject* parent = nullptr);
    ~ConnectionService() override;

    void setTiming(const Timing& timing);

    const ConnectionState& connectionState() const { return m_connectionState; }
    const QList<DiscoveredDevice>& peripherals() const { return m_peripherals; }
    const Di2DeviceInfo& deviceInfo() const { return m_deviceInfo; }
    // Whether Cogwise is listening for the rider's unit to come back.
    bool isWaitingForUnit() const { return m_waiting; }
    // The rider's unit, when one is saved.
    std::optional<QUuid> savedUnit() const { return savedUnit(m_storage); }
    static std::optional<QUuid> savedUnit(const Defaults& storage);

    void autoConnectOrScan();
    void rescan();
    void connect(const DiscoveredDevice& device);
    void disconnect();
    // Makes this unit the rider's unit without a connection yet (headless --device).
    void chooseUnit(const QUuid& identifier);

Q_SIGNALS:
    void connectionStateChanged(const ConnectionState& state);
    void peripheralsChanged();
    void deviceInfoChanged(const Di2DeviceInfo& info);
    // A line for the user's event log.
    void messageLogged(const QString& text);
    // arrivalNs: when the value that held the presses reached Cogwise (MonotonicTime).
    void buttonsPressed(const QList<int>& buttons, qint64 arrivalNs);
    // An attempt to connect to a unit failed while the radio was usable.
    void attemptFailed();
    // The device chosen is no Di2 unit ("HRM-Pro is not a Di2 unit"); the scan goes on.
    void notADi2Unit(const QString& text);

private:
    void didUpdateBluetoothState(BleCentralState state);
    void didStartScanning();
    void didStopScanning();
    void didDiscover(const BlePeripheral& peripheral, int rssi, bool advertising);
    void didConnect(const BlePeripheral& peripheral);
    void didFinishDiscovery(const BlePeripheral& peripheral, bool offersDi2Data);
    void didFailToConnect(const BlePeripheral& peripheral, BleConnectFailure failure,
                          const std::optional<QString>& error);
    void didDisconnect(const BlePeripheral& peripheral, const std::optional<QString>& error);
    void didReceiveValue(const QByteArray& value, const BleCharacteristic& characteristic);
    void didReceiveStatus(const Di2Status& status);
    void didReceiveChannel(const QList<int>& pressedButtons, const Di2Channel& channel);
    void didUpdateBatteryLevel(int level);

    void later(std::function<void()> work);
    void setState(const ConnectionState& state);
    void setDeviceInfo(const Di2DeviceInfo& info);
    void setPeripherals(QList<DiscoveredDevice> peripherals);
    void logMessage(const QString& text);
    void connectTo(const DiscoveredDevice& device);
    void completeConnection(const BlePeripheral& peripheral);
    void reject(const BlePeripheral& peripheral, const QString& why);
    void routeValue(const QByteArray& value, const BleCharacteristic& characteristic, qint64 arrival);
    void updateDeviceInformation(const QByteArray& value, const QString& shortIdentifier);
    void saveUnit(const BlePeripheral& peripheral);

    // Waiting for the rider's unit: discovery runs, and its next fresh advertisement
    // starts an attempt (one at a time, spaced out after refusals).
    void startWaiting(const QString& name);
    void stopWaiting();
    void attemptSavedUnit(const BlePeripheral& peripheral);
    void endAttempt();
    // Gives up the attempt under way, connected or not.
    void abandonAttempt();
    void stopEverything();
    void pruneList();
    QString waitingName() const;
    bool radioUsable() const;

    BLEConnectionManager& m_ble;
    Di2Parser& m_parser;
    Defaults& m_storage;
    Analytics& m_analytics;

    ConnectionState m_connectionState;
    QList<DiscoveredDevice> m_peripherals;
    QHash<QUuid, QElapsedTimer> m_lastSeen; // by identifier, for the scan list's lifetime
    Di2DeviceInfo m_deviceInfo;
    std::optional<BlePeripheral> m_connectingPeripheral;
    // Connected at the link, but not yet known to be a Di2 unit; its values wait meanwhile.
    std::optional<BlePeripheral> m_unverified;
    struct HeldValue
    {
        QByteArray value;
        BleCharacteristic characteristic;
        qint64 arrival;
    };
    QList<HeldValue> m_heldValues;
    BleCentralState m_centralState = BleCentralState::unknown;
    QTimer m_scanTimeout;
    QTimer m_attemptTimeout;
    QTimer m_powerOnSettle;
    QTimer m_listPruning;
    QTimer m_scanWatchdog;

    Timing m_timing;
    bool m_waiting = false;
    std::optional<QString> m_savedName;
    bool m_wakeHintGiven = false;
    QStringList m_failuresTold; // failure texts already in the event log while waiting
    std::chrono::milliseconds m_retryDelay{0};
    QElapsedTimer m_sinceLastAttempt;
    // When each value the decoder has yet to handle arrived, and each channel packet it has yet
    // to report; oldest first.
    std::deque<qint64> m_valueArrivals;
    std::deque<qint64> m_channelArrivals;
};
