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

} // namespace trezorka::cli
