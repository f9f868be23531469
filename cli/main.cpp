#include "cli.h"

#include <iostream>
#include <string>
#include <vector>

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
