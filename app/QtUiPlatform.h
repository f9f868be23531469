#pragma once

#include "UiPlatform.h"

#include <QStringList>

// The real dialogs: Qt's message boxes (no owner window) and Qt's own file
// dialogs. The file dialogs are Qt's widget-based ones on every platform, since
// the platform's native ones keep recent-file lists, and Qt's own dialog's
// remembered state is sent where it cannot be stored (and never to the
// registry), so that the program writes nothing but its target files.
class QtUiPlatform : public UiPlatform {
public:
    QtUiPlatform();

    std::optional<QString> openFile(const FileDialogRequest& request) override;
    std::optional<QString> saveFile(const FileDialogRequest& request) override;
    void message(const QString& title, const QString& text, Icon icon) override;
    void warning(const QString& text) override;
    bool warningOkCancel(const QString& text) override;
    void openUrl(const QString& url, QWidget* parent) override;
    bool hasSystemTray() override;

    // "description|pattern|description|pattern" as Qt's name filters,
    // "description (patterns)" each; the description is kept as it is.
    static QStringList name_filters(const QString& filter);

    // Where the user-level settings files are sent: a path that cannot exist.
    static QString unreachable_settings_path();

    // The save dialog's question before a file that does not exist is created.
    static QString create_question(const QString& file_name);

private:
    static bool confirm_create(const QString& path);
};
