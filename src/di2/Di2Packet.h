#pragma once

#include "di2/Di2Channel.h"
#include "di2/Di2Status.h"

#include <QMetaType>
#include <variant>

// One decoded notification of the Di2 data characteristic.
class Di2Packet
{
public:
    struct Baseline
    {
        quint8 leftId = 0;
        quint8 rightId = 0;
        quint8 flags = 0;
        bool operator==(const Baseline&) const = default;
    };
    struct Unknown
    {
        QByteArray raw;
        bool operator==(const Unknown&) const = default;
    };
    struct KeepAlive
    {
        bool operator==(const KeepAlive&) const = default;
    };

    // The order of the cases is the order of the alternatives in Payload.
    enum class Kind { baseline, status, channelStatus, unknown, keepAlive };
    using Payload = std::variant<Baseline, Di2Status, Di2Channel, Unknown, KeepAlive>;

    Di2Packet()
        : m_payload(KeepAlive{})
    {}

    static Di2Packet baseline(quint8 leftId, quint8 rightId, quint8 flags);
    static Di2Packet status(Di2Status status);
    static Di2Packet channelStatus(Di2Channel channel);
    static Di2Packet unknown(QByteArray raw);
    static Di2Packet keepAlive();

    Kind kind() const { return static_cast<Kind>(m_payload.index()); }
    const Payload& payload() const { return m_payload; }
    template<typename T> const T* as() const { return std::get_if<T>(&m_payload); }

    QString description() const;

    bool operator==(const Di2Packet&) const = default;

private:
    explicit Di2Packet(Payload payload)
        : m_payload(std::move(payload))
    {}

    Payload m_payload;
};

Q_DECLARE_METATYPE(Di2Packet)
