#pragma once

// Why a file operation failed, in Czech, for the messages both faces print.

#include <string>

namespace trezorka {

// The cause behind a C library error number (ENOSPC, EACCES, ...) in Czech,
// or the system's own text for an error we have no wording for.
std::string system_error_text(int error);

} // namespace trezorka
