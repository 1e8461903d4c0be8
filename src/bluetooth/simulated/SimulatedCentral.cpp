#include "bluetooth/simulated/SimulatedCentral.h"

#include "bluetooth/BleUuid.h"

namespace {

// Shimano's own service is not public; this one stands for it.
const QString di2Service = QStringLiteral("000018EF-5348-494D-414E-4F5F424C4500");

QString full(const char* shortIdentifier)
{
    return QStringLiteral("0000%1-0000-1000-8000-00805F9B34FB").arg(QLatin1String(shortIdentifier));
}

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
    if (shortIdentifier == QLatin1String("2A29"))
        return "SHIMANO";
    if (shortIdentifier == QLatin1String("2A24"))
        return "EW-WU111";
    if (shortIdentifier == QLatin1String("2A25"))
        return "SIM0000001";
    if (shortIdentifier == QLatin1String("2A26"))
        return "4.1.0";
    if (shortIdentifier == QLatin1String("2A19"))
        return QByteArray(1, char(85));
    return {};
}

} // namespace

SimulatedCentral::SimulatedCentral(QList<Di2CaptureRecord> ride, QObject* parent)
    : QObject(parent)
    , m_looping(ride.isEmpty())
{
    m_ride = m_looping ? demoRide() : std::move(ride);
    m_scanTimer.setInterval(150);
    QObject::connect(&m_scanTimer, &QTimer::timeout, this, [this] {
        if (m_nextDiscovery >= neighbours().size()) {
            m_scanTimer.stop();
            return;
        }
        const Neighbour neighbour = neighbours().at(m_nextDiscovery++);
        if (auto* d = delegate())
            d->centralDidDiscover(neighbour.peripheral, neighbour.rssi);
    });
    m_rideTimer.setSingleShot(true);
    QObject::connect(&m_rideTimer, &QTimer::timeout, this, &SimulatedCentral::deliverDueRecord);
    later(0, [](BleCentralDelegate& d) { d.centralDidUpdateState(BleCentralState::poweredOn); });
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
    const auto add = [&ride, &ms](qint64 afterMs, const char* id, QByteArray value) {
        ms += afterMs;
        ride.append({0, ms, QString::fromLatin1(id), std::move(value)});
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
    add(100, "2AC2", QByteArray::fromHex("060A0B00003C"));
    add(200, "2AC2", channel());
    add(100, "2AC2", status());
    const int pattern[] = {2, 2, 2, 1, 2, 1, 1, 4, 3, 1};
    for (int button : pattern) {
        ++counters[button - 1];
        ++checksum;
        add(2500, "2AC2", channel());
        if (button == 2 && rear > 1)
            --rear;
        else if (button == 1 && rear < 11)
            ++rear;
        add(80, "2AC2", status());
        add(900, "2AC2", QByteArray::fromHex("040000"));
    }
    add(1000, "2A19", QByteArray(1, char(84)));
    return ride;
}

void SimulatedCentral::later(int delayMs, std::function<void(BleCentralDelegate&)> callback)
{
    QTimer::singleShot(delayMs, this, [this, callback = std::move(callback)] {
        if (auto* d = delegate())
            callback(*d);
    });
}

void SimulatedCentral::scanForPeripherals()
{
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
        later(200, [peripheral](BleCentralDelegate& d) {
            d.centralDidFailToConnect(peripheral,
                                      QStringLiteral("The simulated device accepts no connections."));
        });
        return;
    }
    switch (m_connectBehaviour) {
    case ConnectBehaviour::succeed:
        later(300, [this](BleCentralDelegate& d) {
            m_connected = true;
            d.centralDidConnect(unit());
        });
        break;
    case ConnectBehaviour::refuse:
        later(200, [](BleCentralDelegate& d) {
            d.centralDidFailToConnect(unit(), QStringLiteral("The simulated unit refused the connection."));
        });
        break;
    case ConnectBehaviour::hang:
        break;
    }
}

void SimulatedCentral::cancelPeripheralConnection(const BlePeripheral&)
{
    m_connected = false;
    stopRide();
}

void SimulatedCentral::dropLink()
{
    if (!m_connected)
        return;
    m_connected = false;
    stopRide();
    later(0, [](BleCentralDelegate& d) {
        d.centralDidDisconnect(unit(), QStringLiteral("The simulated unit went out of range."));
    });
}

QList<BlePeripheral> SimulatedCentral::retrievePeripherals(const QUuid& identifier)
{
    if (identifier == unit().identifier)
        return {unit()};
    return {};
}

void SimulatedCentral::discoverServices(const BlePeripheral& peripheral)
{
    later(50, [peripheral](BleCentralDelegate& d) {
        d.peripheralDidDiscoverServices(peripheral, {{full("180A")}, {full("180F")}, {di2Service}},
                                        std::nullopt);
    });
}

void SimulatedCentral::discoverCharacteristics(const BlePeripheral& peripheral, const BleService& service)
{
    QList<BleCharacteristic> characteristics;
    if (service.uuid == full("180A")) {
        for (const char* id : {"2A29", "2A24", "2A25", "2A26"})
            characteristics.append({full(id), service.uuid, BleCharacteristic::propertyRead});
    } else if (service.uuid == full("180F")) {
        characteristics.append({full("2A19"), service.uuid,
                                BleCharacteristic::propertyRead | BleCharacteristic::propertyNotify});
    } else {
        characteristics.append({full("2AC2"), service.uuid, BleCharacteristic::propertyNotify});
    }
    later(30, [peripheral, service, characteristics](BleCentralDelegate& d) {
        d.peripheralDidDiscoverCharacteristics(peripheral, service, characteristics, std::nullopt);
    });
}

void SimulatedCentral::setNotifyValue(bool enabled, const BlePeripheral& peripheral,
                                      const BleCharacteristic& characteristic)
{
    later(10, [peripheral, characteristic](BleCentralDelegate& d) {
        d.peripheralDidUpdateNotificationState(peripheral, characteristic, std::nullopt);
    });
    if (enabled && BleUuid::shortUUIDString(characteristic.uuid) == BleUuid::di2DataCharacteristic()) {
        startRide();
    }
}

void SimulatedCentral::readValue(const BlePeripheral& peripheral, const BleCharacteristic& characteristic)
{
    const QByteArray value = textValue(BleUuid::shortUUIDString(characteristic.uuid));
    later(20, [peripheral, characteristic, value](BleCentralDelegate& d) {
        d.peripheralDidUpdateValue(peripheral, characteristic, value, std::nullopt);
    });
}

BleCharacteristic SimulatedCentral::characteristicFor(const QString& shortIdentifier) const
{
    return {QStringLiteral("0000%1-0000-1000-8000-00805F9B34FB").arg(shortIdentifier), di2Service,
            BleCharacteristic::propertyNotify};
}

void SimulatedCentral::stopRide()
{
    m_rideTimer.stop();
}

void SimulatedCentral::startRide()
{
    m_nextRecord = 0;
    m_lastRecordMs = 0;
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
    m_rideTimer.start(int(std::max<qint64>(0, m_ride.at(m_nextRecord).milliseconds - m_lastRecordMs)));
}

void SimulatedCentral::deliverDueRecord()
{
    if (!m_connected)
        return;
    const Di2CaptureRecord& record = m_ride.at(m_nextRecord++);
    m_lastRecordMs = record.milliseconds;
    if (!m_silent && delegate())
        delegate()->peripheralDidUpdateValue(unit(), characteristicFor(record.characteristic), record.value,
                                             std::nullopt);
    scheduleNext();
}
