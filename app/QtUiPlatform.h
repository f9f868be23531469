#pragma once

#include "UiPlatform.h"

#include <QMessageBox>
#include <QStringList>

// The real dialogs: Qt's message boxes (no owner window) and Qt's own file
// dialogs. The file dialogs are Qt's widget-based ones on every platform, since
// the platform's native ones keep recent-file lists, and Qt's own dialog's
// remembered state is sent where it cannot be stored (and never to the
// registry), so that the program writes nothing but its target files.
class QtUiPlatform : public trezorka::rules::UiPlatform {
public:
    QtUiPlatform();

    std::optional<std::u16string> open_file(const FileDialogRequest& request) override;
    std::optional<std::u16string> save_file(const FileDialogRequest& request) override;
    void message(std::u16string_view title, std::u16string_view text, Icon icon) override;
    void warning(std::u16string_view text) override;
    bool warning_ok_cancel(std::u16string_view text, Button default_button) override;
    void open_url(std::u16string_view url) override;
    bool has_system_tray() override;
    trezorka::rules::Desktop desktop() override;

    // "description|pattern|description|pattern" as Qt's name filters,
    // "description (patterns)" each; the description is kept as it is.
    static QStringList name_filters(const QString& filter);

    // Loads Qt's Czech translation for Qt's own dialogs (Debian's
    // qt6-translations-l10n); false when it is not installed.
    static bool load_qt_translation();

    // Where the user-level settings files are sent: a path that cannot exist.
    static QString unreachable_settings_path();

    // The save dialog's question before a file that does not exist is created.
    static QString create_question(const QString& file_name);

private:
    static bool confirm_create(const QString& path);
    static QMessageBox::StandardButton warning_box(const QString& text, QMessageBox::StandardButtons buttons,
                                                   QMessageBox::StandardButton default_button);
};
