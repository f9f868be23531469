#pragma once

// File names are bytes on POSIX and UTF-16 on Windows; the window and the naming
// rules work on UTF-16 text. On POSIX the bytes are decoded as UTF-8, and every
// byte that is not part of valid UTF-8 is kept as the lone surrogate
// U+DC80 + byte, so that encoding the text again gives back the same bytes.
// The two byte functions do this on every platform; on Windows the path
// functions pass UTF-16 through unchanged.

#include <filesystem>
#include <string>
#include <string_view>

namespace trezorka {

std::u16string utf16_from_native_bytes(std::string_view bytes);
std::string native_bytes_from_utf16(std::u16string_view text);

std::filesystem::path to_native_path(std::u16string_view text);
std::u16string from_native_path(const std::filesystem::path& path);
// A path given as native bytes (on Windows UTF-8), as a command line gives it.
std::filesystem::path native_path_of(std::string_view bytes);

} // namespace trezorka
