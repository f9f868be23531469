#include "sifra.h"

#include <cerrno>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

// Linux keeps a nice value per thread: one step of our own keeps the desktop
// responsive while a large file is streamed.
void trezorka::worker_thread::become_worker(const char* name) noexcept
{
#ifdef __linux__
    pthread_setname_np(pthread_self(), name);
    const id_t tid = static_cast<id_t>(gettid());
    errno = 0;
    const int nice_now = getpriority(PRIO_PROCESS, tid);
    if (errno == 0)
        setpriority(PRIO_PROCESS, tid, nice_now + 1);
#else
    (void)name;
#endif
}
