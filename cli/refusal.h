#pragma once

#include <string>

namespace trezorka::cli {

// A mistake in the command line: the message, a pointer to --help, status 2.
struct UsageError {
    std::string message;
};

// A refusal of what was asked (the window's refusals and their like): the
// message alone, status 2.
struct Refusal {
    std::string message;
};

// A job that cannot work, found before it starts (a source that cannot be
// read): the direction's failure text and the cause, as when the job itself
// fails.
struct EarlyFailure {
    std::string cause;
};

} // namespace trezorka::cli
