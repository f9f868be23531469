#pragma once

// The progress line on a terminal: percent, MB/s and the time left, redrawn
// in place on standard error.

#include <chrono>
#include <cstdint>
#include <ostream>

namespace trezorka::cli {

class ProgressLine {
public:
    explicit ProgressLine(std::ostream& err) : err_(err) {}

    // The bytes done of `total` (0 when unknown, as for a pipe).
    void update(std::uint64_t done, std::uint64_t total);
    // Takes the line off the screen, so that a message can follow.
    void clear();

private:
    using Clock = std::chrono::steady_clock;

    std::ostream& err_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_{};
    bool drawn_ = false;
};

} // namespace trezorka::cli
