#include "di2/Di2Channel.h"

#include "diagnostics/DebugLogService.h"
#include "diagnostics/HexFormat.h"
#include "diagnostics/Logger.h"

#include <QStringList>

namespace {

void queueOnDebugLog(std::function<void(DebugLogService&)> work)
{
    DebugLogService::shared().later(std::move(work));
}

} // namespace

quint8 Di2Channel::buttonValue(int button) const
{
    switch (button) {
    case 1:
        return button1Value;
    case 2:
        return button2Value;
    case 3:
        return button3Value;
    case 4:
        return button4Value;
    }
    return 0;
}

QList<int> Di2Channel::detectButtonPresses(const Di2Channel& previous) const
{
    // Lines nobody takes are not formatted: a replay of a long capture would spend its time there.
    const bool toDebugLog = DebugLogService::shared().isLoggingEnabled();
    const bool toLogger = Logger::shared().isLoggingEnabled();
    const double elapsedSeconds = double(previous.timestamp.msecsTo(timestamp)) / 1000.0;
    const QString elapsed = toDebugLog || toLogger ? QString::asprintf("%.3f", elapsedSeconds) : QString();
    const QString category = QStringLiteral("ButtonPress");

    QList<int> pressed;
    for (int n = 1; n <= buttonCount; ++n) {
        const quint8 prev = previous.buttonValue(n);
        const quint8 cur = buttonValue(n);
        // A counter that stays or falls (a wrap from 255 included) is no press.
        if (cur <= prev)
            continue;
        const int diff = cur - prev;
        pressed.append(n);
        if (toDebugLog) {
            const DebugLogDetails press{
                {QStringLiteral("button"), QString::number(n)},
                {QStringLiteral("previousValue"), QString::number(prev)},
                {QStringLiteral("currentValue"), QString::number(cur)},
                {QStringLiteral("valueDifference"), QString::number(diff)},
                {QStringLiteral("timeSinceLastPress"), elapsed + QLatin1Char('s')},
            };
            queueOnDebugLog([n, diff, press, category](DebugLogService& debugLog) {
                debugLog.log(QStringLiteral("Button %1 press detected").arg(n), category, DebugLogLevel::info,
                             press);
                if (diff >= 2) {
                    const DebugLogDetails warning{
                        {QStringLiteral("button"), QString::number(n)},
                        {QStringLiteral("valueDifference"), QString::number(diff)},
                        {QStringLiteral("interpretation"),
                         QStringLiteral("Hardware may count press+release separately")},
                    };
                    debugLog.log(
                        QStringLiteral("⚠️ Multiple value increment detected! Expected 1, got %1")
                            .arg(diff),
                        category, DebugLogLevel::warning, warning);
                }
            });
        }
        if (!toLogger)
            continue;
        Logger::shared().logDebug(QStringLiteral("Button %1: %2 -> %3\n(diff: %4, time: %5s)")
                                      .arg(n)
                                      .arg(prev)
                                      .arg(cur)
                                      .arg(diff)
                                      .arg(elapsed),
                                  QStringLiteral("Di2Channel"));
    }

    if (toDebugLog) {
        queueOnDebugLog([current = raw, prev = previous.raw, pressed](DebugLogService& debugLog) {
            debugLog.logChannelData(current, prev, pressed);
        });
    }
    return pressed;
}

QString Di2Channel::logDescription() const
{
    return QStringLiteral("[%1]: [%2, %3, %4, %5]")
        .arg(checksum)
        .arg(button1Value)
        .arg(button2Value)
        .arg(button3Value)
        .arg(button4Value);
}

QString Di2Channel::description() const
{
    return QStringLiteral("Channel(checksum: 0x%1,\nbuttons: [%2, %3, %4, %5])")
        .arg(HexFormat::value(checksum))
        .arg(button1Value)
        .arg(button2Value)
        .arg(button3Value)
        .arg(button4Value);
}

QString Di2Channel::activityDescription(const QList<int>& pressedButtons)
{
    if (pressedButtons.isEmpty())
        return {};
    QStringList names;
    for (int button : pressedButtons)
        names.append(QStringLiteral("Button %1").arg(button));
    return names.join(QStringLiteral(", ")) + QStringLiteral(" pressed");
}
