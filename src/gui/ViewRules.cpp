#include "gui/ViewRules.h"

#include <QStringList>
#include <array>

namespace ViewRules {

int litSignalBars(int rssi)
{
    if (rssi > 0 || rssi <= -71)
        return 1;
    if (rssi >= -50)
        return 4;
    return rssi >= -60 ? 3 : 2;
}

BatteryLook battery(std::optional<int> level)
{
    const int value = level.value_or(0);
    if (value >= 81 && value <= 100)
        return {QStringLiteral("battery.100"), QStringLiteral("green")};
    if (value >= 21 && value <= 40)
        return {QStringLiteral("battery.25"), QStringLiteral("yellow")};
    if (value >= 0 && value <= 20)
        return {QStringLiteral("battery.0"), QStringLiteral("red")};
    // 41..80, and whatever a device reports outside 0..100.
    return {QStringLiteral("battery.75"), QStringLiteral("green")};
}

QString devicePicture(const std::optional<QString>& modelNumber)
{
    struct Rule
    {
        QStringList keys;
        QString picture;
    };
    static const std::array rules = {
        Rule{{QStringLiteral("9150"), QStringLiteral("9170"), QStringLiteral("9100")},
             QStringLiteral("9150")},
        Rule{{QStringLiteral("8150"), QStringLiteral("8170"), QStringLiteral("8100")},
             QStringLiteral("8150")},
        Rule{{QStringLiteral("GRX"), QStringLiteral("RX"), QStringLiteral("810"), QStringLiteral("815")},
             QStringLiteral("grx")},
    };
    const QString model = modelNumber.value_or(QString()).toUpper();
    for (const Rule& rule : rules) {
        for (const QString& key : rule.keys) {
            if (model.contains(key))
                return rule.picture;
        }
    }
    return QStringLiteral("8150");
}

LogLook logIcon(const QString& message)
{
    static const std::array<std::pair<QString, LogLook>, 5> rules = {{
        {QStringLiteral("button"), {QStringLiteral("hand.tap.fill"), QStringLiteral("blue")}},
        {QStringLiteral("keyboard"), {QStringLiteral("keyboard.fill"), QStringLiteral("orange")}},
        {QStringLiteral("disconnect"), {QStringLiteral("link.badge.xmark"), QStringLiteral("red")}},
        {QStringLiteral("connect"), {QStringLiteral("link"), QStringLiteral("green")}},
        {QStringLiteral("configured"), {QStringLiteral("gearshape.fill"), QStringLiteral("purple")}},
    }};
    const QString lower = message.toLower();
    for (const auto& [keyword, look] : rules) {
        if (lower.contains(keyword))
            return look;
    }
    return {QStringLiteral("info.circle.fill"), QStringLiteral("gray")};
}

QString linkStatus(const ConnectionState& state)
{
    if (const auto* waiting = state.as<ConnectionState::Waiting>())
        return QStringLiteral("Waiting for %1 — press a shifter button to wake it").arg(waiting->name);
    if (const auto* connecting = state.as<ConnectionState::Connecting>())
        return QStringLiteral("Connecting to %1…").arg(connecting->name.value_or(QStringLiteral("device")));
    if (const auto* disconnected = state.as<ConnectionState::Disconnected>())
        return disconnected->error.value_or(QStringLiteral("Disconnected"));
    if (state.is(ConnectionState::Simple::bluetoothOff))
        return QStringLiteral("Bluetooth is off");
    if (state.is(ConnectionState::Simple::bluetoothUnauthorized))
        return QStringLiteral("Cogwise is not allowed to use Bluetooth");
    return {};
}

} // namespace ViewRules
