#include "WinUiPlatform.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::wstring wide(std::u16string_view s)
{
    return {s.begin(), s.end()};
}

// "description|pattern|..." as the dialogs take it: each part ending in a
// NUL, and one more at the end.
std::wstring nul_separated(std::u16string_view filter)
{
    std::wstring out = wide(filter);
    std::replace(out.begin(), out.end(), L'|', L'\0');
    out.push_back(L'\0');
    out.push_back(L'\0');
    return out;
}

} // namespace

// The dialogs record nothing the flags can stop: no recent documents, and the
// program's working folder stays where it was. What no flag stops: the
// system's dialog keeps, for each program, the folder of the last file picked
// in it (ComDlg32\LastVisitedMRU, LastVisitedPidlMRU on newer Windows).
std::optional<std::u16string> WinUiPlatform::file_dialog(const FileDialogRequest& request, bool save)
{
    const std::wstring filter = nul_separated(request.filter);
    std::vector<wchar_t> buffer(32768, L'\0');
    const std::wstring name = wide(request.file_name);
    name.copy(buffer.data(), std::min(name.size(), buffer.size() - 1));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner_;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(request.filter_index);
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_DONTADDTORECENT | OFN_NOCHANGEDIR;
    if (save)
        ofn.Flags |= OFN_OVERWRITEPROMPT | OFN_CREATEPROMPT;
    const BOOL ok = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!ok)
        return std::nullopt;
    const std::wstring picked(buffer.data());
    return std::u16string(picked.begin(), picked.end());
}

std::optional<std::u16string> WinUiPlatform::open_file(const FileDialogRequest& request)
{
    return file_dialog(request, false);
}

std::optional<std::u16string> WinUiPlatform::save_file(const FileDialogRequest& request)
{
    return file_dialog(request, true);
}

// No owner window, as the program's message boxes have always had. Task-modal
// all the same: while one is open the program's windows take no clicks, so no
// second command can start behind it.
void WinUiPlatform::message(std::u16string_view title, std::u16string_view text, Icon icon)
{
    MessageBoxW(nullptr, wide(text).c_str(), wide(title).c_str(),
                MB_OK | MB_TASKMODAL | (icon == Icon::Error ? MB_ICONERROR : MB_ICONINFORMATION));
}

void WinUiPlatform::warning(std::u16string_view text)
{
    MessageBoxW(nullptr, wide(text).c_str(), L"Warning", MB_OK | MB_ICONWARNING | MB_TASKMODAL);
}

// Esc answers IDCANCEL in any box that has a "Cancel" button.
bool WinUiPlatform::warning_ok_cancel(std::u16string_view text, Button default_button)
{
    const UINT default_flag = default_button == Button::Cancel ? MB_DEFBUTTON2 : MB_DEFBUTTON1;
    return MessageBoxW(nullptr, wide(text).c_str(), L"Warning",
                       MB_OKCANCEL | default_flag | MB_ICONWARNING | MB_TASKMODAL)
           == IDOK;
}

void WinUiPlatform::open_url(std::u16string_view url)
{
    ShellExecuteW(owner_, L"open", wide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
