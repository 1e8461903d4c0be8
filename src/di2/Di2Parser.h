#pragma once

#include "di2/Di2Packet.h"
#include "platform/Clock.h"

#include <QObject>
#include <functional>
#include <optional>

// Turns Di2 notifications and Battery Level values into packets, press lists and
// battery levels. One instance for the life of the application; never reset.
// What it decodes is told by signal, each in a queued task of its own on the GUI thread.
class Di2Parser : public QObject
{
    Q_OBJECT

public:
    explicit Di2Parser(QObject* parent = nullptr);

    // Time stamps channel packets; replays of captures use the capture's time.
    void setClock(Clock clock) { m_clock = std::move(clock); }

    // Returns at once; decoding runs in a queued task, in arrival order.
    void processNotification(const QByteArray& value);
    void processBatteryLevel(const QByteArray& value);

    Di2Packet parse(const QByteArray& value) const;
    void handle(const Di2Packet& packet);

    static bool isDi2PacketLength(const QByteArray& value);

    const std::optional<Di2Status>& lastStatus() const { return m_lastStatus; }
    const std::optional<Di2Channel>& lastChannel() const { return m_lastChannel; }

Q_SIGNALS:
    // Every packet that handle() applies, before its effects; lets tools watch the stream.
    void packetHandled(const Di2Packet& packet);
    void statusReceived(const Di2Status& status);
    // For every channel packet, also when no button was pressed.
    void channelReceived(const QList<int>& pressedButtons, const Di2Channel& channel);
    // level: 0..100
    void batteryLevelUpdated(int level);

private:
    void handleChannel(const Di2Channel& channel);
    void emitLater(std::function<void()> emission);

    Clock m_clock = systemNow;
    std::optional<Di2Status> m_lastStatus;
    std::optional<Di2Channel> m_lastChannel;
};
