// The Windows program: the main window and the progress dialog on the UI
// thread, one worker thread per job.

#include "SharedJob.h"
#include "TStatus_show.h"
#include "Tmain.h"
#include "WinUiPlatform.h"

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <memory>
#include <string>

namespace {

// The first command-line argument, in Unicode; further ones are ignored.
std::u16string first_argument()
{
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args)
        return {};
    const std::wstring_view first = count > 1 ? args[1] : L"";
    std::u16string result(first.begin(), first.end());
    LocalFree(args);
    return result;
}

struct ComApartment {
    // The pictures are decoded by the system's imaging component.
    ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE); }
    ~ComApartment() { CoUninitialize(); }
};

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    ComApartment com;
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    SharedJob job;
    WinUiPlatform platform;
    Tmain main(job, platform, first_argument());
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
