#include "command_line.h"

#ifndef TREZORKA_VERSION
#define TREZORKA_VERSION "2.0"
#endif

namespace trezorka::rules {

namespace {

#define TREZORKA_U16(s) u"" s
constexpr std::u16string_view version_text = u"trezorka " TREZORKA_U16(TREZORKA_VERSION) u" (Trezorka 2.0 Portable)\n";
#undef TREZORKA_U16

constexpr std::u16string_view help_text =
    u"Použití: trezorka [SOUBOR]\n"
    u"        trezorka -- SOUBOR\n"
    u"\n"
    u"Otevře okno programu Trezorka 2.0 Portable, které zašifruje nebo dešifruje\n"
    u"jeden soubor heslem (formát \".t2k\"). SOUBOR se předvybere jako zdroj:\n"
    u"soubor \".t2k\" se dešifruje, každý jiný zašifruje. Další argumenty se\n"
    u"pomíjejí.\n"
    u"\n"
    u"  --help      vypsat tuto nápovědu\n"
    u"  --version   vypsat verzi\n"
    u"  --          následuje SOUBOR, i když začíná \"-\"\n"
    u"\n"
    u"Formát \".t2k\" počítá jen první polovinu hesla: volte dlouhá hesla.\n"
    u"Pro skripty a terminál slouží trezorka-cli (trezorka-cli --help).\n";

} // namespace

CommandLine read_command_line(std::span<const std::u16string> args)
{
    CommandLine command;
    if (args.empty())
        return command;
    if (args[0] == u"--help")
        command.answer = CommandLine::Answer::help;
    else if (args[0] == u"--version")
        command.answer = CommandLine::Answer::version;
    else if (args[0] == u"--")
        command.source = args.size() > 1 ? args[1] : std::u16string();
    else
        command.source = args[0];
    return command;
}

std::u16string_view command_line_answer(CommandLine::Answer answer)
{
    switch (answer) {
    case CommandLine::Answer::help: return help_text;
    case CommandLine::Answer::version: return version_text;
    case CommandLine::Answer::none: break;
    }
    return {};
}

} // namespace trezorka::rules
