#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>

namespace trezorka::win {

// The first file dropped that is not a folder, as a command-line argument
// would name it; empty when there is none. Ends the drop.
std::u16string dropped_file(HDROP drop);

} // namespace trezorka::win
