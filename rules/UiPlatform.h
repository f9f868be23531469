#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trezorka::rules {

// What the desktop the program runs on can do for its windows, besides a
// notification area (UiPlatform::has_system_tray). The face answers; the
// application's window rules (ApplicationWindows.h) decide.
struct Desktop {
    bool unminimise = true;        // a minimised window can be brought back by the program
    bool place = true;             // a window may choose where it first stands
    bool taskbar_progress = false; // the task bar entry can show a job's progress
    bool notify = false;           // desktop notifications can be posted
    bool late_reports = false;     // window states are reported late and may be stale (X11)
};

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
    // Whether the desktop has a notification area for the tray icon. Asked
    // only when the application would go there: it may come and go, and
    // asking may cost a round trip to the desktop.
    virtual bool has_system_tray() = 0;
    // What else the desktop can do for the windows.
    virtual Desktop desktop() = 0;
};

} // namespace trezorka::rules
