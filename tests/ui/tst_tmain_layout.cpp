// The Qt face builds the main window as its layout says (what the layout
// itself must satisfy is tested with the rules): each row's control, place,
// state, font, colour, pointer and picture, in the layout's stacking order,
// and the window itself.
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
namespace rules = trezorka::rules;

class TmainLayoutTest : public QObject {
    Q_OBJECT

    SharedJob job;
    ScriptedPlatform platform;

private slots:
    void initTestCase() { QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough); }

    void controls()
    {
        Tmain w(job, platform, {});
        QStringList stacking;
        for (QObject* o : w.children())
            if (o->isWidgetType())
                stacking << o->objectName();
        QStringList names;
        for (int i = 0; i < rules::control_count; ++i) {
            const rules::ControlLayout& c = rules::main_layout()[std::size_t(i)];
            const QString name = QString::fromLatin1(c.name.data(), qsizetype(c.name.size()));
            names << name;
            auto* widget = w.findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
            QVERIFY2(widget, qPrintable(name));
            const QRect place(c.rect.x, c.rect.y, c.rect.width, c.rect.height);
            const QString text = qs(rules::first_text(rules::Control(i)));
            if (auto* label = qobject_cast<QLabel*>(widget)) {
                QCOMPARE(c.kind, rules::Kind::Label);
                QCOMPARE(label->text(), text);
                QVERIFY(!label->autoFillBackground());
                QCOMPARE(label->palette().color(QPalette::Active, QPalette::WindowText), QColor::fromRgb(c.colour));
                // Labels size themselves to their text: the place is fixed, the
                // size at least the given one, and only a little more where the
                // layout gives the text (the address is shown as it is).
                QCOMPARE(label->pos(), place.topLeft());
                const QSize least = c.text.empty() ? place.size().expandedTo(label->sizeHint()) : place.size();
                QVERIFY2(label->width() >= least.width() && label->width() <= least.width() + 6, qPrintable(name));
                QVERIFY2(label->height() >= least.height() && label->height() <= least.height() + 6, qPrintable(name));
            } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
                QCOMPARE(c.kind, rules::Kind::Edit);
                QCOMPARE(edit->text(), text);
                QCOMPARE(edit->geometry(), place);
                QCOMPARE(edit->isReadOnly(), c.read_only);
                QCOMPARE(edit->echoMode() == QLineEdit::Password, c.password);
            } else {
                auto* picture = qobject_cast<Picture*>(widget);
                QVERIFY2(picture && c.kind == rules::Kind::Picture, qPrintable(name));
                QCOMPARE(picture->art(), QString::fromLatin1(c.picture.data(), qsizetype(c.picture.size())));
                QCOMPARE(picture->geometry(), place);
            }
            QCOMPARE(!widget->isHidden(), c.shown);
            QCOMPARE(widget->isEnabled(), c.enabled);
            QCOMPARE(widget->font().family(), u"Tahoma"_s);
            QCOMPARE(widget->font().pixelSize(), c.font.pixels);
            QCOMPARE(widget->font().bold(), c.font.bold);
            QCOMPARE(widget->font().underline(), c.font.underline);
            QCOMPARE(widget->cursor().shape() == Qt::PointingHandCursor, c.hand);
            // Only the edit boxes take the keyboard focus.
            QCOMPARE(widget->focusPolicy() != Qt::NoFocus, c.kind == rules::Kind::Edit);
        }
        QCOMPARE(stacking, names);
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

    // The label shows the address it opens, without the scheme.
    void linkLabel()
    {
        Tmain w(job, platform, {});
        w.Label6Click();
        QCOMPARE(platform.urls.size(), 1);
        const QUrl opened(platform.urls.constFirst());
        QVERIFY(opened.scheme() == u"https"_s || opened.scheme() == u"http"_s);
        QVERIFY(!opened.host().isEmpty());
        QCOMPARE(u"%1://%2"_s.arg(opened.scheme(), w.Label6->text()), opened.toString(QUrl::StripTrailingSlash));
    }

    // The rules' timers, precise, stopped until a source is chosen.
    void timers()
    {
        Tmain w(job, platform, {});
        const std::pair<QTimer*, rules::Timer> timers[] = {{w.cryptblink, rules::Timer::cryptblink},
                                                           {w.decryptblink, rules::Timer::decryptblink},
                                                           {w.stopper, rules::Timer::stopper}};
        for (const auto& [timer, which] : timers) {
            QCOMPARE(timer->interval(), rules::period_ms(which));
            QCOMPARE(timer->timerType(), Qt::PreciseTimer);
            QVERIFY(!timer->isActive());
            QVERIFY(!timer->isSingleShot());
        }
    }
};

QTEST_MAIN(TmainLayoutTest)
#include "tst_tmain_layout.moc"
