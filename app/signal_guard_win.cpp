#include "signal_guard.h"

// A window program on Windows is ended through its windows (WM_ENDSESSION,
// WM_CLOSE), not by signals.
void start_signal_guard() {}
