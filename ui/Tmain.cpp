#include "Tmain.h"

#include "Accessibility.h"
#include "Artwork.h"
#include "DesktopWindows.h"
#include "FileDrop.h"
#include "HoverDispatcher.h"
#include "Picture.h"
#include "Style.h"
#include "TStatus_show.h"
#include "TrayIcon.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSystemTrayIcon>
#include <QTimer>

#include <stdexcept>

using trezorka::ui::qs;
using trezorka::ui::u16;
namespace rules = trezorka::rules;
namespace texts = trezorka::rules::texts;

// The artwork is compiled into this static library; its registration must be
// pulled in explicitly or the linker drops it.
static void init_artwork_resources()
{
    Q_INIT_RESOURCE(artwork);
}

Tmain::Tmain(SharedJob& job, UiPlatform& platform, const QString& first_argument, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint),
      filechosedialog(rules_.filechosedialog), saveto(rules_.saveto), tray_icon_(new TrayIcon(this)),
      windows_(new DesktopWindows(this)), rules_(job, *this, *this, *windows_, platform, u16(first_argument))
{
    init_artwork_resources();
    trezorka::ui::register_tahoma();
    setObjectName(QStringLiteral("main"));
    setWindowTitle(qs(rules::main_window.caption));
    setFixedSize(rules::main_window.width, rules::main_window.height);
    trezorka::ui::apply_window_look(this, rules::main_window);

    QIcon icon;
    for (qreal dpr : {1.0, 2.0})
        icon.addPixmap(Artwork::pixmap(QStringLiteral("icon"), dpr));
    setWindowIcon(icon);

    tray = tray_icon_->icon();
    anicons = tray_icon_->frames();
    connect(tray_icon_, &TrayIcon::clicked, this, &Tmain::trayClick);
    connect(tray_icon_, &TrayIcon::balloon_shown, this, &Tmain::balloon_shown);

    create_controls();
    create_timers();
    // Before anything asks for the controls' accessible interfaces, which
    // are made once and kept.
    setup_accessibility();
    windows_->attach(rules_.application());
    bind_events();
    rules_.application().main_created();
    rules_.FormCreate();
}

Tmain::~Tmain() = default;

QString Tmain::saveto_confirmed_path() const
{
    return qs(rules_.saveto_confirmed_path());
}

// ---- the controls, from the rules' layout ----

// In creation order, which is the stacking order and the keyboard's.
void Tmain::create_controls()
{
    for (const rules::ControlLayout& c : rules::main_layout()) {
        QWidget* w = nullptr;
        QRect geometry(c.rect.x, c.rect.y, c.rect.width, c.rect.height);
        switch (c.kind) {
        case rules::Kind::Picture:
            w = new Picture(c, this);
            break;
        case rules::Kind::Label: {
            const auto control = static_cast<Control>(&c - rules::main_layout().data());
            auto* l = new QLabel(qs(rules::first_text(control)), this);
            l->setFont(trezorka::ui::font_of(c.font));
            l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            QPalette p = l->palette();
            // A disabled label keeps the style's grey text.
            for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
                p.setColor(group, QPalette::WindowText, trezorka::ui::colour_of(c.colour));
            l->setPalette(p);
            // The sizes are the Tahoma ones, grown where a substitute font
            // needs more room so nothing is cut off.
            geometry.setSize(geometry.size().expandedTo(l->sizeHint()));
            w = l;
            break;
        }
        case rules::Kind::Edit:
        case rules::Kind::Button: {
            auto* e = new QLineEdit(qs(c.text), this);
            e->setCursorPosition(0);
            e->setReadOnly(c.read_only);
            if (c.password) {
                e->setEchoMode(QLineEdit::Password);
                e->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
            }
            w = e;
            break;
        }
        }
        w->setObjectName(trezorka::ui::latin1(c.name));
        w->setGeometry(geometry);
        if (c.hand)
            w->setCursor(Qt::PointingHandCursor);
        if (!c.shown)
            w->hide();
        w->setEnabled(c.enabled);
        controls_[std::size_t(&c - rules::main_layout().data())] = w;
    }
    auto picture = [this](Control c) { return static_cast<Picture*>(control(c)); };
    auto label = [this](Control c) { return static_cast<QLabel*>(control(c)); };
    Image3 = picture(Control::Image3);
    off = picture(Control::off);
    Image2 = picture(Control::Image2);
    Image1 = picture(Control::Image1);
    selectfile = picture(Control::selectfile);
    crypt = picture(Control::crypt);
    decrypt = picture(Control::decrypt);
    crypt_act = picture(Control::crypt_act);
    decrypt_act = picture(Control::decrypt_act);
    Label1 = label(Control::Label1);
    Label2 = label(Control::Label2);
    selectfile_act = picture(Control::selectfile_act);
    cryptlabel = label(Control::cryptlabel);
    decryptlabel = label(Control::decryptlabel);
    chosefilelabel = label(Control::chosefilelabel);
    savetochose = picture(Control::savetochose);
    savetochose_act = picture(Control::savetochose_act);
    savetochose_label = label(Control::savetochose_label);
    Label4 = label(Control::Label4);
    pwagainlabel = label(Control::pwagainlabel);
    pwok = picture(Control::pwok);
    pwagainok = picture(Control::pwagainok);
    pwagainerr = picture(Control::pwagainerr);
    pwerr = picture(Control::pwerr);
    Label3 = label(Control::Label3);
    Label6 = label(Control::Label6);
    off_act = picture(Control::off_act);
    offlabel = label(Control::offlabel);
    filetocrypt = edit(Control::filetocrypt);
    finalfile = edit(Control::finalfile);
    pw = edit(Control::pw);
    pwagain = edit(Control::pwagain);

    pwagain_palette_ = pwagain->palette();
}

void Tmain::create_timers()
{
    auto make_timer = [this](const char* name, rules::Timer which) {
        auto* t = new QTimer(this);
        t->setObjectName(QString::fromLatin1(name));
        t->setInterval(rules::period_ms(which));
        // A coarse timer may drift by 5 %.
        t->setTimerType(Qt::PreciseTimer);
        return t;
    };
    decryptblink = make_timer("decryptblink", rules::Timer::decryptblink);
    cryptblink = make_timer("cryptblink", rules::Timer::cryptblink);
    stopper = make_timer("stopper", rules::Timer::stopper);
}

QLineEdit* Tmain::edit(Control c) const
{
    return static_cast<QLineEdit*>(control(c));
}

QTimer* Tmain::timer(rules::Timer t) const
{
    switch (t) {
    case rules::Timer::cryptblink: return cryptblink;
    case rules::Timer::decryptblink: return decryptblink;
    case rules::Timer::stopper: break;
    }
    return stopper;
}

void Tmain::bind_events()
{
    connect(decryptblink, &QTimer::timeout, this, &Tmain::decryptblinkTimer);
    connect(cryptblink, &QTimer::timeout, this, &Tmain::cryptblinkTimer);
    connect(stopper, &QTimer::timeout, this, &Tmain::stopperTimer);
    // Any change of the text, typed or set by the program.
    connect(pw, &QLineEdit::textChanged, this, &Tmain::pwChange);
    connect(pwagain, &QLineEdit::textChanged, this, &Tmain::pwagainChange);
    for (QLineEdit* e : {pw, pwagain})
        connect(e, &QLineEdit::returnPressed, this, [this] { rules_.password_entered(); });
    // The field's undo history keeps every character typed, one record each,
    // although undo in a password field can only clear it. Setting the same
    // text is the one way to drop that history; text, cursor and marks stay.
    for (QLineEdit* e : {pw, pwagain})
        connect(e, &QLineEdit::textEdited, e, [e] {
            const int cursor = e->cursorPosition();
            e->setText(e->text());
            e->setCursorPosition(cursor);
        });
    auto* drop = new FileDrop(
        this, [this] { return rules_.accepting_input(); },
        [this](const QString& path) { rules_.file_dropped(u16(path)); });
    drop->watch(pw);
    drop->watch(pwagain);

    auto* dispatcher = new HoverDispatcher(
        this, QList<QWidget*>(controls_.begin(), controls_.end()),
        [this](int target) { rules_.mouse_moved_over(target); }, [this](int target) { rules_.clicked_on(target); });
    dispatcher->attach();
}

bool Tmain::eventFilter(QObject* watched, QEvent* event)
{
    // Installed on the marks only.
    if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
        describe_marks();
    return QWidget::eventFilter(watched, event);
}

// ---- the view ----

bool Tmain::shown(Control c) const
{
    return !control(c)->isHidden();
}

void Tmain::set_shown(Control c, bool shown)
{
    control(c)->setVisible(shown);
}

bool Tmain::enabled(Control c) const
{
    // The control's own state: the whole window is disabled while a job runs.
    return control(c)->isEnabledTo(this);
}

void Tmain::set_enabled(Control c, bool enabled)
{
    control(c)->setEnabled(enabled);
}

std::u16string Tmain::text(Control c) const
{
    if (auto* e = qobject_cast<QLineEdit*>(control(c)))
        return u16(e->text());
    if (auto* l = qobject_cast<QLabel*>(control(c)))
        return u16(l->text());
    return {};
}

void Tmain::set_text(Control c, std::u16string_view text)
{
    if (auto* e = qobject_cast<QLineEdit*>(control(c))) {
        e->setText(qs(text));
        e->setCursorPosition(0);
    } else if (auto* l = qobject_cast<QLabel*>(control(c))) {
        l->setText(qs(text));
    }
}

bool Tmain::empty(Control c) const
{
    return edit(c)->text().isEmpty();
}

bool Tmain::same_text(Control a, Control b) const
{
    // QString shares the fields' own text: nothing is copied here.
    return edit(a)->text() == edit(b)->text();
}

void Tmain::copy_password(Control c, SharedJob& job_record) const
{
    const QString text = edit(c)->text(); // shares the field's text
    job_record.set_password(reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size()));
}

void Tmain::set_unused_look(Control c, bool unused)
{
    QPalette look = pwagain_palette_;
    if (unused)
        look.setColor(QPalette::Base, trezorka::ui::colour_of(rules::unused_field_colour));
    control(c)->setPalette(look);
}

void Tmain::set_focus(Control c)
{
    control(c)->setFocus(Qt::OtherFocusReason);
}

bool Tmain::timer_running(rules::Timer t) const
{
    return timer(t)->isActive();
}

void Tmain::start_timer(rules::Timer t)
{
    timer(t)->start();
}

void Tmain::stop_timer(rules::Timer t)
{
    timer(t)->stop();
}

void Tmain::set_tray_shown(bool shown)
{
    tray_icon_->set_shown(shown);
}

void Tmain::set_tray_hint(std::u16string_view hint)
{
    tray_icon_->set_hint(qs(hint));
}

void Tmain::show_tray_balloon(std::u16string_view title, std::u16string_view text)
{
    tray_icon_->show_balloon(qs(title), qs(text));
}

// ---- the port ----

void Tmain::set_window_enabled(bool enabled)
{
    setEnabled(enabled);
    // Disabling a widget disables its child windows too, and the dialog is
    // this window's child: its buttons must stay usable.
    if (!enabled && status_show_)
        status_show_->setEnabled(true);
}

sifra::CloseRequest Tmain::close_request()
{
    if (!status_show_)
        throw std::logic_error("no progress dialog");
    // The dialog lives as long as the process; the call is queued to the UI thread.
    TStatus_show* dialog = status_show_.data();
    return [dialog] { QMetaObject::invokeMethod(dialog, &TStatus_show::close_request, Qt::QueuedConnection); };
}

void Tmain::show_progress(const texts::CommandTexts& t, std::u16string_view from, std::u16string_view to)
{
    if (!status_show_)
        throw std::logic_error("no progress dialog");
    status_show_->set_texts(qs(t.caption), qs(t.status), qs(from), qs(to));
    status_show_->exec();
}

void Tmain::close_progress_if_shown()
{
    // A request to a dialog that is not showing would end its next showing
    // at once, so only a shown one is asked.
    if (status_show_ && status_show_->isVisible())
        status_show_->close_request();
}

void Tmain::quit()
{
    QCoreApplication::quit();
}

// ---- the progress dialog ----

void Tmain::setStatus_show(TStatus_show* dialog)
{
    status_show_ = dialog;
    windows_->set_dialog(dialog);
}

// ---- screen readers ----

void Tmain::setup_accessibility()
{
    namespace a11y = trezorka::accessibility;
    for (const rules::TmainRules::Command& c : rules::TmainRules::commands())
        a11y::set_command(control(c.label), c.bar ? QAccessible::Button : QAccessible::Link,
                          c.bar ? control(*c.bar) : nullptr, qs(c.description),
                          [this, click = c.click] { (rules_.*click)(); });
    QList<QWidget*> decorations;
    for (int i = 0; i < rules::control_count; ++i)
        if (rules::TmainRules::decoration(static_cast<Control>(i)))
            decorations << control(static_cast<Control>(i));
    a11y::set_decorations(this, decorations);

    for (const rules::TmainRules::Field& f : rules::TmainRules::fields()) {
        auto* label = static_cast<QLabel*>(control(f.label));
        edit(f.field)->setAccessibleName(qs(rules::TmainRules::field_name(f)));
        label->setBuddy(edit(f.field));
        for (const auto& [mark, name] : {std::pair{f.ok, f.ok_name}, std::pair{f.error, f.error_name}}) {
            if (!mark)
                continue;
            control(*mark)->setAccessibleName(qs(name));
            a11y::set_command(control(*mark), QAccessible::Graphic, nullptr, QString(), {});
            // A screen reader hears of the marks through the fields they belong to.
            control(*mark)->installEventFilter(this);
        }
    }
}

// A hidden mark is not announced, so the field it belongs to says what the
// shown one says.
void Tmain::describe_marks()
{
    for (const rules::TmainRules::Field& f : rules::TmainRules::fields()) {
        const QString text = qs(rules_.described(f));
        // Qt tells a listening screen reader of the change.
        if (edit(f.field)->accessibleDescription() != text)
            edit(f.field)->setAccessibleDescription(text);
    }
}
