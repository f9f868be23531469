#include "cli.h"

#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>

#include "native_path.h"

namespace {

// The arguments as UTF-8, whatever the ANSI code page: the command line is
// UTF-16, and main()'s argv would lose what the code page cannot show.
std::vector<std::string> utf8_arguments()
{
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; argv && i < count; ++i) {
        const std::wstring_view arg(argv[i]);
        args.push_back(trezorka::native_bytes_from_utf16(
            std::u16string_view(reinterpret_cast<const char16_t*>(arg.data()), arg.size())));
    }
    LocalFree(argv);
    return args;
}

} // namespace

int main()
{
    trezorka::cli::start_signal_guard();
    const trezorka::cli::ConsoleSetup console(std::cout, std::cerr);
    // The data and a password on standard input are bytes: no CR LF
    // translation, no Ctrl+Z as the end; --help goes out with plain newlines,
    // as on Linux.
    ::_setmode(0, _O_BINARY);
    ::_setmode(1, _O_BINARY);
    const std::vector<std::string> args = utf8_arguments();
    trezorka::cli::TerminalPrompt terminal;
    const trezorka::cli::Streams streams{0, 1, console.out(), console.err(), console.err_is_terminal(), terminal};
    return trezorka::cli::run_cli(args, streams);
}
#else
#include <unistd.h>

int main(int argc, char** argv)
{
    trezorka::cli::start_signal_guard();
    std::vector<std::string> args(argv + 1, argv + argc);
    trezorka::cli::TerminalPrompt terminal;
    const trezorka::cli::Streams streams{STDIN_FILENO, STDOUT_FILENO, std::cout, std::cerr,
                                         ::isatty(STDERR_FILENO) == 1, terminal};
    return trezorka::cli::run_cli(args, streams);
}
#endif
