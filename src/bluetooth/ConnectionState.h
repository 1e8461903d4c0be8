#pragma once

#include "bluetooth/Di2DeviceInfo.h"
#include "bluetooth/DiscoveredDevice.h"

#include <QList>
#include <type_traits>
#include <variant>

// The connection service's published state.
class ConnectionState
{
public:
    struct Found
    {
        QList<DiscoveredDevice> devices; // one per identifier and name
        bool activeScanning = false;
        bool operator==(const Found&) const = default;
    };
    struct Connecting
    {
        std::optional<QString> name;
        bool operator==(const Connecting&) const = default;
    };
    struct Connected
    {
        Di2DeviceInfo device;
        bool operator==(const Connected&) const = default;
    };
    // The rider's unit is not connected: Cogwise listens for it and connects when it wakes.
    struct Waiting
    {
        QString name;
        bool operator==(const Waiting&) const = default;
    };
    struct Disconnected
    {
        std::optional<QString> error; // absent after a user disconnect
        bool operator==(const Disconnected&) const = default;
    };
    enum class Simple { idle, scanning, bluetoothOff, bluetoothUnauthorized };

    using Value = std::variant<Found, Connecting, Connected, Waiting, Disconnected, Simple>;

    ConnectionState()
        : m_value(Simple::idle)
    {}
    // Any case converts: setState(ConnectionState::Disconnected{error}).
    template<typename T>
    requires std::is_constructible_v<Value, T> ConnectionState(T value)
        : m_value(std::move(value))
    {}
    static ConnectionState idle() { return Simple::idle; }
    static ConnectionState scanning() { return Simple::scanning; }
    static ConnectionState bluetoothOff() { return Simple::bluetoothOff; }
    static ConnectionState bluetoothUnauthorized() { return Simple::bluetoothUnauthorized; }

    const Value& value() const { return m_value; }
    template<typename T> const T* as() const { return std::get_if<T>(&m_value); }
    bool is(Simple simple) const { return as<Simple>() && *as<Simple>() == simple; }

    // For logs and tests: "found(2, scanning)", "connecting(EW-WU111)", "waiting(EW-WU111)",
    // "disconnected(Connection lost)".
    QString description() const;

    bool operator==(const ConnectionState&) const = default;

private:
    Value m_value;
};

Q_DECLARE_METATYPE(ConnectionState)
