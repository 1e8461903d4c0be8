#include "bluetooth/simulated/SimulatedCentral.h"

#include "bluetooth/BleUuid.h"
#include "di2/GattIds.h"

#include <limits>

namespace {

// Shimano's own service is not public; this one stands for it.
const QString di2Service = QStringLiteral("000018EF-5348-494D-414E-4F5F424C4500");

struct Neighbour
{
    BlePeripheral peripheral;
    int rssi;
};

const QList<Neighbour>& neighbours()
{
    static const QList<Neighbour> list{
        {SimulatedCentral::unit(), -52},
        {{QUuid::fromString(QStringLiteral("00000000-0000-0000-0000-0A1B2C3D4E02")),
          QStringLiteral("HRM-Pro")},
         -71},
        {{QUuid::fromString(QStringLiteral("00000000-0000-0000-0000-0A1B2C3D4E03")),
          QStringLiteral("KICKR CORE 5E1A")},
         -80},
    };
    return list;
}

QByteArray textValue(const QString& shortIdentifier)
{
    if (shortIdentifier == GattIds::manufacturerName())
        return "SHIMANO";
    if (shortIdentifier == GattIds::modelNumber())
        return "EW-WU111";
    if (shortIdentifier == GattIds::serialNumber())
        return "SIM0000001";
    if (shortIdentifier == GattIds::firmwareRevision())
        return "4.1.0";
    if (shortIdentifier == GattIds::batteryLevel())
        return QByteArray(1, char(85));
    return {};
}

} // namespace

SimulatedCentral::SimulatedCentral(QList<Di2CaptureRecord> ride, QObject* parent)
    : BleCentral(parent)
    , m_looping(ride.isEmpty())
{
    m_ride = m_looping ? demoRide() : std::move(ride);
    m_scanTimer.setInterval(150);
    QObject::connect(&m_scanTimer, &QTimer::timeout, this, [this] {
        // Round and round: each neighbour advertises every few hundred milliseconds.
        const Neighbour neighbour = neighbours().at(m_nextDiscovery++ % neighbours().size());
        const bool isUnit = neighbour.peripheral.identifier == unit().identifier;
        if (isUnit && (m_asleep || m_connected))
            return;
        Q_EMIT peripheralDiscovered(neighbour.peripheral, neighbour.rssi, true);
    });
    m_pendingAttempt.setSingleShot(true);
    QObject::connect(&m_pendingAttempt, &QTimer::timeout, this, [this] {
        Q_EMIT connectFailed(unit(), BleConnectFailure::notAnswering,
                             QStringLiteral("%1 did not answer — it may be asleep").arg(*unit().name));
    });
    m_rideTimer.setSingleShot(true);
    QObject::connect(&m_rideTimer, &QTimer::timeout, this, [this] {
        if (m_waitLeftMs > 0)
            waitOn();
        else
            deliverDueRecord();
    });
    later(0, [this] { Q_EMIT stateUpdated(BleCentralState::poweredOn); });
}

const BlePeripheral& SimulatedCentral::unit()
{
    static const BlePeripheral peripheral{
        QUuid::fromString(QStringLiteral("00000000-0000-0000-0000-0A1B2C3D4E01")),
        QStringLiteral("EW-WU111")};
    return peripheral;
}

QList<Di2CaptureRecord> SimulatedCentral::demoRide()
{
    // A short loop: shifts up and down with both levers, the derailleur following.
    QList<Di2CaptureRecord> ride;
    quint8 counters[4] = {3, 0, 7, 0};
    quint8 checksum = 0x20;
    quint8 rear = 5;
    qint64 ms = 0;
    const auto add = [&ride, &ms](qint64 afterMs, const QString& id, QByteArray value) {
        ms += afterMs;
        ride.append({0, ms, id, std::move(value)});
    };
    const auto channel = [&]() -> QByteArray {
        return QByteArray{reinterpret_cast<const char*>(&checksum), 1} +
               QByteArray(reinterpret_cast<const char*>(counters), 4);
    };
    const auto status = [&rear] {
        QByteArray value(17, '\0');
        value[2] = 0x03;
        value[3] = 0x01;
        value[4] = 0x02;
        value[5] = char(rear);
        value[6] = 0x0B;
        return value;
    };
    add(100, GattIds::di2Data(), QByteArray::fromHex("060A0B00003C"));
    add(200, GattIds::di2Data(), channel());
    add(100, GattIds::di2Data(), status());
    const int pattern[] = {2, 2, 2, 1, 2, 1, 1, 4, 3, 1};
    for (int button : pattern) {
        ++counters[button - 1];
        ++checksum;
        add(2500, GattIds::di2Data(), channel());
        if (button == 2 && rear > 1)
            --rear;
        else if (button == 1 && rear < 11)
            ++rear;
        add(80, GattIds::di2Data(), status());
        add(900, GattIds::di2Data(), QByteArray::fromHex("040000"));
    }
    add(1000, GattIds::batteryLevel(), QByteArray(1, char(84)));
    return ride;
}

void SimulatedCentral::later(int delayMs, std::function<void()> report)
{
    QTimer::singleShot(delayMs, this, std::move(report));
}

void SimulatedCentral::scanForPeripherals()
{
    if (m_state != BleCentralState::poweredOn || m_scanTimer.isActive())
        return;
    m_nextDiscovery = 0;
    m_scanTimer.start();
}

void SimulatedCentral::stopScan()
{
    m_scanTimer.stop();
}

void SimulatedCentral::connectPeripheral(const BlePeripheral& peripheral)
{
    if (peripheral.identifier != unit().identifier) {
        later(200, [this, peripheral] {
            Q_EMIT connectFailed(peripheral, BleConnectFailure::refused,
                                 QStringLiteral("The simulated device accepts no connections."));
        });
        return;
    }
    if (m_state != BleCentralState::poweredOn) {
        later(0, [this] {
            Q_EMIT connectFailed(unit(), BleConnectFailure::refused, QStringLiteral("Bluetooth is off"));
        });
        return;
    }
    switch (m_connectBehaviour) {
    case ConnectBehaviour::succeed:
        if (m_asleep)
            m_pendingAttempt.start(m_connectLimit);
        else
            later(300, [this] { completeConnection(); });
        break;
    case ConnectBehaviour::refuse:
        later(200, [this] {
            Q_EMIT connectFailed(unit(), BleConnectFailure::refused,
                                 QStringLiteral("The simulated unit refused the connection."));
        });
        break;
    case ConnectBehaviour::hang:
        break;
    }
}

void SimulatedCentral::completeConnection()
{
    if (m_connected || m_state != BleCentralState::poweredOn)
        return;
    m_connected = true;
    Q_EMIT peripheralConnected(unit());
}

void SimulatedCentral::cancelPeripheralConnection(const BlePeripheral&)
{
    m_pendingAttempt.stop();
    m_connected = false;
    stopRide();
}

void SimulatedCentral::endLink(const QString& reason)
{
    m_pendingAttempt.stop();
    if (!m_connected)
        return;
    m_connected = false;
    stopRide();
    Q_EMIT peripheralDisconnected(unit(), reason);
}

void SimulatedCentral::dropLink()
{
    if (!m_connected)
        return;
    m_connected = false;
    stopRide();
    later(0, [this] {
        Q_EMIT peripheralDisconnected(unit(), QStringLiteral("The simulated unit went out of range."));
    });
}

void SimulatedCentral::setAsleep(bool asleep)
{
    m_asleep = asleep;
    if (asleep) {
        endLink(QStringLiteral("The simulated unit fell asleep."));
    } else if (m_pendingAttempt.isActive()) {
        m_pendingAttempt.stop();
        later(50, [this] { completeConnection(); });
    }
}

void SimulatedCentral::setState(BleCentralState state)
{
    if (state == m_state)
        return;
    if (state != BleCentralState::poweredOn) {
        m_scanTimer.stop();
        endLink(QStringLiteral("Bluetooth is no longer available"));
    }
    m_state = state;
    Q_EMIT stateUpdated(state);
}

void SimulatedCentral::setPowered(bool powered)
{
    setState(powered ? BleCentralState::poweredOn : BleCentralState::poweredOff);
}

void SimulatedCentral::setServiceRunning(bool running)
{
    setState(running ? BleCentralState::poweredOn : BleCentralState::serviceStopped);
}

QList<BlePeripheral> SimulatedCentral::retrievePeripherals(const QUuid& identifier)
{
    // Every peripheral in range, as a real central knows what it has heard.
    for (const Neighbour& neighbour : neighbours()) {
        if (neighbour.peripheral.identifier == identifier)
            return {neighbour.peripheral};
    }
    return {};
}

void SimulatedCentral::discoverServices(const BlePeripheral& peripheral)
{
    later(50, [this, peripheral] {
        Q_EMIT servicesDiscovered(peripheral,
                                  {{GattIds::fullUuid(GattIds::deviceInformationService())},
                                   {GattIds::fullUuid(GattIds::batteryService())},
                                   {di2Service}},
                                  std::nullopt);
    });
}

void SimulatedCentral::discoverCharacteristics(const BlePeripheral& peripheral, const BleService& service)
{
    QList<BleCharacteristic> characteristics;
    if (service.uuid == GattIds::fullUuid(GattIds::deviceInformationService())) {
        for (const QString& id : {GattIds::manufacturerName(), GattIds::modelNumber(),
                                  GattIds::serialNumber(), GattIds::firmwareRevision()})
            characteristics.append({GattIds::fullUuid(id), service.uuid, BleCharacteristic::propertyRead});
    } else if (service.uuid == GattIds::fullUuid(GattIds::batteryService())) {
        characteristics.append({GattIds::fullUuid(GattIds::batteryLevel()), service.uuid,
                                BleCharacteristic::propertyRead | BleCharacteristic::propertyNotify});
    } else {
        characteristics.append(
            {GattIds::fullUuid(GattIds::di2Data()), service.uuid, BleCharacteristic::propertyNotify});
    }
    later(30, [this, peripheral, service, characteristics] {
        Q_EMIT characteristicsDiscovered(peripheral, service, characteristics, std::nullopt);
    });
}

void SimulatedCentral::setNotifyValue(bool enabled, const BlePeripheral& peripheral,
                                      const BleCharacteristic& characteristic)
{
    later(10, [this, peripheral, characteristic] {
        Q_EMIT notificationStateUpdated(peripheral, characteristic, std::nullopt);
    });
    if (enabled && BleUuid::shortUUIDString(characteristic.uuid) == GattIds::di2Data()) {
        startRide();
    }
}

void SimulatedCentral::readValue(const BlePeripheral& peripheral, const BleCharacteristic& characteristic)
{
    const QByteArray value = textValue(BleUuid::shortUUIDString(characteristic.uuid));
    later(20, [this, peripheral, characteristic, value] {
        Q_EMIT valueUpdated(peripheral, characteristic, value, std::nullopt);
    });
}

BleCharacteristic SimulatedCentral::characteristicFor(const QString& shortIdentifier) const
{
    return {GattIds::fullUuid(shortIdentifier), di2Service, BleCharacteristic::propertyNotify};
}

void SimulatedCentral::stopRide()
{
    m_rideTimer.stop();
}

void SimulatedCentral::startRide()
{
    // A unit that comes back carries on with its ride, and may first tell its current state.
    if (m_reportsStateOnSubscription && !m_lastChannel.isEmpty() && !m_silent)
        Q_EMIT valueUpdated(unit(), characteristicFor(GattIds::di2Data()), m_lastChannel, std::nullopt);
    scheduleNext();
}

void SimulatedCentral::scheduleNext()
{
    if (m_nextRecord >= m_ride.size()) {
        if (!m_looping) {
            Q_EMIT rideFinished();
            return;
        }
        m_nextRecord = 0;
        m_lastRecordMs = 0;
    }
    const qint64 due = std::max<qint64>(0, m_ride.at(m_nextRecord).milliseconds);
    m_waitLeftMs = std::max<qint64>(0, due - m_lastRecordMs);
    waitOn();
}

// A timer takes an int of milliseconds; longer gaps are waited out in steps.
void SimulatedCentral::waitOn()
{
    const qint64 step = std::min<qint64>(m_waitLeftMs, std::numeric_limits<int>::max());
    m_waitLeftMs -= step;
    m_rideTimer.start(int(step));
}

void SimulatedCentral::deliverDueRecord()
{
    if (!m_connected)
        return;
    const Di2CaptureRecord& record = m_ride.at(m_nextRecord++);
    m_lastRecordMs = std::max<qint64>(0, record.milliseconds);
    if (record.characteristic == GattIds::di2Data() && record.value.size() == 5)
        m_lastChannel = record.value;
    if (!m_silent)
        Q_EMIT valueUpdated(unit(), characteristicFor(record.characteristic), record.value, std::nullopt);
    scheduleNext();
}
