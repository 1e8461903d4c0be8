#include "ReplaySession.h"

#include "di2/CharacteristicRoute.h"
#include "di2/PrintableText.h"
#include "diagnostics/DebugLogService.h"
#include "diagnostics/HexFormat.h"
#include "diagnostics/Logger.h"
#include "diagnostics/QueuedWork.h"

#include <QCoreApplication>
#include <QStringDecoder>
#include <QStringList>

namespace {

// Often enough that the logger's queue stays short, seldom enough to cost nothing.
constexpr qint64 recordsBetweenSettles = 4096;

} // namespace

ReplaySession::ReplaySession(QTextStream& out, QDateTime start, DebugLog debugLog)
    : m_out(out)
    , m_debugLog(debugLog)
    // A fixed offset: local time would look up the time zone for every line.
    , m_start(start.toOffsetFromUtc(start.offsetFromUtc()))
    , m_now(m_start)
{
    Logger::shared().setLoggingEnabled(debugLog != DebugLog::off);
    DebugLogService::shared().setLoggingEnabled(debugLog == DebugLog::exact);
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

void ReplaySession::play(const Di2CaptureRecord& record)
{
    m_now = m_start.addMSecs(record.milliseconds);
    route(record);
    // Each line's effects land before the next line, as they would at the capture's pace;
    // the logger's, which cross threads, only where their time stamps are shown.
    if (m_debugLog == DebugLog::exact || ++m_played % recordsBetweenSettles == 0)
        QueuedWork::settle(Logger::shared(), DebugLogService::shared());
    else
        QCoreApplication::sendPostedEvents();
}

void ReplaySession::finish()
{
    QueuedWork::settle(Logger::shared(), DebugLogService::shared());
    m_out.flush();
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
