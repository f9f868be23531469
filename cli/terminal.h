#pragma once

// The tool's platform layer: descriptors, the terminal prompt with its echo
// state shared with the signal guard, the process's standard streams and its
// arguments. One implementation per platform: terminal_posix.cpp (/dev/tty,
// termios, signals) and terminal_win.cpp (the console, CONIN$ and CONOUT$,
// console control events).

#include "cli.h"

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace trezorka::cli {

// --- descriptors ------------------------------------------------------------

// Up to `size` bytes from a descriptor; -1 with errno set on failure.
long long read_some(int fd, void* data, unsigned size);
// Opens a password file to read as bytes (a terminal also to write, for the
// prompt); -1 with errno set on failure.
int open_password_file(const std::string& name);
void close_descriptor(int fd);
// A descriptor whose bytes are read as they are: on Windows an inherited one
// may be in text mode.
void use_as_bytes(int fd);
// A terminal (on Windows a console, not merely a character device).
bool is_terminal(int fd);

// --- the prompt -------------------------------------------------------------

// A terminal to ask on: echo is switched off while a password is typed and
// restored afterwards, also when a signal or Ctrl+C ends the process. On a
// POSIX terminal a suspension (Ctrl+Z) turns echo back on, and the return
// (fg) turns it off again and shows the prompt anew.
class TerminalPrompt final : public PasswordPrompt {
public:
    // The controlling terminal (/dev/tty; on Windows the console).
    TerminalPrompt();
    TerminalPrompt(const TerminalPrompt&) = delete;
    TerminalPrompt& operator=(const TerminalPrompt&) = delete;
    ~TerminalPrompt() override;

    // The terminal behind an open descriptor, used but never closed; nullptr
    // when the descriptor is not a terminal.
    static std::unique_ptr<TerminalPrompt> on_descriptor(int fd);

    bool available() override;
    std::optional<SecureBytes> ask(std::string_view prompt) override;

private:
    struct Handles; // the platform's terminal handles
    std::unique_ptr<Handles> handles_;
};

// --- the process ------------------------------------------------------------

// The engine's signal guard (signal_guard.h), which also restores terminal
// echo (and on Windows the console's mode) before the process ends, and on
// POSIX turns echo back on for Ctrl+Z at the prompt. Call first in main,
// before any other thread exists.
void start_signal_guard();

// The arguments after the program's name, as UTF-8 on Windows whatever the
// ANSI code page, as the bytes given on POSIX.
std::vector<std::string> arguments(int argc, char** argv);

// Standard output and error as the tool writes to them. On Windows, where one
// is a console, the UTF-8 text goes to it as UTF-16, so that the console's code
// page does not matter, and the data descriptors are put in binary mode; while
// it lives, a console on standard error takes the progress line's escape
// sequences, its mode put back afterwards, also when Ctrl+C ends the process.
class StandardStreams {
public:
    StandardStreams();
    StandardStreams(const StandardStreams&) = delete;
    StandardStreams& operator=(const StandardStreams&) = delete;
    ~StandardStreams();

    std::ostream& out() const { return *out_; }
    std::ostream& err() const { return *err_; }
    // Standard error is a terminal that can draw the progress line.
    bool err_is_terminal() const { return err_is_terminal_; }

private:
    struct Parts; // the console buffers and their streams
    std::unique_ptr<Parts> parts_;
    std::ostream* out_ = nullptr;
    std::ostream* err_ = nullptr;
    bool err_is_terminal_ = false;
};

} // namespace trezorka::cli
