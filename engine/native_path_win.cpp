#include "native_path.h"

namespace trezorka {

// Windows file names are UTF-16 already and go through unchanged.
std::filesystem::path to_native_path(std::u16string_view text)
{
    return std::filesystem::path(std::wstring(text.begin(), text.end()));
}

std::u16string from_native_path(const std::filesystem::path& path)
{
    const std::wstring& native = path.native();
    return std::u16string(native.begin(), native.end());
}

} // namespace trezorka
