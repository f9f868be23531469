#include "QtUiPlatform.h"
#include "SharedJob.h"
#include "TStatus_show.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QPalette>
#include <QWidget>

namespace {

// The windows are laid out for Tahoma. Windows has it; elsewhere Wine's
// metric-compatible copy is used when it is installed.
void register_tahoma()
{
#ifndef _WIN32
    for (const char* path : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
        const QString file = QString::fromLatin1(path);
        if (QFile::exists(file))
            QFontDatabase::addApplicationFont(file);
    }
#endif
}

} // namespace

int main(int argc, char* argv[])
{
    // Layouts are in 96-dpi pixels and scale in proportion: no rounding of
    // the scale factor, so 150 % stays 150 %.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QApplication app(argc, argv);
    register_tahoma();

    // The application's title. Not the display name: Qt would append that
    // to every window caption, and the captions are fixed texts.
    QApplication::setApplicationName(QStringLiteral("Trezorka 2.0 Portable"));

    [[maybe_unused]] SharedJob job; // handed to the main window
    QtUiPlatform platform;

    // Tmain: the main window `main` takes this placeholder's place.
    QWidget main;
    main.setWindowTitle(QStringLiteral("Trezorka 2.0 Portable"));
    main.setFixedSize(555, 341);
    QPalette pal = main.palette();
    pal.setColor(QPalette::Window, QColor(0xE8, 0xE8, 0xE8));
    main.setPalette(pal);
    main.setAutoFillBackground(true);
    main.show();

    TStatus_show Status_show(platform, &main);

    return app.exec();
}
