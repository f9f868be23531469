#pragma once

#include "command_line.h"

namespace trezorka::ui {

// The command line (the file to preselect, or --help or --version), read from
// main()'s own argv before QApplication takes its options out of it (a file
// named "-reverse" is a file).
// On POSIX the raw bytes are decoded with stray bytes kept (see native_path.h),
// so a file name that is not valid UTF-8 still names the same file; on Windows
// the UTF-16 command line is read, as argv would lose what the code page cannot say.
rules::CommandLine command_line(int argc, char** argv);

} // namespace trezorka::ui
