#pragma once

#include "bluetooth/ConnectionState.h"

#include <QString>
#include <optional>

// The small decisions the screens make from device data, kept here so that they are
// tested once and the QML only binds to them. Icons are the symbol names of the bundled set.
namespace ViewRules {

// Lit bars (1..4) of the four-bar signal meter.
int litSignalBars(int rssi);

struct BatteryLook
{
    QString icon;
    QString color; // a named colour of the theme
};
// A missing level counts as 0.
BatteryLook battery(std::optional<int> level);

// The device picture for a model number: "9150", "8150" or "grx".
QString devicePicture(const std::optional<QString>& modelNumber);

struct LogLook
{
    QString icon;
    QString color;
};
// Chosen from keywords in the message, case ignored, first match wins.
LogLook logIcon(const QString& message);

// What the main window says of the link while the unit is not connected; empty when it is.
QString linkStatus(const ConnectionState& state);

} // namespace ViewRules
