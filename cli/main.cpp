#include "cli.h"
#include "terminal.h"

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    using namespace trezorka::cli;
    start_signal_guard();
    const StandardStreams standard;
    const std::vector<std::string> args = arguments(argc, argv);
    TerminalPrompt terminal;
    const Streams streams{0, 1, standard.out(), standard.err(), standard.err_is_terminal(), terminal};
    return run_cli(args, streams);
}
