#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trezorka::rules {

// The system's dialogs, message boxes and shell services the windows ask for.
// Each face implements it with its platform's own (the Qt window: QtUiPlatform;
// the Windows window: the common dialogs and MessageBoxW); tests substitute a
// scripted one, so no test ever blocks on a modal dialog. Texts are UTF-16.
class UiPlatform {
public:
    enum class Icon { Information, Error };
    // The button of an OK/Cancel question that Enter presses.
    enum class Button { Ok, Cancel };

    struct FileDialogRequest {
        std::u16string filter;    // "description|pattern|description|pattern"
        std::u16string file_name; // initial file name (may include a folder)
        int filter_index = 1;     // 1-based
    };

    virtual ~UiPlatform() = default;

    // The open dialog; nullopt when cancelled.
    virtual std::optional<std::u16string> open_file(const FileDialogRequest& request) = 0;
    // The save dialog, which has asked before overwriting an existing file and
    // before creating one that does not exist yet.
    virtual std::optional<std::u16string> save_file(const FileDialogRequest& request) = 0;
    // A message box with no owner window and an OK button only.
    virtual void message(std::u16string_view title, std::u16string_view text, Icon icon) = 0;
    // The framework's warning dialog: caption "Warning", one "OK" button.
    virtual void warning(std::u16string_view text) = 0;
    // The framework's warning dialog: caption "Warning", "OK" and "Cancel",
    // `default_button` the one Enter presses; Esc answers "Cancel". A
    // question whose "OK" can cost a file defaults to "Cancel", so that a
    // hurried Enter keeps the file. True when the user answered "OK".
    virtual bool warning_ok_cancel(std::u16string_view text, Button default_button) = 0;
    // Opens a web address in the default browser.
    virtual void open_url(std::u16string_view url) = 0;
    // Whether the desktop has a notification area for the tray icon.
    virtual bool has_system_tray() = 0;
};

} // namespace trezorka::rules
