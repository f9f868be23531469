#include "QtUiPlatform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QUrl>

namespace {

// Qt's file dialog writes its state to the user's "QtProject" settings in its
// destructor, through a settings object of the native format: a file on
// Linux, which the paths below send nowhere, but the registry on Windows,
// which no path redirects. So the two dialogs are made once and never
// destroyed, also not at exit (QApplication only closes the windows that
// remain), and their destructor never runs. Reading those settings when a
// dialog is made writes nothing.
QFileDialog* file_dialog(QFileDialog::AcceptMode mode)
{
    static QFileDialog* open_dialog = nullptr;
    static QFileDialog* save_dialog = nullptr;
    QFileDialog*& dialog = mode == QFileDialog::AcceptOpen ? open_dialog : save_dialog;
    if (!dialog) {
        dialog = new QFileDialog(nullptr);
        // Widget-based everywhere; only the patterns are hidden, as the
        // descriptions carry them already where they should be seen.
        dialog->setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
        dialog->setAcceptMode(mode);
        dialog->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    }
    return dialog;
}

std::optional<QString> run_file_dialog(QFileDialog::AcceptMode mode, const UiPlatform::FileDialogRequest& request)
{
    QFileDialog& dialog = *file_dialog(mode);
    const QStringList filters = QtUiPlatform::name_filters(request.filter);
    dialog.setNameFilters(filters);
    if (!filters.isEmpty()) {
        const int index = request.filter_index >= 1 && request.filter_index <= filters.size() ? request.filter_index : 1;
        dialog.selectNameFilter(filters.at(index - 1));
    }
    if (!request.file_name.isEmpty()) {
        const QFileInfo initial(request.file_name);
        if (request.file_name.contains(QLatin1Char('/')) || request.file_name.contains(QDir::separator()))
            dialog.setDirectory(initial.absolutePath());
        dialog.selectFile(initial.fileName());
    } else {
        dialog.selectFile(QString());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

} // namespace

QtUiPlatform::QtUiPlatform()
{
    // Qt's file dialog stores its history, last folder and view state in the
    // user's "QtProject" settings, and offers no switch against it (see
    // file_dialog() for the registry on Windows). Make every settings object
    // that does not name its format a file, and point the user-level files
    // at a place where no file can ever be created, a path below an existing
    // file, so nothing is read from or written to the user's profile. The
    // program itself keeps no settings, so nothing else is affected.
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, unreachable_settings_path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, unreachable_settings_path());
}

QString QtUiPlatform::unreachable_settings_path()
{
#ifdef _WIN32
    // The program's own file: no folder can be made below it.
    const QString program = QCoreApplication::applicationFilePath();
    if (!program.isEmpty())
        return program + QStringLiteral("/settings");
    return QStringLiteral("//./NUL/trezorka");
#else
    return QStringLiteral("/dev/null/trezorka");
#endif
}

QStringList QtUiPlatform::name_filters(const QString& filter)
{
    QStringList out;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // The patterns are ";"-separated; Qt wants them space-separated, and
        // "*.*" means every file, with or without a dot.
        QStringList patterns = parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns) {
            p = p.trimmed();
            if (p == QLatin1String("*.*"))
                p = QStringLiteral("*");
        }
        out << parts.at(i) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return out;
}

std::optional<QString> QtUiPlatform::openFile(const FileDialogRequest& request)
{
    return run_file_dialog(QFileDialog::AcceptOpen, request);
}

// The save dialog asks before overwriting an existing file (Qt's dialog does
// that itself) and before creating one that does not exist yet. Qt's dialog
// has no option for the second question, so it follows the dialog's answer;
// "Ne" goes back to the dialog with the name that was typed.
std::optional<QString> QtUiPlatform::saveFile(const FileDialogRequest& request)
{
    FileDialogRequest next = request;
    for (;;) {
        std::optional<QString> chosen = run_file_dialog(QFileDialog::AcceptSave, next);
        if (!chosen || QFileInfo::exists(*chosen) || confirm_create(*chosen))
            return chosen;
        next.file_name = *chosen;
    }
}

bool QtUiPlatform::confirm_create(const QString& path)
{
    QWidget* dialog = file_dialog(QFileDialog::AcceptSave);
    QMessageBox box(QMessageBox::Question, dialog->windowTitle(),
                    create_question(QFileInfo(path).fileName()), QMessageBox::Yes | QMessageBox::No, dialog);
    box.setDefaultButton(QMessageBox::Yes);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Ano"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Ne"));
    return box.exec() == QMessageBox::Yes;
}

QString QtUiPlatform::create_question(const QString& name)
{
    return name + QStringLiteral("\nTento soubor neexistuje.\nChcete jej vytvořit?");
}

void QtUiPlatform::message(const QString& title, const QString& text, Icon icon)
{
    QMessageBox box(icon == Icon::Error ? QMessageBox::Critical : QMessageBox::Information, title, text,
                    QMessageBox::Ok, nullptr);
    box.exec();
}

void QtUiPlatform::warning(const QString& text)
{
    QMessageBox::warning(nullptr, QStringLiteral("Warning"), text, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtUiPlatform::warningOkCancel(const QString& text)
{
    return QMessageBox::warning(nullptr, QStringLiteral("Warning"), text, QMessageBox::Ok | QMessageBox::Cancel,
                                QMessageBox::Ok) == QMessageBox::Ok;
}

void QtUiPlatform::openUrl(const QString& url, QWidget*)
{
    QDesktopServices::openUrl(QUrl(url));
}

bool QtUiPlatform::hasSystemTray()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}
