// The real dialogs behind UiPlatform: texts, buttons and answers of the
// message boxes, the filter conversion, and that the file dialogs leave no
// trace in the user's profile.

#include "QtUiPlatform.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDirIterator>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cstdlib>
#include <functional>

namespace {

std::optional<QString> as_qstring(const std::optional<std::u16string>& text)
{
    if (!text)
        return std::nullopt;
    return QString::fromStdU16String(*text);
}

// The profile the test process sees, set up before QApplication exists.
QTemporaryDir* profile = nullptr;

QStringList files_in_profile()
{
    QStringList found;
    QDirIterator it(profile->path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

// Runs `act` on the next modal dialog of type D that opens, from the event loop.
template <class D>
void when_modal(std::function<void(D*)> act)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(d);
        }
    });
    poll->start(20);
}

} // namespace

class tst_qtuiplatform : public QObject {
    Q_OBJECT
private slots:
    void filters_data();
    void filters();
    void unguardedDialogWouldWrite();
    // Early: the translation stays loaded for the tests after it, which must
    // hold with it, as the program runs with it.
    void czechDialogsEnglishWarning_data();
    void czechDialogsEnglishWarning();
    void warningOkCancel_data();
    void warningOkCancel();
    void message_data();
    void message();
    void openDialogLeavesNoTrace();
    void saveDialogLeavesNoTrace();
    void saveAsksBeforeCreating_data();
    void saveAsksBeforeCreating();
    void settingsGoNowhere();
    void dialogsAreKept();
    void cleanupTestCase();
};

void tst_qtuiplatform::filters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("two") << QStringLiteral("Trezorka soubory|*.t2k|Všechny soubory|*.*")
                         << QStringList{"Trezorka soubory (*.t2k)", "Všechny soubory (*)"};
    QTest::newRow("several patterns") << QStringLiteral("Obrázky|*.png;*.jpg")
                                      << QStringList{"Obrázky (*.png *.jpg)"};
    QTest::newRow("description kept verbatim")
        << QStringLiteral("Šifrované soubory (*.t2k)|*.t2k") << QStringList{"Šifrované soubory (*.t2k) (*.t2k)"};
    QTest::newRow("empty") << QString() << QStringList{};
    QTest::newRow("dangling description") << QStringLiteral("a|*.a|b") << QStringList{"a (*.a)"};
}

void tst_qtuiplatform::filters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(QtUiPlatform::name_filters(filter), expected);
}

// Shows that the profile checks below can see what Qt's file dialog writes:
// without the platform's guard, a dialog that merely comes and goes leaves
// its settings in the profile.
void tst_qtuiplatform::unguardedDialogWouldWrite()
{
    {
        QFileDialog dialog(nullptr);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    }
    const QStringList written = files_in_profile();
    QVERIFY2(!written.isEmpty(), "the file dialog wrote nothing, so the checks below prove nothing");
    for (const QString& f : written)
        QDir(f).exists() ? QDir(f).removeRecursively() : QFile::remove(f);
    QVERIFY(files_in_profile().isEmpty());
}

// The abort question defaults to "OK"; the questions that guard a file
// default to "Cancel", so that Enter pressed in a hurry keeps it.
void tst_qtuiplatform::warningOkCancel_data()
{
    using Button = trezorka::rules::UiPlatform::Button;
    QTest::addColumn<int>("default_button");
    QTest::addColumn<QString>("press");
    QTest::addColumn<bool>("expected");
    QTest::newRow("OK") << int(Button::Ok) << "ok" << true;
    QTest::newRow("Cancel") << int(Button::Ok) << "cancel" << false;
    QTest::newRow("Escape") << int(Button::Ok) << "escape" << false;
    QTest::newRow("Enter takes the default") << int(Button::Ok) << "enter" << true;
    QTest::newRow("Cancel default: Enter keeps the file") << int(Button::Cancel) << "enter" << false;
    QTest::newRow("Cancel default: Escape") << int(Button::Cancel) << "escape" << false;
    QTest::newRow("Cancel default: OK clicked") << int(Button::Cancel) << "ok" << true;
}

void tst_qtuiplatform::warningOkCancel()
{
    QFETCH(int, default_button);
    QFETCH(QString, press);
    QFETCH(bool, expected);
    QtUiPlatform platform;
    QString title, text, ok_text, cancel_text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool has_parent = true;
    // The box and its buttons are gone when they are compared: their kinds.
    int shown_default = QMessageBox::NoButton;
    int shown_escape = QMessageBox::NoButton;
    when_modal<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        has_parent = box->parentWidget() != nullptr;
        shown_default = box->standardButton(box->defaultButton());
        shown_escape = box->standardButton(box->escapeButton());
        ok_text = box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->text() : QString();
        cancel_text = box->button(QMessageBox::Cancel) ? box->button(QMessageBox::Cancel)->text() : QString();
        if (press == "ok")
            box->button(QMessageBox::Ok)->click();
        else if (press == "cancel")
            box->button(QMessageBox::Cancel)->click();
        else if (press == "escape")
            QTest::keyClick(box, Qt::Key_Escape);
        else
            QTest::keyClick(box, Qt::Key_Return);
    });
    const QString question = QStringLiteral("Přeřušit probíhající proces?");
    QCOMPARE(platform.warning_ok_cancel(question.toStdU16String(),
                                        trezorka::rules::UiPlatform::Button(default_button)),
             expected);
    QCOMPARE(shown_default, int(default_button == int(trezorka::rules::UiPlatform::Button::Cancel)
                                    ? QMessageBox::Cancel
                                    : QMessageBox::Ok));
    QCOMPARE(shown_escape, int(QMessageBox::Cancel));
    QCOMPARE(title, QStringLiteral("Warning"));
    QCOMPARE(text, question);
    QCOMPARE(icon, QMessageBox::Warning);
    QVERIFY(!has_parent);
    QCOMPARE(ok_text.remove(QLatin1Char('&')), QStringLiteral("OK"));
    QCOMPARE(cancel_text.remove(QLatin1Char('&')), QStringLiteral("Cancel"));
}

void tst_qtuiplatform::message_data()
{
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("expected");
    QTest::newRow("error") << int(trezorka::rules::UiPlatform::Icon::Error) << int(QMessageBox::Critical);
    QTest::newRow("information") << int(trezorka::rules::UiPlatform::Icon::Information) << int(QMessageBox::Information);
}

void tst_qtuiplatform::message()
{
    QFETCH(int, icon);
    QFETCH(int, expected);
    QtUiPlatform platform;
    QString title, text;
    int shown_icon = -1;
    int buttons = 0;
    bool has_parent = true;
    when_modal<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        shown_icon = box->icon();
        buttons = int(box->standardButtons());
        has_parent = box->parentWidget() != nullptr;
        box->button(QMessageBox::Ok)->click();
    });
    platform.message(u"Trezorka - chyba", u"Soubor nelze zašifrovat.", trezorka::rules::UiPlatform::Icon(icon));
    QCOMPARE(title, QStringLiteral("Trezorka - chyba"));
    QCOMPARE(text, QStringLiteral("Soubor nelze zašifrovat."));
    QCOMPARE(shown_icon, expected);
    QCOMPARE(buttons, int(QMessageBox::Ok));
    QVERIFY(!has_parent);
}

void tst_qtuiplatform::openDialogLeavesNoTrace()
{
    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString wanted = work.filePath(QStringLiteral("zprava.pdf"));
    QFile f(wanted);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();

    QtUiPlatform platform;
    QStringList shown_filters;
    QString selected_filter;
    when_modal<QFileDialog>([&](QFileDialog* dialog) {
        shown_filters = dialog->nameFilters();
        selected_filter = dialog->selectedNameFilter();
        // As a user types the name and presses Enter.
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(edit);
        edit->setText(QFileInfo(wanted).fileName());
        QTest::keyClick(edit, Qt::Key_Return);
    });
    trezorka::rules::UiPlatform::FileDialogRequest request;
    request.filter = (QStringLiteral("Všechny soubory|*.*|Trezorka|*.t2k")).toStdU16String();
    request.filter_index = 2;
    request.file_name = (work.filePath(QStringLiteral("x.pdf"))).toStdU16String();
    const std::optional<QString> chosen = as_qstring(platform.open_file(request));
    QVERIFY(chosen.has_value());
    QCOMPARE(QFileInfo(*chosen).canonicalFilePath(), QFileInfo(wanted).canonicalFilePath());
    QCOMPARE(shown_filters, QStringList({"Všechny soubory (*)", "Trezorka (*.t2k)"}));
    // The filter box shows the descriptions only, as given.
    QCOMPARE(selected_filter, QStringLiteral("Trezorka"));
    QCOMPARE(files_in_profile(), QStringList());
}

// The save dialog's own questions: Qt's before overwriting a file, ours
// before creating one; "Ne" to ours goes back to the dialog.
void tst_qtuiplatform::saveAsksBeforeCreating_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("create"); // the answer to the creation question
    QTest::addColumn<bool>("chosen"); // a path comes back
    QTest::addColumn<int>("dialogs");

    QTest::newRow("existing file: only Qt's overwrite question") << true << true << true << 1;
    QTest::newRow("new file, Ano") << false << true << true << 1;
    QTest::newRow("new file, Ne: back to the dialog, then cancelled") << false << false << false << 2;
}

void tst_qtuiplatform::saveAsksBeforeCreating()
{
    QFETCH(bool, exists);
    QFETCH(bool, create);
    QFETCH(bool, chosen);
    QFETCH(int, dialogs);

    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString name = QStringLiteral("novy.t2k");
    const QString path = work.filePath(name);
    if (exists) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QString create_question = QtUiPlatform::create_question(name);

    QtUiPlatform platform;
    int dialogs_seen = 0;
    QStringList questions;
    QString yes_text;
    QString name_on_return;
    std::function<void(QFileDialog*)> on_dialog;
    std::function<void(QMessageBox*)> on_question = [&](QMessageBox* box) {
        questions << box->text();
        const bool ours = box->text() == create_question;
        if (ours)
            yes_text = box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes)->text() : QString();
        if (ours && !create) {
            when_modal<QFileDialog>(on_dialog);
            box->button(QMessageBox::No)->click();
            return;
        }
        // Qt's overwrite question comes first for an existing file; ours
        // must not follow it.
        if (!ours)
            when_modal<QMessageBox>(on_question);
        box->button(QMessageBox::Yes)->click();
    };
    on_dialog = [&](QFileDialog* dialog) {
        ++dialogs_seen;
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(edit);
        if (dialogs_seen > 1) {
            name_on_return = edit->text();
            dialog->reject();
            return;
        }
        edit->setText(name);
        when_modal<QMessageBox>(on_question);
        QMetaObject::invokeMethod(dialog, "accept");
    };
    when_modal<QFileDialog>(on_dialog);

    trezorka::rules::UiPlatform::FileDialogRequest request;
    request.filter = (QStringLiteral("Trezorka|*.t2k")).toStdU16String();
    request.file_name = (work.filePath(QStringLiteral("zprava.pdf"))).toStdU16String();
    const std::optional<QString> result = as_qstring(platform.save_file(request));

    QCOMPARE(result.has_value(), chosen);
    if (chosen)
        QCOMPARE(QFileInfo(*result).absoluteFilePath(), QFileInfo(path).absoluteFilePath());
    QCOMPARE(dialogs_seen, dialogs);
    QCOMPARE(questions.size(), 1);
    QCOMPARE(questions.constFirst() == create_question, !exists);
    if (!exists) {
        QCOMPARE(create_question, QStringLiteral("novy.t2k\nTento soubor neexistuje.\nChcete jej vytvořit?"));
        QCOMPARE(yes_text, QStringLiteral("Ano"));
    }
    if (dialogs > 1)
        QCOMPARE(name_on_return, name);
}

void tst_qtuiplatform::saveDialogLeavesNoTrace()
{
    QTemporaryDir work;
    QVERIFY(work.isValid());
    QtUiPlatform platform;
    QString initial_name;
    QString folder;
    when_modal<QFileDialog>([&](QFileDialog* dialog) {
        folder = dialog->directory().absolutePath();
        if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            initial_name = edit->text();
        dialog->reject();
    });
    trezorka::rules::UiPlatform::FileDialogRequest request;
    request.filter = (QStringLiteral("Trezorka|*.t2k")).toStdU16String();
    request.file_name = (work.filePath(QStringLiteral("zprava.pdf.t2k"))).toStdU16String();
    QVERIFY(!platform.save_file(request).has_value());
    QCOMPARE(initial_name, QStringLiteral("zprava.pdf.t2k"));
    QCOMPARE(QFileInfo(folder).canonicalFilePath(), QFileInfo(work.path()).canonicalFilePath());
    QCOMPARE(files_in_profile(), QStringList());
}

// The user's settings files lie where none can be written, both the native
// ones (Qt's file dialog asks for those) and those of the default format,
// which is a file also on Windows.
void tst_qtuiplatform::settingsGoNowhere()
{
    QtUiPlatform platform;
    QCOMPARE(QSettings::defaultFormat(), QSettings::IniFormat);
    QSettings by_default(QSettings::UserScope);
    QSettings native(QSettings::UserScope, QStringLiteral("QtProject"));
    QCOMPARE(by_default.format(), QSettings::IniFormat);
    for (QSettings* settings : {&by_default, &native}) {
        QVERIFY2(settings->fileName().startsWith(QtUiPlatform::unreachable_settings_path() + QLatin1Char('/')),
                 qPrintable(settings->fileName()));
        settings->setValue(QStringLiteral("history"), QStringLiteral("/tmp"));
        settings->sync();
        QCOMPARE(settings->status(), QSettings::AccessError);
        QVERIFY(!QFileInfo::exists(settings->fileName()));
    }
    QCOMPARE(files_in_profile(), QStringList());
}

// The file dialogs outlive every use, so the destructor that stores their
// state never runs: one of each kind, kept hidden between uses.
void tst_qtuiplatform::dialogsAreKept()
{
    QtUiPlatform platform;
    auto dialogs = [] {
        QList<QFileDialog*> found;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QFileDialog*>(w))
                found << d;
        return found;
    };
    for (int i = 0; i < 2; ++i) {
        when_modal<QFileDialog>([](QFileDialog* d) { d->reject(); });
        QVERIFY(!platform.open_file({}).has_value());
        when_modal<QFileDialog>([](QFileDialog* d) { d->reject(); });
        QVERIFY(!platform.save_file({}).has_value());
    }
    const QList<QFileDialog*> after = dialogs();
    QCOMPARE(after.size(), 2);
    for (QFileDialog* d : after)
        QVERIFY(d->isHidden());
}

// With Qt's Czech translation loaded, Qt's own dialogs speak Czech, while the
// framework's warning dialog keeps its English caption and buttons.
void tst_qtuiplatform::czechDialogsEnglishWarning_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QStringList>("buttons");
    QTest::newRow("open dialog") << "open" << QStringList{"Otevřít", "Zrušit"};
    QTest::newRow("warning") << "warning" << QStringList{"OK", "Cancel"};
}

void tst_qtuiplatform::czechDialogsEnglishWarning()
{
    QFETCH(QString, dialog);
    QFETCH(QStringList, buttons);
    QVERIFY2(QtUiPlatform::load_qt_translation(), "Qt's Czech translation (qt6-translations-l10n) is missing");
    QtUiPlatform platform;
    QStringList seen;
    QString caption;
    auto texts_of = [&seen](QWidget* w) {
        for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
            if (b->isVisible() && !b->text().isEmpty())
                seen << b->text().remove(QLatin1Char('&'));
    };
    if (dialog == "open") {
        when_modal<QFileDialog>([&](QFileDialog* d) {
            auto* box = d->findChild<QDialogButtonBox*>();
            QVERIFY(box);
            texts_of(box);
            d->reject();
        });
        QVERIFY(!platform.open_file({}).has_value());
    } else {
        when_modal<QMessageBox>([&](QMessageBox* box) {
            caption = box->windowTitle();
            texts_of(box);
            box->button(QMessageBox::Cancel)->click();
        });
        QVERIFY(!platform.warning_ok_cancel(u"Přepsat?", trezorka::rules::UiPlatform::Button::Cancel));
        QCOMPARE(caption, QStringLiteral("Warning"));
    }
    QCOMPARE(seen, buttons);
}

void tst_qtuiplatform::cleanupTestCase()
{
    QCOMPARE(files_in_profile(), QStringList());
}

int main(int argc, char* argv[])
{
    // Every place Qt could keep user settings points into an empty folder.
    QTemporaryDir dir;
    if (!dir.isValid())
        return 2;
    profile = &dir;
    qputenv("HOME", dir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (dir.path() + "/data").toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (dir.path() + "/cache").toLocal8Bit());
    qputenv("XDG_STATE_HOME", (dir.path() + "/state").toLocal8Bit());
    QApplication app(argc, argv);
    tst_qtuiplatform test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_qtuiplatform.moc"
