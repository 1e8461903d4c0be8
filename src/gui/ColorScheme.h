#pragma once

#include <QString>

class QGuiApplication;

// Light or dark: the desktop's palette decides, unless COGWISE_COLOR_SCHEME says
// "light" or "dark" (screenshots, desktops whose theme Qt cannot read).
namespace ColorScheme {

void apply(QGuiApplication& app, const QString& requested);

} // namespace ColorScheme
