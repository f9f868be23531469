#include "QtUiPlatform.h"

#include "Style.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>
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

using trezorka::ui::qs;
using trezorka::ui::u16;

std::optional<QString> run_file_dialog(QFileDialog::AcceptMode mode, const QString& filter, int filter_index,
                                       const QString& file_name)
{
    QFileDialog& dialog = *file_dialog(mode);
    const QStringList filters = QtUiPlatform::name_filters(filter);
    dialog.setNameFilters(filters);
    if (!filters.isEmpty()) {
        const int index = filter_index >= 1 && filter_index <= filters.size() ? filter_index : 1;
        dialog.selectNameFilter(filters.at(index - 1));
    }
    if (!file_name.isEmpty()) {
        const QFileInfo initial(file_name);
        if (file_name.contains(QLatin1Char('/')) || file_name.contains(QDir::separator()))
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

bool QtUiPlatform::load_qt_translation()
{
    // Lives as long as the application, which keeps using it.
    static QTranslator* translator = nullptr;
    if (translator)
        return true;
    auto* loaded = new QTranslator(QCoreApplication::instance());
    if (!loaded->load(QLocale(QLocale::Czech, QLocale::CzechRepublic), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete loaded;
        return false;
    }
    QCoreApplication::installTranslator(loaded);
    translator = loaded;
    return true;
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

std::optional<std::u16string> QtUiPlatform::open_file(const FileDialogRequest& request)
{
    const std::optional<QString> chosen =
        run_file_dialog(QFileDialog::AcceptOpen, qs(request.filter), request.filter_index, qs(request.file_name));
    if (!chosen)
        return std::nullopt;
    return u16(*chosen);
}

// The save dialog asks before overwriting an existing file (Qt's dialog does
// that itself) and before creating one that does not exist yet. Qt's dialog
// has no option for the second question, so it follows the dialog's answer;
// "Ne" goes back to the dialog with the name that was typed.
std::optional<std::u16string> QtUiPlatform::save_file(const FileDialogRequest& request)
{
    QString name = qs(request.file_name);
    for (;;) {
        const std::optional<QString> chosen =
            run_file_dialog(QFileDialog::AcceptSave, qs(request.filter), request.filter_index, name);
        if (!chosen)
            return std::nullopt;
        if (QFileInfo::exists(*chosen) || confirm_create(*chosen))
            return u16(*chosen);
        name = *chosen;
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

void QtUiPlatform::message(std::u16string_view title, std::u16string_view text, Icon icon)
{
    QMessageBox box(icon == Icon::Error ? QMessageBox::Critical : QMessageBox::Information, qs(title), qs(text),
                    QMessageBox::Ok, nullptr);
    box.exec();
}

QMessageBox::StandardButton QtUiPlatform::warning_box(const QString& text, QMessageBox::StandardButtons buttons,
                                                      QMessageBox::StandardButton default_button)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), text, buttons, nullptr);
    box.setDefaultButton(default_button);
    if (buttons.testFlag(QMessageBox::Cancel))
        box.setEscapeButton(QMessageBox::Cancel);
    // The framework's own English words, also while Qt's Czech translation
    // puts Czech ones on every other dialog's buttons.
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    if (QAbstractButton* cancel = box.button(QMessageBox::Cancel))
        cancel->setText(QStringLiteral("Cancel"));
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void QtUiPlatform::warning(std::u16string_view text)
{
    warning_box(qs(text), QMessageBox::Ok, QMessageBox::Ok);
}

bool QtUiPlatform::warning_ok_cancel(std::u16string_view text, Button default_button)
{
    return warning_box(qs(text), QMessageBox::Ok | QMessageBox::Cancel,
                       default_button == Button::Cancel ? QMessageBox::Cancel : QMessageBox::Ok)
           == QMessageBox::Ok;
}

void QtUiPlatform::open_url(std::u16string_view url)
{
    QDesktopServices::openUrl(QUrl(qs(url)));
}

bool QtUiPlatform::has_system_tray()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

// A desktop on X11 or Windows: the program may minimise, restore and place
// its windows; X11 reports their states late.
trezorka::rules::Desktop QtUiPlatform::desktop()
{
    return {.late_reports = true};
}
