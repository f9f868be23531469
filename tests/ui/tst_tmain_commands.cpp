// The encrypt and decrypt commands run from the Qt window with the real
// worker and the real progress dialog, and the window states and the tray
// around them (the commands' steps themselves are the rules'). Every job here
// is a real one of about a second (the worker's pause), so the cases are few
// and each looks at much.
#include "Picture.h"
#include "ScriptedPlatform.h"
#include "SharedJob.h"
#include "TStatus_show.h"
#include "Tmain.h"
#include "TrayIcon.h"
#include "test_qt.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

using namespace Qt::Literals::StringLiterals;

using namespace test_util;

namespace {

const QString success_title = u"Trezorka - dokončeno"_s;

const QPoint encrypt_at(129, 304);
const QPoint decrypt_at(260, 304);

// What the windows look like at one moment.
struct Seen {
    bool mainEnabled = false;
    bool mainHidden = false;
    bool mainMinimised = false;
    bool dialogVisible = false;
    bool dialogMinimised = false;
    bool dialogEnabled = false;
    bool dialogWindowModal = false;
    bool trayVisible = false;
    QString busy;
    QString hint;
    QString caption;
    QString status;
    QString from;
    QString to;
};

// The main window with its progress dialog, as the program sets them up.
struct Rig {
    SharedJob job;
    ScriptedPlatform platform;
    QTemporaryDir dir;
    std::unique_ptr<Tmain> w;
    std::unique_ptr<TStatus_show> dialog;
    QList<QStringList> balloons;
    Seen atMessage;

    Rig()
    {
        w = std::make_unique<Tmain>(job, platform, QString());
        dialog = std::make_unique<TStatus_show>(platform, w->application(), w.get());
        w->setStatus_show(dialog.get());
        QObject::connect(w.get(), &Tmain::balloon_shown, w.get(),
                         [this](const QString& title, const QString& text) { balloons << QStringList{title, text}; });
        platform.onMessage = [this](const ScriptedPlatform::Message&) { atMessage = look(); };
        w->show();
    }
    ~Rig()
    {
        dialog.reset();
        w.reset();
    }

    Seen look() const
    {
        Seen s;
        s.mainEnabled = w->isEnabled();
        s.mainHidden = w->isHidden();
        s.mainMinimised = w->isMinimized();
        s.dialogVisible = dialog->isVisible();
        s.dialogMinimised = dialog->isMinimized();
        s.dialogEnabled = dialog->isEnabled() && dialog->Button1->isEnabled() && dialog->Button2->isEnabled();
        // Modal to the main window only, so the tray icon still takes clicks.
        s.dialogWindowModal = dialog->isModal() && dialog->windowModality() == Qt::WindowModal
            && QApplication::activeModalWidget() == dialog.get();
        s.trayVisible = w->tray->isVisible();
        s.busy = qs(job.job_busy);
        s.hint = w->tray->toolTip();
        s.caption = dialog->windowTitle();
        s.status = dialog->statusinfo->text();
        s.from = dialog->fromfile->text();
        s.to = dialog->tofile->text();
        return s;
    }

    QString path(const QString& name) const { return dir.filePath(name); }

    void pick(const QString& source)
    {
        platform.openAnswers << source;
        w->chosefilelabelClick();
        w->stopperTimer();
    }

    // Key by key; Qt Test types ASCII only, other letters go in as an input
    // method would put them.
    static void type(QLineEdit* edit, const QString& text)
    {
        edit->clear();
        for (QChar c : text) {
            if (c.unicode() < 0x80)
                QTest::keyClick(edit, char(c.unicode()));
            else
                edit->insert(QString(c));
        }
    }

    void typePasswords(const QString& password, const QString& again)
    {
        type(w->pw, password);
        if (w->pwagain->isEnabled())
            type(w->pwagain, again);
    }

    // Clicks a command as the user does; returns when the command is over.
    // `during` runs `ms` after the click, inside the job's modal showing.
    void click(QPoint at, int ms = -1, std::function<void()> during = {})
    {
        if (during)
            QTimer::singleShot(ms, w.get(), std::move(during));
        QTest::mouseClick(w.get(), Qt::LeftButton, {}, at);
    }
};


} // namespace

class TmainCommandsTest : public QObject {
    Q_OBJECT

private slots:
    // Encrypt a file, then decrypt it again, all through the window.
    void roundTrip()
    {
        Rig r;
        QVERIFY(r.dir.isValid());
        const QByteArray plain = random_bytes<QByteArray>(100'000, 1);
        write_file(r.path(u"zpráva.pdf"_s), plain);
        const QString encrypted = r.path(u"zpráva.pdf.t2k"_s);

        r.pick(r.path(u"zpráva.pdf"_s));
        r.typePasswords(u"Heslo řeřicha 1"_s, u"Heslo řeřicha 1"_s);
        Seen during;
        r.click(encrypt_at, 300, [&] { during = r.look(); });

        QCOMPARE(r.platform.messages.size(), 1);
        QCOMPARE(r.platform.messages[0].title, success_title);
        QCOMPARE(r.platform.messages[0].text,
                 u"Šifrování souboru dokončeno.\r\nSoubor uložen do: "_s + encrypted + u"."_s);
        QCOMPARE(r.platform.messages[0].icon, trezorka::rules::UiPlatform::Icon::Information);
        QVERIFY(r.platform.okCancelWarnings.isEmpty());
        // While the job ran: the window disabled, the dialog showing its texts.
        QVERIFY(!during.mainEnabled);
        QVERIFY(during.dialogVisible);
        QVERIFY(during.dialogEnabled);
        QVERIFY(during.dialogWindowModal);
        QCOMPARE(during.busy, u"true"_s);
        QCOMPARE(during.hint, u"Trezorka - probíhá šifrování"_s);
        QCOMPARE(during.caption, u"Trezorka - šifrování"_s);
        QCOMPARE(during.status, u"Šifrování dle hesla (SHA RC4)."_s);
        QCOMPARE(during.from, r.path(u"zpráva.pdf"_s));
        QCOMPARE(during.to, encrypted);
        // The result comes while the window is still disabled.
        QVERIFY(!r.atMessage.mainEnabled);
        QVERIFY(!r.atMessage.dialogVisible);
        // Afterwards.
        QVERIFY(r.w->isEnabled());
        QCOMPARE(qs(r.job.job_busy), u"false"_s);
        QVERIFY(r.w->crypt_act->isHidden());
        QVERIFY(!r.w->tray->isVisible());
        QCOMPARE(r.w->tray->toolTip(), u"Trezorka - probíhá šifrování"_s);
        QVERIFY(r.job.password().empty());
        const QByteArray cipher = read_file(encrypted);
        QCOMPARE(cipher.size(), plain.size());
        QVERIFY(cipher != plain);

        // The plain file goes aside, so decrypting asks nothing.
        QVERIFY(QFile::rename(r.path(u"zpráva.pdf"_s), r.path(u"original"_s)));
        r.platform.messages.clear();
        r.pick(encrypted);
        QCOMPARE(r.w->finalfile->text(), r.path(u"zpráva.pdf"_s));
        r.typePasswords(u"Heslo řeřicha 1"_s, {});
        r.click(decrypt_at, 300, [&] { during = r.look(); });

        QCOMPARE(r.platform.messages.size(), 1);
        QCOMPARE(r.platform.messages[0].title, success_title);
        QCOMPARE(r.platform.messages[0].text,
                 u"Dešifrování souboru dokončeno.\r\nSoubor uložen do: "_s + r.path(u"zpráva.pdf"_s) + u"."_s);
        QCOMPARE(r.platform.messages[0].icon, trezorka::rules::UiPlatform::Icon::Information);
        QCOMPARE(during.hint, u"Trezorka - probíhá dešifrování"_s);
        QCOMPARE(during.caption, u"Trezorka - dešifrování"_s);
        QCOMPARE(during.status, u"Dešifrování dle hesla (SHA RC4)."_s);
        QCOMPARE(during.from, encrypted);
        QVERIFY(r.w->decrypt_act->isHidden());
        QCOMPARE(r.w->tray->toolTip(), u"Trezorka - probíhá dešifrování"_s);
        QCOMPARE(read_file(r.path(u"zpráva.pdf"_s)), plain);
        QCOMPARE(listing(r.dir.path()), QStringList({u"original"_s, u"zpráva.pdf"_s, u"zpráva.pdf.t2k"_s}));
    }

    // A source above 8,000,000 bytes sends the application to the tray at
    // once and brings it back before the result.
    void largeSource_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("toTray");
        QTest::newRow("8,000,000 bytes") << qint64(8'000'000) << false;
        QTest::newRow("8,000,001 bytes") << qint64(8'000'001) << true;
    }

    void largeSource()
    {
        QFETCH(qint64, size);
        QFETCH(bool, toTray);
        Rig r;
        {
            QFile f(r.path(u"velky.iso"_s));
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(size)); // sparse
        }
        QSignalSpy lastWindow(qApp, &QGuiApplication::lastWindowClosed);
        r.pick(r.path(u"velky.iso"_s));
        r.typePasswords(u"p"_s, u"p"_s);
        Seen during;
        r.click(encrypt_at, 300, [&] { during = r.look(); });

        QCOMPARE(during.mainMinimised, toTray);
        QCOMPARE(during.mainHidden, toTray);
        QCOMPARE(during.trayVisible, toTray);
        QCOMPARE(during.dialogMinimised, toTray);
        QVERIFY(during.dialogVisible);
        const QList<QStringList> balloon{{u"Trezorka"_s, u"Probíhá šifrování.."_s}};
        QCOMPARE(r.balloons, toTray ? balloon : QList<QStringList>());
        // Back before the result message.
        QVERIFY(!r.atMessage.mainHidden);
        QVERIFY(!r.atMessage.mainMinimised);
        QVERIFY(!r.atMessage.trayVisible);
        QVERIFY(!r.dialog->isMinimized());
        QCOMPARE(r.platform.messages.size(), 1);
        QCOMPARE(r.platform.messages[0].title, success_title);
        QCOMPARE(QFileInfo(r.path(u"velky.iso.t2k"_s)).size(), size);
        QVERIFY(r.w->isVisible());
        QCOMPARE(lastWindow.count(), 0);
    }

    // "Minimalizovat" during a job: to the tray, and back with a click on the
    // icon; without a notification area, an ordinary minimise.
    void minimiseDuringJob_data()
    {
        QTest::addColumn<bool>("systemTray");
        QTest::newRow("notification area") << true;
        QTest::newRow("no notification area") << false;
    }

    void minimiseDuringJob()
    {
        QFETCH(bool, systemTray);
        Rig r;
        r.platform.systemTray = systemTray;
        write_file(r.path(u"a.t2k"_s), random_bytes<QByteArray>(1000, 1));
        r.pick(r.path(u"a.t2k"_s));
        r.typePasswords(u"p"_s, {});
        Seen minimised;
        Seen restored;
        QTimer::singleShot(250, r.w.get(), [&] { r.dialog->Button2->click(); });
        QTimer::singleShot(400, r.w.get(), [&] {
            minimised = r.look();
            emit r.w->tray->activated(QSystemTrayIcon::Trigger);
        });
        r.click(decrypt_at, 550, [&] { restored = r.look(); });

        // Hidden for the tray, or else minimised with its taskbar entry.
        QVERIFY(minimised.mainHidden || minimised.mainMinimised);
        QVERIFY(minimised.dialogMinimised);
        QVERIFY(minimised.dialogVisible);
        QCOMPARE(minimised.mainHidden, systemTray);
        QCOMPARE(minimised.trayVisible, systemTray);
        const QList<QStringList> balloon{{u"Trezorka"_s, u"Probíhá dešifrování.."_s}};
        QCOMPARE(r.balloons, systemTray ? balloon : QList<QStringList>());
        if (systemTray) {
            // The click on the icon brought both windows back.
            QVERIFY(!restored.trayVisible);
            QVERIFY(!restored.mainHidden);
            QVERIFY(!restored.mainMinimised);
            QVERIFY(restored.dialogVisible);
            QVERIFY(!restored.dialogMinimised);
        }
        QVERIFY(!r.atMessage.mainMinimised);
        QVERIFY(!r.atMessage.mainHidden);
        QCOMPARE(r.platform.messages.size(), 1);
        QCOMPARE(r.platform.messages[0].title, success_title);
        QVERIFY(!r.w->tray->isVisible());
    }

    // Outside a job minimising is ordinary, and every restore hides the icon.
    void minimiseWhenIdle()
    {
        Rig r;
        r.w->showMinimized();
        QVERIFY(r.w->isMinimized());
        QVERIFY(!r.w->isHidden());
        QVERIFY(!r.w->tray->isVisible());
        QVERIFY(r.balloons.isEmpty());
        r.w->showNormal();
        QVERIFY(!r.w->tray->isVisible());
        QCOMPARE(r.dialog->isVisible(), false);
    }

    // A double click reaches the program as a click and then a double
    // click: it restores once, as a click does.
    void trayActivations_data()
    {
        QTest::addColumn<QList<int>>("reasons");
        QTest::addColumn<int>("clicks");
        QTest::newRow("click") << QList<int>{QSystemTrayIcon::Trigger} << 1;
        QTest::newRow("double click")
            << QList<int>{QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick} << 1;
        QTest::newRow("context menu") << QList<int>{QSystemTrayIcon::Context} << 0;
        QTest::newRow("middle button") << QList<int>{QSystemTrayIcon::MiddleClick} << 0;
    }

    void trayActivations()
    {
        QFETCH(QList<int>, reasons);
        QFETCH(int, clicks);
        Rig r;
        QSignalSpy spy(r.w->tray_icon(), &TrayIcon::clicked);
        for (int reason : reasons)
            emit r.w->tray->activated(QSystemTrayIcon::ActivationReason(reason));
        QCOMPARE(spy.count(), clicks);
    }

    // The icon steps through its three frames every 500 ms while shown, and
    // goes on from the frame it showed last when shown again.
    void trayFrames()
    {
        Rig r;
        QCOMPARE(r.w->anicons.size(), 3);
        for (const QIcon& frame : r.w->anicons)
            QVERIFY(!frame.pixmap(16, 16).isNull());
        auto frameShown = [&] {
            for (int i = 0; i < 3; ++i)
                if (r.w->tray->icon().cacheKey() == r.w->anicons[i].cacheKey())
                    return i;
            return -1;
        };
        r.job.job_busy = u"true";
        r.w->application().minimise_application();
        QVERIFY(r.w->tray->isVisible());
        QCOMPARE(frameShown(), 0);

        // The moments of the frame changes over 1.6 s.
        QElapsedTimer clock;
        clock.start();
        QList<QPair<int, qint64>> changes;
        int last = frameShown();
        while (clock.elapsed() < 1600) {
            QTest::qWait(10);
            if (frameShown() != last) {
                last = frameShown();
                changes.append({last, clock.elapsed()});
            }
        }
        QCOMPARE(changes.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(changes[i].first, (i + 1) % 3);
            const qint64 expected = 500 * (i + 1);
            QVERIFY2(qAbs(changes[i].second - expected) < 120, qPrintable(QString::number(changes[i].second)));
        }

        r.w->application().restore_application();
        QVERIFY(!r.w->tray->isVisible());
        QVERIFY(!r.w->isHidden());
        QTest::qWait(700);
        QCOMPARE(frameShown(), 0); // stood still while hidden

        // Hidden at frame 0 this time; one more step first, for a frame other than the first.
        r.w->application().minimise_application();
        QTRY_COMPARE_WITH_TIMEOUT(frameShown(), 1, 800);
        r.w->application().restore_application();
        r.w->application().minimise_application();
        QCOMPARE(frameShown(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(frameShown(), 2, 800);
        r.w->application().restore_application();
        r.job.job_busy = u"false";
    }
};

QTEST_MAIN(TmainCommandsTest)
#include "tst_tmain_commands.moc"
