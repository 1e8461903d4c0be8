// Wake to notification: from the first fresh advertisement of the rider's unit after it
// wakes, to its Di2 data notifications switched on again, through the connection service on
// the real QtBluetooth backend over the fake bluetoothd. Beside it, measured in the same run,
// the floor: the same backend connecting, discovering and subscribing to an awake unit when
// told to, with no waiting in between.
// Then what listening for an asleep unit costs while Cogwise waits: CPU time and the D-Bus
// signals bluetoothd sends per second, beside the same process connected to an awake unit.
//   cogwise-bench-wake [WAKE-UPS]   (default 20)

#include "analytics/Analytics.h"
#include "bluetooth/BLEConnectionManager.h"
#include "bluetooth/BleUuid.h"
#include "bluetooth/ConnectionService.h"
#include "bluetooth/qt/BluetoothAddressId.h"
#include "bluetooth/qt/QtBleCentral.h"
#include "di2/Di2Parser.h"
#include "di2/GattIds.h"
#include "platform/Defaults.h"
#include "support/FakeBluez.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <algorithm>
#include <functional>
#include <sys/resource.h>

namespace {

constexpr int timeoutMs = 15000;

const QUuid unitIdentifier = BluetoothAddressId::identifier(QBluetoothAddress(FakeBluez::unitAddress()));

bool isDi2Data(const BleCharacteristic& characteristic)
{
    return BleUuid::shortUUIDString(characteristic.uuid) == GattIds::di2Data();
}

// Nanoseconds at which the Di2 data notifications were last switched on, and at which the
// unit was last heard advertising (0: not since the last reset).
struct Marks
{
    explicit Marks(BleCentral& central)
    {
        clock.start();
        QObject::connect(&central, &BleCentral::notificationStateUpdated, &central,
                         [this](const BlePeripheral&, const BleCharacteristic& characteristic,
                                const std::optional<QString>& error) {
                             if (isDi2Data(characteristic) && !error)
                                 subscribed = clock.nsecsElapsed();
                         });
        QObject::connect(&central, &BleCentral::peripheralDiscovered, &central,
                         [this](const BlePeripheral& peripheral, int, bool advertising) {
                             if (advertising && peripheral.identifier == unitIdentifier && !advertised)
                                 advertised = clock.nsecsElapsed();
                         });
    }
    void reset() { subscribed = advertised = 0; }

    QElapsedTimer clock;
    qint64 subscribed = 0;
    qint64 advertised = 0;
};

double milliseconds(qint64 nanoseconds)
{
    return double(nanoseconds) / 1e6;
}

QString summary(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const double median = values.size() % 2
                              ? values.at(values.size() / 2)
                              : (values.at(values.size() / 2 - 1) + values.at(values.size() / 2)) / 2;
    return QStringLiteral("median %1 ms, worst %2 ms")
        .arg(median, 0, 'f', 1)
        .arg(values.constLast(), 0, 'f', 1);
}

bool fail(const QString& what)
{
    QTextStream(stderr) << "bench: " << what << '\n';
    return false;
}

// The floor: the link told to connect to an awake unit; connect call to notifications on.
bool measureFloor(FakeBluez& bluez, int runs, QList<double>& floor)
{
    QtBleCentral central;
    BLEConnectionManager ble(central);
    Marks marks(central);
    if (!QTest::qWaitFor([&] { return central.state() == BleCentralState::poweredOn; }, timeoutMs))
        return fail(QStringLiteral("the central never came on"));
    const BlePeripheral unit{unitIdentifier, QStringLiteral("EW-WU111")};
    for (int run = 0; run < runs; ++run) {
        marks.reset();
        const qint64 start = marks.clock.nsecsElapsed();
        ble.connect(unit);
        if (!QTest::qWaitFor([&] { return marks.subscribed != 0; }, timeoutMs))
            return fail(QStringLiteral("no subscription on a direct connect"));
        floor.append(milliseconds(marks.subscribed - start));
        ble.disconnect();
        bluez.control(QStringLiteral("DropLink"));
    }
    return true;
}

// The connection service on the real backend, with the unit saved as at any launch after the
// first: it connects on its own.
struct SavedUnitService
{
    SavedUnitService()
    {
        defaults.setString(QStringLiteral("lastConnectedDeviceUUID"), BleUuid::text(unitIdentifier));
    }

    template<typename State> bool reaches(const std::function<bool()>& also = [] { return true; })
    {
        return QTest::qWaitFor([&] { return service.connectionState().as<State>() != nullptr && also(); },
                               timeoutMs);
    }
    // The unit falls asleep and its link drops; true once Cogwise waits for it.
    bool unitSleeps(FakeBluez& bluez)
    {
        bluez.control(QStringLiteral("SetAsleep"), {true});
        bluez.control(QStringLiteral("DropLink"));
        return reaches<ConnectionState::Waiting>() || fail(QStringLiteral("Cogwise did not start waiting"));
    }

    QTemporaryDir home;
    Defaults defaults{home.filePath(QStringLiteral("bench.conf"))};
    Analytics analytics{[](const QString&, const Analytics::Parameters&) {}};
    QtBleCentral central;
    BLEConnectionManager ble{central};
    Di2Parser parser;
    ConnectionService service{ble, parser, defaults, analytics};
};

// The unit falls asleep, stays away a moment, and wakes; first advertisement to notifications on.
bool measureWakeUps(FakeBluez& bluez, int runs, QList<double>& wakes)
{
    SavedUnitService rig;
    Marks marks(rig.central);
    if (!rig.reaches<ConnectionState::Connected>([&] { return marks.subscribed != 0; }))
        return fail(QStringLiteral("the saved unit was never connected"));
    QRandomGenerator random(20261207);
    for (int run = 0; run < runs; ++run) {
        if (!rig.unitSleeps(bluez))
            return false;
        QTest::qWait(int(random.bounded(100, 800))); // asleep for a while
        marks.reset();
        bluez.control(QStringLiteral("SetAsleep"), {false});
        if (!QTest::qWaitFor([&] { return marks.subscribed != 0 && marks.advertised != 0; }, timeoutMs))
            return fail(QStringLiteral("the woken unit was not subscribed again"));
        wakes.append(milliseconds(marks.subscribed - marks.advertised));
    }
    return true;
}

qint64 cpuMicroseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000 + usage.ru_utime.tv_usec +
           usage.ru_stime.tv_usec;
}

// CPU milliseconds and bluetoothd's signals, each per second, over `seconds` of the service as it is.
struct Cost
{
    double cpuMsPerSecond = 0;
    double signalsPerSecond = 0;
};

std::optional<Cost> measureCost(int seconds)
{
    QProcess monitor;
    monitor.start(QStringLiteral("dbus-monitor"),
                  {QStringLiteral("--address"), QString::fromLocal8Bit(qgetenv("DBUS_SYSTEM_BUS_ADDRESS")),
                   QStringLiteral("type='signal',sender='org.bluez'")});
    if (!monitor.waitForStarted() ||
        !QTest::qWaitFor([&] { return monitor.bytesAvailable() > 0; }, timeoutMs))
        return std::nullopt;
    monitor.readAllStandardOutput(); // its own NameAcquired
    const qint64 cpuBefore = cpuMicroseconds();
    QTest::qWait(seconds * 1000);
    const qint64 cpu = cpuMicroseconds() - cpuBefore;
    monitor.terminate();
    monitor.waitForFinished();
    const QByteArray seen = monitor.readAllStandardOutput();
    qsizetype signals = 0;
    for (const QByteArray& line : seen.split('\n'))
        signals += line.startsWith("signal ") ? 1 : 0;
    return Cost{double(cpu) / 1000 / seconds, double(signals) / seconds};
}

// Waiting for an asleep unit (Cogwise's own filtered discovery session runs, a neighbour's
// strap advertises), beside the same span connected to the awake unit.
bool measureListening(FakeBluez& bluez, int seconds)
{
    SavedUnitService rig;
    if (!rig.reaches<ConnectionState::Connected>())
        return fail(QStringLiteral("the saved unit was never connected"));
    const auto connected = measureCost(seconds);
    if (!rig.unitSleeps(bluez))
        return false;
    const auto waiting = measureCost(seconds);
    bluez.control(QStringLiteral("SetAsleep"), {false});
    if (!connected || !waiting)
        return fail(QStringLiteral("dbus-monitor did not run"));
    QTextStream(stdout)
        << "listening for an asleep unit, " << seconds << " s each\n"
        << QStringLiteral("  connected, idle (baseline)  %1 ms CPU/s, %2 bluetoothd signals/s\n")
               .arg(connected->cpuMsPerSecond, 0, 'f', 2)
               .arg(connected->signalsPerSecond, 0, 'f', 1)
        << QStringLiteral("  waiting, own filtered discovery  %1 ms CPU/s, %2 bluetoothd signals/s\n")
               .arg(waiting->cpuMsPerSecond, 0, 'f', 2)
               .arg(waiting->signalsPerSecond, 0, 'f', 1);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? QByteArray(argv[1]).toInt() : 20;
    if (runs < 1) {
        QTextStream(stderr) << "usage: cogwise-bench-wake [WAKE-UPS]\n";
        return 2;
    }
    if (const auto missing = FakeBluez::missing()) {
        QTextStream(stderr) << "bench: " << *missing << '\n';
        return 1;
    }
    FakeBluez bluez;
    if (const auto error = bluez.start()) {
        QTextStream(stderr) << "bench: " << *error << '\n';
        return 1;
    }
    bluez.control(QStringLiteral("SetConnectLimit"), {uint(30000)});
    QList<double> floor;
    QList<double> wakes;
    if (!measureFloor(bluez, runs, floor) || !measureWakeUps(bluez, runs, wakes) ||
        !measureListening(bluez, 5))
        return 1;
    QTextStream out(stdout);
    out << "wake to notification, " << runs << " wake-ups against the fake bluetoothd\n"
        << "  connect, discover, subscribe when told (floor)  " << summary(floor) << '\n'
        << "  first advertisement after a wake to notifications on  " << summary(wakes)
        << "   (goal: median <= 1000 ms, worst <= 3000 ms)\n";
    return 0;
}
