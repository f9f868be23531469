#pragma once

// The window program's command line. Its first argument is a file to
// preselect and further ones are ignored; "--help" and "--version" are
// answered instead of opening the window, as desktop programs do, and a file
// with such a name can still be given after "--".

#include <span>
#include <string>
#include <string_view>

namespace trezorka::rules {

struct CommandLine {
    enum class Answer { none, help, version };
    Answer answer = Answer::none;
    std::u16string source; // the file to preselect; empty for none
};

// `args`: the arguments after the program's name.
CommandLine read_command_line(std::span<const std::u16string> args);

// What the program answers (the Linux face prints it, the Windows face shows
// it in a message box); empty for Answer::none.
std::u16string_view command_line_answer(CommandLine::Answer answer);

} // namespace trezorka::rules
