#include "QtUiPlatform.h"
#include "SharedJob.h"
#include "Startup.h"
#include "Style.h"
#include "TStatus_show.h"
#include "Tmain.h"
#include "secure_buffer.h"
#include "signal_guard.h"

#include <QApplication>
#include <QByteArray>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    // Before QApplication takes its own options out of argv: a file named
    // "-reverse" is a file to preselect. --help and --version are answered
    // here, with no window and no display needed.
    const trezorka::rules::CommandLine command = trezorka::ui::command_line(argc, argv);
    if (command.answer != trezorka::rules::CommandLine::Answer::none) {
        const std::u16string_view answer = trezorka::rules::command_line_answer(command.answer);
        const QByteArray text = trezorka::ui::qs(answer).toUtf8();
        const auto size = static_cast<std::size_t>(text.size());
        const bool written = std::fwrite(text.constData(), 1, size, stdout) == size;
        return written && std::fflush(stdout) == 0 ? 0 : 1;
    }

    // First, before any thread exists: a request to end mid-job removes the
    // temporary file.
    trezorka::start_signal_guard();
    // The password fields may hold a password for the program's whole life,
    // and a crash must not write them into a core file.
    trezorka::forbid_core_dumps();
    // Layouts are in 96-dpi pixels and scale in proportion: no rounding of
    // the scale factor, so 150 % stays 150 %.
    trezorka::ui::use_desktop_session_bus();
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QApplication app(argc, argv);
    // Qt's own dialogs in Czech, as the rest of the program.
    QtUiPlatform::load_qt_translation();
    // The windows are laid out for Tahoma; Windows has it, elsewhere Wine's
    // free copy is used when it is installed.
    trezorka::ui::register_tahoma();

    // The application's title. Not the display name: Qt would append that
    // to every window caption, and the captions are fixed texts.
    QApplication::setApplicationName(QStringLiteral("Trezorka 2.0 Portable"));
    // The desktop entry the packages install, so that desktops match the
    // windows to it (icon, taskbar grouping).
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.trezorka.Trezorka"));

    // Declared before the windows, so it outlives them; a command holds its
    // worker and waits for it before it returns, also when a quit from
    // outside ends the progress dialog's showing early.
    SharedJob job;
    QtUiPlatform platform;

    Tmain main(job, platform, trezorka::ui::qs(command.source));
    // Hidden until a job shows it; a child of the main window, so it stays
    // off the taskbar and is centred over the main window.
    TStatus_show Status_show(platform, main.application(), &main);
    main.setStatus_show(&Status_show);

    main.show();

    return app.exec();
}
