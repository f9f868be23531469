#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

// Our artwork is kept as SVG sources (":/art/<name>.svg") and rendered at the
// size the windows need, for the screen's device pixel ratio, so it stays
// crisp at any scaling.
namespace Artwork {

// The picture's own size in 96-dpi pixels, as drawn in its source.
QSize natural_size(const QString& name);

// Renders the picture at `size` (96-dpi pixels) for device pixel ratio `dpr`.
QPixmap pixmap(const QString& name, QSize size, qreal dpr);
inline QPixmap pixmap(const QString& name, qreal dpr)
{
    return pixmap(name, natural_size(name), dpr);
}

} // namespace Artwork
