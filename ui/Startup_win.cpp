#include "Startup.h"
#include "Style.h"

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

trezorka::rules::CommandLine trezorka::ui::command_line(int, char**)
{
    int count = 0;
    LPWSTR* raw = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!raw)
        return {};
    std::vector<std::u16string> args;
    for (int i = 1; i < count && i < 3; ++i)
        args.push_back(QString::fromWCharArray(raw[i]).toStdU16String());
    LocalFree(raw);
    return rules::read_command_line(args);
}

// Windows has no session bus.
void trezorka::ui::use_desktop_session_bus() {}

// Windows has Tahoma.
void trezorka::ui::register_tahoma() {}
