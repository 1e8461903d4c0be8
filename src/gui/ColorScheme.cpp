#include "gui/ColorScheme.h"

#include <QGuiApplication>
#include <QPalette>

namespace ColorScheme {

namespace {

QPalette palette(bool dark)
{
    const QColor window = dark ? QColor(0x1e, 0x1e, 0x20) : QColor(0xf2, 0xf2, 0xf4);
    const QColor base = dark ? QColor(0x2a, 0x2a, 0x2d) : QColor(Qt::white);
    const QColor text = dark ? QColor(0xf2, 0xf2, 0xf7) : QColor(0x1c, 0x1c, 0x1e);
    const QColor button = dark ? QColor(0x3a, 0x3a, 0x3d) : QColor(0xfb, 0xfb, 0xfd);
    QPalette result(button, window);
    result.setColor(QPalette::Window, window);
    result.setColor(QPalette::WindowText, text);
    result.setColor(QPalette::Base, base);
    result.setColor(QPalette::AlternateBase, window);
    result.setColor(QPalette::Text, text);
    result.setColor(QPalette::Button, button);
    result.setColor(QPalette::ButtonText, text);
    result.setColor(QPalette::Highlight, dark ? QColor(0x0a, 0x84, 0xff) : QColor(0x00, 0x7a, 0xff));
    result.setColor(QPalette::HighlightedText, Qt::white);
    result.setColor(QPalette::ToolTipBase, base);
    result.setColor(QPalette::ToolTipText, text);
    result.setColor(QPalette::PlaceholderText, dark ? QColor(0x8e, 0x8e, 0x93) : QColor(0x8e, 0x8e, 0x93));
    const QColor disabled = dark ? QColor(0x6e, 0x6e, 0x73) : QColor(0xae, 0xae, 0xb2);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        result.setColor(QPalette::Disabled, role, disabled);
    return result;
}

} // namespace

void apply(QGuiApplication& app, const QString& requested)
{
    bool dark = QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
    if (requested == QLatin1String("dark"))
        dark = true;
    else if (requested == QLatin1String("light"))
        dark = false;
    // Our own palettes in both cases: the platform's default one is a grey that makes
    // the translucent panels and the coloured symbols look washed out.
    app.setPalette(palette(dark));
}

} // namespace ColorScheme
