#pragma once

// The windows' timers and how often they tick, in milliseconds. The blink
// rhythm and the 3.8 s end are meant to the tick: a face runs them on a
// precise timer.

namespace trezorka::rules {

// The main window's timers, as its rules start and stop them.
enum class Timer { cryptblink, decryptblink, stopper };

constexpr int period_ms(Timer t)
{
    return t == Timer::stopper ? 3800 : 500;
}

// The tray icon's next frame, while it is shown.
inline constexpr int tray_frame_ms = 500;
// The progress dialog's hourglass, from start-up until the process ends.
inline constexpr int hourglass_ms = 1000;
// How long window states may be reported late (Desktop::late_reports).
inline constexpr int settle_ms = 300;

} // namespace trezorka::rules
