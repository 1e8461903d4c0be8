#include "di2/Di2Packet.h"

#include "diagnostics/HexFormat.h"

Di2Packet Di2Packet::baseline(quint8 leftId, quint8 rightId, quint8 flags)
{
    return Di2Packet(Baseline{leftId, rightId, flags});
}

Di2Packet Di2Packet::status(Di2Status status)
{
    return Di2Packet(std::move(status));
}

Di2Packet Di2Packet::channelStatus(Di2Channel channel)
{
    return Di2Packet(std::move(channel));
}

Di2Packet Di2Packet::unknown(QByteArray raw)
{
    return Di2Packet(Unknown{std::move(raw)});
}

Di2Packet Di2Packet::keepAlive()
{
    return Di2Packet(KeepAlive{});
}

QString Di2Packet::description() const
{
    struct Describe
    {
        QString operator()(const Baseline& b) const
        {
            return QStringLiteral("Baseline Packet - Left ID: %1, Right ID: %2, Flags: 0x%3")
                .arg(b.leftId)
                .arg(b.rightId)
                .arg(HexFormat::value(b.flags));
        }
        QString operator()(const Di2Status& s) const
        {
            return QStringLiteral("Status Packet - ") + s.description();
        }
        QString operator()(const Di2Channel&) const { return QStringLiteral("Channel"); }
        QString operator()(const Unknown& u) const
        {
            return QStringLiteral("Unknown Packet (%1 bytes) - %2")
                .arg(u.raw.size())
                .arg(HexFormat::dump(u.raw));
        }
        QString operator()(const KeepAlive&) const { return QStringLiteral("Keep-Alive Packet"); }
    };
    return std::visit(Describe{}, m_payload);
}
