#pragma once

// Ends the window program cleanly when the system asks it to end (SIGTERM,
// SIGHUP, SIGINT, SIGQUIT and the other signals that would end it): the running
// job's temporary file is removed, the target keeps whatever it held, and the
// process ends with 128 + the signal number. Call first in main, before any
// other thread exists: the signals are blocked in every thread and one thread
// of its own waits for them, so nothing runs inside a signal handler.
void start_signal_guard();
