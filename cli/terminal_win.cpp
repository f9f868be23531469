#include "terminal.h"

#include "native_path.h"
#include "password.h"
#include "signal_guard.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <streambuf>
#include <utility>

#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>

namespace trezorka::cli {

// --- descriptors ------------------------------------------------------------

// The C runtime's descriptors: standard ones and those opened here.
long long read_some(int fd, void* data, unsigned size)
{
    return ::_read(fd, data, size);
}

// Binary, so that a CR or a Ctrl+Z byte in the file is just a byte.
int open_password_file(const std::string& name)
{
    const std::filesystem::path path = native_path_of(name);
    return ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

void close_descriptor(int fd)
{
    ::_close(fd);
}

// An inherited descriptor may be in text mode; only its first line is read,
// as bytes.
void use_as_bytes(int fd)
{
    ::_setmode(fd, _O_BINARY);
}

// A console, not merely a character device: _isatty() is true for NUL too.
bool is_terminal(int fd)
{
    const intptr_t handle = ::_get_osfhandle(fd);
    DWORD mode = 0;
    return handle != -1 && handle != -2 && GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode);
}

// --- the echo state, shared with the console control handler -----------------

namespace {

struct EchoState {
    std::mutex lock;
    // The console input a prompt has switched echo off on, and its mode before.
    HANDLE input = nullptr;
    HANDLE output = nullptr;
    DWORD saved = 0;
    // What StandardStreams changed on standard error's console.
    HANDLE console_err = nullptr;
    DWORD console_err_saved = 0;

    void restore_locked()
    {
        if (input) {
            SetConsoleMode(input, saved);
            DWORD written = 0;
            WriteConsoleW(output, L"\r\n", 2, &written, nullptr);
            input = nullptr;
        }
    }

    void restore_console_locked()
    {
        if (console_err) {
            SetConsoleMode(console_err, console_err_saved);
            console_err = nullptr;
        }
    }
};

EchoState echo;

} // namespace

// --- the prompt -------------------------------------------------------------

struct TerminalPrompt::Handles {
    HANDLE input = nullptr;  // CONIN$
    HANDLE output = nullptr; // CONOUT$
    bool opened = false;
};

TerminalPrompt::TerminalPrompt() : handles_(std::make_unique<Handles>())
{
}

TerminalPrompt::~TerminalPrompt()
{
    if (handles_->input)
        CloseHandle(handles_->input);
    if (handles_->output)
        CloseHandle(handles_->output);
}

// A descriptor that is a console is the console itself.
std::unique_ptr<TerminalPrompt> TerminalPrompt::on_descriptor(int fd)
{
    if (!is_terminal(fd))
        return nullptr;
    return std::make_unique<TerminalPrompt>();
}

bool TerminalPrompt::available()
{
    if (!handles_->opened) {
        handles_->opened = true;
        // The console itself, even when standard input and output are redirected.
        HANDLE in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
        HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD mode = 0;
        if (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && GetConsoleMode(in, &mode)) {
            handles_->input = in;
            handles_->output = out;
        } else {
            if (in != INVALID_HANDLE_VALUE)
                CloseHandle(in);
            if (out != INVALID_HANDLE_VALUE)
                CloseHandle(out);
        }
    }
    return handles_->input != nullptr;
}

std::optional<SecureBytes> TerminalPrompt::ask(std::string_view prompt)
{
    if (!available())
        return std::nullopt;
    HANDLE in = handles_->input;
    HANDLE out = handles_->output;
    DWORD saved = 0;
    if (!GetConsoleMode(in, &saved))
        return std::nullopt;
    {
        // Echo goes off before the prompt shows, as on a POSIX terminal.
        std::lock_guard guard(echo.lock);
        echo.input = in;
        echo.output = out;
        echo.saved = saved;
        SetConsoleMode(in, (saved | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~DWORD{ENABLE_ECHO_INPUT});
    }
    // The console speaks UTF-16 whatever its code page: the prompt goes out
    // and the line comes in as such.
    const std::u16string prompt16 = utf16_from_native_bytes(prompt);
    DWORD written = 0;
    bool ok = WriteConsoleW(out, prompt16.data(), static_cast<DWORD>(prompt16.size()), &written, nullptr) != 0;
    SecureBytes units(max_password_bytes * sizeof(wchar_t));
    auto* text = reinterpret_cast<wchar_t*>(units.data());
    std::size_t n = 0;
    bool ended = false;
    while (ok && !ended) {
        wchar_t chunk[64];
        DWORD got = 0;
        if (!ReadConsoleW(in, chunk, 64, &got, nullptr) || got == 0) {
            ok = false;
            break;
        }
        for (DWORD i = 0; i < got && !ended; ++i) {
            if (chunk[i] == L'\n')
                ended = true;
            else if (n < max_password_bytes)
                text[n++] = chunk[i];
            else
                ok = false; // too long, as from a descriptor
        }
        secure_wipe(chunk, sizeof chunk);
    }
    {
        std::lock_guard guard(echo.lock);
        echo.restore_locked();
    }
    if (!ok)
        return std::nullopt;
    if (n > 0 && text[n - 1] == L'\r')
        --n;
    // UTF-8, as a password from a file or a descriptor is.
    const int size = n == 0 ? 0
                            : WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), nullptr, 0, nullptr,
                                                  nullptr);
    SecureBytes line(static_cast<std::size_t>(size));
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), reinterpret_cast<char*>(line.data()), size,
                            nullptr, nullptr);
    return line;
}

// --- the process ------------------------------------------------------------

namespace {

// How many bytes at the end of `text` begin a UTF-8 sequence that is not
// complete yet.
std::size_t incomplete_utf8_tail(std::string_view text)
{
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto c = static_cast<unsigned char>(text[text.size() - back]);
        if ((c & 0xC0) == 0x80)
            continue;
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

// Writes the tool's UTF-8 text to a console as UTF-16, whatever the console's
// code page: the C runtime would hand the console single bytes, and a byte of
// a Czech letter alone is another letter.
class ConsoleBuffer final : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console) : console_(console) {}
    ConsoleBuffer(const ConsoleBuffer&) = delete;
    ConsoleBuffer& operator=(const ConsoleBuffer&) = delete;
    ~ConsoleBuffer() override { sync(); }

protected:
    int_type overflow(int_type c) override
    {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            pending_.push_back(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }

    std::streamsize xsputn(const char* data, std::streamsize size) override
    {
        pending_.append(data, static_cast<std::size_t>(size));
        return size;
    }

    int sync() override
    {
        const std::size_t whole = pending_.size() - incomplete_utf8_tail(pending_);
        const std::u16string text = utf16_from_native_bytes(std::string_view(pending_).substr(0, whole));
        pending_.erase(0, whole);
        std::size_t done = 0;
        while (done < text.size()) {
            DWORD written = 0;
            const auto count = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 8192));
            if (!WriteConsoleW(console_, text.data() + done, count, &written, nullptr) || written == 0)
                return -1;
            done += written;
        }
        return 0;
    }

private:
    HANDLE console_;
    std::string pending_;
};

HANDLE console_of(DWORD which)
{
    HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

} // namespace

void start_signal_guard()
{
    SignalHooks hooks;
    hooks.before_exit = [] {
        std::lock_guard guard(echo.lock);
        echo.restore_locked();
        echo.restore_console_locked();
    };
    trezorka::start_signal_guard(std::move(hooks));
}

// The arguments as UTF-8, whatever the ANSI code page: the command line is
// UTF-16, and main()'s argv would lose what the code page cannot show.
std::vector<std::string> arguments(int, char**)
{
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; argv && i < count; ++i) {
        const std::wstring_view arg(argv[i]);
        args.push_back(native_bytes_from_utf16(
            std::u16string_view(reinterpret_cast<const char16_t*>(arg.data()), arg.size())));
    }
    LocalFree(argv);
    return args;
}

struct StandardStreams::Parts {
    std::optional<ConsoleBuffer> out_buffer;
    std::optional<ConsoleBuffer> err_buffer;
    std::optional<std::ostream> out;
    std::optional<std::ostream> err;
};

StandardStreams::StandardStreams() : parts_(std::make_unique<Parts>())
{
    // The data and a password on standard input are bytes: no CR LF
    // translation, no Ctrl+Z as the end; --help goes out with plain newlines,
    // as on Linux.
    ::_setmode(0, _O_BINARY);
    ::_setmode(1, _O_BINARY);
    if (HANDLE console = console_of(STD_OUTPUT_HANDLE)) {
        parts_->out_buffer.emplace(console);
        parts_->out.emplace(&*parts_->out_buffer);
    }
    if (HANDLE console = console_of(STD_ERROR_HANDLE)) {
        parts_->err_buffer.emplace(console);
        parts_->err.emplace(&*parts_->err_buffer);
        // Every message shows at once, as through std::cerr.
        parts_->err->setf(std::ios::unitbuf);

        // The progress line redraws itself with escape sequences; a console
        // that does not take them gets no progress line.
        std::lock_guard guard(echo.lock);
        DWORD mode = 0;
        GetConsoleMode(console, &mode);
        if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) {
            err_is_terminal_ = true;
        } else if (SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
            echo.console_err = console;
            echo.console_err_saved = mode;
            err_is_terminal_ = true;
        }
    }
    out_ = parts_->out ? &*parts_->out : &std::cout;
    err_ = parts_->err ? &*parts_->err : &std::cerr;
}

StandardStreams::~StandardStreams()
{
    if (parts_->out)
        parts_->out->flush();
    if (parts_->err)
        parts_->err->flush();
    std::lock_guard guard(echo.lock);
    echo.restore_console_locked();
}

} // namespace trezorka::cli
