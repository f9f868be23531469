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

// Called before the application object exists. Qt's accessibility bridge and
// tray icon ask for the session bus; with no bus address in the environment
// the bus library would start a bus for the program (dbus-launch, where
// dbus-x11 is installed), which writes below the home folder and outlives
// the program. So the desktop's bus is named when its usual socket is there
// ($XDG_RUNTIME_DIR/bus), and otherwise an address that reaches no bus and
// starts none: with no session bus there is no screen reader or desktop tray
// to talk to anyway. A bus address already given is kept.
void use_desktop_session_bus();

} // namespace trezorka::ui
