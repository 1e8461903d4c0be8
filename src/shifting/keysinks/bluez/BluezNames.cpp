#include "shifting/keysinks/bluez/BluezNames.h"

#include <QDBusArgument>
#include <QDBusMetaType>

namespace BluezNames {

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<InterfaceMap>();
        qDBusRegisterMetaType<ManagedObjects>();
        return true;
    }();
    Q_UNUSED(registered);
}

QVariantMap optionsOf(const QDBusMessage& message, int index)
{
    const QVariant argument = message.arguments().value(index);
    if (argument.canConvert<QDBusArgument>()) {
        const auto dbus = argument.value<QDBusArgument>();
        if (dbus.currentSignature() == QLatin1String("a{sv}"))
            return qdbus_cast<QVariantMap>(dbus);
        return {};
    }
    return argument.toMap();
}

} // namespace BluezNames
