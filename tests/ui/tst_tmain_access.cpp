// The ways into the main window besides the mouse: files dropped on it, Enter
// in a password field, and what a screen reader is told and can press.
#include "Picture.h"
#include "ScriptedPlatform.h"
#include "SharedJob.h"
#include "Tmain.h"

#include "native_path.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString password_missing = u"Vložte prosím heslo."_s;
const QString password_mismatch = u"Hesla se neshodují, prosím opravte."_s;

const QPoint background(80, 200);
const QPoint sourceBox(300, 120);
const QPoint passwordBox(300, 215);
const QPoint exitLabel(360, 300);

struct DropResult {
    bool entered = false;
    Qt::DropAction action = Qt::IgnoreAction;
};

// A drag that ends in a drop, delivered as Qt delivers one from the window
// system: to the widget under the point, or the nearest ancestor of it that
// takes drops, and dropped only when the drag was accepted.
DropResult drop(QWidget& window, QPoint at, const QMimeData& data,
                Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, bool settle = true)
{
    QWidget* target = window.childAt(at);
    if (!target)
        target = &window;
    while (target && !target->isWindow() && !target->acceptDrops())
        target = target->parentWidget();
    DropResult result;
    if (!target || !target->acceptDrops())
        return result;
    const QPoint local = target->mapFrom(&window, at);
    QDragEnterEvent enter(local, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(target, &leave);
        return result;
    }
    result.entered = true;
    QDropEvent dropped(local, actions, &data, Qt::LeftButton, Qt::NoModifier);
    dropped.setDropAction(enter.dropAction());
    QCoreApplication::sendEvent(target, &dropped);
    result.action = dropped.isAccepted() ? dropped.dropAction() : Qt::IgnoreAction;
    // The acceptance follows once the drop is over.
    if (settle)
        QCoreApplication::processEvents();
    return result;
}

std::unique_ptr<QMimeData> uri_list(const QByteArrayList& uris)
{
    // File managers offer the addresses as plain text too.
    auto data = std::make_unique<QMimeData>();
    data->setData(u"text/uri-list"_s, uris.join("\r\n") + "\r\n");
    data->setData(u"text/plain"_s, uris.join("\n"));
    return data;
}

QAccessibleInterface* iface(QObject* o)
{
    return QAccessible::queryAccessibleInterface(o);
}

bool make_file(const std::filesystem::path& p)
{
    std::ofstream f(p, std::ios::binary);
    f << "x";
    return bool(f);
}

} // namespace

class TmainAccessTest : public QObject {
    Q_OBJECT

    SharedJob job;
    std::unique_ptr<ScriptedPlatform> platform;
    QTemporaryDir dir;

    std::unique_ptr<Tmain> window(const QString& source = {})
    {
        auto w = std::make_unique<Tmain>(job, *platform, source);
        w->stopperTimer();
        return w;
    }

    QString path(const QString& name) const { return dir.filePath(name); }
    QByteArray uri(const QString& name) const { return QUrl::fromLocalFile(path(name)).toEncoded(); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        for (const QString& name : {u"a.pdf"_s, u"b.pdf.t2k"_s, u"c.t1k"_s, u"zpráva s mezerou.pdf"_s})
            QVERIFY(make_file(trezorka::to_native_path(path(name).toStdU16String())));
        QVERIFY(QDir(dir.path()).mkdir(u"folder.t2k"_s));
    }

    void init()
    {
        job = SharedJob{};
        platform = std::make_unique<ScriptedPlatform>();
    }

    // ---- drop ----

    void dropFile_data()
    {
        QTest::addColumn<QStringList>("names"); // a name with "//" is taken as it stands
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<bool>("entered");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("encrypt");
        QTest::addColumn<int>("warnings");

        QTest::newRow("plain file on the background")
            << QStringList{u"a.pdf"_s} << background << true << u"a.pdf"_s << u"a.pdf.t2k"_s << true << 0;
        QTest::newRow("encrypted file on the source field")
            << QStringList{u"b.pdf.t2k"_s} << sourceBox << true << u"b.pdf.t2k"_s << u"b.pdf"_s << false << 0;
        QTest::newRow("on the password field, not typed into it")
            << QStringList{u"a.pdf"_s} << passwordBox << true << u"a.pdf"_s << u"a.pdf.t2k"_s << true << 0;
        QTest::newRow("on a command") << QStringList{u"zpráva s mezerou.pdf"_s} << exitLabel << true
                                      << u"zpráva s mezerou.pdf"_s << u"zpráva s mezerou.pdf.t2k"_s << true << 0;
        QTest::newRow("old format is refused with the warning")
            << QStringList{u"c.t1k"_s} << background << true << QString() << QString() << true << 1;
        QTest::newRow("two files: the first only")
            << QStringList{u"b.pdf.t2k"_s, u"a.pdf"_s} << background << true << u"b.pdf.t2k"_s << u"b.pdf"_s
            << false << 0;
        QTest::newRow("a folder is passed over") << QStringList{u"folder.t2k"_s, u"a.pdf"_s} << background << true
                                                 << u"a.pdf"_s << u"a.pdf.t2k"_s << true << 0;
        QTest::newRow("a folder alone is not taken")
            << QStringList{u"folder.t2k"_s} << background << false << QString() << QString() << true << 0;
        QTest::newRow("web address") << QStringList{u"https://example.org/a.pdf"_s} << background << false
                                     << QString() << QString() << true << 0;
        QTest::newRow("file on another computer") << QStringList{u"file://elsewhere.example/tmp/a.pdf"_s}
                                                  << background << false << QString() << QString() << true << 0;
    }

    void dropFile()
    {
        QFETCH(QStringList, names);
        QFETCH(QPoint, at);
        QFETCH(bool, entered);
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(bool, encrypt);
        QFETCH(int, warnings);

        auto w = window();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->selectfile_act->show();
        QByteArrayList uris;
        for (const QString& n : names)
            uris << (n.contains(u"//"_s) ? n.toUtf8() : uri(n));
        const auto data = uri_list(uris);

        const DropResult r = drop(*w, at, *data);

        QCOMPARE(r.entered, entered);
        QCOMPARE(platform->warnings.size(), warnings);
        QVERIFY(w->pw->text().isEmpty());
        if (!entered || warnings) {
            QCOMPARE(w->filetocrypt->text(), warnings ? QString() : qs(trezorka::rules::texts::source_prompt));
            QVERIFY(w->finalfile->text().isEmpty());
            QVERIFY(!w->crypt->isEnabled());
            QVERIFY(!w->decrypt->isEnabled());
            QVERIFY(!w->selectfile_act->isHidden());
            return;
        }
        QCOMPARE(r.action, Qt::CopyAction);
        QCOMPARE(w->filetocrypt->text(), path(source));
        QCOMPARE(w->finalfile->text(), path(target));
        QCOMPARE(w->crypt->isEnabled(), encrypt);
        QCOMPARE(w->cryptlabel->isEnabled(), encrypt);
        QCOMPARE(w->decryptlabel->isEnabled(), !encrypt);
        QCOMPARE(w->pwagain->isEnabled(), encrypt);
        QVERIFY(w->savetochose_label->isEnabled());
        QCOMPARE((encrypt ? w->cryptblink : w->decryptblink)->isActive(), true);
        QVERIFY(w->stopper->isActive());
        // As the command line has it: the open dialog starts there, the highlight is gone.
        QCOMPARE(qs(w->filechosedialog.file_name), path(source));
        QVERIFY(w->selectfile_act->isHidden());
        QCOMPARE(qs(job.job_ext), encrypt ? u".pdf"_s : u".t2k"_s);
    }

    // Text dragged into a password field is typed there, as before.
    void textDragStaysTheFields()
    {
        auto w = window();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QMimeData text;
        text.setText(u"heslo"_s);
        QVERIFY(drop(*w, passwordBox, text).entered);
        QCOMPARE(w->pw->text(), u"heslo"_s);
        QCOMPARE(w->filetocrypt->text(), qs(trezorka::rules::texts::source_prompt));
    }

#ifndef _WIN32
    // The name's bytes reach the target as they were, not replaced.
    void dropKeepsBytesThatAreNotUtf8()
    {
        const QByteArray folder = QFile::encodeName(dir.path());
        const std::string name = std::string(folder.constData()) + "/\xff" "a\xe9.pdf";
        QVERIFY(make_file(std::filesystem::path(name)));
        // QTemporaryDir cannot name it to remove it.
        struct Remove {
            std::filesystem::path p;
            ~Remove() { std::filesystem::remove(p); }
        } remove{name};
        auto w = window();
        const auto data = uri_list({"file://" + folder.toPercentEncoding("/") + "/%FFa%E9.pdf"});

        const DropResult r = drop(*w, background, *data);

        QVERIFY(r.entered);
        QCOMPARE(trezorka::native_bytes_from_utf16(w->filetocrypt->text().toStdU16String()), name);
        QCOMPARE(trezorka::native_bytes_from_utf16(w->finalfile->text().toStdU16String()), name + ".t2k");
        QVERIFY(w->crypt->isEnabled());
    }
#endif

    void dropIsNeverAMove_data()
    {
        QTest::addColumn<int>("offered");
        QTest::addColumn<bool>("entered");
        QTest::addColumn<int>("action");
        QTest::newRow("copy or move") << int(Qt::CopyAction | Qt::MoveAction) << true << int(Qt::CopyAction);
        QTest::newRow("link or move") << int(Qt::LinkAction | Qt::MoveAction) << true << int(Qt::LinkAction);
        QTest::newRow("move only") << int(Qt::MoveAction) << false << int(Qt::IgnoreAction);
    }

    void dropIsNeverAMove()
    {
        QFETCH(int, offered);
        QFETCH(bool, entered);
        QFETCH(int, action);
        auto w = window();
        const auto data = uri_list({uri(u"a.pdf"_s)});
        const DropResult r = drop(*w, background, *data, Qt::DropActions(offered));
        QCOMPARE(r.entered, entered);
        QCOMPARE(int(r.action), action);
    }

    // While the rules take no input, the drag is refused: the file manager
    // shows it cannot be dropped here.
    void dragRefusedWhileBusy()
    {
        auto w = window(path(u"b.pdf.t2k"_s));
        job.job_busy = u"true";
        const auto data = uri_list({uri(u"a.pdf"_s)});

        const DropResult r = drop(*w, sourceBox, *data);

        QVERIFY(!r.entered);
        QCOMPARE(w->filetocrypt->text(), path(u"b.pdf.t2k"_s));
    }

    // A job that starts between the drop and its acceptance wins.
    void jobStartingAfterTheDropWins()
    {
        auto w = window();
        const auto data = uri_list({uri(u"a.pdf"_s)});
        QVERIFY(drop(*w, background, *data, Qt::CopyAction, false).entered);
        job.job_busy = u"true";
        QCoreApplication::processEvents();
        QCOMPARE(w->filetocrypt->text(), qs(trezorka::rules::texts::source_prompt));
    }

    // ---- Enter ----

    void enter_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("messages");

        // What Enter does is the rules'; here, which keys reach it.
        QTest::newRow("Return in the password")
            << u"a.pdf"_s << u"pw"_s << QString() << int(Qt::Key_Return) << QStringList{password_missing};
        QTest::newRow("keypad Enter in the confirmation")
            << u"a.pdf"_s << u"pwagain"_s << u"tajne"_s << int(Qt::Key_Enter) << QStringList{password_mismatch};
        QTest::newRow("decrypt: the greyed confirmation takes no keys")
            << u"b.pdf.t2k"_s << u"pwagain"_s << QString() << int(Qt::Key_Return) << QStringList{};
        QTest::newRow("another key") << u"a.pdf"_s << u"pw"_s << QString() << int(Qt::Key_Space) << QStringList{};
    }

    void enter()
    {
        QFETCH(QString, source);
        QFETCH(QString, field);
        QFETCH(QString, password);
        QFETCH(int, key);
        QFETCH(QStringList, messages);

        auto w = window(source.isEmpty() ? QString() : path(source));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->pw->setText(password);
        QLineEdit* edit = field == u"pw"_s ? w->pw : w->pwagain;
        QTest::keyClick(edit, Qt::Key(key));

        QStringList texts;
        for (const auto& m : platform->messages)
            texts << m.text;
        QCOMPARE(texts, messages);
        QVERIFY(platform->okCancelWarnings.isEmpty());
        QCOMPARE(qs(job.job_busy), QString());
    }

    // ---- screen readers ----

    void commands_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("effect");

        QTest::newRow("encrypt") << u"cryptlabel"_s << u"a.pdf"_s << u"Zašifrovat"_s << true << u"message"_s;
        QTest::newRow("encrypt before a source") << u"cryptlabel"_s << QString() << u"Zašifrovat"_s << false
                                                 << QString();
        QTest::newRow("decrypt") << u"decryptlabel"_s << u"b.pdf.t2k"_s << u"Odšifrovat"_s << true
                                 << u"message"_s;
        QTest::newRow("decrypt in encrypt mode")
            << u"decryptlabel"_s << u"a.pdf"_s << u"Odšifrovat"_s << false << QString();
        QTest::newRow("choose source") << u"chosefilelabel"_s << QString() << u"Vyber..."_s << true << u"open"_s;
        QTest::newRow("choose target") << u"savetochose_label"_s << u"a.pdf"_s << u"Vyber umístění"_s << true
                                       << u"save"_s;
        QTest::newRow("choose target before a source")
            << u"savetochose_label"_s << QString() << u"Vyber umístění"_s << false << QString();
        // Pressing it would end the test program; its action is checked, not run.
        QTest::newRow("exit") << u"offlabel"_s << QString() << u"Ukončit"_s << true << u"-"_s;
    }

    void commands()
    {
        QFETCH(QString, control);
        QFETCH(QString, source);
        QFETCH(QString, name);
        QFETCH(bool, enabled);
        QFETCH(QString, effect);

        auto w = window(source.isEmpty() ? QString() : path(source));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        auto* label = w->findChild<QLabel*>(control);
        QVERIFY(label);
        QAccessibleInterface* a = iface(label);
        QVERIFY(a);
        QCOMPARE(a->role(), QAccessible::Button);
        QCOMPARE(a->text(QAccessible::Name), name);
        QVERIFY(!a->text(QAccessible::Description).isEmpty());
        QCOMPARE(a->state().disabled, !enabled);
        QAccessibleActionInterface* actions = a->actionInterface();
        QVERIFY(actions);
        QCOMPARE(actions->actionNames().value(0), QAccessibleActionInterface::pressAction());
        if (effect == u"-"_s)
            return;

        actions->doAction(QAccessibleActionInterface::pressAction());
        QCoreApplication::processEvents();
        QStringList seen;
        for (const auto& m : platform->messages)
            seen << m.text;
        if (!platform->openAsked.isEmpty())
            seen << u"open"_s;
        if (!platform->saveAsked.isEmpty())
            seen << u"save"_s;
        const QStringList expected = effect.isEmpty() ? QStringList{}
            : effect == u"message"_s                   ? QStringList{password_missing}
                                                       : QStringList{effect};
        QCOMPARE(seen, expected);
    }

    // One button per command, the decorations left out, the rest in stacking order.
    void windowChildren()
    {
        auto w = window(path(u"a.pdf"_s));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QAccessibleInterface* a = iface(w.get());
        QVERIFY(a);
        QStringList buttons;
        QSet<QObject*> listed;
        for (int i = 0; i < a->childCount(); ++i) {
            QAccessibleInterface* c = a->child(i);
            QVERIFY(c);
            QCOMPARE(a->indexOfChild(c), i);
            QCOMPARE(c->parent()->object(), w.get());
            listed.insert(c->object());
            if (c->role() == QAccessible::Button)
                buttons << c->text(QAccessible::Name);
        }
        QCOMPARE(buttons, (QStringList{u"Zašifrovat"_s, u"Odšifrovat"_s, u"Vyber..."_s, u"Vyber umístění"_s,
                                       u"Ukončit"_s}));
        for (QWidget* bar : {static_cast<QWidget*>(w->crypt), static_cast<QWidget*>(w->crypt_act),
                             static_cast<QWidget*>(w->off), static_cast<QWidget*>(w->Image1)})
            QVERIFY(!listed.contains(bar));
        for (QWidget* kept : {static_cast<QWidget*>(w->pw), static_cast<QWidget*>(w->pwok),
                              static_cast<QWidget*>(w->Label6)})
            QVERIFY(listed.contains(kept));
        QCOMPARE(a->childCount(), w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size() - 13);

        // The bar's whole area finds its command, past the label's own letters.
        const QPoint barOnly = w->mapToGlobal(QPoint(70, 300));
        QAccessibleInterface* hit = a->childAt(barOnly.x(), barOnly.y());
        QVERIFY(hit);
        QCOMPARE(hit->object(), w->cryptlabel);
    }

    void link()
    {
        auto w = window();
        QAccessibleInterface* a = iface(w->Label6);
        QCOMPARE(a->role(), QAccessible::Link);
        QCOMPARE(a->text(QAccessible::Name), w->Label6->text());
        QVERIFY(!a->text(QAccessible::Name).isEmpty());
        a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCoreApplication::processEvents();
        QCOMPARE(platform->urls.size(), 1);
    }

    void fields_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("label");
        QTest::newRow("source") << u"filetocrypt"_s << u"Zdrojový soubor"_s << u"Label1"_s;
        QTest::newRow("target") << u"finalfile"_s << u"Cílový soubor"_s << u"Label2"_s;
        QTest::newRow("password") << u"pw"_s << u"Heslo"_s << u"Label4"_s;
        QTest::newRow("confirmation") << u"pwagain"_s << u"Heslo znova"_s << u"pwagainlabel"_s;
    }

    void fields()
    {
        QFETCH(QString, field);
        QFETCH(QString, name);
        QFETCH(QString, label);
        auto w = window();
        QAccessibleInterface* a = iface(w->findChild<QLineEdit*>(field));
        QVERIFY(a);
        QCOMPARE(a->text(QAccessible::Name), name);
        const auto labelled = a->relations(QAccessible::Label);
        QCOMPARE(labelled.size(), 1);
        QCOMPARE(labelled.first().first->object()->objectName(), label);
    }

    // The marks are graphics with their names; a hidden one is not announced,
    // so the field says what the shown one says (the rules' described()).
    void marks()
    {
        auto w = window();
        const QList<std::pair<Picture*, QString>> names{{w->pwok, u"Heslo zadáno"_s},
                                                        {w->pwerr, u"Heslo chybí"_s},
                                                        {w->pwagainok, u"Hesla se shodují"_s},
                                                        {w->pwagainerr, u"Hesla se neshodují"_s}};
        for (const auto& [mark, name] : names) {
            QCOMPARE(iface(mark)->text(QAccessible::Name), name);
            QCOMPARE(iface(mark)->role(), QAccessible::Graphic);
        }
        auto described = [&] {
            return QStringList{iface(w->pw)->text(QAccessible::Description),
                               iface(w->pwagain)->text(QAccessible::Description)};
        };
        QCOMPARE(described(), (QStringList{QString(), QString()}));
        w->pw->setText(u"a"_s);
        QCOMPARE(described(), (QStringList{u"Heslo zadáno"_s, u"Hesla se neshodují"_s}));
        w->pwagain->setText(u"a"_s);
        QCOMPARE(described(), (QStringList{u"Heslo zadáno"_s, u"Hesla se shodují"_s}));
    }
};

QTEST_MAIN(TmainAccessTest)
#include "tst_tmain_access.moc"
