#include "signal_guard.h"

#include "pending_file.h"

#include <csignal>

#include <windows.h>

namespace trezorka {

namespace {

SignalHooks& kept_hooks()
{
    // Never destroyed: the handler may run while the process ends.
    static SignalHooks* const hooks = new SignalHooks;
    return *hooks;
}

BOOL WINAPI on_console_event(DWORD event)
{
    int status = 0;
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        status = 128 + SIGINT;
        break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        status = 128 + SIGTERM;
        break;
    default:
        return FALSE;
    }
    if (kept_hooks().before_exit)
        kept_hooks().before_exit();
    pending_file::abort_and_remove();
    // At once, like _exit: the other threads may hold any lock.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    return TRUE;
}

} // namespace

std::vector<int> guarded_signals()
{
    return {};
}

void start_signal_guard(SignalHooks hooks)
{
    kept_hooks() = std::move(hooks);
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

} // namespace trezorka
