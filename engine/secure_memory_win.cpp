#include "secure_buffer.h"

#include <new>

#include <windows.h>

namespace trezorka {

void* secure_allocate(std::size_t size)
{
    void* data = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!data)
        throw std::bad_alloc();
    // Best effort: the working-set limit may refuse; the memory is still good.
    (void)VirtualLock(data, size);
    return data;
}

void secure_release(void* data, std::size_t size) noexcept
{
    secure_wipe(data, size);
    (void)VirtualUnlock(data, size);
    (void)VirtualFree(data, 0, MEM_RELEASE);
}

bool forbid_core_dumps() noexcept
{
    // Windows writes no dump on its own; Windows Error Reporting is asked
    // not to show its dialog or send one for this process.
    SetErrorMode(GetErrorMode() | SEM_NOGPFAULTERRORBOX);
    return true;
}

} // namespace trezorka
