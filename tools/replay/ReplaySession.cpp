#include "ReplaySession.h"

#include "di2/CharacteristicRoute.h"
#include "di2/PrintableText.h"
#include "diagnostics/DebugLogService.h"
#include "diagnostics/HexFormat.h"
#include "diagnostics/Logger.h"
#include "diagnostics/QueuedWork.h"

#include <QStringDecoder>
#include <QStringList>

ReplaySession::ReplaySession(QTextStream& out, QDateTime start)
    : m_out(out)
    , m_start(std::move(start))
    , m_now(m_start)
{
    const Clock clock = [this] { return m_now; };
    m_parser.setClock(clock);
    DebugLogService::shared().setClock(clock);
    QObject::connect(&m_parser, &Di2Parser::channelReceived,
                     [this](const QList<int>& pressed, const Di2Channel& channel) {
                         didReceiveChannel(pressed, channel);
                     });
    QObject::connect(&m_parser, &Di2Parser::batteryLevelUpdated,
                     [this](int level) { didUpdateBatteryLevel(level); });
    QObject::connect(&m_parser, &Di2Parser::packetHandled, [this](const Di2Packet& packet) {
        print(QStringLiteral("packet: ") + packet.description());
    });
}

ReplaySession::~ReplaySession()
{
    DebugLogService::shared().setClock(systemNow);
}

void ReplaySession::play(const QList<Di2CaptureRecord>& records)
{
    for (const Di2CaptureRecord& record : records) {
        m_now = m_start.addMSecs(record.milliseconds);
        route(record);
        // Each line's effects land before the next line, as they would at the capture's pace.
        QueuedWork::settle(Logger::shared(), DebugLogService::shared());
    }
}

void ReplaySession::route(const Di2CaptureRecord& record)
{
    switch (routeCharacteristic(record.characteristic, record.value)) {
    case CharacteristicRoute::di2Data:
    case CharacteristicRoute::di2PacketLength:
        m_parser.processNotification(record.value);
        break;
    case CharacteristicRoute::batteryLevel:
        m_parser.processBatteryLevel(record.value);
        break;
    case CharacteristicRoute::deviceInformation: {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = decoder(record.value);
        if (decoder.hasError())
            text.clear(); // as the device information stores it
        print(QStringLiteral("info: ") + record.characteristic + QLatin1Char(' ') +
              PrintableText::escaped(text));
        break;
    }
    case CharacteristicRoute::unrouted:
        Logger::shared().logDebug(QStringLiteral("Unknown characteristic ") + record.characteristic +
                                  QStringLiteral(": ") + HexFormat::decimalList(record.value));
        break;
    }
}

void ReplaySession::didReceiveChannel(const QList<int>& pressedButtons, const Di2Channel&)
{
    if (!pressedButtons.isEmpty())
        print(QStringLiteral("presses: ") + Di2Channel::activityDescription(pressedButtons));
}

void ReplaySession::didUpdateBatteryLevel(int level)
{
    print(QStringLiteral("battery: %1").arg(level));
}

void ReplaySession::print(const QString& line)
{
    m_out << line << '\n';
}
