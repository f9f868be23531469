// Preloaded into the window program by the desktop tests: reads of one file
// (SLOW_READ_PATH) are slowed to SLOW_READ_BYTES_PER_SECOND, so a job on a
// large sparse file lasts long enough to be watched and interrupted.
#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

namespace {

bool slowed(int fd)
{
    static const char* const path = getenv("SLOW_READ_PATH");
    if (!path)
        return false;
    char link[64];
    char target[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return false;
    target[n] = 0;
    return strcmp(target, path) == 0;
}

ssize_t after(int fd, ssize_t got)
{
    static const double rate = [] {
        const char* r = getenv("SLOW_READ_BYTES_PER_SECOND");
        return r && atof(r) > 0 ? atof(r) : 10e6;
    }();
    if (got > 0 && slowed(fd)) {
        const double seconds = double(got) / rate;
        const timespec pause{time_t(seconds), long((seconds - double(time_t(seconds))) * 1e9)};
        nanosleep(&pause, nullptr);
    }
    return got;
}

template <typename F>
F next(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" ssize_t read(int fd, void* buf, size_t count)
{
    static const auto real = next<ssize_t (*)(int, void*, size_t)>("read");
    return after(fd, real(fd, buf, count));
}

extern "C" ssize_t pread64(int fd, void* buf, size_t count, off_t offset)
{
    static const auto real = next<ssize_t (*)(int, void*, size_t, off_t)>("pread64");
    return after(fd, real(fd, buf, count, offset));
}
