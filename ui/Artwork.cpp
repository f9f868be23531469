#include "Artwork.h"

#include <QPainter>
#include <QSvgRenderer>
#include <cmath>

namespace Artwork {

static QString source_of(const QString& name)
{
    return QStringLiteral(":/art/%1.svg").arg(name);
}

QSize natural_size(const QString& name)
{
    QSvgRenderer renderer(source_of(name));
    return renderer.defaultSize();
}

QPixmap pixmap(const QString& name, QSize size, qreal dpr)
{
    QSvgRenderer renderer(source_of(name));
    const QSize device(int(std::ceil(size.width() * dpr)), int(std::ceil(size.height() * dpr)));
    QPixmap pm(device);
    pm.fill(Qt::transparent);
    if (renderer.isValid()) {
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(device)));
    }
    pm.setDevicePixelRatio(dpr);
    return pm;
}

} // namespace Artwork
