// The main window as laid out: every control's place, stacking, initial state,
// font, colour and pointer, and the window's own properties.
#include "Picture.h"
#include "ScriptedPlatform.h"
#include "SharedJob.h"
#include "Tmain.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

class TmainLayoutTest : public QObject {
    Q_OBJECT

    SharedJob job;
    ScriptedPlatform platform;

    template <class T = QWidget>
    static T* control(Tmain& w, const QString& name)
    {
        return w.findChild<T*>(name, Qt::FindDirectChildrenOnly);
    }

private slots:
    void initTestCase() { QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough); }

    void controls_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("pixels"); // 0: the window's default font
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("hand");
        QTest::addColumn<QString>("text");

        auto row = [](const char* name, const char* kind, QRect g, bool shown, bool enabled, int px, bool bold,
                      bool hand, const QString& text = {}) {
            QTest::newRow(name) << QString::fromLatin1(kind) << g << shown << enabled << px << bold << hand << text;
        };
        row("Image3", "Picture", {464, 40, 97, 299}, true, true, 0, false, false);
        row("off", "Picture", {327, 288, 121, 32}, true, true, 0, false, true);
        row("Image2", "Picture", {-38, 64, 105, 269}, true, true, 0, false, false);
        row("Image1", "Picture", {-7, 0, 274, 85}, true, true, 0, false, false);
        row("selectfile", "Picture", {400, 111, 66, 21}, true, true, 0, false, true);
        row("crypt", "Picture", {65, 288, 129, 32}, true, false, 0, false, true);
        row("decrypt", "Picture", {200, 288, 121, 32}, true, false, 0, false, true);
        row("crypt_act", "Picture", {65, 288, 129, 32}, false, false, 0, false, true);
        row("decrypt_act", "Picture", {200, 288, 121, 32}, false, false, 0, false, true);
        row("Label1", "QLabel", {102, 93, 105, 14}, true, true, 12, true, false, u"Zdrojový soubor:"_s);
        row("Label2", "QLabel", {102, 140, 87, 14}, true, true, 12, true, false, u"Cílový soubor:"_s);
        row("selectfile_act", "Picture", {400, 111, 66, 21}, false, true, 0, false, true);
        row("cryptlabel", "QLabel", {89, 293, 82, 19}, true, false, 16, true, true, u"Zašifrovat"_s);
        row("decryptlabel", "QLabel", {219, 293, 84, 19}, true, false, 16, true, true, u"Odšifrovat"_s);
        row("chosefilelabel", "QLabel", {407, 113, 51, 16}, true, true, 13, true, true, u"Vyber..."_s);
        row("savetochose", "Picture", {400, 159, 113, 21}, true, false, 0, false, true);
        row("savetochose_act", "Picture", {400, 159, 113, 21}, false, false, 0, false, true);
        row("savetochose_label", "QLabel", {407, 161, 97, 16}, true, false, 13, true, true, u"Vyber umístění"_s);
        row("Label4", "QLabel", {102, 187, 37, 14}, true, true, 12, true, false, u"Heslo:"_s);
        row("pwagainlabel", "QLabel", {102, 230, 77, 14}, true, true, 12, true, false, u"Heslo znova:"_s);
        row("pwok", "Picture", {407, 207, 20, 21}, false, true, 0, false, false);
        row("pwagainok", "Picture", {407, 250, 20, 21}, false, true, 0, false, false);
        row("pwagainerr", "Picture", {407, 250, 20, 21}, false, true, 0, false, false);
        row("pwerr", "Picture", {407, 207, 20, 21}, false, true, 0, false, false);
        row("Label3", "QLabel", {407, 326, 142, 13}, true, true, 11, false, false);
        row("Label6", "QLabel", {8, 326, 59, 13}, true, true, 11, false, true);
        row("off_act", "Picture", {327, 288, 121, 32}, false, true, 0, false, true);
        row("offlabel", "QLabel", {350, 293, 62, 19}, true, true, 16, true, true, u"Ukončit"_s);
        row("filetocrypt", "QLineEdit", {105, 112, 296, 21}, true, true, 11, false, false,
            u"Vyberte prosím soubor         ==>"_s);
        row("finalfile", "QLineEdit", {105, 160, 296, 21}, true, true, 11, false, false, u""_s);
        row("pw", "QLineEdit", {105, 207, 296, 21}, true, true, 11, false, false, u""_s);
        row("pwagain", "QLineEdit", {105, 250, 296, 21}, true, true, 11, false, false, u""_s);
    }

    void controls()
    {
        QFETCH(QString, kind);
        QFETCH(QRect, geometry);
        QFETCH(bool, shown);
        QFETCH(bool, enabled);
        QFETCH(int, pixels);
        QFETCH(bool, bold);
        QFETCH(bool, hand);
        QFETCH(QString, text);

        Tmain w(job, platform, {});
        QWidget* c = control(w, QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(c);
        QCOMPARE(QString::fromLatin1(c->metaObject()->className()), kind);
        if (kind == u"QLabel") {
            // Labels size themselves to their text: the place is fixed, the
            // size is at least the given one and only a little more.
            QCOMPARE(c->pos(), geometry.topLeft());
            // Our own texts (the attribution, the address) may be longer
            // than the place's width: such a label grows to its text.
            const int wide = text.isEmpty() ? std::max(geometry.width(), c->sizeHint().width()) : geometry.width();
            QVERIFY2(c->width() >= wide && c->width() <= wide + 6, qPrintable(QString::number(c->width())));
            QVERIFY2(c->height() >= geometry.height() && c->height() <= geometry.height() + 6,
                     qPrintable(QString::number(c->height())));
            QCOMPARE(static_cast<QLabel*>(c)->text(), text.isEmpty() ? static_cast<QLabel*>(c)->text() : text);
            QVERIFY(!c->autoFillBackground());
        } else {
            QCOMPARE(c->geometry(), geometry);
        }
        if (kind == u"QLineEdit")
            QCOMPARE(static_cast<QLineEdit*>(c)->text(), text);
        QCOMPARE(!c->isHidden(), shown);
        QCOMPARE(c->isEnabled(), enabled);
        QCOMPARE(c->font().family(), QStringLiteral("Tahoma"));
        QCOMPARE(c->font().pixelSize(), pixels ? pixels : 11);
        QCOMPARE(c->font().bold(), bold);
        QCOMPARE(c->cursor().shape() == Qt::PointingHandCursor, hand);
        // Only the edit boxes take the keyboard focus.
        QCOMPARE(c->focusPolicy() != Qt::NoFocus, kind == u"QLineEdit");
    }

    void stackingFollowsCreationOrder()
    {
        Tmain w(job, platform, {});
        QStringList names;
        for (QObject* o : w.children())
            if (o->isWidgetType())
                names << o->objectName();
        const QStringList expected{
            u"Image3"_s, u"off"_s, u"Image2"_s, u"Image1"_s, u"selectfile"_s, u"crypt"_s, u"decrypt"_s,
            u"crypt_act"_s, u"decrypt_act"_s, u"Label1"_s, u"Label2"_s, u"selectfile_act"_s,
            u"cryptlabel"_s, u"decryptlabel"_s, u"chosefilelabel"_s, u"savetochose"_s,
            u"savetochose_act"_s, u"savetochose_label"_s, u"Label4"_s, u"pwagainlabel"_s, u"pwok"_s,
            u"pwagainok"_s, u"pwagainerr"_s, u"pwerr"_s, u"Label3"_s, u"Label6"_s, u"off_act"_s,
            u"offlabel"_s, u"filetocrypt"_s, u"finalfile"_s, u"pw"_s, u"pwagain"_s};
        QCOMPARE(names, expected);
    }

    void pictures_data()
    {
        QTest::addColumn<QString>("art");
        QTest::newRow("Image3") << u"panel_right"_s;
        QTest::newRow("Image2") << u"panel_left"_s;
        QTest::newRow("Image1") << u"logo_banner"_s;
        for (const char* plain : {"off", "selectfile", "crypt", "decrypt", "savetochose"}) {
            QTest::newRow(plain) << u"bar"_s;
            QTest::newRow(QByteArray(plain).append("_act").constData()) << u"bar_act"_s;
        }
        QTest::newRow("pwok") << u"mark_ok"_s;
        QTest::newRow("pwagainok") << u"mark_ok"_s;
        QTest::newRow("pwerr") << u"mark_err"_s;
        QTest::newRow("pwagainerr") << u"mark_err"_s;
    }

    void pictures()
    {
        QFETCH(QString, art);
        Tmain w(job, platform, {});
        auto* p = control<Picture>(w, QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(p);
        QCOMPARE(p->art(), art);
    }

    void textColours_data()
    {
        QTest::addColumn<QColor>("colour");
        for (const char* name : {"cryptlabel", "decryptlabel", "chosefilelabel", "savetochose_label", "offlabel"})
            QTest::newRow(name) << QColor(Qt::white);
        QTest::newRow("pwagainlabel") << QColor(Qt::black);
        QTest::newRow("Label6") << QColor(0, 0, 128);
    }

    void textColours()
    {
        QFETCH(QColor, colour);
        Tmain w(job, platform, {});
        auto* l = control<QLabel>(w, QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(l);
        QCOMPARE(l->palette().color(QPalette::Active, QPalette::WindowText), colour);
    }

    void linkLabel()
    {
        Tmain w(job, platform, {});
        QVERIFY(w.Label6->font().underline());
        QVERIFY(!w.Label3->text().isEmpty());
        // The label shows the address it opens, without the scheme.
        platform.urls.clear();
        w.Label6Click();
        QCOMPARE(platform.urls.size(), 1);
        const QUrl opened(platform.urls.constFirst());
        QVERIFY(opened.scheme() == u"https"_s || opened.scheme() == u"http"_s);
        QVERIFY(!opened.host().isEmpty());
        QCOMPARE(u"%1://%2"_s.arg(opened.scheme(), w.Label6->text()), opened.toString(QUrl::StripTrailingSlash));
    }

    void window()
    {
        Tmain w(job, platform, {});
        QCOMPARE(w.objectName(), u"main"_s);
        QCOMPARE(w.windowTitle(), u"Trezorka 2.0 Portable"_s);
        QCOMPARE(w.size(), QSize(555, 341));
        QCOMPARE(w.minimumSize(), QSize(555, 341));
        QCOMPARE(w.maximumSize(), QSize(555, 341));
        QCOMPARE(w.palette().color(QPalette::Window), QColor(0xE8, 0xE8, 0xE8));
        QCOMPARE(w.font().family(), u"Tahoma"_s);
        QCOMPARE(w.font().pixelSize(), 11);
        const Qt::WindowFlags f = w.windowFlags();
        QVERIFY(w.isWindow());
        QVERIFY(f.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(f.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(f.testFlag(Qt::WindowSystemMenuHint));
        QVERIFY(!f.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!w.windowIcon().isNull());
    }

    void placedInTheDesktopCentre()
    {
        QRect desktop;
        for (const QScreen* s : QGuiApplication::screens())
            desktop = desktop.united(s->geometry());
        Tmain w(job, platform, {});
        QCOMPARE(w.pos(), QPoint(std::max(desktop.left(), desktop.left() + (desktop.width() - 555) / 2),
                                 std::max(desktop.top(), desktop.top() + (desktop.height() - 341) / 2)));
    }

    void tabOrder()
    {
        Tmain w(job, platform, {});
        QCOMPARE(w.filetocrypt->nextInFocusChain(), w.finalfile);
        QCOMPARE(w.finalfile->nextInFocusChain(), w.pw);
        QCOMPARE(w.pw->nextInFocusChain(), w.pwagain);
        QVERIFY(w.filetocrypt->isReadOnly());
        QVERIFY(w.finalfile->isReadOnly());
        QVERIFY(!w.pw->isReadOnly());
    }

    void passwordsShowAsStars()
    {
        Tmain w(job, platform, {});
        w.show();
        w.pw->setText(u"heslo"_s);
        w.pwagain->setText(u"ab"_s);
        QCOMPARE(w.pw->displayText(), u"*****"_s);
        QCOMPARE(w.pwagain->displayText(), u"**"_s);
    }

    void timers_data()
    {
        QTest::addColumn<int>("interval");
        QTest::newRow("decryptblink") << 500;
        QTest::newRow("cryptblink") << 500;
        QTest::newRow("stopper") << 3800;
    }

    void timers()
    {
        QFETCH(int, interval);
        Tmain w(job, platform, {});
        auto* t = w.findChild<QTimer*>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(t);
        QCOMPARE(t->interval(), interval);
        QVERIFY(!t->isActive());
        QVERIFY(!t->isSingleShot());
    }

    void dialogsAtStart()
    {
        Tmain w(job, platform, {});
        QCOMPARE(qs(w.filechosedialog.filter),
                 u"Všechny soubory [*.*]|*.*|Soubory šifrované aplikací Trezorka 2 [*.t2k]|*.t2k"_s);
        QCOMPARE(w.filechosedialog.filter_index, 1);
        QCOMPARE(qs(w.saveto.filter), u"Soubor šifrovaný aplikací Trezorka 2 [*.t2k]|*.t2k|Všechny soubor [*.*]|*.*"_s);
    }
};

QTEST_MAIN(TmainLayoutTest)
#include "tst_tmain_layout.moc"
