// Renders an SVG picture into a square PNG of the given size, for the hicolor
// icon theme. The picture keeps its proportions and is centred; the rest of
// the canvas stays transparent.
//
//   trezorka_render_icon SOURCE.svg OUTPUT.png SIZE
//
// Runs at build time, so it never needs a display.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

namespace {

int fail(const char* what, const QString& detail)
{
    std::fprintf(stderr, "trezorka_render_icon: %s: %s\n", what, qPrintable(detail));
    return 1;
}

bool has_visible_pixel(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) != 0)
                return true;
        }
    }
    return false;
}

// The offscreen platform complains about a missing XDG_RUNTIME_DIR, which a
// build does not need; everything else (SVG parse warnings above all) is shown.
void quiet_about_runtime_dir(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char* argv[])
{
    qInstallMessageHandler(quiet_about_runtime_dir);
    // Set before the application object exists: a build machine has no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: trezorka_render_icon SOURCE.svg OUTPUT.png SIZE\n");
        return 2;
    }
    bool ok = false;
    const int size = args[3].toInt(&ok);
    if (!ok || size < 1 || size > 4096)
        return fail("bad size", args[3]);

    QSvgRenderer renderer(args[1]);
    if (!renderer.isValid())
        return fail("cannot read the picture", args[1]);

    // The view box, not the default size, carries the drawing's proportions.
    QRectF box = renderer.viewBoxF();
    if (box.isEmpty())
        box = QRectF(QPointF(0, 0), QSizeF(renderer.defaultSize()));
    if (box.isEmpty())
        return fail("the picture has no size", args[1]);

    const qreal scale = size / qMax(box.width(), box.height());
    const QSizeF fitted(box.width() * scale, box.height() * scale);
    const QRectF target(QPointF((size - fitted.width()) / 2, (size - fitted.height()) / 2), fitted);

    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, target);
    }

    // An empty canvas means the drawing did not render; better to stop the
    // build than to install an invisible icon.
    if (!has_visible_pixel(image))
        return fail("the picture rendered as nothing", args[1]);

    if (!image.convertToFormat(QImage::Format_ARGB32).save(args[2], "PNG"))
        return fail("cannot write", args[2]);
    return 0;
}
