#pragma once

// Ends a program cleanly when the system asks it to end, for both programs:
// the running job's temporary file is removed, the target keeps whatever it
// held, and the process ends with 128 + the signal number.
//
// POSIX: every signal whose default action ends the process is blocked in
// every thread and waited for by one thread of its own, so nothing runs
// inside a signal handler: SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2,
// SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGTRAP, SIGSYS, SIGIO (SIGPOLL),
// SIGPWR, SIGSTKFLT and every real-time signal (SIGRTMIN to SIGRTMAX). SIGPIPE
// and SIGXFSZ are ignored, so that a closed pipe or a file-size limit fails a
// write like any other write error. The faults of the program itself
// (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT) keep their default action.
//
// Windows: a console control handler does the same for Ctrl+C and Ctrl+Break
// (status 130) and for a closed console, logoff or shutdown (status 143). A
// window program gets none of these; it is ended through its windows.

#include <functional>
#include <vector>

namespace trezorka {

struct SignalHooks {
    // Runs on the guard's thread just before the process ends (the tool turns
    // terminal echo back on).
    std::function<void()> before_exit;
    // POSIX: runs on the guard's thread for SIGTSTP (Ctrl+Z), which then no
    // longer stops the process by itself; empty: SIGTSTP keeps its default.
    std::function<void()> suspend;
};

// Call first in main, before any other thread exists. Once per process.
void start_signal_guard(SignalHooks hooks = {});

// The signals the guard ends the process on (none on Windows).
std::vector<int> guarded_signals();

} // namespace trezorka
