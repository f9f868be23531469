// The windows' rules with no display: a fake view and a scripted port stand
// for the face, real files and the real worker for the job.

#include "FakeFaces.h"
#include "stream_job.h"
#include "window_texts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace texts = trezorka::rules::texts;
using trezorka::rules::TmainRules;

namespace {

struct Rig {
    QTemporaryDir dir;
    SharedJob job;
    FakeView view;
    ScriptedPort port;
    TmainRules rules{job, view, port, port, {}};

    QString path(const QString& name) const { return dir.filePath(name); }
    void write(const QString& name, qint64 size)
    {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray bytes(int(std::min<qint64>(size, 4096)), 'x');
        f.write(bytes);
        QVERIFY(f.resize(size));
    }
    void type(Control field, const QString& text)
    {
        view.set_text(field, text.toStdU16String());
        field == Control::pw ? rules.pwChange() : rules.pwagainChange();
    }
    QStringList without_progress_details() const
    {
        QStringList out;
        for (const QString& c : port.calls)
            out << (c.startsWith("progress ") ? c.section(u'|', 0, 0) : c);
        return out;
    }
};

QString success(const texts::CommandTexts& t, const QString& target)
{
    return "info " + qs(texts::success_title) + u'|' + qs(t.success) + target + u'.';
}

} // namespace

class tst_tmain_rules : public QObject {
    Q_OBJECT
private slots:
    void acceptSource_data();
    void acceptSource();
    void blinkKeepsSchedule();
    void hover_data();
    void hover();
    void command_data();
    void command();
    void commandWaitsForWorker();
    void failureSaysWhy_data();
    void failureSaysWhy();
    void namesInMessages_data();
    void namesInMessages();
    void wrongPassword_data();
    void wrongPassword();
    void largeFile_data();
    void largeFile();
    void applicationMinimised_data();
    void applicationMinimised();
    void abortQuestion_data();
    void abortQuestion();
    void foreignLinkTarget();
};

// Accepting a source decides the mode, the confirmation field and the target.
void tst_tmain_rules::acceptSource_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("encrypt");
    QTest::addColumn<bool>("decrypt");
    QTest::addColumn<QString>("shown_source");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("plain file") << "/d/report.pdf" << true << false << "/d/report.pdf" << "/d/report.pdf.t2k"
                                << QStringList{};
    QTest::newRow("no extension") << "/d/README" << true << false << "/d/README" << "/d/README.t2k" << QStringList{};
    QTest::newRow("encrypted file") << "/d/report.pdf.t2k" << false << true << "/d/report.pdf.t2k" << "/d/report.pdf"
                                    << QStringList{};
    QTest::newRow("old format refused")
        << "/d/old.t1k" << false << false << "" << "" << QStringList{"warning " + qs(texts::old_format_warning)};
}

void tst_tmain_rules::acceptSource()
{
    QFETCH(QString, source);
    QFETCH(bool, encrypt);
    QFETCH(bool, decrypt);
    QFETCH(QString, shown_source);
    QFETCH(QString, target);
    QFETCH(QStringList, calls);
    Rig r;
    r.view.set_shown(Control::selectfile_act, true);
    r.rules.accept_argument(source.toStdU16String());

    QCOMPARE(r.port.calls, calls);
    QCOMPARE(qs(r.view.text(Control::filetocrypt)), shown_source);
    QCOMPARE(qs(r.view.text(Control::finalfile)), target);
    const bool accepted = encrypt || decrypt;
    for (Control c : {Control::crypt, Control::crypt_act, Control::cryptlabel})
        QCOMPARE(r.view.enabled(c), encrypt);
    for (Control c : {Control::decrypt, Control::decrypt_act, Control::decryptlabel})
        QCOMPARE(r.view.enabled(c), decrypt);
    for (Control c : {Control::savetochose, Control::savetochose_act, Control::savetochose_label})
        QCOMPARE(r.view.enabled(c), accepted);
    // The confirmation is asked only when encrypting; while decrypting it is greyed.
    QCOMPARE(r.view.enabled(Control::pwagain), !decrypt);
    QCOMPARE(r.view.at(Control::pwagain).unused_look, decrypt);
    QCOMPARE(r.view.timer_running(Timer::cryptblink), encrypt);
    QCOMPARE(r.view.timer_running(Timer::decryptblink), decrypt);
    QCOMPARE(r.view.timer_running(Timer::stopper), accepted);
    QCOMPARE(r.view.shown(Control::selectfile_act), !accepted);
    QCOMPARE(qs(r.rules.filechosedialog.file_name), source);
}

// Starting a running timer would restart it: a second source keeps the rhythm.
void tst_tmain_rules::blinkKeepsSchedule()
{
    Rig r;
    r.rules.accept_argument(u"/d/a.pdf");
    r.rules.accept_argument(u"/d/b.pdf");
    QCOMPARE(r.view.starts[Timer::cryptblink], 1);
    QCOMPARE(r.view.starts[Timer::stopper], 1);
    r.rules.accept_argument(u"/d/b.pdf.t2k");
    QVERIFY(!r.view.timer_running(Timer::cryptblink));
    QCOMPARE(r.view.starts[Timer::decryptblink], 1);
    r.rules.stopperTimer();
    QVERIFY(!r.view.timer_running(Timer::decryptblink));
    QVERIFY(!r.view.timer_running(Timer::stopper));
    QVERIFY(!r.view.shown(Control::decrypt_act));
}

// The event goes to the topmost shown and enabled control, else the window.
void tst_tmain_rules::hover_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("lit");
    QTest::newRow("background") << "" << QPoint(80, 200) << "" << "";
    QTest::newRow("hidden highlight passed over") << "" << QPoint(330, 300) << "off" << "off_act";
    QTest::newRow("disabled label and bars passed over") << "" << QPoint(100, 300) << "" << "";
    QTest::newRow("enabled label on top") << "/a/b" << QPoint(100, 300) << "cryptlabel" << "crypt_act";
    QTest::newRow("select button over the panel") << "" << QPoint(465, 120) << "selectfile" << "selectfile_act";
    QTest::newRow("edit box over the button") << "" << QPoint(400, 120) << "filetocrypt" << "";
}

void tst_tmain_rules::hover()
{
    QFETCH(QString, source);
    QFETCH(QPoint, point);
    QFETCH(QString, target);
    QFETCH(QString, lit);
    Rig r;
    if (!source.isEmpty())
        r.rules.accept_argument(source.toStdU16String());
    r.rules.stopperTimer();
    std::vector<trezorka::rules::HitBox> boxes;
    for (const auto& c : trezorka::rules::main_layout()) {
        const auto& state = r.view.controls[std::size_t(&c - trezorka::rules::main_layout().data())];
        boxes.push_back({c.rect, state.shown, state.enabled});
    }
    const int found = trezorka::rules::hover_target(boxes, point.x(), point.y());
    QCOMPARE(found < 0 ? QString() : QString::fromLatin1(trezorka::rules::main_layout()[std::size_t(found)].name),
             target);
    r.rules.mouse_moved(boxes, point.x(), point.y());
    QStringList shown_acts;
    for (const auto& c : trezorka::rules::main_layout())
        if (c.name.ends_with("_act") && r.view.controls[std::size_t(&c - trezorka::rules::main_layout().data())].shown)
            shown_acts << QString::fromLatin1(c.name);
    QCOMPARE(shown_acts, lit.isEmpty() ? QStringList() : QStringList{lit});
}

// The command's steps: refusals before anything changes, the question before
// a proposed target is replaced, then the job and its report.
void tst_tmain_rules::command_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("pw");
    QTest::addColumn<QString>("pwagain");
    QTest::addColumn<bool>("target_exists");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QStringList>("calls"); // "job" stands for the job's calls
    const QString missing = "error " + qs(texts::error_title) + u'|' + qs(texts::password_missing);
    const QString mismatch = "error " + qs(texts::error_title) + u'|' + qs(texts::password_mismatch);
    const QString question = "question, Cancel default: " + qs(texts::overwrite_question);
    QTest::newRow("no password") << "a.txt" << "" << "" << false << true << QStringList{missing};
    QTest::newRow("passwords differ") << "a.txt" << "x" << "y" << false << true << QStringList{mismatch};
    QTest::newRow("no password, target there: no question")
        << "a.txt" << "" << "" << true << true << QStringList{missing};
    QTest::newRow("encrypt") << "a.txt" << "heslo" << "heslo" << false << true << QStringList{"job"};
    // (The source is no real encryption of a text: the password seems wrong.)
    QTest::newRow("decrypt needs no confirmation")
        << "a.txt.t2k" << "heslo" << "" << false << true
        << QStringList{"question, Cancel default: " + qs(texts::wrong_password_question), "job"};
    QTest::newRow("target there, Cancel") << "a.txt" << "heslo" << "heslo" << true << false
                                          << QStringList{question};
    QTest::newRow("target there, OK") << "a.txt" << "heslo" << "heslo" << true << true
                                      << QStringList{question, "job"};
}

void tst_tmain_rules::command()
{
    QFETCH(QString, source);
    QFETCH(QString, pw);
    QFETCH(QString, pwagain);
    QFETCH(bool, target_exists);
    QFETCH(bool, answer);
    QFETCH(QStringList, calls);
    Rig r;
    QVERIFY(r.dir.isValid());
    const bool encrypt = !source.endsWith(".t2k");
    const QString target = r.path(encrypt ? source + ".t2k" : source.chopped(4));
    r.write(source, 1000);
    if (target_exists)
        r.write(QFileInfo(target).fileName(), 7);
    r.rules.accept_argument(r.path(source).toStdU16String());
    r.type(Control::pw, pw);
    r.type(Control::pwagain, pwagain);
    r.port.ok_cancel = answer;
    r.port.calls.clear();

    encrypt ? r.rules.crypt_actClick() : r.rules.decryptlabelClick();

    QStringList expected;
    const texts::CommandTexts& t = encrypt ? texts::encrypting : texts::decrypting;
    for (const QString& c : calls) {
        if (c != "job") {
            expected << c;
            continue;
        }
        expected << "disable" << "progress " + qs(t.caption) << "show window" << "restore application"
                 << success(t, target) << "enable" << "show window";
    }
    QCOMPARE(r.without_progress_details(), expected);
    const bool ran = calls.contains("job");
    QCOMPARE(QFileInfo::exists(target), ran || target_exists);
    if (ran || target_exists)
        QCOMPARE(QFileInfo(target).size(), ran ? 1000 : 7);
    QCOMPARE(qs(r.job.job_busy), ran ? "false" : "");
    QVERIFY(r.job.password().empty());
    if (ran)
        QCOMPARE(qs(r.view.tray_hint), qs(t.hint));
}

// A showing that ends before the worker's close request (a quit from outside)
// must not leave the job record to a worker still running: the command waits.
void tst_tmain_rules::commandWaitsForWorker()
{
    Rig r;
    r.write("big.bin", 3'000'000);
    r.rules.accept_argument(r.path("big.bin").toStdU16String());
    r.type(Control::pw, "p");
    r.type(Control::pwagain, "p");
    r.port.during_progress = [] {};
    r.rules.crypt_actClick();
    QCOMPARE(r.port.close_requests, 1);
    QCOMPARE(QFileInfo(r.path("big.bin.t2k")).size(), 3'000'000);
    QVERIFY(r.port.calls.contains(success(texts::encrypting, r.path("big.bin.t2k"))));
}

// A failed job says what went wrong and with which file under the window's
// two lines, as the tool does; the next job starts with a clean record.
void tst_tmain_rules::failureSaysWhy_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("cause"); // %1: the source's path
    QTest::newRow("source missing") << "neni.txt" << "nelze otevřít zdroj: %1: soubor nebo složka neexistuje";
    QTest::newRow("source is a folder") << "slozka" << "zdroj je složka: %1";
}

void tst_tmain_rules::failureSaysWhy()
{
    QFETCH(QString, source);
    QFETCH(QString, cause);
    Rig r;
    QVERIFY(r.dir.isValid());
    if (source == "slozka")
        QVERIFY(QDir(r.dir.path()).mkdir(source));
    r.rules.accept_argument(r.path(source).toStdU16String());
    r.type(Control::pw, "heslo");
    r.type(Control::pwagain, "heslo");
    r.rules.crypt_actClick();
    const QString failure = "error " + qs(texts::error_title) + u'|' + qs(texts::encrypting.failure);
    QCOMPARE(r.port.calls.filter("error ").value(0), failure + "\r\n" + cause.arg(r.path(source)));
    QVERIFY(!r.job.job_failed);
    QVERIFY(r.job.job_cause.empty());

    QVERIFY(QDir(r.dir.path()).rmdir(source) || !QFileInfo::exists(r.path(source)));
    r.write(source, 10);
    r.port.calls.clear();
    r.rules.crypt_actClick();
    QCOMPARE(r.port.calls.filter("error ").size(), 0);
    QCOMPARE(r.port.calls.filter("info ").value(0), success(texts::encrypting, r.path(source + ".t2k")));
}

// A name is shown as the tool prints it: a character that turns the text
// around or a control character must not make the message lie.
void tst_tmain_rules::namesInMessages_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown"); // the target's name in the message
    QTest::newRow("plain Czech name") << qs(u"zpráva 1.pdf") << qs(u"zpráva 1.pdf.t2k");
    QTest::newRow("right-to-left override") << qs(u"invoice\u202Efdp.exe") << qs(u"invoice\\u202efdp.exe.t2k");
    QTest::newRow("line break") << qs(u"a\nSoubor uložen do: b") << qs(u"a\\x0aSoubor uložen do: b.t2k");
    QTest::newRow("escape sequence") << qs(u"\x1b[2Jx") << qs(u"\\x1b[2Jx.t2k");
    QTest::newRow("C1 control") << qs(u"c\u009Bd") << qs(u"c\\u009bd.t2k");
}

void tst_tmain_rules::namesInMessages()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    Rig r;
    QVERIFY(r.dir.isValid());
    QVERIFY(QDir().mkdir(r.path("d")));
    r.write("d/" + name, 100);
    r.rules.accept_argument(r.path("d/" + name).toStdU16String());
    r.type(Control::pw, "heslo");
    r.type(Control::pwagain, "heslo");
    r.rules.crypt_actClick();
    QVERIFY(QFileInfo::exists(r.path("d/" + name + ".t2k")));
    QCOMPARE(r.port.calls.filter("info ").value(0), success(texts::encrypting, r.path("d/") + shown));
}

// A password that turns a PDF's start into anything but "%PDF-" is
// probably wrong: asked after the password checks and before the overwrite
// question; "Cancel" writes nothing and goes back to the password.
void tst_tmain_rules::wrongPassword_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("ran");
    QTest::newRow("right password: no question") << "správné" << false << false << true;
    QTest::newRow("wrong password, Cancel") << "chybné" << false << true << false;
    QTest::newRow("wrong password, OK") << "chybné" << true << true << true;
}

void tst_tmain_rules::wrongPassword()
{
    QFETCH(QString, password);
    QFETCH(bool, answer);
    QFETCH(bool, asked);
    QFETCH(bool, ran);
    Rig r;
    {
        QFile plain(r.path("zprava.pdf"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        QByteArray body("%PDF-1.4\n");
        while (body.size() < 20000)
            body += "1 0 obj << /Type /Page >> endobj\n";
        plain.write(body);
    }
    trezorka::StreamJob encrypt;
    encrypt.source = trezorka::Endpoint::file(r.path("zprava.pdf").toStdString());
    encrypt.target = trezorka::Endpoint::file(r.path("zprava.pdf.t2k").toStdString());
    trezorka::run_stream_job(encrypt, u"správné");
    QVERIFY(QFile::remove(r.path("zprava.pdf")));

    r.rules.accept_argument(r.path("zprava.pdf.t2k").toStdU16String());
    r.type(Control::pw, password);
    r.port.ok_cancel = answer;
    r.port.calls.clear();
    r.rules.decryptlabelClick();

    const QString question = "question, Cancel default: " + qs(texts::wrong_password_question);
    QCOMPARE(r.port.calls.value(0) == question, asked);
    QCOMPARE(r.port.calls.contains("disable"), ran);
    QCOMPARE(QFileInfo::exists(r.path("zprava.pdf")), ran);
    QCOMPARE(r.view.focused, ran || !asked ? -1 : int(Control::pw));
    QVERIFY(r.job.password().empty());
}

void tst_tmain_rules::largeFile_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("minimised");
    QTest::newRow("8,000,000 bytes") << qint64(8'000'000) << false;
    QTest::newRow("8,000,001 bytes") << qint64(8'000'001) << true;
}

// A large source sends the application away before the window is disabled.
void tst_tmain_rules::largeFile()
{
    QFETCH(qint64, size);
    QFETCH(bool, minimised);
    Rig r;
    r.write("f.bin", size);
    r.rules.accept_argument(r.path("f.bin").toStdU16String());
    r.type(Control::pw, "p");
    r.type(Control::pwagain, "p");
    r.port.calls.clear();
    r.rules.crypt_actClick();
    QCOMPARE(r.port.calls.value(0), minimised ? "minimise application" : "disable");
}

void tst_tmain_rules::applicationMinimised_data()
{
    QTest::addColumn<bool>("busy");
    QTest::addColumn<bool>("tray");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<bool>("icon");
    QTest::newRow("idle: an ordinary minimise") << false << true << QStringList{} << false;
    QTest::newRow("busy: to the tray") << true << true << QStringList{"minimise progress", "hide for tray"} << true;
    QTest::newRow("busy, no notification area") << true << false << QStringList{"minimise progress"} << false;
}

// Minimised while a job runs, the application goes to the tray with its
// balloon; restored, it comes back with the dialog before the window.
void tst_tmain_rules::applicationMinimised()
{
    QFETCH(bool, busy);
    QFETCH(bool, tray);
    QFETCH(QStringList, calls);
    QFETCH(bool, icon);
    Rig r;
    r.port.tray = tray;
    r.job.job_busy = busy ? u"true" : u"false";
    r.rules.ApplicationEvents1Minimize();
    QCOMPARE(r.port.calls, calls);
    QCOMPARE(r.view.tray_shown, icon);
    QCOMPARE(r.view.balloons, icon ? QStringList{"Trezorka|Trezorka"} : QStringList{});
    r.port.calls.clear();
    r.rules.ApplicationEvents1Restore();
    QCOMPARE(r.port.calls, (QStringList{"restore progress", "show from tray", "front"}));
    QVERIFY(!r.view.tray_shown);
}

namespace {

class FakeStatus : public trezorka::rules::StatusView, public trezorka::rules::StatusPort {
public:
    QStringList calls;
    bool showing_now = true;
    bool shown(trezorka::rules::StatusControl) const override { return true; }
    void set_shown(trezorka::rules::StatusControl, bool) override {}
    bool showing() const override { return showing_now; }
    void end_showing() override
    {
        calls << "end showing";
        showing_now = false;
    }
    void minimise_application() override { calls << "minimise application"; }
    void restore_application() override { calls << "restore application"; }
    void end_process() override { calls << "end process"; }
};

} // namespace

// The abort question holds back a close request that arrives while it is open;
// "OK" restores the application and ends the process, whatever came meanwhile.
void tst_tmain_rules::abortQuestion_data()
{
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("Cancel") << false << QStringList{"asked", "end showing"};
    QTest::newRow("OK") << true << QStringList{"asked", "restore application", "end process"};
}

void tst_tmain_rules::abortQuestion()
{
    QFETCH(bool, answer);
    QFETCH(QStringList, calls);
    FakeStatus status;
    // The worker's request comes while the question is open.
    class RequestingPort : public ScriptedPort {
    public:
        std::function<void()> meanwhile;
        QStringList* log = nullptr;
        bool warning_ok_cancel(std::u16string_view text, Button default_button) override
        {
            *log << "asked";
            meanwhile();
            return ScriptedPort::warning_ok_cancel(text, default_button);
        }
    } asking;
    asking.ok_cancel = answer;
    asking.log = &status.calls;
    trezorka::rules::TStatus_showRules held(status, status, asking);
    asking.meanwhile = [&] { held.close_request(); };
    held.Button1Click();
    QCOMPARE(status.calls, calls);
    QCOMPARE(asking.calls, QStringList{"question " + qs(texts::abort_question)});
}

// A target that is another user's link in a shared sticky folder is refused
// with a message before the password is used or any question asked.
void tst_tmain_rules::foreignLinkTarget()
{
    if (::geteuid() != 0)
        QSKIP("only root can make a link owned by another user");
    Rig r;
    QVERIFY(QDir(r.dir.path()).mkdir("shared"));
    const QByteArray shared = QFile::encodeName(r.path("shared"));
    QCOMPARE(::chmod(shared.constData(), 01777), 0);
    r.write("victim", 5);
    r.write("shared/a.txt", 1000);
    const QByteArray link = QFile::encodeName(r.path("shared/a.txt.t2k"));
    QCOMPARE(::symlink("../victim", link.constData()), 0);
    QCOMPARE(::lchown(link.constData(), 65533, 65533), 0);
    r.rules.accept_argument(r.path("shared/a.txt").toStdU16String());
    r.type(Control::pw, "heslo");
    r.type(Control::pwagain, "heslo");
    r.port.calls.clear();
    r.rules.crypt_actClick();
    QCOMPARE(r.port.calls.size(), 1);
    QVERIFY2(r.port.calls[0].startsWith("error " + qs(texts::error_title) + u'|'
                                        + QStringLiteral("Cíl nelze použít: cíl je symbolický odkaz jiného uživatele")),
             qPrintable(r.port.calls[0]));
    QCOMPARE(QFileInfo(r.path("victim")).size(), 5);
    QVERIFY(r.job.password().empty());
}

QTEST_GUILESS_MAIN(tst_tmain_rules)

#include "tst_tmain_rules.moc"
