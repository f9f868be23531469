// The progress dialog: its controls, the hourglass rhythm, the ways its modal
// showing may and may not end, and the abort that ends the process.

#include "ApplicationWindows.h"
#include "DesktopWindows.h"
#include "SharedJob.h"
#include "TStatus_show.h"
#include "TStatus_show_rules.h"
#include "UiPlatform.h"
#include "sifra.h"
#include "pending_file.h"
#include "Picture.h"
#include "ScriptedPlatform.h"
#include "Style.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using test_util::listing;

namespace {

// The application as the dialog sees it: records what it is asked; the end
// of the process is the real one.
class Application : public trezorka::rules::StatusPort {
public:
    int minimised = 0;
    std::function<void()> on_restore;
    void minimise_application() override { ++minimised; }
    void restore_application() override
    {
        if (on_restore)
            on_restore();
    }
    void end_process() override { trezorka::rules::abort_process(0); }
    void progress_showing() override {}
};

// The application's windows as the program has them over `main`: the rules'
// and the Qt face's port, with no events of their own.
struct Placing : trezorka::rules::ApplicationEvents {
    DesktopWindows* desktop;
    ScriptedPlatform platform;
    trezorka::rules::ApplicationWindows application;
    explicit Placing(QWidget* main) : desktop(new DesktopWindows(main)), application(*desktop, platform, *this)
    {
        desktop->attach(application);
    }
    void ApplicationEvents1Minimize() override {}
    void ApplicationEvents1Restore() override {}
    bool busy() const override { return false; }
};

// Starts the worker with its close request queued to the dialog, as the main window does.
std::unique_ptr<sifra> start_worker(SharedJob& job, TStatus_show& dialog)
{
    auto worker = std::make_unique<sifra>(
        job, [&dialog] { QMetaObject::invokeMethod(&dialog, &TStatus_show::close_request, Qt::QueuedConnection); });
    worker->start();
    return worker;
}

const QString abort_question = QStringLiteral("Přeřušit probíhající proces a ponechat cílový soubor v nekonzistentním stavu?");

// Runs `act` after `ms` from the event loop that is running then.
void after(int ms, std::function<void()> act)
{
    QTimer::singleShot(ms, qApp, std::move(act));
}

// Shows the dialog modally and returns how long the showing lasted; a guard
// ends a showing that would never end, and reports it.
qint64 timed_exec(TStatus_show& dialog, bool* guard_fired = nullptr)
{
    bool fired = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &dialog, [&] {
        fired = true;
        dialog.done(QDialog::Rejected);
    });
    guard.start(8000);
    QElapsedTimer clock;
    clock.start();
    dialog.exec();
    if (guard_fired)
        *guard_fired = fired;
    return clock.elapsed();
}

} // namespace

class tst_status_show : public QObject {
    Q_OBJECT
private slots:
    void controls();
    void window();
    void stacking();
    void tabOrder();
    void texts_data();
    void texts();
    void hourglassBlinksWhileHidden();
    void closeRequestBeforeShowing_data();
    void closeRequestBeforeShowing();
    void keyboardCannotClose_data();
    void keyboardCannotClose();
    void closeRequestWaitsForAnswer();
    void cancelLeavesJobRunning();
    void realJob_data();
    void realJob();
    void firstShowingCentred_data();
    void firstShowingCentred();
    void laterShowingsKeepPosition();
    void minimiseButton();
    void abortEndsProcess();
};

// Built as its layout says, in its stacking order.
void tst_status_show::controls()
{
    ScriptedPlatform platform;
    Application application;
    TStatus_show dialog(platform, application);
    QStringList stacking;
    for (QObject* child : dialog.children())
        if (child->isWidgetType())
            stacking << child->objectName();
    QStringList names;
    for (const trezorka::rules::ControlLayout& c : trezorka::rules::status_layout()) {
        const QString name = QString::fromLatin1(c.name.data(), qsizetype(c.name.size()));
        names << name;
        QWidget* w = dialog.findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(w->pos(), QPoint(c.rect.x, c.rect.y));
        if (c.rect.width > 0)
            QCOMPARE(w->size(), QSize(c.rect.width, c.rect.height));
        QCOMPARE(w->font().family(), QStringLiteral("Tahoma"));
        QCOMPARE(w->font().pixelSize(), c.font.pixels);
        QCOMPARE(w->font().bold(), c.font.bold);
        if (auto* label = qobject_cast<QLabel*>(w)) {
            QCOMPARE(label->text(), qs(c.text));
            QVERIFY(!label->autoFillBackground());
            // Sized to its text.
            if (!c.text.empty())
                QCOMPARE(label->size(), label->sizeHint());
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            QCOMPARE(button->text(), qs(c.text));
            QVERIFY(!button->isDefault());
            QVERIFY(!button->autoDefault());
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            QCOMPARE(edit->isReadOnly(), c.read_only);
        } else {
            QVERIFY(qobject_cast<Picture*>(w));
            QCOMPARE(static_cast<Picture*>(w)->art(), QString::fromLatin1(c.picture.data(), qsizetype(c.picture.size())));
            QCOMPARE(w->focusPolicy(), Qt::NoFocus);
        }
    }
    QCOMPARE(stacking, names);
}

void tst_status_show::window()
{
    ScriptedPlatform platform;
    Application application;
    TStatus_show dialog(platform, application);
    QCOMPARE(dialog.objectName(), QStringLiteral("Status_show"));
    QVERIFY(dialog.isHidden());
    QCOMPARE(dialog.minimumSize(), QSize(508, 149));
    QCOMPARE(dialog.maximumSize(), QSize(508, 149));
    QCOMPARE(dialog.palette().color(QPalette::Window), QColor(0xE8, 0xE8, 0xE8));
    QVERIFY(dialog.autoFillBackground());
    QCOMPARE(dialog.font().family(), QStringLiteral("Tahoma"));
    QCOMPARE(dialog.font().pixelSize(), 11);
    QVERIFY(!dialog.font().bold());
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    for (Qt::WindowType button : {Qt::WindowSystemMenuHint, Qt::WindowCloseButtonHint, Qt::WindowMinimizeButtonHint,
                                  Qt::WindowMaximizeButtonHint, Qt::WindowContextHelpButtonHint})
        QVERIFY(!flags.testFlag(button));
    QCOMPARE(dialog.Timer1->objectName(), QStringLiteral("Timer1"));
}

// Later pictures and labels lie above earlier ones; edits and buttons above all.
void tst_status_show::stacking()
{
    ScriptedPlatform platform;
    Application application;
    TStatus_show dialog(platform, application);
    // Where the hourglass overlaps the right-hand panel, the hourglass is on top;
    // where the edit box overlaps the left-hand panel, the edit box is.
    dialog.hoursimage->setVisible(true);
    QCOMPARE(dialog.childAt(450, 60), dialog.hoursimage);
    QCOMPARE(dialog.childAt(80, 50), dialog.fromfile);
    QCOMPARE(dialog.childAt(450, 130), dialog.Image1);
    QCOMPARE(dialog.childAt(20, 130), dialog.Image2);
}

void tst_status_show::tabOrder()
{
    ScriptedPlatform platform;
    Application application;
    TStatus_show dialog(platform, application);
    QList<QWidget*> chain;
    QWidget* w = dialog.fromfile;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            chain << w;
        w = w->nextInFocusChain();
    } while (w != dialog.fromfile);
    QCOMPARE(chain, QList<QWidget*>({dialog.fromfile, dialog.tofile, dialog.Button1, dialog.Button2}));
}

void tst_status_show::texts_data()
{
    QTest::addColumn<QString>("status");
    QTest::newRow("encrypting") << QStringLiteral("Šifrování dle hesla (SHA RC4).");
    QTest::newRow("decrypting") << QStringLiteral("Dešifrování dle hesla (SHA RC4).");
    QTest::newRow("no capital accent") << QStringLiteral("Probíhá šifrování souboru..");
}

void tst_status_show::texts()
{
    QFETCH(QString, status);
    ScriptedPlatform platform;
    Application application;
    TStatus_show dialog(platform, application);
    const QString long_path = QStringLiteral("/domů/uživatel/dokumenty/velmi/dlouhá/cesta/k/souboru/zpráva.pdf");
    dialog.set_texts(QStringLiteral("Šifrování"), status, long_path, long_path + QStringLiteral(".t2k"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Šifrování"));
    QLabel* label = dialog.statusinfo;
    QCOMPARE(label->text(), status);
    // Placed at (38, 16) and sized to the text, with room above for the
    // accents of capitals: every inked pixel of the text lies inside the
    // label, and its line stays where a label at (38, 16) puts it.
    const QFontMetrics metrics(label->font());
    const QRect ink = metrics.tightBoundingRect(status);
    const int baseline = 16 + metrics.ascent();
    QCOMPARE(label->x(), 38);
    QVERIFY2(label->y() <= baseline + ink.top(), qPrintable(QStringLiteral("%1 > %2").arg(label->y()).arg(baseline + ink.top())));
    QVERIFY(label->y() <= 16);
    QCOMPARE(label->geometry().bottom(), 16 + label->sizeHint().height() - 1);
    QCOMPARE(label->width(), label->sizeHint().width());
    QVERIFY(label->alignment().testFlag(Qt::AlignBottom));
    QCOMPARE(dialog.fromfile->text(), long_path);
    QCOMPARE(dialog.tofile->text(), long_path + QStringLiteral(".t2k"));
    // The start of a long path is what is seen.
    QCOMPARE(dialog.fromfile->cursorPosition(), 0);
}

// One second on, one second off, from creation, whether shown or not.
void tst_status_show::hourglassBlinksWhileHidden()
{
    ScriptedPlatform platform;
    Application application;
    TStatus_show dialog(platform, application);
    QVERIFY(dialog.Timer1->isActive());
    QCOMPARE(dialog.Timer1->interval(), 1000);
    QList<bool> hidden;
    QList<qint64> at;
    QElapsedTimer clock;
    clock.start();
    connect(dialog.Timer1, &QTimer::timeout, this, [&] {
        hidden << dialog.hoursimage->isHidden();
        at << clock.elapsed();
    });
    const bool start = dialog.hoursimage->isHidden();
    QTRY_VERIFY_WITH_TIMEOUT(hidden.size() >= 3, 4500);
    QVERIFY(dialog.isHidden());
    QCOMPARE(hidden.at(0), !start);
    QCOMPARE(hidden.at(1), start);
    QCOMPARE(hidden.at(2), !start);
    QVERIFY2(qAbs(at.at(2) - at.at(1) - 1000) < 200, qPrintable(QString::number(at.at(2) - at.at(1))));
}

// The worker may finish before the command has entered the modal showing.
void tst_status_show::closeRequestBeforeShowing_data()
{
    QTest::addColumn<bool>("handled_before");
    QTest::newRow("request handled before exec") << true;
    QTest::newRow("request still queued at exec") << false;
}

void tst_status_show::closeRequestBeforeShowing()
{
    QFETCH(bool, handled_before);
    ScriptedPlatform platform;
    Application application;
    TStatus_show dialog(platform, application);
    QMetaObject::invokeMethod(&dialog, &TStatus_show::close_request, Qt::QueuedConnection);
    if (handled_before)
        QCoreApplication::processEvents();
    bool guard_fired = false;
    const qint64 ms = timed_exec(dialog, &guard_fired);
    QVERIFY(!guard_fired);
    QVERIFY2(ms < 300, qPrintable(QString::number(ms)));
    QVERIFY(dialog.isHidden());

    // Used up: the next showing lasts until its own request.
    after(600, [&] { dialog.close_request(); });
    const qint64 next = timed_exec(dialog, &guard_fired);
    QVERIFY(!guard_fired);
    QVERIFY2(next >= 550, qPrintable(QString::number(next)));
}

void tst_status_show::keyboardCannotClose_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Escape") << int(Qt::Key_Escape) << int(Qt::NoModifier);
    QTest::newRow("Enter") << int(Qt::Key_Return) << int(Qt::NoModifier);
    QTest::newRow("Alt+F4") << int(Qt::Key_F4) << int(Qt::AltModifier);
}

void tst_status_show::keyboardCannotClose()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    ScriptedPlatform platform;
    Application application;
    TStatus_show dialog(platform, application);
    bool visible_after_keys = false;
    bool visible_after_close = false;
    after(200, [&] {
        QTest::keyClick(&dialog, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTest::keyClick(dialog.fromfile, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    });
    after(400, [&] {
        visible_after_keys = dialog.isVisible();
        dialog.close(); // what a window manager's close asks for
    });
    after(600, [&] {
        visible_after_close = dialog.isVisible();
        dialog.close_request();
    });
    bool guard_fired = false;
    timed_exec(dialog, &guard_fired);
    QVERIFY(!guard_fired);
    QVERIFY(visible_after_keys);
    QVERIFY(visible_after_close);
    QVERIFY(platform.okCancelWarnings.isEmpty());
}

// A job that ends while the abort question is open: the showing goes on until
// the question is answered, then ends at once on "Cancel".
void tst_status_show::closeRequestWaitsForAnswer()
{
    ScriptedPlatform platform;
    Application application;
    TStatus_show dialog(platform, application);
    bool visible_at_answer = false;
    QElapsedTimer clock;
    qint64 answered_at = 0;
    platform.answerOkCancel = [&] {
        QEventLoop question; // the message box's own loop
        after(200, [&] { QMetaObject::invokeMethod(&dialog, &TStatus_show::close_request, Qt::QueuedConnection); });
        after(700, [&] { question.quit(); });
        question.exec();
        visible_at_answer = dialog.isVisible();
        answered_at = clock.elapsed();
        return false;
    };
    after(100, [&] { dialog.Button1->click(); });
    bool guard_fired = false;
    clock.start();
    const qint64 ended = timed_exec(dialog, &guard_fired);
    QVERIFY(!guard_fired);
    QCOMPARE(platform.okCancelWarnings, QStringList{abort_question});
    QVERIFY(visible_at_answer);
    QVERIFY2(ended >= answered_at && ended - answered_at < 300,
             qPrintable(QStringLiteral("%1 %2").arg(answered_at).arg(ended)));
}

void tst_status_show::cancelLeavesJobRunning()
{
    ScriptedPlatform platform;
    platform.okCancelAnswer = false;
    Application application;
    TStatus_show dialog(platform, application);
    bool visible_after_cancel = false;
    after(100, [&] { dialog.Button1->click(); });
    after(300, [&] {
        visible_after_cancel = dialog.isVisible();
        dialog.close_request();
    });
    bool guard_fired = false;
    timed_exec(dialog, &guard_fired);
    QVERIFY(!guard_fired);
    QCOMPARE(platform.okCancelWarnings.size(), 1);
    QVERIFY(visible_after_cancel);
}

// The dialog and a real worker: the showing lasts the pause and ends by
// itself, with job_failed already set when it has failed.
void tst_status_show::realJob_data()
{
    QTest::addColumn<bool>("target_folder_exists");
    QTest::newRow("success") << true;
    QTest::newRow("target folder missing") << false;
}

void tst_status_show::realJob()
{
    QFETCH(bool, target_folder_exists);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile source(dir.filePath(QStringLiteral("zprava.txt")));
    QVERIFY(source.open(QIODevice::WriteOnly));
    source.write(QByteArray(10000, 'a'));
    source.close();

    ScriptedPlatform platform;
    Application application;
    TStatus_show dialog(platform, application);
    SharedJob job;
    job.job_source = source.fileName().toStdU16String();
    job.job_target = (target_folder_exists ? dir.filePath(QStringLiteral("zprava.txt.t2k"))
                                           : dir.filePath(QStringLiteral("chybi/zprava.txt.t2k")))
                         .toStdU16String();
    job.set_password(u"heslo", 5);
    dialog.set_texts(QStringLiteral("Šifrování"), QStringLiteral("Probíhá šifrování.."),
                     QString::fromStdU16String(job.job_source), QString::fromStdU16String(job.job_target));
    QElapsedTimer clock;
    clock.start();
    const auto worker = start_worker(job, dialog);
    bool guard_fired = false;
    timed_exec(dialog, &guard_fired);
    const qint64 ms = clock.elapsed();
    QVERIFY(!guard_fired);
    QCOMPARE(job.job_failed, !target_folder_exists);
    QVERIFY(job.password().empty());
    QVERIFY2(ms >= 800 && ms < 2000, qPrintable(QString::number(ms)));
    QCOMPARE(listing(dir.path()), target_folder_exists ? QStringList({"zprava.txt", "zprava.txt.t2k"})
                                                       : QStringList({"zprava.txt"}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void tst_status_show::firstShowingCentred_data()
{
    QTest::addColumn<QPoint>("main_at");
    QTest::addColumn<bool>("clamped");
    QTest::newRow("inside the work area") << QPoint(100, 80) << false;
    QTest::newRow("past the top-left corner") << QPoint(-400, -300) << true;
}

void tst_status_show::firstShowingCentred()
{
    QFETCH(QPoint, main_at);
    QFETCH(bool, clamped);
    QWidget main;
    main.setGeometry(QRect(main_at, QSize(555, 341)));
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    Placing placing(&main);
    TStatus_show dialog(placing.platform, placing.application, &main);
    placing.desktop->set_dialog(&dialog);
    QPoint shown_at;
    after(100, [&] {
        shown_at = dialog.pos();
        dialog.close_request();
    });
    timed_exec(dialog);
    const QRect area = main.screen()->availableGeometry();
    if (clamped) {
        QCOMPARE(shown_at, area.topLeft());
    } else {
        const QPoint centre = main.frameGeometry().center();
        QVERIFY2(qAbs(shown_at.x() + 254 - centre.x()) <= 2 && qAbs(shown_at.y() + 74 - centre.y()) <= 2,
                 qPrintable(QStringLiteral("%1,%2").arg(shown_at.x()).arg(shown_at.y())));
    }
}

void tst_status_show::laterShowingsKeepPosition()
{
    QWidget main;
    main.setGeometry(100, 80, 555, 341);
    main.show();
    Placing placing(&main);
    TStatus_show dialog(placing.platform, placing.application, &main);
    placing.desktop->set_dialog(&dialog);
    after(100, [&] {
        dialog.move(40, 30); // the user drags it
        dialog.close_request();
    });
    timed_exec(dialog);
    main.move(200, 200);
    QPoint second_at;
    after(100, [&] {
        second_at = dialog.pos();
        dialog.close_request();
    });
    timed_exec(dialog);
    QCOMPARE(second_at, QPoint(40, 30));
}

// The button asks the application to minimise itself, once, and minimises
// nothing by itself: one way to minimise, whoever listens.
void tst_status_show::minimiseButton()
{
    QWidget main;
    main.resize(555, 341);
    main.show();
    ScriptedPlatform platform;
    Application application;
    TStatus_show dialog(platform, application, &main);
    bool main_minimised = true;
    after(100, [&] {
        dialog.Button2->click();
        main_minimised = main.isMinimized();
        dialog.close_request();
    });
    timed_exec(dialog);
    QCOMPARE(application.minimised, 1);
    QVERIFY(!main_minimised);
    QVERIFY(platform.okCancelWarnings.isEmpty());
}

// "OK" ends the process at once with status 0, restoring the application
// first and taking the job's temporary file with it. Run in a child process.
void tst_status_show::abortEndsProcess()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--abort-child"), dir.path()});
    QVERIFY(child.waitForFinished(20000));
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    // The child saw its temporary file while the job ran, was asked the
    // question, restored the application, and never got past the abort.
    QCOMPARE(out, QStringLiteral("temporary file seen\nasked\nrestored\n"));
    QCOMPARE(listing(dir.path()), QStringList({"zdroj"}));
}

namespace {

void say(const char* line)
{
    // The process ends with _Exit, which flushes nothing.
    (void)!::write(STDOUT_FILENO, line, std::strlen(line));
}

// Whether this process holds open a file in `folder` that has no name yet
// (a temporary file made with O_TMPFILE: "folder/#inode (deleted)").
bool holds_nameless_file(const QString& folder)
{
    const QString prefix = QFileInfo(folder).canonicalFilePath() + QStringLiteral("/#");
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : fds.entryList(QDir::Files | QDir::System))
        if (QFile::symLinkTarget(fds.filePath(fd)).startsWith(prefix))
            return true;
    return false;
}

// A job on a source far too big to finish soon (sparse, so it costs no
// disk), so it stays mid-way with its temporary file until the user aborts.
int abort_child(const QString& folder)
{
    const QString source = folder + QStringLiteral("/zdroj");
    const int fd = ::open(QFile::encodeName(source).constData(), O_WRONLY | O_CREAT, 0600);
    if (fd < 0 || ::ftruncate(fd, off_t(64) << 30) != 0)
        return 3;
    ::close(fd);
    ScriptedPlatform platform;
    Application application;
    application.on_restore = [] { say("restored\n"); };
    TStatus_show dialog(platform, application);
    platform.answerOkCancel = [] {
        say("asked\n");
        return true;
    };
    SharedJob job;
    job.job_source = source.toStdU16String();
    job.job_target = (folder + QStringLiteral("/cil.t2k")).toStdU16String();
    job.set_password(u"heslo", 5);
    const auto worker = start_worker(job, dialog);

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&] {
        if (listing(folder).size() < 2 && !holds_nameless_file(folder))
            return;
        poll.stop();
        say("temporary file seen\n");
        dialog.Button1->click();
        say("still running\n");
    });
    poll.start(20);
    QTimer::singleShot(10000, &dialog, [] { std::_Exit(5); });
    dialog.exec();
    return 6;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The fonts the program uses, where they are installed: their accents
    // are what the status line must make room for.
    trezorka::ui::register_tahoma();
    if (argc == 3 && qstrcmp(argv[1], "--abort-child") == 0)
        return abort_child(QString::fromLocal8Bit(argv[2]));
    tst_status_show test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_status_show.moc"
