#include "shifting/keysinks/bluez/HidGattApplication.h"

#include "platform/BluezInterfaces.h"
#include "shifting/keysinks/bluez/BluezNames.h"
#include "shifting/keysinks/bluez/HidKeyboardReport.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace {

QString fullUuid(const char* shortId)
{
    return QStringLiteral("0000%1-0000-1000-8000-00805f9b34fb").arg(QLatin1String(shortId));
}

// HID 1.11, no country, normally connectable.
const QByteArray hidInformation = QByteArray::fromHex("11010002");
constexpr char reportProtocol = 1;
constexpr char bootProtocol = 0;
// ATT's longest attribute value.
constexpr qsizetype longestValue = 512;

} // namespace

HidGattApplication::HidGattApplication(const QString& path, QObject* parent)
    : QDBusVirtualObject(parent)
    , m_root(path)
    , m_connection(QString())
{
    BluezNames::registerTypes();
    using Kind = Attribute::Kind;
    const QStringList encryptedRead{QStringLiteral("read"), QStringLiteral("encrypt-read")};
    const QString hid = add(Kind::service, QStringLiteral("/hid"), fullUuid("1812"), {});
    add(Kind::characteristic, QStringLiteral("/hid/information"), fullUuid("2a4a"), hid, encryptedRead,
        hidInformation);
    add(Kind::characteristic, QStringLiteral("/hid/reportmap"), fullUuid("2a4b"), hid, encryptedRead,
        HidKeyboardReport::reportMap());
    add(Kind::characteristic, QStringLiteral("/hid/controlpoint"), fullUuid("2a4c"), hid,
        {QStringLiteral("write-without-response")}, QByteArray(1, '\0'));
    m_protocolMode = add(Kind::characteristic, QStringLiteral("/hid/protocolmode"), fullUuid("2a4e"), hid,
                         {QStringLiteral("read"), QStringLiteral("write-without-response")},
                         QByteArray(1, reportProtocol));
    m_inputReport =
        add(Kind::characteristic, QStringLiteral("/hid/report"), fullUuid("2a4d"), hid,
            encryptedRead + QStringList{QStringLiteral("notify"), QStringLiteral("encrypt-notify")},
            HidKeyboardReport::released());
    // Report Reference: which report of the map this is, and that it is an input.
    add(Kind::descriptor, QStringLiteral("/hid/report/reference"), fullUuid("2908"), m_inputReport,
        encryptedRead, QByteArray::fromHex("0101"));
    m_bootInput = add(Kind::characteristic, QStringLiteral("/hid/bootinput"), fullUuid("2a22"), hid,
                      {QStringLiteral("read"), QStringLiteral("notify")}, HidKeyboardReport::released());
    add(Kind::characteristic, QStringLiteral("/hid/bootoutput"), fullUuid("2a32"), hid,
        {QStringLiteral("read"), QStringLiteral("write"), QStringLiteral("write-without-response")},
        QByteArray(1, '\0'));
    const QString battery = add(Kind::service, QStringLiteral("/battery"), fullUuid("180f"), {});
    m_battery = add(Kind::characteristic, QStringLiteral("/battery/level"), fullUuid("2a19"), battery,
                    {QStringLiteral("read"), QStringLiteral("notify")}, QByteArray(1, char(100)));
}

HidGattApplication::~HidGattApplication()
{
    if (m_served)
        m_connection.unregisterObject(m_root, QDBusConnection::UnregisterTree);
}

bool HidGattApplication::serve(const QDBusConnection& connection)
{
    m_connection = connection;
    m_served = m_connection.registerVirtualObject(m_root, this, QDBusConnection::SubPath);
    return m_served;
}

QString HidGattApplication::add(Attribute::Kind kind, const QString& relative, const QString& uuid,
                                const QString& parent, QStringList flags, QByteArray value)
{
    m_attributes.append({kind, m_root + relative, uuid, parent, std::move(flags), std::move(value)});
    return m_attributes.constLast().path;
}

HidGattApplication::Attribute* HidGattApplication::find(const QString& path)
{
    for (Attribute& attribute : m_attributes)
        if (attribute.path == path)
            return &attribute;
    return nullptr;
}

const HidGattApplication::Attribute* HidGattApplication::find(const QString& path) const
{
    return const_cast<HidGattApplication*>(this)->find(path);
}

QString HidGattApplication::interfaceOf(const Attribute& attribute)
{
    switch (attribute.kind) {
    case Attribute::Kind::service:
        return BluezNames::gattService;
    case Attribute::Kind::characteristic:
        return BluezNames::gattCharacteristic;
    case Attribute::Kind::descriptor:
        break;
    }
    return BluezNames::gattDescriptor;
}

QVariantMap HidGattApplication::properties(const Attribute& attribute) const
{
    QVariantMap properties{{QStringLiteral("UUID"), attribute.uuid}};
    switch (attribute.kind) {
    case Attribute::Kind::service:
        properties.insert(QStringLiteral("Primary"), true);
        break;
    case Attribute::Kind::characteristic:
        properties.insert(QStringLiteral("Service"), QVariant::fromValue(QDBusObjectPath(attribute.parent)));
        properties.insert(QStringLiteral("Flags"), attribute.flags);
        properties.insert(QStringLiteral("Notifying"), attribute.notifying);
        break;
    case Attribute::Kind::descriptor:
        properties.insert(QStringLiteral("Characteristic"),
                          QVariant::fromValue(QDBusObjectPath(attribute.parent)));
        properties.insert(QStringLiteral("Flags"), attribute.flags);
        break;
    }
    return properties;
}

bool HidGattApplication::hostSubscribed() const
{
    const Attribute* report = find(m_inputReport);
    const Attribute* boot = find(m_bootInput);
    return (report && report->notifying) || (boot && boot->notifying);
}

bool HidGattApplication::sendReport(const QByteArray& report)
{
    // A host in boot protocol reads the boot report, every other one the report of the map.
    const bool boot = find(m_protocolMode)->value.startsWith(bootProtocol);
    Attribute* target = find(boot ? m_bootInput : m_inputReport);
    if (!target->notifying)
        target = find(boot ? m_inputReport : m_bootInput);
    if (!target->notifying)
        return false;
    notify(*target, report);
    return true;
}

void HidGattApplication::setBatteryLevel(int percent)
{
    Attribute* level = find(m_battery);
    const QByteArray value(1, char(std::clamp(percent, 0, 100)));
    if (level->value == value)
        return;
    if (level->notifying)
        notify(*level, value);
    else
        level->value = value;
}

void HidGattApplication::notify(Attribute& attribute, const QByteArray& value)
{
    attribute.value = value;
    if (!m_served)
        return;
    QDBusMessage signal = QDBusMessage::createSignal(attribute.path, BluezInterfaces::propertiesInterface,
                                                     QStringLiteral("PropertiesChanged"));
    signal << interfaceOf(attribute) << QVariantMap{{QStringLiteral("Value"), value}} << QStringList();
    m_connection.send(signal);
}

QString HidGattApplication::introspect(const QString& path) const
{
    if (path == m_root)
        return QStringLiteral(
            "<interface name=\"org.freedesktop.DBus.ObjectManager\">"
            "<method name=\"GetManagedObjects\"><arg type=\"a{oa{sa{sv}}}\" direction=\"out\"/>"
            "</method></interface>");
    const Attribute* attribute = find(path);
    return attribute ? QStringLiteral("<interface name=\"%1\"/>").arg(interfaceOf(*attribute)) : QString();
}

bool HidGattApplication::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    const QString member = message.member();
    if (message.path() == m_root) {
        if (message.interface() != BluezInterfaces::objectManagerInterface ||
            member != QLatin1String("GetManagedObjects"))
            return false;
        BluezNames::ManagedObjects objects;
        for (const Attribute& attribute : m_attributes)
            objects.insert(QDBusObjectPath(attribute.path),
                           {{interfaceOf(attribute), properties(attribute)}});
        connection.send(message.createReply(QVariant::fromValue(objects)));
        return true;
    }
    Attribute* attribute = find(message.path());
    if (!attribute)
        return false;
    const QString interface = message.interface();
    if (interface == BluezInterfaces::propertiesInterface) {
        const QVariantMap all = properties(*attribute);
        const QString wanted = message.arguments().value(1).toString();
        if (member == QLatin1String("GetAll"))
            connection.send(message.createReply(all));
        else if (member == QLatin1String("Get") && all.contains(wanted))
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(all.value(wanted)))));
        else
            connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                                                     QStringLiteral("No such property")));
        return true;
    }
    if (interface != interfaceOf(*attribute) || attribute->kind == Attribute::Kind::service)
        return false;
    if (member == QLatin1String("ReadValue"))
        connection.send(read(message, *attribute));
    else if (member == QLatin1String("WriteValue"))
        connection.send(write(message, *attribute));
    else if (member == QLatin1String("StartNotify") || member == QLatin1String("StopNotify"))
        connection.send(setNotifying(message, *attribute, member == QLatin1String("StartNotify")));
    else
        return false;
    return true;
}

QDBusMessage HidGattApplication::read(const QDBusMessage& message, const Attribute& attribute) const
{
    const QVariantMap options = BluezNames::optionsOf(message, 0);
    const qsizetype offset = options.value(QStringLiteral("offset")).toUInt();
    // Long values (the report map) are read in pieces from an offset.
    if (offset > attribute.value.size())
        return message.createErrorReply(QStringLiteral("org.bluez.Error.InvalidOffset"),
                                        QStringLiteral("Invalid offset"));
    return message.createReply(attribute.value.mid(offset));
}

QDBusMessage HidGattApplication::write(const QDBusMessage& message, Attribute& attribute)
{
    const bool writable = attribute.flags.contains(QStringLiteral("write")) ||
                          attribute.flags.contains(QStringLiteral("write-without-response"));
    if (!writable)
        return message.createErrorReply(QStringLiteral("org.bluez.Error.NotPermitted"),
                                        QStringLiteral("Write not permitted"));
    const QByteArray value = message.arguments().value(0).toByteArray();
    const qsizetype offset = BluezNames::optionsOf(message, 1).value(QStringLiteral("offset")).toUInt();
    if (offset > attribute.value.size() || offset + value.size() > longestValue)
        return message.createErrorReply(QStringLiteral("org.bluez.Error.InvalidOffset"),
                                        QStringLiteral("Invalid offset"));
    if (attribute.path == m_protocolMode &&
        (value.size() != 1 || (value.at(0) != reportProtocol && value.at(0) != bootProtocol)))
        return message.createErrorReply(QStringLiteral("org.bluez.Error.InvalidValueLength"),
                                        QStringLiteral("Invalid value"));
    attribute.value = attribute.value.left(offset) + value;
    return message.createReply();
}

QDBusMessage HidGattApplication::setNotifying(const QDBusMessage& message, Attribute& attribute, bool on)
{
    if (!attribute.flags.contains(QStringLiteral("notify")))
        return message.createErrorReply(QStringLiteral("org.bluez.Error.NotSupported"),
                                        QStringLiteral("Notify not supported"));
    const bool subscribedBefore = hostSubscribed();
    if (attribute.notifying != on) {
        attribute.notifying = on;
        if (m_served) {
            QDBusMessage signal = QDBusMessage::createSignal(
                attribute.path, BluezInterfaces::propertiesInterface, QStringLiteral("PropertiesChanged"));
            signal << interfaceOf(attribute) << QVariantMap{{QStringLiteral("Notifying"), on}}
                   << QStringList();
            m_connection.send(signal);
        }
    }
    if (hostSubscribed() != subscribedBefore)
        Q_EMIT subscriptionChanged(hostSubscribed());
    return message.createReply();
}
