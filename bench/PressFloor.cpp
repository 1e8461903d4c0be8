// The floor for Cogwise's press-to-key latency: the least a program does to turn the Di2
// unit's notifications into keys. It connects to the unit through bluetoothd, subscribes to
// its Di2 data characteristic, and for each notification in which the counter of button 1
// or 2 grew posts one XTest key (comma, period) — no decoding beyond that, no queue, no log.
// It reaches bluetoothd through QtDBus on a Qt event loop, as QtBluetooth does for Cogwise,
// so that what Cogwise adds over it is Cogwise's own.
//   cogwise-bench-press-floor DEVICE-PATH      e.g. /org/bluez/hci0/dev_C0_FF_EE_00_00_01

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QThread>
#include <QVariantMap>
#include <optional>

struct _XDisplay;

using InterfaceMap = QMap<QString, QVariantMap>;
using ObjectMap = QMap<QDBusObjectPath, InterfaceMap>;

namespace {

const QString bluez = QStringLiteral("org.bluez");
const QString characteristicInterface = QStringLiteral("org.bluez.GattCharacteristic1");
const QString di2DataUuid = QStringLiteral("00002ac2-0000-1000-8000-00805f9b34fb");
constexpr int callTimeoutMs = 30000;

int fail(const QString& message)
{
    std::fprintf(stderr, "cogwise-bench-press-floor: %s\n", qPrintable(message));
    return 1;
}

QDBusMessage call(const QString& path, const QString& interface, const QString& method)
{
    return QDBusConnection::systemBus().call(QDBusMessage::createMethodCall(bluez, path, interface, method),
                                             QDBus::Block, callTimeoutMs);
}

// The unit's Di2 data characteristic, once bluetoothd has resolved its services.
std::optional<QString> findDi2Data(const QString& device)
{
    QDeadlineTimer deadline(callTimeoutMs);
    while (!deadline.hasExpired()) {
        const QDBusReply<ObjectMap> objects =
            call(QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                 QStringLiteral("GetManagedObjects"));
        if (objects.isValid()) {
            const ObjectMap map = objects.value();
            for (auto it = map.cbegin(); it != map.cend(); ++it) {
                const QString path = it.key().path();
                if (path.startsWith(device + QLatin1Char('/')) &&
                    it->value(characteristicInterface).value(QStringLiteral("UUID")).toString() ==
                        di2DataUuid)
                    return path;
            }
        }
        QThread::msleep(20);
    }
    return std::nullopt;
}

class Floor : public QObject
{
    Q_OBJECT

public:
    explicit Floor(_XDisplay* display);

public Q_SLOTS:
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&);

private:
    void post(unsigned int keycode);

    _XDisplay* m_display;
    unsigned int m_comma;
    unsigned int m_period;
    QByteArray m_last;
};

} // namespace

#include "PressFloor.moc"

// X11 headers after Qt's and the moc's: they define macros (None, Bool, Status) that clash.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

Floor::Floor(Display* display)
    : m_display(display)
    , m_comma(XKeysymToKeycode(display, XK_comma))
    , m_period(XKeysymToKeycode(display, XK_period))
{}

void Floor::propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&)
{
    if (interface != characteristicInterface)
        return;
    const QByteArray value = changed.value(QStringLiteral("Value")).toByteArray();
    if (value.size() != 5)
        return;
    const QByteArray previous = std::exchange(m_last, value);
    if (previous.isEmpty())
        return; // the counters as they stand
    const auto grew = [&](int index) { return quint8(value.at(index)) > quint8(previous.at(index)); };
    if (grew(1))
        post(m_comma);
    else if (grew(2))
        post(m_period);
}

void Floor::post(unsigned int keycode)
{
    XTestFakeKeyEvent(m_display, keycode, True, CurrentTime);
    XTestFakeKeyEvent(m_display, keycode, False, CurrentTime);
    XFlush(m_display);
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return fail(QStringLiteral("usage: cogwise-bench-press-floor DEVICE-PATH"));
    const QString device = QString::fromLocal8Bit(argv[1]);
    qDBusRegisterMetaType<InterfaceMap>();
    qDBusRegisterMetaType<ObjectMap>();

    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return fail(QStringLiteral("cannot open the display"));
    Floor floor(display);

    const QDBusMessage connected =
        call(device, QStringLiteral("org.bluez.Device1"), QStringLiteral("Connect"));
    if (connected.type() != QDBusMessage::ReplyMessage)
        return fail(QStringLiteral("Connect: ") + connected.errorMessage());
    const auto di2Data = findDi2Data(device);
    if (!di2Data)
        return fail(QStringLiteral("the unit's Di2 data characteristic never appeared"));
    if (!QDBusConnection::systemBus().connect(bluez, *di2Data,
                                              QStringLiteral("org.freedesktop.DBus.Properties"),
                                              QStringLiteral("PropertiesChanged"), &floor,
                                              SLOT(propertiesChanged(QString, QVariantMap, QStringList))))
        return fail(QStringLiteral("cannot subscribe to PropertiesChanged"));
    const QDBusMessage notifying = call(*di2Data, characteristicInterface, QStringLiteral("StartNotify"));
    if (notifying.type() != QDBusMessage::ReplyMessage)
        return fail(QStringLiteral("StartNotify: ") + notifying.errorMessage());
    return QCoreApplication::exec();
}
