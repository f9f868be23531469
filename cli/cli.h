#pragma once

// trezorka-cli: encrypts or decrypts one file with a password, through the same
// engine and naming rules as the window. run_cli takes everything it touches
// (arguments, data descriptors, message streams, the terminal) as parameters,
// so that tests can run it in-process as well as a separate process.

#include "secure_buffer.h"

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace trezorka::cli {

// Exit statuses, as listed by --help.
inline constexpr int exit_done = 0;
inline constexpr int exit_job_failed = 1;
inline constexpr int exit_refused = 2;

// Asks for the password on the terminal without echo.
class PasswordPrompt {
public:
    virtual ~PasswordPrompt() = default;
    // False when there is no terminal to ask on.
    virtual bool available() = 0;
    // One line typed by the user without its line ending; nullopt when the
    // terminal cannot be read.
    virtual std::optional<SecureBytes> ask(std::string_view prompt) = 0;
};

struct Streams {
    int input_fd;              // the data when SOURCE is "-"
    int output_fd;             // the data when the target is "-"
    std::ostream& out;         // --help and --version
    std::ostream& err;         // messages and the progress line
    bool err_is_terminal;      // the progress line is drawn only on a terminal
    PasswordPrompt& terminal;  // used when no password option is given
};

int run_cli(std::span<const std::string> args, const Streams& streams);

} // namespace trezorka::cli
