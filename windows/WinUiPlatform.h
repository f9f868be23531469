#pragma once

#include "UiPlatform.h"

#include <windows.h>

// The system's dialogs and shell services, as the Windows program shows them:
// the common file dialogs, message boxes without an owner, ShellExecuteW.
class WinUiPlatform : public trezorka::rules::UiPlatform {
public:
    // The window the file dialogs belong to and the link opens from.
    void set_owner(HWND owner) { owner_ = owner; }

    std::optional<std::u16string> open_file(const FileDialogRequest& request) override;
    std::optional<std::u16string> save_file(const FileDialogRequest& request) override;
    void message(std::u16string_view title, std::u16string_view text, Icon icon) override;
    void warning(std::u16string_view text) override;
    bool warning_ok_cancel(std::u16string_view text, Button default_button) override;
    void open_url(std::u16string_view url) override;
    bool has_system_tray() override { return true; }
    // Windows lets the program minimise, restore and place its windows, and
    // reports their states as they change.
    trezorka::rules::Desktop desktop() override { return {}; }

private:
    std::optional<std::u16string> file_dialog(const FileDialogRequest& request, bool save);
    HWND owner_ = nullptr;
};
