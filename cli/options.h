#pragma once

// The command line: options and the one SOURCE.

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace trezorka::cli {

struct Options {
    std::optional<bool> encrypt; // a forced direction
    std::optional<std::string> output;
    std::optional<int> password_fd;
    std::optional<std::string> password_file;
    std::optional<std::string> source;
    bool force = false;
    bool quiet = false;
    bool key40 = false;
    bool no_check = false; // decrypt without the wrong-password check
    bool help = false;
    bool version = false;
};

// What --help prints: every option and every exit status.
extern const std::string_view help_text;

// Throws UsageError for anything it does not understand.
Options parse_options(std::span<const std::string> args);

} // namespace trezorka::cli
