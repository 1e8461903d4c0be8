#pragma once

#include <QQuickImageProvider>

// The bundled symbols, drawn in any colour: "image://icons/keyboard.fill?color=ff9500".
// Symbol files paint with "currentColor", which is replaced before rendering.
class IconProvider : public QQuickImageProvider
{
public:
    static constexpr int defaultSize = 32; // px, when the image asks for no size

    IconProvider();

    // The symbol's SVG file among the QML module's resources.
    static QString filePath(const QString& name);

    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};
