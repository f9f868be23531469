#pragma once

#include <QString>
#include <optional>

class QWidget;

// The dialogs, message boxes and shell services the windows ask for. The real
// one shows the platform's dialogs; tests substitute a scripted one, so no test
// ever blocks on a modal dialog.
class UiPlatform {
public:
    enum class Icon { Information, Error };

    struct FileDialogRequest {
        QString filter;      // "description|pattern|description|pattern"
        QString file_name;   // initial file name (may include a folder)
        int filter_index = 1; // 1-based
    };

    virtual ~UiPlatform() = default;

    // The open dialog; nullopt when cancelled.
    virtual std::optional<QString> openFile(const FileDialogRequest& request) = 0;
    // The save dialog, which has asked before overwriting an existing file.
    virtual std::optional<QString> saveFile(const FileDialogRequest& request) = 0;
    // A message box with no owner window and an OK button only.
    virtual void message(const QString& title, const QString& text, Icon icon) = 0;
    // The framework's warning dialog: caption "Warning", one "OK" button.
    virtual void warning(const QString& text) = 0;
    // The framework's warning dialog: caption "Warning", "OK" (default) and "Cancel".
    // True when the user answered "OK".
    virtual bool warningOkCancel(const QString& text) = 0;
    // Opens a web address in the default browser.
    virtual void openUrl(const QString& url, QWidget* parent) = 0;
    // Whether the desktop has a notification area for the tray icon.
    virtual bool hasSystemTray() = 0;
};
