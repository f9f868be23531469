#include "FileDrop.h"

#include "Scene.h"

#include <filesystem>
#include <system_error>

namespace trezorka::win {

std::u16string dropped_file(HDROP drop)
{
    std::wstring path;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count && path.empty(); ++i) {
        std::wstring name(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        name.resize(DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size())));
        // A folder cannot be encrypted; the user meant something else.
        std::error_code ec;
        if (!name.empty() && !std::filesystem::is_directory(std::filesystem::path(name), ec))
            path = name;
    }
    DragFinish(drop);
    return u16(path);
}

} // namespace trezorka::win
