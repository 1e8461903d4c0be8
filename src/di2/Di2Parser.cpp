#include "di2/Di2Parser.h"

#include "diagnostics/HexFormat.h"
#include "diagnostics/Logger.h"

namespace {

const QString di2ParserLog = QStringLiteral("DI2Parser");

constexpr quint8 keepAliveHeader = 0x04;
constexpr quint8 baselineHeader = 0x06;
constexpr quint8 statusMessageType = 0x03;

constexpr qsizetype shortPacketLength = 3;
constexpr qsizetype channelPacketLength = 5;
constexpr qsizetype baselinePacketLength = 6;
constexpr qsizetype statusPacketLength = 17;

constexpr int maximumBatteryLevel = 100; // percent

quint8 byteAt(const QByteArray& value, qsizetype index)
{
    return static_cast<quint8>(value.at(index));
}

} // namespace

Di2Parser::Di2Parser(QObject* parent)
    : QObject(parent)
{}

bool Di2Parser::isDi2PacketLength(const QByteArray& value)
{
    switch (value.size()) {
    case shortPacketLength:
    case channelPacketLength:
    case baselinePacketLength:
    case statusPacketLength:
        return true;
    default:
        return false;
    }
}

void Di2Parser::processNotification(const QByteArray& value)
{
    if (value.isEmpty()) {
        Logger::shared().logDefault(QStringLiteral("Received empty data"), di2ParserLog);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, value] { handle(parse(value)); }, Qt::QueuedConnection);
}

void Di2Parser::processBatteryLevel(const QByteArray& value)
{
    if (value.isEmpty()) {
        Logger::shared().logError(QStringLiteral("Received empty battery data"), di2ParserLog);
        return;
    }
    const int level = byteAt(value, 0);
    if (level > maximumBatteryLevel) {
        Logger::shared().logError(QStringLiteral("Invalid battery level: %1% (expected 0-100)").arg(level),
                                  di2ParserLog);
        return;
    }
    Logger::shared().logDebug(QStringLiteral("Battery level: %1%").arg(level), di2ParserLog);
    emitLater([this, level] { Q_EMIT batteryLevelUpdated(level); });
}

Di2Packet Di2Parser::parse(const QByteArray& value) const
{
    if (value.isEmpty()) {
        Logger::shared().logDefault(QStringLiteral("Attempted to parse empty data"), di2ParserLog);
        return Di2Packet::unknown(value);
    }

    switch (value.size()) {
    case shortPacketLength:
        if (byteAt(value, 0) == keepAliveHeader) {
            Logger::shared().logDebug(QStringLiteral("Parsed keep-alive packet"), di2ParserLog);
            return Di2Packet::keepAlive();
        }
        Logger::shared().logInfo(QStringLiteral("Unknown 3-byte packet with header: 0x") +
                                     HexFormat::value(byteAt(value, 0)),
                                 di2ParserLog);
        return Di2Packet::unknown(value);

    case channelPacketLength:
        return Di2Packet::channelStatus(Di2Channel{byteAt(value, 0), byteAt(value, 1), byteAt(value, 2),
                                                   byteAt(value, 3), byteAt(value, 4), value, m_clock()});

    case baselinePacketLength:
        if (byteAt(value, 0) == baselineHeader) {
            const auto packet = Di2Packet::baseline(byteAt(value, 1), byteAt(value, 2), byteAt(value, 5));
            Logger::shared().logDebug(QStringLiteral("Parsed baseline - Left: %1, Right: %2, Flags: 0x%3")
                                          .arg(byteAt(value, 1))
                                          .arg(byteAt(value, 2))
                                          .arg(HexFormat::value(byteAt(value, 5))),
                                      di2ParserLog);
            return packet;
        }
        Logger::shared().logInfo(QStringLiteral("Unknown 6-byte packet with header: 0x") +
                                     HexFormat::value(byteAt(value, 0)),
                                 di2ParserLog);
        return Di2Packet::unknown(value);

    case statusPacketLength:
        if (byteAt(value, 2) == statusMessageType) {
            return Di2Packet::status(Di2Status{statusMessageType, byteAt(value, 3), byteAt(value, 4),
                                               byteAt(value, 5), byteAt(value, 6), value});
        }
        Logger::shared().logInfo(QStringLiteral("Unknown 17-byte packet with message type: 0x") +
                                     HexFormat::value(byteAt(value, 2)),
                                 di2ParserLog);
        return Di2Packet::unknown(value);

    default:
        Logger::shared().logInfo(QStringLiteral("Unknown packet length: %1 bytes").arg(value.size()),
                                 di2ParserLog);
        return Di2Packet::unknown(value);
    }
}

void Di2Parser::handle(const Di2Packet& packet)
{
    Q_EMIT packetHandled(packet);

    if (const auto* baseline = packet.as<Di2Packet::Baseline>()) {
        Logger::shared().logDebug(QStringLiteral("Baseline - Left: %1, Right: %2, Flags: 0x%3")
                                      .arg(baseline->leftId)
                                      .arg(baseline->rightId)
                                      .arg(HexFormat::value(baseline->flags)),
                                  di2ParserLog);
    } else if (const auto* status = packet.as<Di2Status>()) {
        emitLater([this, status = *status] { Q_EMIT statusReceived(status); });
        m_lastStatus = *status;
    } else if (const auto* channel = packet.as<Di2Channel>()) {
        handleChannel(*channel);
    } else if (const auto* unknown = packet.as<Di2Packet::Unknown>()) {
        Logger::shared().logDebug(QStringLiteral("Unknown packet (%1 bytes): %2")
                                      .arg(unknown->raw.size())
                                      .arg(HexFormat::dump(unknown->raw)),
                                  di2ParserLog);
    } else {
        Logger::shared().logDebug(QStringLiteral("Keep-alive received"), di2ParserLog);
    }
}

void Di2Parser::handleChannel(const Di2Channel& channel)
{
    QList<int> pressed;
    const bool logged = Logger::shared().isLoggingEnabled();
    if (!m_lastChannel) {
        if (logged)
            Logger::shared().logDebug(QStringLiteral("Initial channel state: ") + channel.logDescription(),
                                      di2ParserLog);
    } else {
        pressed = channel.detectButtonPresses(*m_lastChannel);
        if (logged && !pressed.isEmpty()) {
            Logger::shared().logDebug(
                QStringLiteral("Button activity: ") + Di2Channel::activityDescription(pressed), di2ParserLog);
            Logger::shared().logDebug(QStringLiteral("Channel data: ") + channel.logDescription(),
                                      di2ParserLog);
        } else if (logged) {
            Logger::shared().logDebug(QStringLiteral("Channel update (no button press): ") +
                                          channel.logDescription(),
                                      di2ParserLog);
        }
    }
    emitLater([this, pressed, channel] { Q_EMIT channelReceived(pressed, channel); });
    m_lastChannel = channel;
}

void Di2Parser::emitLater(std::function<void()> emission)
{
    QMetaObject::invokeMethod(this, std::move(emission), Qt::QueuedConnection);
}
