#include "signal_guard.h"

#include "pending_file.h"

#include <csignal>
#include <thread>

#include <pthread.h>
#include <unistd.h>

namespace trezorka {

// SIGTRAP and SIGSYS are faults too when the kernel raises them (a breakpoint,
// a forbidden system call), but the kernel forces those through a blocked
// signal, so they still end the process at once; only the same signals sent
// by another process reach the guard, as the request to end that they are.
// The faults that stay untouched are those that mostly come from a bug of our
// own, where the process is in no state to tidy up.
std::vector<int> guarded_signals()
{
    std::vector<int> signals{SIGHUP,  SIGINT,  SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM,
                             SIGVTALRM, SIGPROF, SIGXCPU, SIGTRAP, SIGSYS, SIGIO};
#ifdef SIGPWR
    signals.push_back(SIGPWR);
#endif
#ifdef SIGSTKFLT
    signals.push_back(SIGSTKFLT);
#endif
    // The C library keeps the two real-time signals it uses for its threads
    // below SIGRTMIN; neither program nor its libraries use the others.
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s)
        signals.push_back(s);
    return signals;
}

void start_signal_guard(SignalHooks hooks)
{
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    sigset_t set;
    sigemptyset(&set);
    for (const int s : guarded_signals())
        sigaddset(&set, s);
    if (hooks.suspend)
        sigaddset(&set, SIGTSTP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set, hooks = std::move(hooks)] {
        for (;;) {
            int signal = 0;
            if (sigwait(&set, &signal) != 0)
                continue;
            if (signal == SIGTSTP) {
                hooks.suspend();
                continue;
            }
            if (hooks.before_exit)
                hooks.before_exit();
            pending_file::abort_and_remove();
            ::_exit(128 + signal);
        }
    }).detach();
}

} // namespace trezorka
