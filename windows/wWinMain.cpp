// The Windows program: the main window and the progress dialog on the UI
// thread, one worker thread per job.

#include "SharedJob.h"
#include "TStatus_show.h"
#include "Tmain.h"
#include "WinUiPlatform.h"
#include "command_line.h"

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// The command line in Unicode: the file to preselect, or --help or --version.
trezorka::rules::CommandLine command_line()
{
    int count = 0;
    LPWSTR* raw = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!raw)
        return {};
    std::vector<std::u16string> args;
    for (int i = 1; i < count && i < 3; ++i) {
        const std::wstring_view arg = raw[i];
        args.emplace_back(arg.begin(), arg.end());
    }
    LocalFree(raw);
    return trezorka::rules::read_command_line(args);
}

struct ComApartment {
    // The pictures are decoded by the system's imaging component.
    ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE); }
    ~ComApartment() { CoUninitialize(); }
};

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    trezorka::rules::CommandLine command = command_line();
    if (command.answer != trezorka::rules::CommandLine::Answer::none) {
        // A program without a console answers in a message box.
        const std::u16string_view answer = trezorka::rules::command_line_answer(command.answer);
        const std::wstring text(answer.begin(), answer.end());
        MessageBoxW(nullptr, text.c_str(), L"Trezorka 2.0 Portable", MB_OK | MB_ICONINFORMATION);
        return 0;
    }

    ComApartment com;
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    SharedJob job;
    WinUiPlatform platform;
    Tmain main(job, platform, std::move(command.source));
    TStatus_show Status_show(main.window(), main.application(), platform);
    main.setStatus_show(&Status_show);
    main.start();

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (main.pre_translate(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
