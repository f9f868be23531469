#include "sifra.h"

#include <windows.h>

void trezorka::worker_thread::become_worker(const char* name) noexcept
{
    (void)name;
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}
