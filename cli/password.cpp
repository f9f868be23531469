#include "password.h"

#include "printable_name.h"
#include "refusal.h"
#include "system_error_text.h"
#include "terminal.h"
#include "texts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace trezorka::cli {
namespace {

constexpr std::string_view prompt_password = "Heslo: ";
constexpr std::size_t first_line_chunk = 4096;
constexpr std::string_view prompt_again = "Heslo znova: ";

} // namespace

// Reads the first line one byte at a time, so that nothing after it is taken
// from a descriptor someone else may still read. On read_failed, errno tells why.
LineStatus read_first_line(int fd, SecureBytes& line)
{
    // One page to begin with, grown only for a longer line: under a small
    // locked-memory limit the buffer must leave room for the page the
    // password ends up in.
    SecureBytes buffer(first_line_chunk);
    std::size_t n = 0;
    bool ended_by_newline = false;
    for (;;) {
        std::uint8_t byte = 0;
        const long long got = read_some(fd, &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return LineStatus::read_failed;
        if (got == 0)
            break;
        if (byte == '\n') {
            ended_by_newline = true;
            break;
        }
        if (n == buffer.size()) {
            if (n == max_password_bytes)
                return LineStatus::too_long;
            SecureBytes larger(std::min(2 * n, max_password_bytes));
            std::memcpy(larger.data(), buffer.data(), n);
            buffer = std::move(larger);
        }
        buffer.data()[n++] = byte;
    }
    if (ended_by_newline && n > 0 && buffer.data()[n - 1] == '\r')
        --n;
    SecureBytes result(n);
    if (n > 0)
        std::memcpy(result.data(), buffer.data(), n);
    line = std::move(result);
    return LineStatus::ok;
}

namespace {

SecureBytes read_password_from(int fd, const std::string& where)
{
    SecureBytes line;
    switch (read_first_line(fd, line)) {
    case LineStatus::ok:
        return line;
    case LineStatus::too_long:
        throw Refusal{"Heslo je příliš dlouhé (" + where + ")."};
    case LineStatus::read_failed:
        break;
    }
    throw Refusal{"Heslo nelze načíst (" + where + "): " + system_error_text(errno) + "."};
}

bool same_bytes(const SecureBytes& a, const SecureBytes& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

// Asks on a terminal, twice when encrypting; the answer is never empty.
SecureBytes ask_on(PasswordPrompt& terminal, bool encrypt)
{
    auto first = terminal.ask(prompt_password);
    if (!first)
        throw Refusal{"Heslo nelze načíst z terminálu."};
    if (first->empty())
        throw Refusal{std::string(texts::password_missing)};
    if (encrypt) {
        auto again = terminal.ask(prompt_again);
        if (!again)
            throw Refusal{"Heslo nelze načíst z terminálu."};
        if (!same_bytes(*first, *again))
            throw Refusal{std::string(texts::password_mismatch)};
    }
    return std::move(*first);
}

} // namespace

SecureBytes obtain_password(const Options& o, bool encrypt, const Streams& s, bool stdin_is_data)
{
    SecureBytes password;
    if (o.password_fd) {
        if (stdin_is_data && *o.password_fd == s.input_fd)
            throw Refusal{"Heslo nelze číst ze standardního vstupu, když z něj čtu data."};
        // Typed by a person: without echo and, when encrypting, twice, as at
        // the prompt.
        if (auto terminal = TerminalPrompt::on_descriptor(*o.password_fd))
            return ask_on(*terminal, encrypt);
        use_as_bytes(*o.password_fd);
        password = read_password_from(*o.password_fd, "deskriptor " + std::to_string(*o.password_fd));
    } else if (o.password_file) {
        int fd = open_password_file(*o.password_file);
        if (fd < 0)
            throw Refusal{"Soubor s heslem nelze otevřít: " + printable_name(*o.password_file) + " (" +
                          system_error_text(errno) + ")."};
        struct Closer {
            int fd;
            ~Closer() { close_descriptor(fd); }
        } closer{fd};
        // A file that is a terminal (/dev/tty) has a person typing at it.
        if (auto terminal = TerminalPrompt::on_descriptor(fd))
            return ask_on(*terminal, encrypt);
        password = read_password_from(fd, "soubor " + printable_name(*o.password_file));
    } else {
        if (!s.terminal.available())
            throw Refusal{"Heslo nelze zadat: chybí terminál. Použijte --password-fd nebo "
                          "--password-file."};
        password = ask_on(s.terminal, encrypt);
    }
    if (password.empty())
        throw Refusal{std::string(texts::password_missing)};
    return password;
}

} // namespace trezorka::cli
