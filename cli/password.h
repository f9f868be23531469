#pragma once

// Where the password comes from: a descriptor, a file or the terminal.

#include "cli.h"
#include "options.h"
#include "secure_buffer.h"

#include <cstddef>

namespace trezorka::cli {

inline constexpr std::size_t max_password_bytes = 64 * 1024;

enum class LineStatus { ok, read_failed, too_long };

// Reads the first line one byte at a time, so that nothing after it is taken
// from a descriptor someone else may still read. On read_failed, errno tells why.
LineStatus read_first_line(int fd, SecureBytes& line);

// The password as UTF-8 bytes, never empty; throws Refusal when it cannot be
// had. `stdin_is_data`: standard input carries the data and cannot also carry
// the password.
SecureBytes obtain_password(const Options& o, bool encrypt, const Streams& s, bool stdin_is_data);

} // namespace trezorka::cli
