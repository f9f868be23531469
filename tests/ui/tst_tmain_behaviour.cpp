// The main window's behaviour: hover highlight by the delivery rule, clicks,
// blinking, password marks, source and target selection.
#include "HoverDispatcher.h"
#include "Picture.h"
#include "ScriptedPlatform.h"
#include "SharedJob.h"
#include "Startup.h"
#include "Tmain.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>
#include <memory>

using namespace Qt::Literals::StringLiterals;

using Points = QList<QPoint>;
Q_DECLARE_METATYPE(Points)

namespace {

QStringList shownActs(const Tmain& w)
{
    QStringList lit;
    for (const QWidget* a : {static_cast<const QWidget*>(w.crypt_act), static_cast<const QWidget*>(w.decrypt_act),
                             static_cast<const QWidget*>(w.selectfile_act),
                             static_cast<const QWidget*>(w.savetochose_act), static_cast<const QWidget*>(w.off_act)})
        if (!a->isHidden())
            lit << a->objectName();
    return lit;
}

QStringList shownMarks(const Tmain& w)
{
    QStringList shown;
    for (const QWidget* m : {static_cast<const QWidget*>(w.pwok), static_cast<const QWidget*>(w.pwerr),
                             static_cast<const QWidget*>(w.pwagainok), static_cast<const QWidget*>(w.pwagainerr)})
        if (!m->isHidden())
            shown << m->objectName();
    return shown;
}

} // namespace

class TmainBehaviourTest : public QObject {
    Q_OBJECT

    SharedJob job;
    std::unique_ptr<ScriptedPlatform> platform;

    // A window that has accepted `source` through the open dialog (none when empty).
    std::unique_ptr<Tmain> window(const QString& source = {})
    {
        auto w = std::make_unique<Tmain>(job, *platform, QString());
        if (!source.isEmpty())
            pick(*w, source);
        return w;
    }

    void pick(Tmain& w, const QString& source)
    {
        platform->openAnswers.push_back(source);
        w.chosefilelabelClick();
    }

    static void stopBlinking(Tmain& w)
    {
        w.stopperTimer();
    }

private slots:
    void init()
    {
        job = SharedJob{};
        platform = std::make_unique<ScriptedPlatform>();
    }

    // ---- the delivery rule ----

    void hover_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<Points>("moves");
        QTest::addColumn<QStringList>("lit");

        const QPoint background(80, 200), image3(520, 100), logo(100, 40);
        const QPoint selectfileBar(440, 128), chooseLabel(420, 120), sourceBox(300, 120), overlap(400, 120);
        const QPoint targetBar(500, 175), targetBox(300, 170), targetOverlap(400, 170);
        const QPoint encryptBar(70, 300), encryptLabel(100, 300), gapEncryptDecrypt(196, 300);
        const QPoint decryptBar(205, 300), gapDecryptExit(323, 300), exitBar(330, 300), exitLabel(360, 300);

        QTest::newRow("exit lights") << QString() << Points{exitBar} << QStringList{u"off_act"_s};
        QTest::newRow("exit label lights, highlight stays lit while resting on it")
            << QString() << Points{exitLabel, exitBar, QPoint(440, 316)} << QStringList{u"off_act"_s};
        QTest::newRow("background puts the light out") << QString() << Points{exitBar, background} << QStringList{};
        QTest::newRow("right panel counts as background") << QString() << Points{chooseLabel, image3} << QStringList{};
        QTest::newRow("logo is another control") << QString() << Points{chooseLabel, logo}
                                                 << QStringList{u"selectfile_act"_s};
        QTest::newRow("disabled encrypt never lights") << QString() << Points{encryptBar, encryptLabel} << QStringList{};
        QTest::newRow("disabled encrypt counts as background")
            << QString() << Points{exitBar, encryptLabel} << QStringList{};
        QTest::newRow("disabled select-target counts as background")
            << QString() << Points{selectfileBar, targetBar} << QStringList{};
        QTest::newRow("source box overlaps select button by one column")
            << QString() << Points{selectfileBar, overlap, sourceBox} << QStringList{u"selectfile_act"_s};
        QTest::newRow("source box then background")
            << QString() << Points{selectfileBar, overlap, sourceBox, QPoint(300, 140)} << QStringList{};
        QTest::newRow("target box overlaps select-target button by one column")
            << u"/data/report.pdf"_s << Points{targetBar, targetOverlap, targetBox}
            << QStringList{u"savetochose_act"_s};
        QTest::newRow("encrypt lights in encrypt mode") << u"/data/report.pdf"_s << Points{encryptLabel}
                                                        << QStringList{u"crypt_act"_s};
        QTest::newRow("gap between encrypt and decrypt is background")
            << u"/data/report.pdf"_s << Points{encryptBar, gapEncryptDecrypt} << QStringList{};
        QTest::newRow("decrypt disabled in encrypt mode")
            << u"/data/report.pdf"_s << Points{encryptBar, decryptBar} << QStringList{};
        QTest::newRow("decrypt lights in decrypt mode") << u"/data/report.pdf.t2k"_s << Points{decryptBar}
                                                        << QStringList{u"decrypt_act"_s};
        QTest::newRow("gap between decrypt and exit is background")
            << u"/data/report.pdf.t2k"_s << Points{decryptBar, gapDecryptExit} << QStringList{};
        QTest::newRow("decrypt to exit crosses the gap")
            << u"/data/report.pdf.t2k"_s << Points{decryptBar, gapDecryptExit, exitBar}
            << QStringList{u"off_act"_s};
        QTest::newRow("straight from decrypt to exit leaves decrypt lit")
            << u"/data/report.pdf.t2k"_s << Points{decryptBar, exitBar}
            << QStringList{u"decrypt_act"_s, u"off_act"_s};
    }

    void hover()
    {
        QFETCH(QString, source);
        QFETCH(Points, moves);
        QFETCH(QStringList, lit);

        auto w = window(source);
        stopBlinking(*w);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        // Qt drops a move to where the pointer already is; start from a spot
        // of background no row uses.
        QTest::mouseMove(w.get(), QPoint(540, 20));
        QCOMPARE(shownActs(*w), QStringList());
        for (const QPoint& p : moves)
            QTest::mouseMove(w.get(), p);
        QCOMPARE(shownActs(*w), lit);
    }

    void targets_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<QString>("target");

        QTest::newRow("background") << QString() << QPoint(80, 200) << u"main"_s;
        QTest::newRow("hidden highlight passed over") << QString() << QPoint(330, 300) << u"off"_s;
        QTest::newRow("disabled label and bars passed over") << QString() << QPoint(100, 300) << u"main"_s;
        QTest::newRow("enabled label on top") << u"/a/b"_s << QPoint(100, 300) << u"cryptlabel"_s;
        QTest::newRow("select button under panel") << QString() << QPoint(465, 120) << u"selectfile"_s;
        QTest::newRow("edit box over button") << QString() << QPoint(400, 120) << u"filetocrypt"_s;
        QTest::newRow("label over decoration") << QString() << QPoint(104, 95) << u"Label1"_s;
    }

    void targets()
    {
        QFETCH(QString, source);
        QFETCH(QPoint, point);
        QFETCH(QString, target);
        auto w = window(source);
        stopBlinking(*w);
        QCOMPARE(w->dispatcher()->target_at(point)->objectName(), target);
    }

    void clicks_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<int>("opens");
        QTest::addColumn<int>("saves");
        QTest::addColumn<int>("urls");

        QTest::newRow("select label") << QString() << QPoint(420, 120) << 1 << 0 << 0;
        QTest::newRow("select bar") << QString() << QPoint(462, 128) << 1 << 0 << 0;
        QTest::newRow("select-target disabled") << QString() << QPoint(500, 175) << 0 << 0 << 0;
        QTest::newRow("select-target bar") << u"/a/b"_s << QPoint(510, 175) << 0 << 1 << 0;
        QTest::newRow("select-target label") << u"/a/b"_s << QPoint(420, 168) << 0 << 1 << 0;
        QTest::newRow("link") << QString() << QPoint(12, 330) << 0 << 0 << 1;
        QTest::newRow("source box") << QString() << QPoint(300, 120) << 0 << 0 << 0;
        QTest::newRow("background") << QString() << QPoint(80, 200) << 0 << 0 << 0;
    }

    void clicks()
    {
        QFETCH(QString, source);
        QFETCH(QPoint, point);
        QFETCH(int, opens);
        QFETCH(int, saves);
        QFETCH(int, urls);

        auto w = window(source);
        stopBlinking(*w);
        platform->openAsked.clear();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QTest::mouseClick(w.get(), Qt::LeftButton, {}, point);
        QCOMPARE(platform->openAsked.size(), opens);
        QCOMPARE(platform->saveAsked.size(), saves);
        QCOMPARE(platform->urls.size(), urls);
        if (urls)
            QVERIFY(platform->urls.first().startsWith(u"http"_s));
    }

    void clickOnHighlightRunsTheCommand()
    {
        auto w = window();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QTest::mouseMove(w.get(), QPoint(462, 128));
        QVERIFY(!w->selectfile_act->isHidden());
        QTest::mouseClick(w.get(), Qt::LeftButton, {}, QPoint(462, 128)); // on selectfile_act
        QCOMPARE(platform->openAsked.size(), 1);
        // The select-source command puts its highlight out, also when cancelled.
        QVERIFY(w->selectfile_act->isHidden());
    }

    void pressAndReleaseOnDifferentControlsIsNoClick()
    {
        auto w = window();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QTest::mousePress(w.get(), Qt::LeftButton, {}, QPoint(420, 120));
        QTest::mouseRelease(w.get(), Qt::LeftButton, {}, QPoint(80, 200));
        QCOMPARE(platform->openAsked.size(), 0);
    }

    void disabledWindowDeliversNothing()
    {
        auto w = window();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->setEnabled(false);
        QTest::mouseMove(w.get(), QPoint(330, 300));
        QTest::mouseClick(w.get(), Qt::LeftButton, {}, QPoint(420, 120));
        QCOMPARE(shownActs(*w), QStringList());
        QCOMPARE(platform->openAsked.size(), 0);
    }

    // ---- blinking ----

    void blinkingFlashesFourTimes()
    {
        auto w = window();
        w->show();
        QElapsedTimer clock;
        pick(*w, u"/data/report.pdf"_s);
        clock.start();
        QVERIFY(w->cryptblink->isActive());
        QVERIFY(w->stopper->isActive());
        QVERIFY(!w->decryptblink->isActive());

        QList<qint64> on, off;
        bool lit = !w->crypt_act->isHidden();
        QVERIFY(!lit);
        while (clock.elapsed() < 4400) {
            QTest::qWait(5);
            const bool now = !w->crypt_act->isHidden();
            if (now != lit)
                (now ? on : off).append(clock.elapsed());
            lit = now;
        }
        QCOMPARE(on.size(), 4);
        QCOMPARE(off.size(), 4);
        const qint64 expectedOn[] = {500, 1500, 2500, 3500};
        const qint64 expectedOff[] = {1000, 2000, 3000, 3800};
        for (int i = 0; i < 4; ++i) {
            QVERIFY2(qAbs(on[i] - expectedOn[i]) < 150, qPrintable(QString::number(on[i])));
            QVERIFY2(qAbs(off[i] - expectedOff[i]) < 150, qPrintable(QString::number(off[i])));
        }
        QVERIFY(!w->cryptblink->isActive());
        QVERIFY(!w->stopper->isActive());
    }

    void secondAcceptanceDoesNotRestart()
    {
        auto w = window();
        pick(*w, u"/data/report.pdf"_s);
        QTest::qWait(1200);
        const int blinkLeft = w->cryptblink->remainingTime();
        pick(*w, u"/data/other.txt"_s);
        // Still on the first schedule: not 3800 / 500 ms again.
        QVERIFY2(w->stopper->remainingTime() < 2800, qPrintable(QString::number(w->stopper->remainingTime())));
        QVERIFY(qAbs(w->cryptblink->remainingTime() - blinkLeft) < 50);
        QTest::qWait(2800);
        QVERIFY(!w->stopper->isActive());
        QVERIFY(!w->cryptblink->isActive());
        QVERIFY(w->crypt_act->isHidden());
    }

    void modeSwitchFreezesTheFirstHighlight()
    {
        auto w = window();
        pick(*w, u"/data/report.pdf"_s);
        QTest::qWait(750); // crypt_act lit since the first tick
        QVERIFY(!w->crypt_act->isHidden());
        pick(*w, u"/data/report.pdf.t2k"_s);
        QVERIFY(!w->cryptblink->isActive());
        QVERIFY(w->decryptblink->isActive());
        QTest::qWait(600);
        QVERIFY(!w->crypt_act->isHidden()); // frozen lit
        QVERIFY(!w->decrypt_act->isHidden());
        QVERIFY(w->stopper->remainingTime() < 2700);
        QTest::qWait(2700);
        QVERIFY(w->crypt_act->isHidden());
        QVERIFY(w->decrypt_act->isHidden());
        QVERIFY(!w->decryptblink->isActive());
    }

    void blinkHandlersToggle()
    {
        auto w = window();
        w->cryptblinkTimer();
        QVERIFY(!w->crypt_act->isHidden());
        w->cryptblinkTimer();
        QVERIFY(w->crypt_act->isHidden());
        w->decryptblinkTimer();
        QVERIFY(!w->decrypt_act->isHidden());
        w->stopperTimer();
        QVERIFY(w->decrypt_act->isHidden());
    }

    // ---- password marks ----

    void marks_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("steps"); // "pw=text" or "again=text" or "pick=path"
        QTest::addColumn<QStringList>("marks");

        QTest::newRow("untouched") << QString() << QStringList{} << QStringList{};
        QTest::newRow("one character at start")
            << QString() << QStringList{u"pw=a"_s} << QStringList{u"pwok"_s, u"pwagainerr"_s};
        QTest::newRow("last character deleted")
            << QString() << QStringList{u"pw=a"_s, u"pw="_s} << QStringList{u"pwerr"_s, u"pwagainerr"_s};
        QTest::newRow("same text twice") << u"/a/b.pdf"_s << QStringList{u"pw=Heslo"_s, u"again=Heslo"_s}
                                         << QStringList{u"pwok"_s, u"pwagainok"_s};
        QTest::newRow("confirmation first") << u"/a/b.pdf"_s << QStringList{u"again=Heslo"_s, u"pw=Heslo"_s}
                                            << QStringList{u"pwok"_s, u"pwagainok"_s};
        QTest::newRow("case differs") << u"/a/b.pdf"_s << QStringList{u"pw=Heslo"_s, u"again=heslo"_s}
                                      << QStringList{u"pwok"_s, u"pwagainerr"_s};
        QTest::newRow("password changed after match")
            << u"/a/b.pdf"_s << QStringList{u"pw=Heslo"_s, u"again=Heslo"_s, u"pw=HeslO"_s}
            << QStringList{u"pwok"_s, u"pwagainerr"_s};
        QTest::newRow("both emptied") << QString() << QStringList{u"pw=x"_s, u"again=x"_s, u"again="_s, u"pw="_s}
                                      << QStringList{u"pwerr"_s, u"pwagainerr"_s};
        QTest::newRow("confirmation alone") << QString() << QStringList{u"again=x"_s} << QStringList{u"pwagainerr"_s};
        QTest::newRow("decrypt mode needs no confirmation")
            << u"/a/b.t2k"_s << QStringList{u"pw=x"_s} << QStringList{u"pwok"_s};
        QTest::newRow("decrypt mode hides confirmation marks")
            << u"/a/b.pdf"_s << QStringList{u"pw=x"_s, u"pick=/a/b.t2k"_s} << QStringList{u"pwok"_s};
        QTest::newRow("back to encrypt re-evaluates kept text")
            << u"/a/b.pdf"_s << QStringList{u"pw=x"_s, u"again=x"_s, u"pick=/a/b.t2k"_s, u"pick=/a/c"_s}
            << QStringList{u"pwok"_s, u"pwagainok"_s};
        QTest::newRow("back to encrypt with mismatch")
            << u"/a/b.t2k"_s << QStringList{u"pw=x"_s, u"pick=/a/c"_s} << QStringList{u"pwok"_s, u"pwagainerr"_s};
        QTest::newRow("pick before any typing shows no marks")
            << QString() << QStringList{u"pick=/a/c"_s, u"pick=/a/c.t2k"_s, u"pick=/a/d"_s} << QStringList{};
        QTest::newRow("refused old format keeps marks")
            << u"/a/b.pdf"_s << QStringList{u"pw=x"_s, u"pick=/a/old.t1k"_s}
            << QStringList{u"pwok"_s, u"pwagainerr"_s};
    }

    void marks()
    {
        QFETCH(QString, source);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, marks);

        auto w = window(source);
        for (const QString& step : steps) {
            const QString value = step.section(u'=', 1);
            if (step.startsWith(u"pw="_s)) {
                w->pw->setFocus();
                w->pw->selectAll();
                if (value.isEmpty())
                    QTest::keyClick(w->pw, Qt::Key_Backspace);
                else
                    QTest::keyClicks(w->pw, value);
            } else if (step.startsWith(u"again="_s)) {
                w->pwagain->setText(value);
            } else {
                pick(*w, value);
            }
        }
        QCOMPARE(shownMarks(*w), marks);
    }

    // What is typed into a password field stays only as its text: no undo
    // history keeps the characters, and the text and cursor are as typed.
    void typingKeepsNoHistory_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("keys"); // "<" moves the cursor left, "#" is Backspace
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("cursor");
        QTest::newRow("typed") << u"pw"_s << u"Heslo 42"_s << u"Heslo 42"_s << 8;
        QTest::newRow("typed in the middle") << u"pw"_s << u"Hslo<<<e"_s << u"Heslo"_s << 2;
        QTest::newRow("Backspace") << u"pw"_s << u"Hesloo#"_s << u"Heslo"_s << 5;
        QTest::newRow("confirmation field") << u"pwagain"_s << u"Tajne#e heslo"_s << u"Tajne heslo"_s << 11;
    }

    void typingKeepsNoHistory()
    {
        QFETCH(QString, field);
        QFETCH(QString, keys);
        QFETCH(QString, text);
        QFETCH(int, cursor);
        auto w = window(u"/a/b.pdf"_s);
        QLineEdit* edit = field == u"pw"_s ? w->pw : w->pwagain;
        edit->setFocus();
        for (const QChar key : keys) {
            if (key == u'<')
                QTest::keyClick(edit, Qt::Key_Left);
            else if (key == u'#')
                QTest::keyClick(edit, Qt::Key_Backspace);
            else
                QTest::keyClicks(edit, QString(key));
        }
        QCOMPARE(edit->text(), text);
        QCOMPARE(edit->cursorPosition(), cursor);
        QVERIFY(!edit->isUndoAvailable());
        QCOMPARE(shownMarks(*w).contains(field == u"pw"_s ? u"pwok"_s : u"pwagainerr"_s), true);
    }

    void confirmationFieldFollowsMode()
    {
        auto w = window(u"/a/b.pdf"_s);
        const QColor normal = w->pwagain->palette().color(QPalette::Base);
        w->pwagain->setText(u"kept"_s);
        pick(*w, u"/a/b.pdf.t2k"_s);
        QVERIFY(!w->pwagain->isEnabled());
        QVERIFY(!w->pwagainlabel->isEnabled());
        QCOMPARE(w->pwagain->palette().color(QPalette::Base), QColor(0xC0, 0xC0, 0xC0));
        QCOMPARE(w->pwagain->text(), u"kept"_s);
        pick(*w, u"/a/b.pdf"_s);
        QVERIFY(w->pwagain->isEnabled());
        QVERIFY(w->pwagainlabel->isEnabled());
        QCOMPARE(w->pwagain->palette().color(QPalette::Base), normal);
        QVERIFY(normal != QColor(0xC0, 0xC0, 0xC0));
    }

    // ---- source and target ----

    void modes_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("decrypt");
        QTest::newRow("plain") << u"/data/report.pdf"_s << false;
        QTest::newRow("no extension") << u"/data/notes"_s << false;
        QTest::newRow("upper-case T2K is plain") << u"/data/x.T2K"_s << false;
        QTest::newRow("dot in folder only") << u"/build.old/readme"_s << false;
        QTest::newRow("encrypted") << u"/data/report.pdf.t2k"_s << true;
    }

    void modes()
    {
        QFETCH(QString, source);
        QFETCH(bool, decrypt);
        auto w = window(source);
        for (QWidget* c : {static_cast<QWidget*>(w->crypt), static_cast<QWidget*>(w->crypt_act),
                           static_cast<QWidget*>(w->cryptlabel)})
            QCOMPARE(c->isEnabled(), !decrypt);
        for (QWidget* c : {static_cast<QWidget*>(w->decrypt), static_cast<QWidget*>(w->decrypt_act),
                           static_cast<QWidget*>(w->decryptlabel)})
            QCOMPARE(c->isEnabled(), decrypt);
        for (QWidget* c : {static_cast<QWidget*>(w->savetochose), static_cast<QWidget*>(w->savetochose_act),
                           static_cast<QWidget*>(w->savetochose_label)})
            QVERIFY(c->isEnabled());
        QCOMPARE(w->cryptblink->isActive(), !decrypt);
        QCOMPARE(w->decryptblink->isActive(), decrypt);
        QVERIFY(w->stopper->isActive());
        QCOMPARE(w->filetocrypt->text(), source);
        QVERIFY(w->selectfile_act->isHidden());
    }

    void workedExamples_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("proposed");
        QTest::addColumn<QString>("dialogName");
        QTest::addColumn<int>("filterIndex");
        QTest::addColumn<QString>("picked");
        QTest::addColumn<QString>("recomposed");
        QTest::addColumn<QString>("ext");

        QTest::newRow("report, bare name") << u"/data/report.pdf"_s << u"/data/report.pdf.t2k"_s
                                           << u"/data/report.pdf"_s << 1 << u"/out/x"_s << u"/out/x.pdf.t2k"_s
                                           << u".pdf"_s;
        QTest::newRow("report, t2k typed") << u"/data/report.pdf"_s << u"/data/report.pdf.t2k"_s
                                           << u"/data/report.pdf"_s << 1 << u"/out/x.t2k"_s
                                           << u"/out/x.pdf.t2k"_s << u".pdf"_s;
        QTest::newRow("notes") << u"/data/notes"_s << u"/data/notes.t2k"_s << u"/data/notes"_s << 1
                               << u"/out/y.t2k"_s << u"/out/y.t2k"_s << QString();
        QTest::newRow("decrypt, bare name") << u"/data/report.pdf.t2k"_s << u"/data/report.pdf"_s
                                            << u"/data/report.pdf"_s << 2 << u"/out/z"_s << u"/out/z.pdf"_s
                                            << u".t2k"_s;
        QTest::newRow("decrypt, other extension typed") << u"/data/report.pdf.t2k"_s << u"/data/report.pdf"_s
                                                        << u"/data/report.pdf"_s << 2 << u"/out/z.txt"_s
                                                        << u"/out/z.pdf"_s << u".t2k"_s;
        QTest::newRow("archive") << u"/data/archive.t2k"_s << u"/data/archive"_s << u"/data/archive"_s << 2
                                 << u"/out/w.bin"_s << u"/out/w"_s << u".t2k"_s;
    }

    void workedExamples()
    {
        QFETCH(QString, source);
        QFETCH(QString, proposed);
        QFETCH(QString, dialogName);
        QFETCH(int, filterIndex);
        QFETCH(QString, picked);
        QFETCH(QString, recomposed);
        QFETCH(QString, ext);

        auto w = window(source);
        QCOMPARE(qs(job.job_ext), ext);
        QCOMPARE(w->finalfile->text(), proposed);
        QVERIFY(!w->target_confirmed_in_save_dialog());

        platform->saveAnswers.push_back(picked);
        w->savetochose_labelClick();
        QCOMPARE(platform->saveAsked.size(), 1);
        QCOMPARE(platform->saveAsked[0].file_name, dialogName);
        QCOMPARE(platform->saveAsked[0].filter_index, filterIndex);
        QCOMPARE(platform->saveAsked[0].filter, qs(trezorka::rules::texts::save_filter));
        QCOMPARE(w->finalfile->text(), recomposed);
        QCOMPARE(w->saveto_confirmed_path(), picked);
        QCOMPARE(w->target_confirmed_in_save_dialog(), picked == recomposed);
        QCOMPARE(qs(w->saveto.file_name), picked);

        // A new source replaces the target and forgets the confirmation.
        pick(*w, source);
        QCOMPARE(w->finalfile->text(), proposed);
        QVERIFY(w->saveto_confirmed_path().isEmpty());
        QVERIFY(!w->target_confirmed_in_save_dialog());
    }

    void cancelledDialogsChangeNothing()
    {
        auto w = window(u"/data/report.pdf"_s);
        w->stopperTimer();
        w->selectfile_act->show();
        w->savetochose_act->show();
        w->savetochose_labelClick(); // empty script: cancel
        QCOMPARE(w->finalfile->text(), u"/data/report.pdf.t2k"_s);
        QVERIFY(!w->savetochose_act->isHidden()); // the save command changes no image
        w->chosefilelabelClick();
        QCOMPARE(w->filetocrypt->text(), u"/data/report.pdf"_s);
        QVERIFY(w->selectfile_act->isHidden());
        QVERIFY(!w->stopper->isActive());
        QCOMPARE(platform->openAsked.last().filter, qs(trezorka::rules::texts::open_filter));
        QCOMPARE(platform->openAsked.last().filter_index, 1);
        QCOMPARE(platform->openAsked.last().file_name, u"/data/report.pdf"_s); // the last pick
    }

    void oldFormatRefused()
    {
        auto w = window(u"/data/report.pdf"_s);
        w->stopperTimer();
        w->selectfile_act->show();
        pick(*w, u"/data/old.t1k"_s);
        QCOMPARE(platform->warnings, QStringList{qs(trezorka::rules::texts::old_format_warning)});
        QCOMPARE(qs(trezorka::rules::texts::old_format_warning),
                 u"VAROVÁNÍ: starší format šifrovaného souboru (*.t1k) není v této verzi podporován."_s);
        QCOMPARE(w->filetocrypt->text(), QString());
        QCOMPARE(qs(job.job_ext), u".t1k"_s);
        QCOMPARE(w->finalfile->text(), u"/data/report.pdf.t2k"_s);
        QVERIFY(w->crypt->isEnabled());
        QVERIFY(!w->selectfile_act->isHidden()); // the refusal cuts the command short
        QVERIFY(!w->stopper->isActive());
    }

    // ---- the command line ----

    void commandLine_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("encrypt");
        QTest::addColumn<bool>("decrypt");
        QTest::addColumn<int>("warnings");

        QTest::newRow("none") << QString() << qs(trezorka::rules::texts::source_prompt) << QString() << false << false << 0;
        QTest::newRow("plain file") << u"/data/report.pdf"_s << u"/data/report.pdf"_s << u"/data/report.pdf.t2k"_s
                                    << true << false << 0;
        QTest::newRow("relative path kept") << u"report.pdf"_s << u"report.pdf"_s << u"report.pdf.t2k"_s << true
                                            << false << 0;
        QTest::newRow("encrypted file") << u"/data/report.pdf.t2k"_s << u"/data/report.pdf.t2k"_s
                                        << u"/data/report.pdf"_s << false << true << 0;
        QTest::newRow("old format") << u"/data/old.t1k"_s << QString() << QString() << false << false << 1;
    }

    void commandLine()
    {
        QFETCH(QString, argument);
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(bool, encrypt);
        QFETCH(bool, decrypt);
        QFETCH(int, warnings);

        Tmain w(job, *platform, argument);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.filetocrypt->text(), source);
        QCOMPARE(w.finalfile->text(), target);
        QCOMPARE(w.crypt->isEnabled(), encrypt);
        QCOMPARE(w.cryptblink->isActive(), encrypt);
        QCOMPARE(w.decrypt->isEnabled(), decrypt);
        QCOMPARE(w.decryptblink->isActive(), decrypt);
        QCOMPARE(w.savetochose->isEnabled(), encrypt || decrypt);
        QCOMPARE(w.stopper->isActive(), encrypt || decrypt);
        QVERIFY(w.selectfile->isEnabled());
        QVERIFY(w.off->isEnabled());
        QCOMPARE(platform->warnings.size(), warnings);
        // The open dialog starts at the argument, even a refused one.
        QCOMPARE(qs(w.filechosedialog.file_name), argument);
        QCOMPARE(w.filechosedialog.filter_index, 1);
    }

    void firstArgument_data()
    {
        QTest::addColumn<QByteArrayList>("argv");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none") << QByteArrayList{"trezorka"} << QString();
        QTest::newRow("utf-8") << QByteArrayList{"trezorka", "/tmp/šifra.pdf", "ignored"} << u"/tmp/šifra.pdf"_s;
#ifndef _WIN32
        QTest::newRow("not utf-8") << QByteArrayList{"trezorka", "/tmp/\xff" "a"}
                                   << u"/tmp/"_s + QChar(0xDCFF) + u"a"_s;
#endif
    }

    void firstArgument()
    {
        QFETCH(QByteArrayList, argv);
        QFETCH(QString, expected);
        std::vector<char*> raw;
        for (QByteArray& a : argv)
            raw.push_back(a.data());
        raw.push_back(nullptr);
        QCOMPARE(trezorka::ui::first_argument(int(argv.size()), raw.data()), expected);
    }
};

QTEST_MAIN(TmainBehaviourTest)
#include "tst_tmain_behaviour.moc"
