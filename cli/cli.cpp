#include "cli.h"

#include "file_io.h"
#include "naming.h"
#include "native_path.h"
#include "pending_file.h"
#include "stream_job.h"
#include "texts.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

#include <fcntl.h>

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <pthread.h>
#include <termios.h>
#include <unistd.h>
#endif

#ifndef TREZORKA_VERSION
#define TREZORKA_VERSION "2.0"
#endif

namespace trezorka::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view prompt_password = "Heslo: ";
constexpr std::string_view prompt_again = "Heslo znova: ";

constexpr std::string_view help_text =
    R"(Použití: trezorka-cli [volby] ZDROJ

Zašifruje nebo dešifruje jeden soubor heslem (SHA-1 a RC4), stejně jako okno
programu Trezorka 2.0 Portable a se stejným výsledkem.

Směr určuje přípona zdroje: ".t2k" se dešifruje, ".t1k" (starší formát) se
odmítne (s --encrypt se zašifruje jako každý jiný soubor), vše ostatní se
zašifruje. Cíl leží vedle zdroje: při šifrování ZDROJ.t2k, při dešifrování
ZDROJ bez přípony ".t2k". Cíl se zapisuje do
dočasného souboru, který se na místo cíle přejmenuje až po úspěšném konci.
ZDROJ "-" čte standardní vstup (pak je nutná volba --encrypt nebo --decrypt)
a bez volby -o zapisuje na standardní výstup. Z terminálu se data nečtou a na
terminál se nezapisují.

Volby:
  -e, --encrypt             šifrovat bez ohledu na příponu zdroje
  -d, --decrypt             dešifrovat bez ohledu na příponu zdroje
                            (zdroj bez přípony ".t2k" pak potřebuje -o)
  -o, --output CÍL          zapsat přesně do CÍL; "-" je standardní výstup
                            (binární data se na terminál nezapisují)
  -f, --force               přepsat existující cíl
      --password-fd N       číst heslo z otevřeného deskriptoru N
      --password-file SOUBOR
                            číst heslo ze souboru SOUBOR
      --key-40              starší 40bitový klíč (základní poskytovatel Windows)
  -q, --quiet               nevypisovat průběh ani zprávu o dokončení
  -h, --help                vypsat tuto nápovědu
  -V, --version             vypsat verzi
      --                    konec voleb (pro ZDROJ začínající "-")

Heslo se nikdy nepředává argumentem. Z deskriptoru i ze souboru se čte první
řádek bez konce řádku (\n nebo \r\n), v kódování UTF-8. Bez těchto voleb se
heslo zadává na terminálu bez ozvěny, při šifrování dvakrát; bez terminálu
program skončí s chybou a nečeká.

Průběh (procenta, MB/s, zbývající čas) se vypisuje na standardní chybový
výstup, jen je-li to terminál.

Návratový kód:
  0  hotovo
  1  úloha selhala - chyba při načítání/ukládání (chybějící, nečitelný nebo
     zmenšující se zdroj, zdroj je složka, chybějící nebo nezapisovatelná
     složka cíle, plný disk, chyba šifrovací služby); cíl zůstane, jak byl
  2  chybné použití nebo odmítnutí: neznámá nebo chybná volba, chybějící
     ZDROJ, "-" bez směru, existující cíl bez --force, cíl totožný se
     zdrojem, zdroj ".t1k", prázdné heslo, neshodná hesla, heslo nelze
     načíst (chybí terminál, deskriptor nebo soubor), data z terminálu
     nebo na terminál
  128+N  ukončeno signálem N (SIGINT, SIGTERM, SIGHUP); dočasný soubor
     se smaže
)";

constexpr std::size_t max_password_bytes = 64 * 1024;

// --- options ------------------------------------------------------------

struct Options {
    std::optional<bool> encrypt; // a forced direction
    std::optional<std::string> output;
    std::optional<int> password_fd;
    std::optional<std::string> password_file;
    std::optional<std::string> source;
    bool force = false;
    bool quiet = false;
    bool key40 = false;
    bool help = false;
    bool version = false;
};

// A mistake in the command line: the message, a pointer to --help, status 2.
struct UsageError {
    std::string message;
};

// A refusal of what was asked (the window's refusals and their like): the
// message alone, status 2.
struct Refusal {
    std::string message;
};

std::optional<int> parse_fd(std::string_view text)
{
    int value = -1;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

void set_direction(Options& o, bool encrypt)
{
    if (o.encrypt && *o.encrypt != encrypt)
        throw UsageError{"volby --encrypt a --decrypt nelze použít zároveň"};
    o.encrypt = encrypt;
}

void set_value(Options& o, std::string_view name, std::string value)
{
    if (name == "output") {
        if (o.output)
            throw UsageError{"volba --output je uvedena vícekrát"};
        o.output = std::move(value);
    } else if (name == "password-fd") {
        auto fd = parse_fd(value);
        if (!fd)
            throw UsageError{"volba --password-fd potřebuje číslo deskriptoru, ne \"" + value + "\""};
        if (o.password_fd || o.password_file)
            throw UsageError{"heslo lze číst jen z jednoho místa"};
        o.password_fd = *fd;
    } else { // password-file
        if (value.empty())
            throw UsageError{"volba --password-file potřebuje jméno souboru"};
        if (o.password_fd || o.password_file)
            throw UsageError{"heslo lze číst jen z jednoho místa"};
        o.password_file = std::move(value);
    }
}

bool set_flag(Options& o, std::string_view name)
{
    if (name == "encrypt") set_direction(o, true);
    else if (name == "decrypt") set_direction(o, false);
    else if (name == "force") o.force = true;
    else if (name == "quiet") o.quiet = true;
    else if (name == "key-40") o.key40 = true;
    else if (name == "help") o.help = true;
    else if (name == "version") o.version = true;
    else return false;
    return true;
}

bool takes_value(std::string_view name)
{
    return name == "output" || name == "password-fd" || name == "password-file";
}

std::string_view long_name_of_short(char c)
{
    switch (c) {
    case 'e': return "encrypt";
    case 'd': return "decrypt";
    case 'o': return "output";
    case 'f': return "force";
    case 'q': return "quiet";
    case 'h': return "help";
    case 'V': return "version";
    default: return {};
    }
}

Options parse_options(std::span<const std::string> args)
{
    Options o;
    auto add_source = [&](const std::string& arg) {
        if (o.source)
            throw UsageError{"lze zadat jen jeden ZDROJ (navíc: \"" + arg + "\")"};
        o.source = arg;
    };
    bool options_done = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_done || arg == "-" || arg.empty() || arg[0] != '-') {
            add_source(arg);
            continue;
        }
        if (arg == "--") {
            options_done = true;
            continue;
        }
        std::string_view name;
        std::optional<std::string> inline_value;
        if (arg.starts_with("--")) {
            std::string_view rest = std::string_view(arg).substr(2);
            auto eq = rest.find('=');
            name = rest.substr(0, eq);
            if (eq != std::string_view::npos)
                inline_value = std::string(rest.substr(eq + 1));
        } else {
            name = arg.size() >= 2 ? long_name_of_short(arg[1]) : std::string_view{};
            if (name.empty())
                throw UsageError{"neznámá volba \"" + arg + "\""};
            if (arg.size() > 2) {
                if (!takes_value(name))
                    throw UsageError{"neznámá volba \"" + arg + "\""};
                inline_value = arg.substr(2);
            }
        }
        if (takes_value(name)) {
            if (!inline_value) {
                if (i + 1 >= args.size())
                    throw UsageError{"volbě \"" + arg + "\" chybí hodnota"};
                inline_value = args[++i];
            }
            set_value(o, name, std::move(*inline_value));
        } else if (inline_value || !set_flag(o, name)) {
            throw UsageError{"neznámá volba \"" + arg + "\""};
        }
    }
    return o;
}

// --- descriptors ----------------------------------------------------------

#ifdef _WIN32
// The C runtime's descriptors: standard ones and those opened here.
long long read_some(int fd, void* data, unsigned size)
{
    return ::_read(fd, data, size);
}

// Binary, so that a CR or a Ctrl+Z byte in the file is just a byte.
int open_password_file(const std::string& name)
{
    const fs::path path = to_native_path(utf16_from_native_bytes(name));
    return ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

void close_descriptor(int fd)
{
    ::_close(fd);
}

// A console, not merely a character device: _isatty() is true for NUL too.
bool is_terminal(int fd)
{
    const intptr_t handle = ::_get_osfhandle(fd);
    DWORD mode = 0;
    return handle != -1 && handle != -2 && GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode);
}
#else
long long read_some(int fd, void* data, unsigned size)
{
    return ::read(fd, data, size);
}

int open_password_file(const std::string& name)
{
    return ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
}

void close_descriptor(int fd)
{
    ::close(fd);
}

bool is_terminal(int fd)
{
    return ::isatty(fd) == 1;
}
#endif

// --- password -----------------------------------------------------------

enum class LineStatus { ok, read_failed, too_long };

// Reads the first line one byte at a time, so that nothing after it is taken
// from a descriptor someone else may still read. On read_failed, errno tells why.
LineStatus read_first_line(int fd, SecureBytes& line)
{
    SecureBytes buffer(max_password_bytes);
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
        if (n == buffer.size())
            return LineStatus::too_long;
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
    throw Refusal{"Heslo nelze načíst (" + where + "): " + std::strerror(errno) + "."};
}

bool same_bytes(const SecureBytes& a, const SecureBytes& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

SecureBytes obtain_password(const Options& o, bool encrypt, const Streams& s, bool stdin_is_data)
{
    SecureBytes password;
    if (o.password_fd) {
        if (stdin_is_data && *o.password_fd == s.input_fd)
            throw Refusal{"Heslo nelze číst ze standardního vstupu, když z něj čtu data."};
#ifdef _WIN32
        // An inherited descriptor may be in text mode; only its first line is
        // read, as bytes.
        ::_setmode(*o.password_fd, _O_BINARY);
#endif
        password = read_password_from(*o.password_fd, "deskriptor " + std::to_string(*o.password_fd));
    } else if (o.password_file) {
        int fd = open_password_file(*o.password_file);
        if (fd < 0)
            throw Refusal{"Soubor s heslem nelze otevřít: " + *o.password_file + " (" +
                          std::strerror(errno) + ")."};
        struct Closer {
            int fd;
            ~Closer() { close_descriptor(fd); }
        } closer{fd};
        password = read_password_from(fd, "soubor " + *o.password_file);
    } else {
        if (!s.terminal.available())
            throw Refusal{"Heslo nelze zadat: chybí terminál. Použijte --password-fd nebo "
                          "--password-file."};
        auto first = s.terminal.ask(prompt_password);
        if (!first)
            throw Refusal{"Heslo nelze načíst z terminálu."};
        if (first->empty())
            throw Refusal{std::string(texts::password_missing)};
        if (encrypt) {
            auto again = s.terminal.ask(prompt_again);
            if (!again)
                throw Refusal{"Heslo nelze načíst z terminálu."};
            if (!same_bytes(*first, *again))
                throw Refusal{std::string(texts::password_mismatch)};
        }
        password = std::move(*first);
    }
    if (password.empty())
        throw Refusal{std::string(texts::password_missing)};
    return password;
}

// The password as the engine takes it; wiped when it goes.
struct WipedText {
    std::u16string text;
    explicit WipedText(std::u16string t) : text(std::move(t)) {}
    WipedText(const WipedText&) = delete;
    WipedText& operator=(const WipedText&) = delete;
    ~WipedText() { secure_wipe(text.data(), text.size() * sizeof(char16_t)); }
};

// --- terminal echo, shared with the signal thread -------------------------

std::mutex echo_mutex;
#ifdef _WIN32
// What ConsoleSetup changed, to be put back also when Ctrl+C ends the process.
HANDLE console_err = nullptr;
DWORD console_err_saved = 0;

void restore_console_locked()
{
    if (console_err) {
        SetConsoleMode(console_err, console_err_saved);
        console_err = nullptr;
    }
}

HANDLE echo_input = nullptr;
HANDLE echo_output = nullptr;
DWORD echo_saved = 0;

void restore_echo_locked()
{
    if (echo_input) {
        SetConsoleMode(echo_input, echo_saved);
        DWORD written = 0;
        WriteConsoleW(echo_output, L"\r\n", 2, &written, nullptr);
        echo_input = nullptr;
    }
}
#else
int echo_fd = -1;
termios echo_saved{};

void restore_echo_locked()
{
    if (echo_fd >= 0) {
        ::tcsetattr(echo_fd, TCSAFLUSH, &echo_saved);
        (void)!::write(echo_fd, "\n", 1);
        echo_fd = -1;
    }
}
#endif

// --- progress -------------------------------------------------------------

class ProgressLine {
public:
    explicit ProgressLine(std::ostream& err) : err_(err) {}

    void update(std::uint64_t done, std::uint64_t total)
    {
        // A job that ends within half a second needs no progress line.
        auto now = Clock::now();
        if (now - start_ < std::chrono::milliseconds(500) ||
            (drawn_ && now - last_ < std::chrono::milliseconds(200)))
            return;
        last_ = now;
        double seconds = std::chrono::duration<double>(now - start_).count();
        double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0; // bytes/s
        char line[128];
        if (total > 0) {
            int percent = static_cast<int>(done * 100 / total);
            std::string left = "?";
            if (rate > 0) {
                auto secs = static_cast<std::uint64_t>(static_cast<double>(total - std::min(done, total)) / rate + 0.5);
                left = clock_text(secs);
            }
            std::snprintf(line, sizeof line, "\r%3d %%  %7.1f MB/s  zbývá %s", percent, rate / 1e6,
                          left.c_str());
        } else {
            std::snprintf(line, sizeof line, "\r%9.1f MB  %7.1f MB/s", static_cast<double>(done) / 1e6,
                          rate / 1e6);
        }
        err_ << line << "\033[K" << std::flush;
        drawn_ = true;
    }

    void clear()
    {
        if (drawn_)
            err_ << "\r\033[K" << std::flush;
        drawn_ = false;
    }

private:
    using Clock = std::chrono::steady_clock;

    static std::string clock_text(std::uint64_t secs)
    {
        char text[32];
        if (secs >= 3600)
            std::snprintf(text, sizeof text, "%llu:%02llu:%02llu",
                          static_cast<unsigned long long>(secs / 3600),
                          static_cast<unsigned long long>(secs / 60 % 60),
                          static_cast<unsigned long long>(secs % 60));
        else
            std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(secs / 60),
                          static_cast<unsigned long long>(secs % 60));
        return text;
    }

    std::ostream& err_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_{};
    bool drawn_ = false;
};

// --- the command ----------------------------------------------------------

struct Plan {
    bool encrypt = true;
    bool source_is_stdin = false;
    bool target_is_stdout = false;
    fs::path source;
    fs::path target;
    std::string target_shown; // the target as the user's own bytes
};

fs::path path_from_argument(const std::string& arg)
{
    return to_native_path(utf16_from_native_bytes(arg));
}

bool exists_as_entry(const fs::path& p)
{
    std::error_code ec;
    auto st = fs::symlink_status(p, ec);
    return !ec && st.type() != fs::file_type::not_found;
}

Plan make_plan(const Options& o, const Streams& s)
{
    Plan plan;
    const std::string& source_arg = *o.source;
    plan.source_is_stdin = source_arg == "-";
    std::u16string source16 = plan.source_is_stdin ? std::u16string() : utf16_from_native_bytes(source_arg);

    if (plan.source_is_stdin) {
        if (!o.encrypt)
            throw UsageError{"se zdrojem \"-\" je nutná volba --encrypt nebo --decrypt"};
        plan.encrypt = *o.encrypt;
    } else {
        plan.source = to_native_path(source16);
        bool old_format = is_old_format(source16);
        if (old_format && o.encrypt != std::optional<bool>(true))
            throw Refusal{std::string(texts::old_format_warning)};
        plan.encrypt = o.encrypt.value_or(!is_decrypt_source(source16));
    }

    if (o.output) {
        plan.target_is_stdout = *o.output == "-";
        if (!plan.target_is_stdout) {
            plan.target = path_from_argument(*o.output);
            plan.target_shown = *o.output;
        }
    } else if (plan.source_is_stdin) {
        plan.target_is_stdout = true;
    } else {
        std::u16string target16;
        if (plan.encrypt && is_decrypt_source(source16))
            target16 = source16 + std::u16string(encrypted_ext); // forced encryption of a ".t2k" file
        else if (!plan.encrypt && !is_decrypt_source(source16))
            throw UsageError{"zdroj bez přípony \".t2k\" lze dešifrovat jen s volbou -o"};
        else
            target16 = propose_target(source16).target;
        plan.target = to_native_path(target16);
        plan.target_shown = native_bytes_from_utf16(target16);
    }

    if (plan.source_is_stdin && is_terminal(s.input_fd))
        throw Refusal{"Data nečtu z terminálu; přesměrujte vstup nebo zadejte ZDROJ."};
    if (plan.target_is_stdout && is_terminal(s.output_fd))
        throw Refusal{"Binární data nezapisuji na terminál; přesměrujte výstup nebo použijte -o SOUBOR."};
    return plan;
}

// The identity of a standard descriptor or of a named file; nothing when it
// cannot be learnt (the job itself then reports what is wrong).
std::optional<file_io::FileInfo> identity(bool is_descriptor, int fd, const fs::path& path)
{
    if (!is_descriptor)
        return file_io::info_of_path(path);
    try {
        return file_io::borrow_descriptor(fd).info();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool same_regular_file(const file_io::FileInfo& a, const file_io::FileInfo& b)
{
    if (!a.regular || !b.regular)
        return false;
#ifdef _WIN32
    // Wine tells only the file index, not the volume, of a standard handle
    // redirected to a file by a Unix shell; its volume then reads 0. An
    // unknown volume is taken as any volume: refusing a rare different file
    // beats writing into the source.
    if (a.id.device == 0 || b.id.device == 0)
        return a.id.index == b.id.index;
#endif
    return a.id == b.id;
}

// The target must never be the source, also when the shell hands one of them
// in as a descriptor: checked before any password is asked.
void refuse_same_file(const Plan& plan, const Streams& s)
{
    const auto in = identity(plan.source_is_stdin, s.input_fd, plan.source);
    const auto out = identity(plan.target_is_stdout, s.output_fd, plan.target);
    if (in && out && same_regular_file(*in, *out))
        throw Refusal{"Cíl je totožný se zdrojem."};
}

std::string existing_target_text(const Plan& plan)
{
    return "Cíl již existuje: " + plan.target_shown + "\nPro přepsání použijte --force.";
}

int run(const Options& o, const Streams& s)
{
    Plan plan = make_plan(o, s);
    refuse_same_file(plan, s);
    if (!plan.target_is_stdout && !o.force && exists_as_entry(plan.target))
        throw Refusal{existing_target_text(plan)};

    SecureBytes password_bytes = obtain_password(o, plan.encrypt, s, plan.source_is_stdin);
    WipedText password{utf16_from_native_bytes(
        std::string_view(reinterpret_cast<const char*>(password_bytes.data()), password_bytes.size()))};
    password_bytes.clear();

    StreamJob job;
    job.source = plan.source_is_stdin ? Endpoint::descriptor(s.input_fd) : Endpoint::file(plan.source);
    job.target = plan.target_is_stdout ? Endpoint::descriptor(s.output_fd) : Endpoint::file(plan.target);
    job.encrypt = plan.encrypt;
    job.key_rule = o.key40 ? KeyRule::Base40 : KeyRule::Strong128;
    job.replace_existing = o.force;
    ProgressLine progress(s.err);
    if (s.err_is_terminal && !o.quiet)
        job.progress = [&progress](std::uint64_t done, std::uint64_t total) { progress.update(done, total); };

    try {
        run_stream_job(job, password.text);
    } catch (const TargetExistsError&) {
        progress.clear();
        throw Refusal{existing_target_text(plan)};
    } catch (const std::bad_alloc&) {
        progress.clear();
        s.err << texts::plain_newlines(texts::job_texts(plan.encrypt).failure) << "\nnedostatek paměti\n";
        return exit_job_failed;
    } catch (const std::exception& e) {
        // JobError, CipherError or anything else the file work raised.
        progress.clear();
        s.err << texts::plain_newlines(texts::job_texts(plan.encrypt).failure) << '\n';
        if (*e.what())
            s.err << e.what() << '\n';
        return exit_job_failed;
    }
    progress.clear();

    if (!o.quiet) {
        // The window's report; without a named target, its first line alone.
        const std::string done = texts::plain_newlines(texts::job_texts(plan.encrypt).success);
        if (plan.target_is_stdout)
            s.err << done.substr(0, done.find('\n') + 1);
        else
            s.err << done << plan.target_shown << ".\n";
    }
    return exit_done;
}

} // namespace

#ifdef _WIN32
TerminalPrompt::~TerminalPrompt()
{
    if (input_)
        CloseHandle(static_cast<HANDLE>(input_));
    if (output_)
        CloseHandle(static_cast<HANDLE>(output_));
}

bool TerminalPrompt::available()
{
    if (!opened_) {
        opened_ = true;
        // The console itself, even when standard input and output are redirected.
        HANDLE in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
        HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD mode = 0;
        if (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && GetConsoleMode(in, &mode)) {
            input_ = in;
            output_ = out;
        } else {
            if (in != INVALID_HANDLE_VALUE)
                CloseHandle(in);
            if (out != INVALID_HANDLE_VALUE)
                CloseHandle(out);
        }
    }
    return input_ != nullptr;
}

std::optional<SecureBytes> TerminalPrompt::ask(std::string_view prompt)
{
    if (!available())
        return std::nullopt;
    HANDLE in = static_cast<HANDLE>(input_);
    HANDLE out = static_cast<HANDLE>(output_);
    DWORD saved = 0;
    if (!GetConsoleMode(in, &saved))
        return std::nullopt;
    {
        // Echo goes off before the prompt shows, as on a POSIX terminal.
        std::lock_guard lock(echo_mutex);
        echo_input = in;
        echo_output = out;
        echo_saved = saved;
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
        std::lock_guard lock(echo_mutex);
        restore_echo_locked();
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
#else
TerminalPrompt::~TerminalPrompt()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool TerminalPrompt::available()
{
    if (!opened_) {
        opened_ = true;
        fd_ = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    return fd_ >= 0;
}

std::optional<SecureBytes> TerminalPrompt::ask(std::string_view prompt)
{
    if (!available())
        return std::nullopt;
    termios saved{};
    if (::tcgetattr(fd_, &saved) != 0)
        return std::nullopt;
    {
        // Echo goes off before the prompt shows, so nothing typed after the
        // prompt can be echoed or flushed away.
        std::lock_guard lock(echo_mutex);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
        echo_saved = saved;
        echo_fd = fd_;
        ::tcsetattr(fd_, TCSAFLUSH, &quiet);
    }
    SecureBytes line;
    LineStatus status = LineStatus::read_failed;
    if (::write(fd_, prompt.data(), prompt.size()) == static_cast<ssize_t>(prompt.size()))
        status = read_first_line(fd_, line);
    {
        std::lock_guard lock(echo_mutex);
        restore_echo_locked();
    }
    if (status != LineStatus::ok)
        return std::nullopt;
    return line;
}
#endif

int run_cli(std::span<const std::string> args, const Streams& streams)
{
    try {
        Options options = parse_options(args);
        if (options.help) {
            streams.out << help_text << std::flush;
            return exit_done;
        }
        if (options.version) {
            streams.out << "trezorka-cli " TREZORKA_VERSION " (Trezorka 2.0 Portable)\n" << std::flush;
            return exit_done;
        }
        if (!options.source)
            throw UsageError{"chybí ZDROJ"};
        return run(options, streams);
    } catch (const UsageError& e) {
        streams.err << "trezorka-cli: " << e.message << "\nNápovědu vypíše: trezorka-cli --help\n";
        return exit_refused;
    } catch (const Refusal& e) {
        streams.err << e.message << '\n';
        return exit_refused;
    }
}

#ifdef _WIN32
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

struct ConsoleSetup::Parts {
    std::optional<ConsoleBuffer> out_buffer;
    std::optional<ConsoleBuffer> err_buffer;
    std::optional<std::ostream> out;
    std::optional<std::ostream> err;
};

ConsoleSetup::ConsoleSetup(std::ostream& out, std::ostream& err) : parts_(std::make_unique<Parts>())
{
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
        std::lock_guard lock(echo_mutex);
        DWORD mode = 0;
        GetConsoleMode(console, &mode);
        if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) {
            err_is_terminal_ = true;
        } else if (SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
            console_err = console;
            console_err_saved = mode;
            err_is_terminal_ = true;
        }
    }
    out_ = parts_->out ? &*parts_->out : &out;
    err_ = parts_->err ? &*parts_->err : &err;
}

ConsoleSetup::~ConsoleSetup()
{
    if (parts_->out)
        parts_->out->flush();
    if (parts_->err)
        parts_->err->flush();
    std::lock_guard lock(echo_mutex);
    restore_console_locked();
}

namespace {
BOOL WINAPI on_console_event(DWORD event)
{
    int status = 0;
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        status = 128 + SIGINT;
        break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        status = 128 + SIGTERM;
        break;
    default:
        return FALSE;
    }
    {
        std::lock_guard lock(echo_mutex);
        restore_echo_locked();
        restore_console_locked();
    }
    pending_file::abort_and_remove();
    // At once, like _exit: the other threads may hold any lock.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    return TRUE;
}
} // namespace

void start_signal_guard()
{
    SetConsoleCtrlHandler(on_console_event, TRUE);
}
#else
void start_signal_guard()
{
    std::signal(SIGPIPE, SIG_IGN);
    // Past a file-size limit a write must fail like a full disk does, not kill
    // the process and leave the temporary file behind.
    std::signal(SIGXFSZ, SIG_IGN);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set] {
        int signal = 0;
        while (sigwait(&set, &signal) != 0) {
        }
        {
            std::lock_guard lock(echo_mutex);
            restore_echo_locked();
        }
        pending_file::abort_and_remove();
        ::_exit(128 + signal);
    }).detach();
}
#endif

} // namespace trezorka::cli
