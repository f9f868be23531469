#pragma once

// trezorka-cli: encrypts or decrypts one file with a password, through the same
// engine and naming rules as the window. run_cli takes everything it touches
// (arguments, data descriptors, message streams, the terminal) as parameters,
// so that tests can run it in-process as well as a separate process.

#include "secure_buffer.h"

#include <memory>
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

// The controlling terminal (/dev/tty; on Windows the console, CONIN$ and
// CONOUT$); echo is switched off while a password is typed and restored
// afterwards, also when a signal or Ctrl+C ends the process.
class TerminalPrompt final : public PasswordPrompt {
public:
    TerminalPrompt() = default;
    TerminalPrompt(const TerminalPrompt&) = delete;
    TerminalPrompt& operator=(const TerminalPrompt&) = delete;
    ~TerminalPrompt() override;

    bool available() override;
    std::optional<SecureBytes> ask(std::string_view prompt) override;

private:
#ifdef _WIN32
    void* input_ = nullptr;  // CONIN$
    void* output_ = nullptr; // CONOUT$
#else
    int fd_ = -1;
#endif
    bool opened_ = false;
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

// Blocks SIGINT, SIGTERM and SIGHUP in every thread and starts a thread that
// waits for them: on one it removes the running job's temporary file, restores
// terminal echo and ends the process with 128 + the signal number. Call first
// in main, before any other thread exists. SIGPIPE and SIGXFSZ are ignored so
// that a closed output pipe or a file-size limit fails the job like any other
// write error, with the temporary file removed.
// On Windows a console control handler does the same for Ctrl+C and Ctrl+Break
// (status 130) and for a closed console, logoff or shutdown (status 143); a
// write to a closed pipe fails there like any other write.
void start_signal_guard();

#ifdef _WIN32
// Standard output and error as the tool writes to them on Windows: where one
// is a console, the UTF-8 text goes to it as UTF-16, so that the console's
// code page does not matter; otherwise the given stream takes the bytes. While
// it lives, a console on standard error takes the progress line's escape
// sequences; its mode is put back afterwards, also when Ctrl+C ends the process.
class ConsoleSetup {
public:
    ConsoleSetup(std::ostream& out, std::ostream& err);
    ConsoleSetup(const ConsoleSetup&) = delete;
    ConsoleSetup& operator=(const ConsoleSetup&) = delete;
    ~ConsoleSetup();

    std::ostream& out() const { return *out_; }
    std::ostream& err() const { return *err_; }
    // Standard error is a console that can draw the progress line.
    bool err_is_terminal() const { return err_is_terminal_; }

private:
    struct Parts; // the console buffers and their streams
    std::unique_ptr<Parts> parts_;
    std::ostream* out_ = nullptr;
    std::ostream* err_ = nullptr;
    bool err_is_terminal_ = false;
};
#endif

} // namespace trezorka::cli
