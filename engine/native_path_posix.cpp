#include "native_path.h"

namespace trezorka {

// POSIX names are bytes: UTF-8 where they are well-formed, and any other
// byte kept as a lone surrogate so that the name comes back unchanged.
std::filesystem::path to_native_path(std::u16string_view text)
{
    return std::filesystem::path(native_bytes_from_utf16(text));
}

std::u16string from_native_path(const std::filesystem::path& path)
{
    return utf16_from_native_bytes(path.native());
}

} // namespace trezorka
