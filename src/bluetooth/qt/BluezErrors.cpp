#include "bluetooth/qt/BluezErrors.h"

#include <QStringList>

namespace BluezErrors {

namespace {

bool mentionsAny(const QString& message, const QStringList& phrases)
{
    return std::any_of(phrases.cbegin(), phrases.cend(), [&message](const QString& phrase) {
        return message.contains(phrase, Qt::CaseInsensitive);
    });
}

} // namespace

QString notAnswering(const QString& deviceName)
{
    return QStringLiteral("%1 did not answer — it may be asleep").arg(deviceName);
}

QString busy()
{
    return QStringLiteral("Bluetooth is busy, trying again");
}

QString bluetoothOff()
{
    return QStringLiteral("Bluetooth is off");
}

QString serviceStopped()
{
    return QStringLiteral("The Bluetooth service is not running");
}

QString couldNotConnect(const QString& deviceName)
{
    return QStringLiteral("Could not connect to %1").arg(deviceName);
}

Meaning ofConnectError(const QString& errorName, const QString& message, const QString& deviceName)
{
    const QString bluez = QStringLiteral("org.bluez.Error.");
    const QString dbus = QStringLiteral("org.freedesktop.DBus.Error.");

    // The kernel's passive scan for a unit that does not advertise gave up; D-Bus gave up
    // waiting; or BlueZ no longer remembers it and will again when it hears it.
    if (errorName == dbus + QLatin1String("NoReply") || errorName == dbus + QLatin1String("Timeout") ||
        errorName == dbus + QLatin1String("TimedOut") || errorName == dbus + QLatin1String("UnknownObject") ||
        errorName == bluez + QLatin1String("DoesNotExist") ||
        mentionsAny(message, {QStringLiteral("le-connection-abort-by-local"), QStringLiteral("timed out"),
                              QStringLiteral("timeout"), QStringLiteral("Host is down")}))
        return {BleConnectFailure::notAnswering, notAnswering(deviceName)};
    if (errorName == bluez + QLatin1String("InProgress") || errorName == bluez + QLatin1String("Busy") ||
        mentionsAny(message, {QStringLiteral("busy"), QStringLiteral("already in progress")}))
        return {BleConnectFailure::busy, busy()};
    if (errorName == bluez + QLatin1String("NotReady"))
        return {BleConnectFailure::refused, bluetoothOff()};
    if (errorName == dbus + QLatin1String("ServiceUnknown") ||
        errorName == dbus + QLatin1String("NameHasNoOwner"))
        return {BleConnectFailure::refused, serviceStopped()};
    if (mentionsAny(message, {QStringLiteral("Connection refused")}))
        return {BleConnectFailure::refused, QStringLiteral("%1 refused the connection").arg(deviceName)};
    return {BleConnectFailure::refused, couldNotConnect(deviceName)};
}

} // namespace BluezErrors
