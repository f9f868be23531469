#include "secure_buffer.h"

#include <new>

#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace trezorka {

namespace {

std::size_t whole_pages(std::size_t size) noexcept
{
    static const std::size_t page = [] {
        const long value = ::sysconf(_SC_PAGESIZE);
        return value > 0 ? static_cast<std::size_t>(value) : std::size_t{4096};
    }();
    return (size + page - 1) / page * page;
}

} // namespace

void* secure_allocate(std::size_t size)
{
    const std::size_t length = whole_pages(size);
    void* data = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (data == MAP_FAILED)
        throw std::bad_alloc();
    // Both are wishes: a locked-memory limit or an old kernel refuses them,
    // and the memory is still good, only swappable or dumpable.
    (void)::mlock(data, length);
#ifdef MADV_DONTDUMP
    (void)::madvise(data, length, MADV_DONTDUMP);
#endif
    return data;
}

void secure_release(void* data, std::size_t size) noexcept
{
    const std::size_t length = whole_pages(size);
    secure_wipe(data, length);
    (void)::munlock(data, length);
    (void)::munmap(data, length);
}

bool forbid_core_dumps() noexcept
{
    // The limit stops a core file, but a core_pattern pipe (systemd-coredump)
    // may ignore a zero limit; a process that is not dumpable gets no dump at
    // all, and other processes of the user cannot read its memory either.
    const rlimit none{0, 0};
    const bool limited = ::setrlimit(RLIMIT_CORE, &none) == 0;
    const bool undumpable = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    return limited && undumpable;
}

} // namespace trezorka
