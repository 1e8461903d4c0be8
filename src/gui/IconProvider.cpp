#include "gui/IconProvider.h"

#include "diagnostics/Logger.h"

#include <QColor>
#include <QFile>
#include <QPainter>
#include <QSvgRenderer>
#include <QUrlQuery>

IconProvider::IconProvider()
    : QQuickImageProvider(QQuickImageProvider::Image)
{}

QString IconProvider::filePath(const QString& name)
{
    return QStringLiteral(":/qt/qml/Cogwise/icons/%1.svg").arg(name);
}

QImage IconProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize)
{
    const qsizetype query = id.indexOf(QLatin1Char('?'));
    const QString name = id.left(query);
    QColor color(Qt::black);
    if (query >= 0) {
        const QString value = QUrlQuery(id.mid(query + 1)).queryItemValue(QStringLiteral("color"));
        color = QColor(value.startsWith(QLatin1Char('#')) ? value : QLatin1Char('#') + value);
    }
    const QSize target(requestedSize.width() > 0 ? requestedSize.width() : defaultSize,
                       requestedSize.height() > 0 ? requestedSize.height() : defaultSize);
    QImage image(target, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (size)
        *size = target;

    QFile file(filePath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        Logger::shared().logError(QStringLiteral("No icon named %1").arg(name), QStringLiteral("Icons"));
        return image;
    }
    QByteArray svg = file.readAll();
    // The SVG renderer takes #rrggbb only; the colour's alpha becomes the painter's opacity.
    svg.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
    QSvgRenderer renderer(svg);
    QPainter painter(&image);
    painter.setOpacity(color.alphaF());
    renderer.render(&painter);
    return image;
}
