// Renders the SVG artwork on the build machine, for the Windows program's
// resources (the cross build has no SVG renderer of its own) and for the icons
// the Linux packages install:
//
//   trezorka_render_art png SOURCE.svg OUTPUT.png WIDTH HEIGHT
//       the whole drawing stretched over WIDTH x HEIGHT pixels, as the Qt face
//       draws a picture into its control
//   trezorka_render_art icon SOURCE.svg OUTPUT.png SIZE
//       a square SIZE x SIZE image, the drawing kept in proportion and centred
//   trezorka_render_art ico OUTPUT.ico SOURCE.svg SIZE...
//       one icon file with a square image per SIZE, the drawing kept in
//       proportion and centred; from 64 up stored as PNG (Windows reads
//       those since Vista), the small ones as 32-bit bitmaps with alpha
//
// Runs at build time, so it never needs a display.

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <vector>

namespace {

int fail(const char* what, const QString& detail)
{
    std::fprintf(stderr, "trezorka_render_art: %s: %s\n", what, qPrintable(detail));
    return 1;
}

void quiet_about_runtime_dir(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

bool has_visible_pixel(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) != 0)
                return true;
    }
    return false;
}

QImage render(QSvgRenderer& renderer, QSize canvas, QRectF target)
{
    QImage image(canvas, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&painter, target);
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

QRectF fitted(QSvgRenderer& renderer, int size)
{
    QRectF box = renderer.viewBoxF();
    if (box.isEmpty())
        box = QRectF(QPointF(0, 0), QSizeF(renderer.defaultSize()));
    const qreal scale = size / qMax(box.width(), box.height());
    const QSizeF sized(box.width() * scale, box.height() * scale);
    return {QPointF((size - sized.width()) / 2, (size - sized.height()) / 2), sized};
}

void put16(QByteArray& out, int v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

void put32(QByteArray& out, quint32 v)
{
    put16(out, int(v & 0xFFFF));
    put16(out, int(v >> 16));
}

// An icon image as Windows stores it: a bitmap header with twice the height
// (colour and mask), the BGRA rows bottom-up, then the 1-bit mask, all zero
// because the alpha channel decides.
QByteArray icon_bitmap(const QImage& image)
{
    const int n = image.width();
    QByteArray out;
    put32(out, 40);
    put32(out, quint32(n));
    put32(out, quint32(2 * n));
    put16(out, 1);
    put16(out, 32);
    put32(out, 0); // BI_RGB
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    for (int y = n - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < n; ++x) {
            out.append(char(qBlue(line[x])));
            out.append(char(qGreen(line[x])));
            out.append(char(qRed(line[x])));
            out.append(char(qAlpha(line[x])));
        }
    }
    const int mask_row = ((n + 31) / 32) * 4;
    out.append(QByteArray(mask_row * n, '\0'));
    return out;
}

int write_png(const QStringList& args)
{
    if (args.size() != 6)
        return fail("usage", QStringLiteral("png SOURCE.svg OUTPUT.png WIDTH HEIGHT"));
    bool ok_w = false, ok_h = false;
    const int w = args[4].toInt(&ok_w), h = args[5].toInt(&ok_h);
    if (!ok_w || !ok_h || w < 1 || h < 1 || w > 4096 || h > 4096)
        return fail("bad size", args[4] + QLatin1Char('x') + args[5]);
    QSvgRenderer renderer(args[2]);
    if (!renderer.isValid())
        return fail("cannot read the picture", args[2]);
    const QImage image = render(renderer, QSize(w, h), QRectF(0, 0, w, h));
    if (!has_visible_pixel(image))
        return fail("the picture rendered as nothing", args[2]);
    if (!image.save(args[3], "PNG"))
        return fail("cannot write", args[3]);
    return 0;
}

int write_icon(const QStringList& args)
{
    if (args.size() != 5)
        return fail("usage", QStringLiteral("icon SOURCE.svg OUTPUT.png SIZE"));
    bool ok = false;
    const int size = args[4].toInt(&ok);
    if (!ok || size < 1 || size > 4096)
        return fail("bad size", args[4]);
    QSvgRenderer renderer(args[2]);
    if (!renderer.isValid())
        return fail("cannot read the picture", args[2]);
    const QImage image = render(renderer, QSize(size, size), fitted(renderer, size));
    // An empty canvas means the drawing did not render; better to stop the
    // build than to install an invisible icon.
    if (!has_visible_pixel(image))
        return fail("the picture rendered as nothing", args[2]);
    if (!image.save(args[3], "PNG"))
        return fail("cannot write", args[3]);
    return 0;
}

int write_ico(const QStringList& args)
{
    if (args.size() < 5)
        return fail("usage", QStringLiteral("ico OUTPUT.ico SOURCE.svg SIZE..."));
    QSvgRenderer renderer(args[3]);
    if (!renderer.isValid())
        return fail("cannot read the picture", args[3]);
    std::vector<std::pair<int, QByteArray>> images;
    for (int i = 4; i < args.size(); ++i) {
        bool ok = false;
        const int size = args[i].toInt(&ok);
        if (!ok || size < 1 || size > 256)
            return fail("bad size", args[i]);
        const QImage image = render(renderer, QSize(size, size), fitted(renderer, size));
        if (!has_visible_pixel(image))
            return fail("the picture rendered as nothing", args[3]);
        QByteArray data;
        if (size >= 64) {
            QBuffer buffer(&data);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
        } else {
            data = icon_bitmap(image);
        }
        images.emplace_back(size, data);
    }
    QByteArray out;
    put16(out, 0);
    put16(out, 1); // icon
    put16(out, int(images.size()));
    quint32 offset = 6 + 16 * quint32(images.size());
    for (const auto& [size, data] : images) {
        out.append(char(size == 256 ? 0 : size));
        out.append(char(size == 256 ? 0 : size));
        out.append('\0');
        out.append('\0');
        put16(out, 1);
        put16(out, 32);
        put32(out, quint32(data.size()));
        put32(out, offset);
        offset += quint32(data.size());
    }
    for (const auto& image : images)
        out.append(image.second);
    QFile file(args[2]);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size())
        return fail("cannot write", args[2]);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    qInstallMessageHandler(quiet_about_runtime_dir);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 2 && args[1] == QLatin1String("png"))
        return write_png(args);
    if (args.size() >= 2 && args[1] == QLatin1String("icon"))
        return write_icon(args);
    if (args.size() >= 2 && args[1] == QLatin1String("ico"))
        return write_ico(args);
    std::fprintf(stderr, "usage: trezorka_render_art png SOURCE.svg OUTPUT.png WIDTH HEIGHT\n"
                         "       trezorka_render_art icon SOURCE.svg OUTPUT.png SIZE\n"
                         "       trezorka_render_art ico OUTPUT.ico SOURCE.svg SIZE...\n");
    return 2;
}
