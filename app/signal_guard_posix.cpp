#include "signal_guard.h"

#include "pending_file.h"

#include <csignal>
#include <pthread.h>
#include <thread>
#include <unistd.h>

void start_signal_guard()
{
    // Past a file-size limit a write must fail like a full disk does, not end
    // the process with the temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU})
        sigaddset(&set, s);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set] {
        int signal = 0;
        while (sigwait(&set, &signal) != 0) {
        }
        trezorka::pending_file::abort_and_remove();
        ::_exit(128 + signal);
    }).detach();
}
