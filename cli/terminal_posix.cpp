#include "terminal.h"

#include "password.h"
#include "signal_guard.h"

#include <csignal>
#include <iostream>
#include <mutex>
#include <utility>

#include <fcntl.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

namespace trezorka::cli {

// --- descriptors ------------------------------------------------------------

long long read_some(int fd, void* data, unsigned size)
{
    return ::read(fd, data, size);
}

int open_password_file(const std::string& name)
{
    // O_NOCTTY: a terminal named here must not become the controlling one.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0 || !is_terminal(fd))
        return fd;
    // A terminal is asked on, which needs writing the prompt to it too.
    const int both = ::open(name.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (both < 0 || !is_terminal(both)) {
        if (both >= 0)
            ::close(both);
        return fd;
    }
    ::close(fd);
    return both;
}

void close_descriptor(int fd)
{
    ::close(fd);
}

void use_as_bytes(int)
{
}

bool is_terminal(int fd)
{
    return ::isatty(fd) == 1;
}

// --- the echo state, shared with the signal thread --------------------------

namespace {

// The terminal a prompt has switched echo off on, so that the signal thread
// can turn echo back on when the process is stopped or ended, and off again
// when it goes on.
struct EchoState {
    std::mutex lock;
    int fd = -1; // -1: no prompt is waiting
    termios saved{};
    termios quiet{};
    std::string_view prompt;

    // Echo as it was. TCSAFLUSH: what was typed so far is dropped, so that
    // a part of the password never reaches the shell.
    void restore_locked() const
    {
        if (fd >= 0) {
            ::tcsetattr(fd, TCSAFLUSH, &saved);
            (void)!::write(fd, "\n", 1);
        }
    }
};

EchoState echo;

} // namespace

// --- the prompt -------------------------------------------------------------

struct TerminalPrompt::Handles {
    int fd = -1;
    bool owned = true;
    bool opened = false;
};

TerminalPrompt::TerminalPrompt() : handles_(std::make_unique<Handles>())
{
}

TerminalPrompt::~TerminalPrompt()
{
    if (handles_->owned && handles_->fd >= 0)
        ::close(handles_->fd);
}

std::unique_ptr<TerminalPrompt> TerminalPrompt::on_descriptor(int fd)
{
    if (!is_terminal(fd))
        return nullptr;
    auto prompt = std::make_unique<TerminalPrompt>();
    prompt->handles_->fd = fd;
    prompt->handles_->owned = false;
    prompt->handles_->opened = true;
    return prompt;
}

bool TerminalPrompt::available()
{
    if (!handles_->opened) {
        handles_->opened = true;
        handles_->fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    return handles_->fd >= 0;
}

std::optional<SecureBytes> TerminalPrompt::ask(std::string_view prompt)
{
    if (!available())
        return std::nullopt;
    const int fd = handles_->fd;
    termios saved{};
    if (::tcgetattr(fd, &saved) != 0)
        return std::nullopt;
    {
        // Echo goes off before the prompt shows, so nothing typed after the
        // prompt can be echoed or flushed away.
        std::lock_guard guard(echo.lock);
        echo.saved = saved;
        echo.quiet = saved;
        echo.quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
        echo.prompt = prompt;
        echo.fd = fd;
        ::tcsetattr(fd, TCSAFLUSH, &echo.quiet);
    }
    SecureBytes line;
    LineStatus status = LineStatus::read_failed;
    if (::write(fd, prompt.data(), prompt.size()) == static_cast<ssize_t>(prompt.size()))
        status = read_first_line(fd, line);
    {
        std::lock_guard guard(echo.lock);
        echo.restore_locked();
        echo.fd = -1;
    }
    if (status != LineStatus::ok)
        return std::nullopt;
    return line;
}

// --- the process ------------------------------------------------------------

namespace {

// Ctrl+Z: echo back on, then stop as the signal's own action would (a
// process group no shell waits for is not stopped); on the way back echo goes
// off again and the prompt shows anew, the line typed so far gone.
void suspend()
{
    {
        std::lock_guard guard(echo.lock);
        echo.restore_locked();
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
    ::raise(SIGTSTP);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    std::lock_guard guard(echo.lock);
    if (echo.fd >= 0) {
        ::tcsetattr(echo.fd, TCSAFLUSH, &echo.quiet);
        (void)!::write(echo.fd, echo.prompt.data(), echo.prompt.size());
    }
}

} // namespace

void start_signal_guard()
{
    SignalHooks hooks;
    hooks.before_exit = [] {
        std::lock_guard guard(echo.lock);
        echo.restore_locked();
    };
    hooks.suspend = suspend;
    trezorka::start_signal_guard(std::move(hooks));
}

std::vector<std::string> arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

struct StandardStreams::Parts {
};

StandardStreams::StandardStreams()
    : out_(&std::cout), err_(&std::cerr), err_is_terminal_(is_terminal(STDERR_FILENO))
{
}

StandardStreams::~StandardStreams() = default;

} // namespace trezorka::cli
