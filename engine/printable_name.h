#pragma once

// File names as they may be printed: a name can hold a line break, an escape
// sequence for the terminal or a character that turns the text around, and
// printed raw it could forge the lines around it.

#include <filesystem>
#include <string>
#include <string_view>
#include <type_traits>

namespace trezorka {

// The UTF-8 (or native byte) text with C0 controls and DEL as \xNN, C1
// controls, every Unicode format character (general category Cf: direction
// marks and overrides, zero-width characters, the soft hyphen, ...) and the
// line and paragraph separators as \uNNNN (\UNNNNNNNN past U+FFFF), and the
// bytes 0x80 to 0x9F outside valid UTF-8 as \xNN. Every other byte, other
// invalid UTF-8 included, is kept as it is.
std::string printable_name(std::string_view text);
// The same for a name as the windows hold it, in UTF-16 (a byte of a POSIX
// name that is not UTF-8 being one unit U+DC80..U+DCFF, see native_path.h).
std::u16string printable_name(std::u16string_view text);

// The same for a path, taken as UTF-8 (on Windows string() would go through
// the ANSI code page, and could throw on a name it cannot represent). Only a
// path itself: text that would convert to one takes the overload above.
template <typename Path, typename = std::enable_if_t<std::is_same_v<Path, std::filesystem::path>>>
std::string printable_name(const Path& path)
{
    const std::u8string name = path.u8string();
    return printable_name(std::string_view(reinterpret_cast<const char*>(name.data()), name.size()));
}

} // namespace trezorka
