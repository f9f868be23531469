// What only the Qt face of the main window does (the rules' own tables are in
// tests/rules): Qt's mouse events delivered by the hover rule through the
// controls, the timers' real rhythm, typing into the password fields, the
// confirmation field's look and the command-line argument.
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

        const QPoint selectfileBar(440, 128), sourceBox(300, 120), overlap(400, 120);
        const QPoint encryptLabel(100, 300), decryptBar(205, 300), exitBar(330, 300), exitLabel(360, 300);

        // Through the label's widget and the highlight over the bar.
        QTest::newRow("exit label lights, highlight stays lit while resting on it")
            << QString() << Points{exitLabel, exitBar, QPoint(440, 316)} << QStringList{u"off_act"_s};
        // A disabled label's widget passes the event to the window.
        QTest::newRow("disabled encrypt counts as background")
            << QString() << Points{exitBar, encryptLabel} << QStringList{};
        // The edit box's widget takes its own mouse events.
        QTest::newRow("source box overlaps select button by one column")
            << QString() << Points{selectfileBar, overlap, sourceBox} << QStringList{u"selectfile_act"_s};
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

    // Every change of a field's text, typed or set, reaches its rule.
    void typingUpdatesTheMarks()
    {
        auto w = window(u"/a/b.pdf"_s);
        w->pw->setFocus();
        QTest::keyClicks(w->pw, u"a"_s);
        QCOMPARE(shownMarks(*w), (QStringList{u"pwok"_s, u"pwagainerr"_s}));
        w->pwagain->setText(u"a"_s);
        QCOMPARE(shownMarks(*w), (QStringList{u"pwok"_s, u"pwagainok"_s}));
        QTest::keyClick(w->pw, Qt::Key_Backspace);
        QCOMPARE(shownMarks(*w), (QStringList{u"pwerr"_s, u"pwagainerr"_s}));
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

    // ---- the command line ----

    // The window hands its argument to the rules once it is built.
    void commandLine()
    {
        Tmain w(job, *platform, u"/data/report.pdf.t2k"_s);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.filetocrypt->text(), u"/data/report.pdf.t2k"_s);
        QCOMPARE(w.finalfile->text(), u"/data/report.pdf"_s);
        QVERIFY(w.decrypt->isEnabled());
        QVERIFY(w.decryptblink->isActive());
        QVERIFY(w.stopper->isActive());
        QVERIFY(platform->warnings.isEmpty());
    }

    void readCommandLine_data()
    {
        using Answer = trezorka::rules::CommandLine::Answer;
        QTest::addColumn<QByteArrayList>("argv");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("answer");
        QTest::newRow("none") << QByteArrayList{"trezorka"} << QString() << int(Answer::none);
        QTest::newRow("utf-8") << QByteArrayList{"trezorka", "/tmp/šifra.pdf", "ignored"} << u"/tmp/šifra.pdf"_s
                               << int(Answer::none);
#ifndef _WIN32
        QTest::newRow("not utf-8") << QByteArrayList{"trezorka", "/tmp/\xff" "a"}
                                   << u"/tmp/"_s + QChar(0xDCFF) + u"a"_s << int(Answer::none);
#endif
        QTest::newRow("--help") << QByteArrayList{"trezorka", "--help", "a.pdf"} << QString() << int(Answer::help);
        QTest::newRow("--version") << QByteArrayList{"trezorka", "--version"} << QString() << int(Answer::version);
        QTest::newRow("a file named --help after --") << QByteArrayList{"trezorka", "--", "--help"} << u"--help"_s
                                                       << int(Answer::none);
        QTest::newRow("-- alone") << QByteArrayList{"trezorka", "--"} << QString() << int(Answer::none);
        QTest::newRow("--help after a file is ignored") << QByteArrayList{"trezorka", "a.pdf", "--help"} << u"a.pdf"_s
                                                         << int(Answer::none);
        QTest::newRow("-h is a file") << QByteArrayList{"trezorka", "-h"} << u"-h"_s << int(Answer::none);
    }

    void readCommandLine()
    {
        QFETCH(QByteArrayList, argv);
        QFETCH(QString, expected);
        QFETCH(int, answer);
        std::vector<char*> raw;
        for (QByteArray& a : argv)
            raw.push_back(a.data());
        raw.push_back(nullptr);
        const trezorka::rules::CommandLine command = trezorka::ui::command_line(int(argv.size()), raw.data());
        QCOMPARE(qs(command.source), expected);
        QCOMPARE(int(command.answer), answer);
    }
};

QTEST_MAIN(TmainBehaviourTest)
#include "tst_tmain_behaviour.moc"
