#include "Startup.h"
#include "Style.h"

#include <windows.h>

#include <shellapi.h>

QString trezorka::ui::first_argument(int, char**)
{
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args)
        return {};
    const QString first = count >= 2 ? QString::fromWCharArray(args[1]) : QString();
    LocalFree(args);
    return first;
}

// Windows has no session bus.
void trezorka::ui::use_desktop_session_bus() {}

// Windows has Tahoma.
void trezorka::ui::register_tahoma() {}
