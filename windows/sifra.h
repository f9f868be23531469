#pragma once

#include <windows.h>

struct SharedJob;

// The worker of one job, on a thread of its own at below-normal priority:
// takes everything from SharedJob, streams the source through the cipher into
// the target, pauses 800 ms, sets job_failed on an error, and then posts
// `close_message` to `dialog`, the only way it reaches the windows.
namespace sifra {

constexpr DWORD pause_ms = 800;

void launch(SharedJob& job, HWND dialog, UINT close_message);

} // namespace sifra
