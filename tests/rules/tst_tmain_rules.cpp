// The windows' rules with no display: a fake view, port and desktop and a
// scripted platform stand for the face, real files and the real worker for
// the job. What holds here holds for both faces.

#include "FakeFaces.h"
#include "stream_job.h"
#include "window_texts.h"

#include <QDir>
#include <QFile>
#include <QPoint>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace texts = trezorka::rules::texts;
using trezorka::rules::AppState;
using trezorka::rules::TmainRules;

using Points = QList<QPoint>;
Q_DECLARE_METATYPE(Points)

namespace {

struct Rig {
    QTemporaryDir dir;
    SharedJob job;
    FakeView view;
    ScriptedPlatform platform;
    FakePort port{platform.calls};
    FakeDesktop desktop{platform.calls};
    TmainRules rules;

    explicit Rig(const QString& first_argument = {})
        : rules(job, view, port, desktop, platform, first_argument.toStdU16String())
    {
        platform.abilities.late_reports = false;
        desktop.application = &rules.application();
    }

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
    // A source chosen in the open dialog.
    void pick(const QString& source)
    {
        platform.openAnswers << source;
        rules.chosefilelabelClick();
    }
    QString text(Control c) const { return qs(view.text(c)); }
    QStringList lit() const
    {
        QStringList out;
        for (const TmainRules::Command& c : TmainRules::commands())
            if (c.highlight && view.shown(*c.highlight))
                out << QString::fromLatin1(trezorka::rules::layout_of(*c.highlight).name);
        return out;
    }
    QStringList marks() const
    {
        QStringList out;
        for (Control c : {Control::pwok, Control::pwerr, Control::pwagainok, Control::pwagainerr})
            if (view.shown(c))
                out << QString::fromLatin1(trezorka::rules::layout_of(c).name);
        return out;
    }
    QStringList without_progress_details() const
    {
        QStringList out;
        for (const QString& c : platform.calls)
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
    void commandLine_data();
    void commandLine();
    void oldFormatKeepsTheWindow();
    void blinkKeepsSchedule();
    void hover_data();
    void hover();
    void highlight_data();
    void highlight();
    void clicks_data();
    void clicks();
    void marks_data();
    void marks();
    void workedExamples_data();
    void workedExamples();
    void cancelledDialogsChangeNothing();
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
    void enterAndDrop_data();
    void enterAndDrop();
    void applicationWindows_data();
    void applicationWindows();
    void firstPlaces_data();
    void firstPlaces();
    void fields();
    void abortQuestion_data();
    void abortQuestion();
    void foreignLinkTarget();
};

// A source from the command line (or a drop, which takes it the same way)
// decides the mode, the confirmation field and the target.
void tst_tmain_rules::commandLine_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("encrypt");
    QTest::addColumn<bool>("decrypt");
    QTest::addColumn<QString>("shown_source");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("calls");
    const QString prompt = qs(texts::source_prompt);
    QTest::newRow("none") << "" << false << false << prompt << "" << QStringList{};
    QTest::newRow("plain file") << "/d/report.pdf" << true << false << "/d/report.pdf" << "/d/report.pdf.t2k"
                                << QStringList{};
    QTest::newRow("no extension") << "/d/README" << true << false << "/d/README" << "/d/README.t2k" << QStringList{};
    QTest::newRow("relative path kept") << "report.pdf" << true << false << "report.pdf" << "report.pdf.t2k"
                                        << QStringList{};
    QTest::newRow("upper-case T2K is plain") << "/d/x.T2K" << true << false << "/d/x.T2K" << "/d/x.T2K.t2k"
                                             << QStringList{};
    QTest::newRow("dot in folder only") << "/build.old/readme" << true << false << "/build.old/readme"
                                        << "/build.old/readme.t2k" << QStringList{};
    QTest::newRow("encrypted file") << "/d/report.pdf.t2k" << false << true << "/d/report.pdf.t2k" << "/d/report.pdf"
                                    << QStringList{};
    QTest::newRow("old format refused")
        << "/d/old.t1k" << false << false << "" << "" << QStringList{"warning " + qs(texts::old_format_warning)};
}

void tst_tmain_rules::commandLine()
{
    QFETCH(QString, argument);
    QFETCH(bool, encrypt);
    QFETCH(bool, decrypt);
    QFETCH(QString, shown_source);
    QFETCH(QString, target);
    QFETCH(QStringList, calls);
    Rig r(argument);
    r.view.set_shown(Control::selectfile_act, true);
    r.rules.FormCreate();

    QCOMPARE(r.platform.calls, calls);
    QCOMPARE(r.text(Control::filetocrypt), shown_source);
    QCOMPARE(r.text(Control::finalfile), target);
    const bool accepted = encrypt || decrypt;
    for (Control c : {Control::crypt, Control::crypt_act, Control::cryptlabel})
        QCOMPARE(r.view.enabled(c), encrypt);
    for (Control c : {Control::decrypt, Control::decrypt_act, Control::decryptlabel})
        QCOMPARE(r.view.enabled(c), decrypt);
    for (Control c : {Control::savetochose, Control::savetochose_act, Control::savetochose_label})
        QCOMPARE(r.view.enabled(c), accepted);
    QVERIFY(r.view.enabled(Control::selectfile));
    QVERIFY(r.view.enabled(Control::off));
    // The confirmation is asked only when encrypting; while decrypting it is greyed.
    QCOMPARE(r.view.enabled(Control::pwagain), !decrypt);
    QCOMPARE(r.view.enabled(Control::pwagainlabel), !decrypt);
    QCOMPARE(r.view.at(Control::pwagain).unused_look, decrypt);
    QCOMPARE(r.view.timer_running(Timer::cryptblink), encrypt);
    QCOMPARE(r.view.timer_running(Timer::decryptblink), decrypt);
    QCOMPARE(r.view.timer_running(Timer::stopper), accepted);
    QCOMPARE(r.view.shown(Control::selectfile_act), !accepted);
    // The open dialog starts at the argument, even a refused one.
    QCOMPARE(qs(r.rules.filechosedialog.file_name), argument);
    QCOMPARE(r.rules.filechosedialog.filter_index, 1);
    QCOMPARE(qs(r.rules.filechosedialog.filter), qs(texts::open_filter));
    QCOMPARE(qs(r.rules.saveto.filter), qs(texts::save_filter));
}

// A refused old-format source leaves the window as it was, but for the source
// field; the refusal cuts the command short.
void tst_tmain_rules::oldFormatKeepsTheWindow()
{
    Rig r;
    r.pick("/data/report.pdf");
    r.type(Control::pw, "x");
    r.rules.stopperTimer();
    r.view.set_shown(Control::selectfile_act, true);
    r.pick("/data/old.t1k");
    QCOMPARE(r.platform.warnings, QStringList{qs(texts::old_format_warning)});
    QCOMPARE(qs(texts::old_format_warning),
             QString("VAROVÁNÍ: starší format šifrovaného souboru (*.t1k) není v této verzi podporován."));
    QCOMPARE(r.text(Control::filetocrypt), QString());
    QCOMPARE(qs(r.job.job_ext), ".t1k");
    QCOMPARE(r.text(Control::finalfile), "/data/report.pdf.t2k");
    QVERIFY(r.view.enabled(Control::crypt));
    QVERIFY(r.view.shown(Control::selectfile_act));
    QVERIFY(!r.view.timer_running(Timer::stopper));
    QCOMPARE(r.marks(), (QStringList{"pwok", "pwagainerr"}));
}

// Starting a running timer would restart it: a second source keeps the rhythm.
void tst_tmain_rules::blinkKeepsSchedule()
{
    Rig r;
    r.rules.accept_argument(u"/d/a.pdf");
    r.rules.accept_argument(u"/d/b.pdf");
    QCOMPARE(r.view.starts[Timer::cryptblink], 1);
    QCOMPARE(r.view.starts[Timer::stopper], 1);
    r.rules.cryptblinkTimer();
    QCOMPARE(r.lit(), QStringList{"crypt_act"});
    r.rules.accept_argument(u"/d/b.pdf.t2k");
    QVERIFY(!r.view.timer_running(Timer::cryptblink));
    QCOMPARE(r.view.starts[Timer::decryptblink], 1);
    r.rules.decryptblinkTimer();
    // The first highlight stays as the mode switch froze it.
    QCOMPARE(r.lit(), (QStringList{"crypt_act", "decrypt_act"}));
    r.rules.stopperTimer();
    QVERIFY(!r.view.timer_running(Timer::decryptblink));
    QVERIFY(!r.view.timer_running(Timer::stopper));
    QCOMPARE(r.lit(), QStringList{});
}

// The event goes to the topmost shown and enabled control, else the window.
void tst_tmain_rules::hover_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QString>("target");
    QTest::newRow("background") << "" << QPoint(80, 200) << "";
    QTest::newRow("hidden highlight passed over") << "" << QPoint(330, 300) << "off";
    QTest::newRow("disabled label and bars passed over") << "" << QPoint(100, 300) << "";
    QTest::newRow("enabled label on top") << "/a/b" << QPoint(100, 300) << "cryptlabel";
    QTest::newRow("select button over the panel") << "" << QPoint(465, 120) << "selectfile";
    QTest::newRow("edit box over the button") << "" << QPoint(400, 120) << "filetocrypt";
    QTest::newRow("label over decoration") << "" << QPoint(104, 95) << "Label1";
}

void tst_tmain_rules::hover()
{
    QFETCH(QString, source);
    QFETCH(QPoint, point);
    QFETCH(QString, target);
    Rig r;
    if (!source.isEmpty())
        r.rules.accept_argument(source.toStdU16String());
    r.rules.stopperTimer();
    const int found = trezorka::rules::hover_target(r.view.boxes(), point.x(), point.y());
    QCOMPARE(found < 0 ? QString() : QString::fromLatin1(trezorka::rules::main_layout()[std::size_t(found)].name),
             target);
}

// The highlight a pointer's path leaves lit.
void tst_tmain_rules::highlight_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<Points>("moves");
    QTest::addColumn<QStringList>("lit");

    const QPoint background(80, 200), image3(520, 100), logo(100, 40);
    const QPoint selectfileBar(440, 128), chooseLabel(420, 120), sourceBox(300, 120), overlap(400, 120);
    const QPoint targetBar(500, 175), targetBox(300, 170), targetOverlap(400, 170);
    const QPoint encryptBar(70, 300), encryptLabel(100, 300), gapEncryptDecrypt(196, 300);
    const QPoint decryptBar(205, 300), gapDecryptExit(323, 300), exitBar(330, 300), exitLabel(360, 300);

    QTest::newRow("exit lights") << "" << Points{exitBar} << QStringList{"off_act"};
    QTest::newRow("exit label lights, highlight stays lit while resting on it")
        << "" << Points{exitLabel, exitBar, QPoint(440, 316)} << QStringList{"off_act"};
    QTest::newRow("background puts the light out") << "" << Points{exitBar, background} << QStringList{};
    QTest::newRow("right panel counts as background") << "" << Points{chooseLabel, image3} << QStringList{};
    QTest::newRow("logo is another control") << "" << Points{chooseLabel, logo} << QStringList{"selectfile_act"};
    QTest::newRow("disabled encrypt never lights") << "" << Points{encryptBar, encryptLabel} << QStringList{};
    QTest::newRow("disabled encrypt counts as background") << "" << Points{exitBar, encryptLabel} << QStringList{};
    QTest::newRow("disabled select-target counts as background")
        << "" << Points{selectfileBar, targetBar} << QStringList{};
    QTest::newRow("source box overlaps select button by one column")
        << "" << Points{selectfileBar, overlap, sourceBox} << QStringList{"selectfile_act"};
    QTest::newRow("source box then background")
        << "" << Points{selectfileBar, overlap, sourceBox, QPoint(300, 140)} << QStringList{};
    QTest::newRow("target box overlaps select-target button by one column")
        << "/data/report.pdf" << Points{targetBar, targetOverlap, targetBox} << QStringList{"savetochose_act"};
    QTest::newRow("encrypt lights in encrypt mode") << "/data/report.pdf" << Points{encryptLabel}
                                                    << QStringList{"crypt_act"};
    QTest::newRow("gap between encrypt and decrypt is background")
        << "/data/report.pdf" << Points{encryptBar, gapEncryptDecrypt} << QStringList{};
    QTest::newRow("decrypt disabled in encrypt mode")
        << "/data/report.pdf" << Points{encryptBar, decryptBar} << QStringList{};
    QTest::newRow("decrypt lights in decrypt mode") << "/data/report.pdf.t2k" << Points{decryptBar}
                                                    << QStringList{"decrypt_act"};
    QTest::newRow("gap between decrypt and exit is background")
        << "/data/report.pdf.t2k" << Points{decryptBar, gapDecryptExit} << QStringList{};
    QTest::newRow("decrypt to exit crosses the gap")
        << "/data/report.pdf.t2k" << Points{decryptBar, gapDecryptExit, exitBar} << QStringList{"off_act"};
    QTest::newRow("straight from decrypt to exit leaves decrypt lit")
        << "/data/report.pdf.t2k" << Points{decryptBar, exitBar} << QStringList{"decrypt_act", "off_act"};
}

void tst_tmain_rules::highlight()
{
    QFETCH(QString, source);
    QFETCH(Points, moves);
    QFETCH(QStringList, lit);
    Rig r;
    if (!source.isEmpty())
        r.pick(source);
    r.rules.stopperTimer();
    r.rules.FormMouseMove();
    QCOMPARE(r.lit(), QStringList());
    for (const QPoint& p : moves)
        r.rules.mouse_moved(r.view.boxes(), p.x(), p.y());
    QCOMPARE(r.lit(), lit);
}

// A click runs the command of the control it reaches: its label, its bar or
// its highlight.
void tst_tmain_rules::clicks_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QString>("call");
    QTest::newRow("select label") << "" << QPoint(420, 120) << "open";
    QTest::newRow("select bar") << "" << QPoint(462, 128) << "open";
    QTest::newRow("select highlight") << "lit" << QPoint(462, 128) << "open";
    QTest::newRow("select-target disabled") << "" << QPoint(500, 175) << "";
    QTest::newRow("select-target bar") << "/a/b" << QPoint(510, 175) << "save";
    QTest::newRow("select-target label") << "/a/b" << QPoint(420, 168) << "save";
    QTest::newRow("link") << "" << QPoint(12, 330) << "url";
    QTest::newRow("exit label") << "" << QPoint(360, 300) << "quit";
    QTest::newRow("source box") << "" << QPoint(300, 120) << "";
    QTest::newRow("background") << "" << QPoint(80, 200) << "";
}

void tst_tmain_rules::clicks()
{
    QFETCH(QString, source);
    QFETCH(QPoint, point);
    QFETCH(QString, call);
    Rig r;
    if (source == "lit")
        r.rules.selectfileMouseMove();
    else if (!source.isEmpty())
        r.rules.accept_argument(source.toStdU16String());
    r.rules.stopperTimer();
    r.platform.calls.clear();
    r.rules.clicked(r.view.boxes(), point.x(), point.y());
    QCOMPARE(r.platform.calls.size(), call.isEmpty() ? 0 : 1);
    if (!call.isEmpty())
        QVERIFY2(r.platform.calls.first().startsWith(call), qPrintable(r.platform.calls.first()));
    if (call == "url")
        QVERIFY(r.platform.urls.first().startsWith("http"));
    // The select-source command puts its highlight out, also when cancelled.
    if (call == "open")
        QVERIFY(!r.view.shown(Control::selectfile_act));
}

// The password marks: each rule applied as a unit, the confirmation only
// while encrypting.
void tst_tmain_rules::marks_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("steps"); // "pw=text", "again=text" or "pick=path"
    QTest::addColumn<QStringList>("marks");

    QTest::newRow("untouched") << "" << QStringList{} << QStringList{};
    QTest::newRow("one character at start") << "" << QStringList{"pw=a"} << QStringList{"pwok", "pwagainerr"};
    QTest::newRow("last character deleted") << "" << QStringList{"pw=a", "pw="} << QStringList{"pwerr", "pwagainerr"};
    QTest::newRow("same text twice") << "/a/b.pdf" << QStringList{"pw=Heslo", "again=Heslo"}
                                     << QStringList{"pwok", "pwagainok"};
    QTest::newRow("confirmation first") << "/a/b.pdf" << QStringList{"again=Heslo", "pw=Heslo"}
                                        << QStringList{"pwok", "pwagainok"};
    QTest::newRow("case differs") << "/a/b.pdf" << QStringList{"pw=Heslo", "again=heslo"}
                                  << QStringList{"pwok", "pwagainerr"};
    QTest::newRow("password changed after match") << "/a/b.pdf" << QStringList{"pw=Heslo", "again=Heslo", "pw=HeslO"}
                                                  << QStringList{"pwok", "pwagainerr"};
    QTest::newRow("both emptied") << "" << QStringList{"pw=x", "again=x", "again=", "pw="}
                                  << QStringList{"pwerr", "pwagainerr"};
    QTest::newRow("confirmation alone") << "" << QStringList{"again=x"} << QStringList{"pwagainerr"};
    QTest::newRow("decrypt mode needs no confirmation") << "/a/b.t2k" << QStringList{"pw=x"} << QStringList{"pwok"};
    QTest::newRow("decrypt mode hides confirmation marks")
        << "/a/b.pdf" << QStringList{"pw=x", "pick=/a/b.t2k"} << QStringList{"pwok"};
    QTest::newRow("back to encrypt re-evaluates kept text")
        << "/a/b.pdf" << QStringList{"pw=x", "again=x", "pick=/a/b.t2k", "pick=/a/c"}
        << QStringList{"pwok", "pwagainok"};
    QTest::newRow("back to encrypt with mismatch") << "/a/b.t2k" << QStringList{"pw=x", "pick=/a/c"}
                                                   << QStringList{"pwok", "pwagainerr"};
    QTest::newRow("pick before any typing shows no marks")
        << "" << QStringList{"pick=/a/c", "pick=/a/c.t2k", "pick=/a/d"} << QStringList{};
}

void tst_tmain_rules::marks()
{
    QFETCH(QString, source);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, marks);
    Rig r;
    if (!source.isEmpty())
        r.pick(source);
    for (const QString& step : steps) {
        const QString value = step.section(u'=', 1);
        if (step.startsWith("pw="))
            r.type(Control::pw, value);
        else if (step.startsWith("again="))
            r.type(Control::pwagain, value);
        else
            r.pick(value);
    }
    QCOMPARE(r.marks(), marks);
}

// The proposed target, the save dialog's starting name and filter, and the
// target made of what the user picked there.
void tst_tmain_rules::workedExamples_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("proposed");
    QTest::addColumn<QString>("dialogName");
    QTest::addColumn<int>("filterIndex");
    QTest::addColumn<QString>("picked");
    QTest::addColumn<QString>("recomposed");
    QTest::addColumn<QString>("ext");

    QTest::newRow("report, bare name") << "/data/report.pdf" << "/data/report.pdf.t2k" << "/data/report.pdf" << 1
                                       << "/out/x" << "/out/x.pdf.t2k" << ".pdf";
    QTest::newRow("report, t2k typed") << "/data/report.pdf" << "/data/report.pdf.t2k" << "/data/report.pdf" << 1
                                       << "/out/x.t2k" << "/out/x.pdf.t2k" << ".pdf";
    QTest::newRow("notes") << "/data/notes" << "/data/notes.t2k" << "/data/notes" << 1 << "/out/y.t2k"
                           << "/out/y.t2k" << "";
    QTest::newRow("decrypt, bare name") << "/data/report.pdf.t2k" << "/data/report.pdf" << "/data/report.pdf" << 2
                                        << "/out/z" << "/out/z.pdf" << ".t2k";
    QTest::newRow("decrypt, other extension typed") << "/data/report.pdf.t2k" << "/data/report.pdf"
                                                    << "/data/report.pdf" << 2 << "/out/z.txt" << "/out/z.pdf"
                                                    << ".t2k";
    QTest::newRow("archive") << "/data/archive.t2k" << "/data/archive" << "/data/archive" << 2 << "/out/w.bin"
                             << "/out/w" << ".t2k";
}

void tst_tmain_rules::workedExamples()
{
    QFETCH(QString, source);
    QFETCH(QString, proposed);
    QFETCH(QString, dialogName);
    QFETCH(int, filterIndex);
    QFETCH(QString, picked);
    QFETCH(QString, recomposed);
    QFETCH(QString, ext);
    Rig r;
    r.pick(source);
    QCOMPARE(qs(r.job.job_ext), ext);
    QCOMPARE(r.text(Control::finalfile), proposed);
    QVERIFY(!r.rules.target_confirmed_in_save_dialog());

    r.platform.saveAnswers << picked;
    r.rules.savetochose_labelClick();
    QCOMPARE(r.platform.saveAsked.size(), 1);
    QCOMPARE(r.platform.saveAsked[0].file_name, dialogName);
    QCOMPARE(r.platform.saveAsked[0].filter_index, filterIndex);
    QCOMPARE(r.platform.saveAsked[0].filter, qs(texts::save_filter));
    QCOMPARE(r.text(Control::finalfile), recomposed);
    QCOMPARE(qs(r.rules.saveto_confirmed_path()), picked);
    QCOMPARE(r.rules.target_confirmed_in_save_dialog(), picked == recomposed);
    QCOMPARE(qs(r.rules.saveto.file_name), picked);

    // A new source replaces the target and forgets the confirmation.
    r.pick(source);
    QCOMPARE(r.text(Control::finalfile), proposed);
    QVERIFY(r.rules.saveto_confirmed_path().empty());
    QVERIFY(!r.rules.target_confirmed_in_save_dialog());
}

void tst_tmain_rules::cancelledDialogsChangeNothing()
{
    Rig r;
    r.pick("/data/report.pdf");
    r.rules.stopperTimer();
    r.view.set_shown(Control::selectfile_act, true);
    r.view.set_shown(Control::savetochose_act, true);
    r.rules.savetochose_labelClick(); // nothing scripted: cancel
    QCOMPARE(r.text(Control::finalfile), "/data/report.pdf.t2k");
    QVERIFY(r.view.shown(Control::savetochose_act)); // the save command changes no image
    r.rules.chosefilelabelClick();
    QCOMPARE(r.text(Control::filetocrypt), "/data/report.pdf");
    QVERIFY(!r.view.shown(Control::selectfile_act));
    QVERIFY(!r.view.timer_running(Timer::stopper));
    QCOMPARE(r.platform.openAsked.last().filter, qs(texts::open_filter));
    QCOMPARE(r.platform.openAsked.last().filter_index, 1);
    QCOMPARE(r.platform.openAsked.last().file_name, "/data/report.pdf"); // the last pick
}

// The command's steps: refusals before anything changes, the question before
// a proposed target is replaced (a path picked in the save dialog has been
// agreed to there), then the job and its report.
void tst_tmain_rules::command_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("typed"); // "pw=text" or "again=text", in turn
    QTest::addColumn<QString>("chosen");   // picked in the save dialog; none when empty
    QTest::addColumn<QString>("existing"); // a file already there
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QStringList>("calls"); // "job", "failed job: CAUSE" stand for the job's calls
    const QString missing = "error " + qs(texts::error_title) + u'|' + qs(texts::password_missing);
    const QString mismatch = "error " + qs(texts::error_title) + u'|' + qs(texts::password_mismatch);
    const QString question = "question, Cancel default: " + qs(texts::overwrite_question);
    const QString wrong = "question, Cancel default: " + qs(texts::wrong_password_question);
    QTest::newRow("no password") << "a.txt" << QStringList{} << "" << "" << true << QStringList{missing};
    QTest::newRow("password deleted again") << "a.txt" << QStringList{"pw=h", "pw=", "again=x"} << "" << "" << true
                                            << QStringList{missing};
    QTest::newRow("passwords differ") << "a.txt" << QStringList{"pw=x", "again=y"} << "" << "" << true
                                      << QStringList{mismatch};
    QTest::newRow("confirmation empty") << "a.txt" << QStringList{"pw=heslo"} << "" << "" << true
                                        << QStringList{mismatch};
    QTest::newRow("confirmation differs in case") << "a.txt" << QStringList{"pw=heslo", "again=hesLo"} << "" << "" << true
                                                  << QStringList{mismatch};
    QTest::newRow("decrypt, no password") << "a.txt.t2k" << QStringList{} << "" << "" << true
                                          << QStringList{missing};
    QTest::newRow("no password, target there: no question")
        << "a.txt" << QStringList{} << "" << "a.txt.t2k" << true << QStringList{missing};
    QTest::newRow("encrypt") << "a.txt" << QStringList{"pw=heslo", "again=heslo"} << "" << "" << true << QStringList{"job"};
    // (The source is no real encryption of a text: the password seems wrong.)
    QTest::newRow("decrypt needs no confirmation")
        << "a.txt.t2k" << QStringList{"pw=heslo"} << "" << "" << true << QStringList{wrong, "job"};
    QTest::newRow("target there, Cancel") << "a.txt" << QStringList{"pw=heslo", "again=heslo"} << "" << "a.txt.t2k" << false
                                          << QStringList{question};
    QTest::newRow("target there, OK") << "a.txt" << QStringList{"pw=heslo", "again=heslo"} << "" << "a.txt.t2k" << true
                                      << QStringList{question, "job"};
    // A kind of file the wrong-password check cannot judge.
    QTest::newRow("decrypt, the same path chosen in the save dialog")
        << "a.xyz.t2k" << QStringList{"pw=k"} << "b.xyz" << "b.xyz" << false << QStringList{"job"};
    // The dialog asked about b.t2k; the source's extension makes it b.txt.t2k.
    QTest::newRow("encrypt, the save dialog's name gets the extension")
        << "a.txt" << QStringList{"pw=k", "again=k"} << "b.t2k" << "b.txt.t2k" << false << QStringList{question};
    QTest::newRow("target folder missing")
        << "a.txt" << QStringList{"pw=x", "again=x"} << "chybi/b.t2k" << "" << true
        << QStringList{"failed job: cílová složka neexistuje: %1/chybi: soubor nebo složka neexistuje"};
}

void tst_tmain_rules::command()
{
    QFETCH(QString, source);
    QFETCH(QStringList, typed);
    QFETCH(QString, chosen);
    QFETCH(QString, existing);
    QFETCH(bool, answer);
    QFETCH(QStringList, calls);
    Rig r;
    QVERIFY(r.dir.isValid());
    const bool encrypt = !source.endsWith(".t2k");
    r.write(source, 1000);
    if (!existing.isEmpty())
        r.write(existing, 7);
    r.rules.accept_argument(r.path(source).toStdU16String());
    if (!chosen.isEmpty()) {
        r.platform.saveAnswers << r.path(chosen);
        r.rules.savetochose_labelClick();
    }
    const QString target = r.text(Control::finalfile);
    for (const QString& step : typed)
        r.type(step.startsWith("pw=") ? Control::pw : Control::pwagain, step.section(u'=', 1));
    r.platform.okCancelAnswer = answer;
    const QStringList before = QDir(r.dir.path()).entryList(QDir::Files);
    r.platform.calls.clear();

    encrypt ? r.rules.crypt_actClick() : r.rules.decryptlabelClick();

    QStringList expected;
    const texts::CommandTexts& t = encrypt ? texts::encrypting : texts::decrypting;
    for (const QString& c : calls) {
        if (c == "job")
            expected << "disable" << "progress " + qs(t.caption) << success(t, target) << "enable";
        else if (c.startsWith("failed job: "))
            expected << "disable" << "progress " + qs(t.caption)
                     << "error " + qs(texts::error_title) + u'|' + qs(t.failure) + "\r\n" + c.mid(12).arg(r.dir.path())
                     << "enable";
        else
            expected << c;
    }
    QCOMPARE(r.without_progress_details(), expected);
    const bool ran = calls.contains("job");
    QCOMPARE(QFileInfo(target).size(), ran ? 1000 : existing.isEmpty() ? 0 : 7);
    if (!ran)
        QCOMPARE(QDir(r.dir.path()).entryList(QDir::Files), before);
    const bool started = ran || calls.value(0).startsWith("failed job");
    QCOMPARE(qs(r.job.job_busy), started ? "false" : "");
    QVERIFY(!r.job.job_failed);
    QVERIFY(r.job.password().empty());
    QCOMPARE(qs(r.view.tray_hint), started ? qs(t.hint) : QString());
    // The password mark was evaluated by the command itself.
    QCOMPARE(r.view.shown(Control::pwerr), calls.value(0).endsWith(qs(texts::password_missing)));
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
    QVERIFY(r.platform.calls.contains(success(texts::encrypting, r.path("big.bin.t2k"))));
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
    r.platform.okCancelAnswer = answer;
    r.platform.calls.clear();
    r.rules.decryptlabelClick();

    const QString question = "question, Cancel default: " + qs(texts::wrong_password_question);
    QCOMPARE(r.platform.calls.value(0) == question, asked);
    QCOMPARE(r.platform.calls.contains("disable"), ran);
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

// A large source sends the application to the tray before the window is
// disabled, and the dialog comes minimised; all is back for the result.
void tst_tmain_rules::largeFile()
{
    QFETCH(qint64, size);
    QFETCH(bool, minimised);
    Rig r;
    r.write("f.bin", size);
    r.rules.accept_argument(r.path("f.bin").toStdU16String());
    r.type(Control::pw, "p");
    r.type(Control::pwagain, "p");
    r.platform.calls.clear();
    bool dialog_minimised = false;
    AppState during = AppState::normal;
    r.port.during_progress = [&] {
        r.desktop.windows[AppWindow::progress].shown = true;
        r.rules.application().progress_showing();
        dialog_minimised = r.desktop.minimised(AppWindow::progress);
        during = r.rules.application().state();
        r.desktop.windows[AppWindow::progress].shown = false;
    };
    r.rules.crypt_actClick();
    QCOMPARE(r.platform.calls.value(0), minimised ? "minimise main" : "disable");
    QCOMPARE(during, minimised ? AppState::in_tray : AppState::normal);
    QCOMPARE(dialog_minimised, minimised);
    QCOMPARE(r.view.balloons, minimised ? QStringList{"Trezorka|" + qs(texts::encrypting.balloon)} : QStringList{});
    QCOMPARE(r.rules.application().state(), AppState::normal);
    QVERIFY(!r.view.tray_shown);
    QVERIFY(r.platform.calls.contains(success(texts::encrypting, r.path("f.bin.t2k"))));
}

// Enter runs the enabled command; a drop takes its file as the command line
// would. Neither while a job runs or the window is disabled.
void tst_tmain_rules::enterAndDrop_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("input"); // "enter" or a dropped path
    QTest::addColumn<QString>("state"); // "", "busy" or "disabled"
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("shown_source");
    const QString missing = "error " + qs(texts::error_title) + u'|' + qs(texts::password_missing);
    const QString mismatch = "error " + qs(texts::error_title) + u'|' + qs(texts::password_mismatch);
    QTest::newRow("Enter, encrypt, empty password") << "/d/a.pdf" << "" << "enter" << "" << QStringList{missing}
                                                    << "/d/a.pdf";
    QTest::newRow("Enter, encrypt, unconfirmed password")
        << "/d/a.pdf" << "tajne" << "enter" << "" << QStringList{mismatch} << "/d/a.pdf";
    QTest::newRow("Enter, decrypt, empty password") << "/d/b.pdf.t2k" << "" << "enter" << "" << QStringList{missing}
                                                    << "/d/b.pdf.t2k";
    QTest::newRow("Enter, no source: no command") << "" << "" << "enter" << "" << QStringList{}
                                                  << qs(texts::source_prompt);
    QTest::newRow("Enter while a job runs") << "/d/a.pdf" << "" << "enter" << "busy" << QStringList{} << "/d/a.pdf";
    QTest::newRow("Enter, window disabled") << "/d/a.pdf" << "" << "enter" << "disabled" << QStringList{}
                                            << "/d/a.pdf";
    QTest::newRow("drop") << "/d/b.pdf.t2k" << "" << "/d/a.pdf" << "" << QStringList{} << "/d/a.pdf";
    QTest::newRow("drop while a job runs") << "/d/b.pdf.t2k" << "" << "/d/a.pdf" << "busy" << QStringList{}
                                           << "/d/b.pdf.t2k";
    QTest::newRow("drop, window disabled") << "/d/b.pdf.t2k" << "" << "/d/a.pdf" << "disabled" << QStringList{}
                                           << "/d/b.pdf.t2k";
}

void tst_tmain_rules::enterAndDrop()
{
    QFETCH(QString, source);
    QFETCH(QString, password);
    QFETCH(QString, input);
    QFETCH(QString, state);
    QFETCH(QStringList, calls);
    QFETCH(QString, shown_source);
    Rig r(source);
    r.rules.FormCreate();
    r.type(Control::pw, password);
    if (state == "busy")
        r.job.job_busy = u"true";
    r.port.enabled = state != "disabled";
    QCOMPARE(r.rules.accepting_input(), state.isEmpty());
    r.platform.calls.clear();
    if (input == "enter")
        r.rules.password_entered();
    else
        r.rules.file_dropped(input.toStdU16String());
    QCOMPARE(r.platform.calls, calls);
    QCOMPARE(r.text(Control::filetocrypt), shown_source);
}

// The application's windows as one: its state, where the windows stand, and
// the events raised once per transition.
void tst_tmain_rules::applicationWindows_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<AppState>("state");
    QTest::addColumn<bool>("main_minimised");
    QTest::addColumn<bool>("dialog_minimised");
    QTest::addColumn<bool>("icon");
    // Steps: "busy", "no tray", "late" (states reported late: a settle period
    // after each event), "shown" (the dialog), "min main", "min dialog",
    // "restore main", "restore dialog" (as the window system reports them),
    // "button" (Minimalizovat), "tray click", "settled" (the period is over).
    QTest::newRow("idle: an ordinary minimise") << QStringList{"min main"} << AppState::minimised << true << false
                                                << false;
    QTest::newRow("idle, restored") << QStringList{"min main", "restore main"} << AppState::normal << false << false
                                    << false;
    QTest::newRow("busy: to the tray") << QStringList{"busy", "shown", "min main"} << AppState::in_tray << true
                                       << true << true;
    QTest::newRow("busy: the dialog's minimise takes all")
        << QStringList{"busy", "shown", "min dialog"} << AppState::in_tray << false << true << true;
    QTest::newRow("busy: Minimalizovat") << QStringList{"busy", "shown", "button"} << AppState::in_tray << true
                                         << true << true;
    QTest::newRow("busy, no notification area") << QStringList{"busy", "no tray", "shown", "min main"}
                                                << AppState::minimised << true << true << false;
    QTest::newRow("busy, back by the tray icon")
        << QStringList{"busy", "shown", "min main", "tray click"} << AppState::normal << false << false << false;
    QTest::newRow("busy, no tray, back from the task bar")
        << QStringList{"busy", "no tray", "shown", "min main", "restore main"} << AppState::normal << false << false
        << false;
    QTest::newRow("a stale report while settling is no restore, and the state wins after it")
        << QStringList{"busy", "late", "shown", "min dialog", "restore dialog", "settled"} << AppState::in_tray
        << false << true << true;
    QTest::newRow("the program's own restore counts while settling")
        << QStringList{"busy", "late", "shown", "min dialog", "tray click"} << AppState::normal << false << false
        << false;
}

void tst_tmain_rules::applicationWindows()
{
    QFETCH(QStringList, steps);
    QFETCH(AppState, state);
    QFETCH(bool, main_minimised);
    QFETCH(bool, dialog_minimised);
    QFETCH(bool, icon);
    Rig r;
    trezorka::rules::ApplicationWindows& application = r.rules.application();
    for (const QString& step : steps) {
        if (step == "busy")
            r.job.job_busy = u"true";
        else if (step == "no tray")
            r.platform.systemTray = false;
        else if (step == "late")
            r.platform.abilities.late_reports = true;
        else if (step == "shown")
            r.desktop.windows[AppWindow::progress].shown = true;
        else if (step.startsWith("min ") || step.startsWith("restore "))
            r.desktop.user_sets_minimised(step.endsWith("dialog") ? AppWindow::progress : AppWindow::main,
                                          step.startsWith("min "));
        else if (step == "button")
            application.minimise_application();
        else if (step == "tray click")
            r.rules.trayClick();
        else if (step == "settled")
            r.desktop.settle_starts = 0;
        r.desktop.settling_now = r.desktop.settle_starts > 0;
        if (step == "settled")
            application.settled();
    }
    QCOMPARE(application.state(), state);
    QCOMPARE(r.desktop.minimised(AppWindow::main), main_minimised);
    QCOMPARE(r.desktop.minimised(AppWindow::progress), dialog_minimised);
    QCOMPARE(r.view.tray_shown, icon);
    QCOMPARE(r.view.balloons.size(), steps.contains("busy") && !steps.contains("no tray") ? 1 : 0);
    // Back in front: the dialog before the main window.
    if (state == AppState::normal && steps.contains("busy"))
        QCOMPARE(r.platform.calls.mid(r.platform.calls.size() - 2), (QStringList{"raise main", "raise progress"}));
}

// The main window centred on the desktop and the dialog, at its first
// showing, over the main window; neither past the left or top edge of its
// area. Later showings keep where the dialog was.
void tst_tmain_rules::firstPlaces_data()
{
    QTest::addColumn<QRect>("desktop");
    QTest::addColumn<QRect>("work");
    QTest::addColumn<bool>("place");
    QTest::addColumn<QStringList>("moves");
    QTest::newRow("centred") << QRect(0, 0, 1280, 1024) << QRect(0, 0, 1280, 1000) << true
                             << QStringList{"move main 358,324", "move progress 385,437"};
    QTest::newRow("two screens side by side, the second left of the first")
        << QRect(-1024, 0, 2304, 1024) << QRect(0, 0, 1280, 1000) << true
        << QStringList{"move main -154,324", "move progress 0,437"};
    QTest::newRow("a desktop smaller than the window") << QRect(0, 0, 400, 300) << QRect(0, 130, 400, 170) << true
                                                       << QStringList{"move main 0,0", "move progress 27,130"};
    QTest::newRow("a desktop that places its windows itself")
        << QRect(0, 0, 1280, 1024) << QRect(0, 0, 1280, 1000) << false << QStringList{};
}

void tst_tmain_rules::firstPlaces()
{
    QFETCH(QRect, desktop);
    QFETCH(QRect, work);
    QFETCH(bool, place);
    QFETCH(QStringList, moves);
    Rig r;
    r.desktop.desktop = {desktop.x(), desktop.y(), desktop.width(), desktop.height()};
    r.desktop.work = {work.x(), work.y(), work.width(), work.height()};
    r.platform.abilities.place = place;
    r.rules.application().main_created();
    r.rules.application().progress_showing();
    r.desktop.windows[AppWindow::progress].frame.x = 5;
    r.rules.application().progress_showing();
    QCOMPARE(r.platform.calls, moves);
}

// What a screen reader is told of the fields and of the marks beside them.
void tst_tmain_rules::fields()
{
    Rig r;
    QStringList names;
    for (const TmainRules::Field& f : TmainRules::fields())
        names << qs(TmainRules::field_name(f));
    QCOMPARE(names, (QStringList{"Zdrojový soubor", "Cílový soubor", "Heslo", "Heslo znova"}));
    auto described = [&r] {
        QStringList out;
        for (const TmainRules::Field& f : TmainRules::fields())
            out << qs(r.rules.described(f));
        return out;
    };
    QCOMPARE(described(), (QStringList{"", "", "", ""}));
    r.type(Control::pw, "a");
    QCOMPARE(described(), (QStringList{"", "", "Heslo zadáno", "Hesla se neshodují"}));
    r.type(Control::pwagain, "a");
    QCOMPARE(described(), (QStringList{"", "", "Heslo zadáno", "Hesla se shodují"}));
    // Decrypt mode hides the confirmation's marks.
    r.pick("/a/b.pdf.t2k");
    r.type(Control::pw, "");
    QCOMPARE(described(), (QStringList{"", "", "Heslo chybí", ""}));
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
    void progress_showing() override { calls << "showing"; }
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
    ScriptedPlatform asking;
    trezorka::rules::TStatus_showRules held(status, status, asking);
    // The worker's request comes while the question is open.
    asking.answerOkCancel = [&] {
        status.calls << "asked";
        held.close_request();
        return answer;
    };
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
