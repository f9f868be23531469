#include "Tmain.h"

#include "Accessibility.h"
#include "Artwork.h"
#include "HoverDispatcher.h"
#include "Picture.h"

#include "TStatus_show.h"

#include "naming.h"
#include "native_path.h"
#include "sifra.h"
#include "stream_job.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSysInfo>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <QWindowStateChangeEvent>

#include <filesystem>
#include <stdexcept>
#include <system_error>

#ifndef TREZORKA_WEB_URL
#define TREZORKA_WEB_URL "https://example.org/trezorka"
#endif

// The artwork is compiled into this static library; its registration must be
// pulled in explicitly or the linker drops it.
static void init_artwork_resources()
{
    Q_INIT_RESOURCE(artwork);
}

const QString Tmain::filechosedialogFilter = QStringLiteral(
    u"Všechny soubory [*.*]|*.*|Soubory šifrované aplikací Trezorka 2 [*.t2k]|*.t2k");
const QString Tmain::savetoFilter = QStringLiteral(
    u"Soubor šifrovaný aplikací Trezorka 2 [*.t2k]|*.t2k|Všechny soubor [*.*]|*.*");
const QString Tmain::oldFormatWarning = QStringLiteral(
    u"VAROVÁNÍ: starší format šifrovaného souboru (*.t1k) není v této verzi podporován.");
const QString Tmain::sourcePrompt = QStringLiteral(u"Vyberte prosím soubor         ==>");
const QString Tmain::overwriteQuestion = QStringLiteral(u"Cílový soubor již existuje. Přepsat jej?");
const QString Tmain::pwokName = QStringLiteral(u"Heslo zadáno");
const QString Tmain::pwerrName = QStringLiteral(u"Heslo chybí");
const QString Tmain::pwagainokName = QStringLiteral(u"Hesla se shodují");
const QString Tmain::pwagainerrName = QStringLiteral(u"Hesla se neshodují");

namespace {

constexpr QRgb background_colour = 0xE8E8E8;
constexpr QRgb silver = 0xC0C0C0;

// The texts of one direction of a job.
struct CommandTexts {
    QString balloon;
    QString hint;
    QString caption;
    QString status;
    QString success;
    QString failure;
};

const CommandTexts& texts_for(bool encrypt)
{
    static const CommandTexts encrypting{
        QStringLiteral(u"Probíhá šifrování.."),
        QStringLiteral(u"Trezorka - probíhá šifrování"),
        QStringLiteral(u"Trezorka - šifrování"),
        QStringLiteral(u"Šifrování dle hesla (SHA RC4)."),
        QStringLiteral(u"Šifrování souboru dokončeno.\r\nSoubor uložen do: "),
        QStringLiteral(u"Nelze provést šifrování souboru.\r\n(chyba při načítání/ukládání)"),
    };
    static const CommandTexts decrypting{
        QStringLiteral(u"Probíhá dešifrování.."),
        QStringLiteral(u"Trezorka - probíhá dešifrování"),
        QStringLiteral(u"Trezorka - dešifrování"),
        QStringLiteral(u"Dešifrování dle hesla (SHA RC4)."),
        QStringLiteral(u"Dešifrování souboru dokončeno.\r\nSoubor uložen do: "),
        QStringLiteral(u"Nelze provést dešifrování souboru.\r\n(chyba při načítání/ukládání)"),
    };
    return encrypt ? encrypting : decrypting;
}

const QString error_title = QStringLiteral(u"Trezorka - chyba");
const QString success_title = QStringLiteral(u"Trezorka - dokončeno");
const QString password_missing = QStringLiteral(u"Vložte prosím heslo.");
const QString password_mismatch = QStringLiteral(u"Hesla se neshodují, prosím opravte.");
const QString tray_title = QStringLiteral(u"Trezorka");

std::filesystem::path native_path_of(const QString& text)
{
    return trezorka::to_native_path(text.toStdU16String());
}

// Anything at the path, a dangling link included.
bool something_at(const QString& path)
{
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(native_path_of(path), ec));
}

// The web address as the link label shows it: without its scheme.
QString shown_address(const QString& address)
{
    const QUrl url(address);
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return url.host() + path;
}

QFont tahoma(int pixels, bool bold = false)
{
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// The text colour of a label; a disabled label keeps the style's grey text.
void set_text_colour(QLabel* label, QColor colour)
{
    QPalette p = label->palette();
    p.setColor(QPalette::Active, QPalette::WindowText, colour);
    p.setColor(QPalette::Inactive, QPalette::WindowText, colour);
    label->setPalette(p);
}

// Starting a timer that already runs must keep its schedule; QTimer::start()
// would restart it.
void start_keeping_schedule(QTimer* timer)
{
    if (!timer->isActive())
        timer->start();
}

QString from_u16(const std::u16string& s)
{
    return QString::fromStdU16String(s);
}

} // namespace

// Debian's fonts-wine ships a free Tahoma outside fontconfig's folders; the
// windows' fonts are Tahoma, so make both of its faces known to Qt when they
// are there.
void Tmain::register_tahoma()
{
#ifndef _WIN32
    static const bool done = [] {
        for (const char* face : {"tahoma.ttf", "tahomabd.ttf"}) {
            const QString file = QStringLiteral("/usr/share/wine/fonts/") + QLatin1String(face);
            if (QFile::exists(file))
                QFontDatabase::addApplicationFont(file);
        }
        return true;
    }();
    (void)done;
#endif
}

bool Tmain::shown(const QWidget* w)
{
    return !w->isHidden();
}

Tmain::Tmain(SharedJob& job, UiPlatform& platform, const QString& firstArgument, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint),
      job(job), platform(platform), first_argument_(firstArgument)
{
    init_artwork_resources();
    register_tahoma();
    setObjectName(QStringLiteral("main"));
    setWindowTitle(QStringLiteral("Trezorka 2.0 Portable"));
    setFixedSize(555, 341);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor::fromRgb(background_colour));
    setPalette(pal);
    setAutoFillBackground(true);
    setFont(tahoma(11));

    QIcon icon;
    for (qreal dpr : {1.0, 2.0})
        icon.addPixmap(Artwork::pixmap(QStringLiteral("icon"), dpr));
    setWindowIcon(icon);

    createControls();
    // Before anything asks for the controls' accessible interfaces, which
    // are made once and kept.
    setupAccessibility();
    createTray();
    bindEvents();
    placeOnDesktop();
    installEventFilter(this);
    FormCreate();
}

void Tmain::createControls()
{
    auto picture = [this](const char* name, const char* art, QRect geometry, bool hand,
                          Picture::Fit fit = Picture::Fit::Natural) {
        auto* p = new Picture(QString::fromLatin1(art), fit, this);
        p->setObjectName(QString::fromLatin1(name));
        p->setGeometry(geometry);
        if (hand)
            p->setCursor(Qt::PointingHandCursor);
        return p;
    };
    // Labels size themselves to their text; the given sizes are the Tahoma
    // ones, grown where a substitute font needs more room so nothing is cut off.
    auto label = [this](const char* name, const QString& text, QRect geometry, const QFont& font, bool hand) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setFont(font);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        const QSize need = l->sizeHint();
        geometry.setSize(geometry.size().expandedTo(need));
        l->setGeometry(geometry);
        if (hand)
            l->setCursor(Qt::PointingHandCursor);
        return l;
    };
    auto edit = [this](const char* name, QRect geometry) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(geometry);
        return e;
    };

    const QColor white(Qt::white);
    Image3 = picture("Image3", "panel_right", {464, 40, 97, 299}, false);
    off = picture("off", "bar", {327, 288, 121, 32}, true);
    Image2 = picture("Image2", "panel_left", {-38, 64, 105, 269}, false);
    Image1 = picture("Image1", "logo_banner", {-7, 0, 274, 85}, false);
    selectfile = picture("selectfile", "bar", {400, 111, 66, 21}, true);
    crypt = picture("crypt", "bar", {65, 288, 129, 32}, true);
    decrypt = picture("decrypt", "bar", {200, 288, 121, 32}, true);
    crypt_act = picture("crypt_act", "bar_act", {65, 288, 129, 32}, true);
    decrypt_act = picture("decrypt_act", "bar_act", {200, 288, 121, 32}, true);
    Label1 = label("Label1", QStringLiteral(u"Zdrojový soubor:"), {102, 93, 105, 14}, tahoma(12, true), false);
    Label2 = label("Label2", QStringLiteral(u"Cílový soubor:"), {102, 140, 87, 14}, tahoma(12, true), false);
    selectfile_act = picture("selectfile_act", "bar_act", {400, 111, 66, 21}, true);
    cryptlabel = label("cryptlabel", QStringLiteral(u"Zašifrovat"), {89, 293, 82, 19}, tahoma(16, true), true);
    decryptlabel = label("decryptlabel", QStringLiteral(u"Odšifrovat"), {219, 293, 84, 19}, tahoma(16, true), true);
    chosefilelabel = label("chosefilelabel", QStringLiteral(u"Vyber..."), {407, 113, 51, 16}, tahoma(13, true), true);
    savetochose = picture("savetochose", "bar", {400, 159, 113, 21}, true);
    savetochose_act = picture("savetochose_act", "bar_act", {400, 159, 113, 21}, true);
    savetochose_label = label("savetochose_label", QStringLiteral(u"Vyber umístění"), {407, 161, 97, 16},
                              tahoma(13, true), true);
    Label4 = label("Label4", QStringLiteral(u"Heslo:"), {102, 187, 37, 14}, tahoma(12, true), false);
    pwagainlabel = label("pwagainlabel", QStringLiteral(u"Heslo znova:"), {102, 230, 77, 14}, tahoma(12, true), false);
    pwok = picture("pwok", "mark_ok", {407, 207, 20, 21}, false, Picture::Fit::Stretch);
    pwagainok = picture("pwagainok", "mark_ok", {407, 250, 20, 21}, false, Picture::Fit::Stretch);
    pwagainerr = picture("pwagainerr", "mark_err", {407, 250, 20, 21}, false, Picture::Fit::Stretch);
    pwerr = picture("pwerr", "mark_err", {407, 207, 20, 21}, false, Picture::Fit::Stretch);
    Label3 = label("Label3", QStringLiteral(u"© 2026 vývojáři Trezorky"), {407, 326, 142, 13}, tahoma(11), false);
    QFont link = tahoma(11);
    link.setUnderline(true);
    Label6 = label("Label6", shown_address(QStringLiteral(TREZORKA_WEB_URL)), {8, 326, 59, 13}, link, true);
    off_act = picture("off_act", "bar_act", {327, 288, 121, 32}, true);
    offlabel = label("offlabel", QStringLiteral(u"Ukončit"), {350, 293, 62, 19}, tahoma(16, true), true);
    filetocrypt = edit("filetocrypt", {105, 112, 296, 21});
    finalfile = edit("finalfile", {105, 160, 296, 21});
    pw = edit("pw", {105, 207, 296, 21});
    pwagain = edit("pwagain", {105, 250, 296, 21});

    for (QLabel* l : {cryptlabel, decryptlabel, chosefilelabel, savetochose_label, offlabel})
        set_text_colour(l, white);
    set_text_colour(pwagainlabel, Qt::black);
    set_text_colour(Label6, QColor(0, 0, 128));

    for (QWidget* w : {static_cast<QWidget*>(crypt_act), static_cast<QWidget*>(decrypt_act),
                       static_cast<QWidget*>(selectfile_act), static_cast<QWidget*>(savetochose_act),
                       static_cast<QWidget*>(off_act), static_cast<QWidget*>(pwok), static_cast<QWidget*>(pwagainok),
                       static_cast<QWidget*>(pwagainerr), static_cast<QWidget*>(pwerr)})
        w->hide();
    for (QWidget* w : {static_cast<QWidget*>(crypt), static_cast<QWidget*>(decrypt),
                       static_cast<QWidget*>(crypt_act), static_cast<QWidget*>(decrypt_act),
                       static_cast<QWidget*>(cryptlabel), static_cast<QWidget*>(decryptlabel),
                       static_cast<QWidget*>(savetochose), static_cast<QWidget*>(savetochose_act),
                       static_cast<QWidget*>(savetochose_label)})
        w->setEnabled(false);

    filetocrypt->setReadOnly(true);
    filetocrypt->setText(sourcePrompt);
    filetocrypt->setCursorPosition(0);
    finalfile->setReadOnly(true);
    for (QLineEdit* e : {pw, pwagain}) {
        e->setEchoMode(QLineEdit::Password);
        e->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    }
    pwagain_palette_ = pwagain->palette();
    setTabOrder(filetocrypt, finalfile);
    setTabOrder(finalfile, pw);
    setTabOrder(pw, pwagain);

    auto timer = [this](const char* name, int interval) {
        auto* t = new QTimer(this);
        t->setObjectName(QString::fromLatin1(name));
        t->setInterval(interval);
        // The blink rhythm and the 3.8 s end are meant to the tick; a coarse
        // timer may drift by 5 %.
        t->setTimerType(Qt::PreciseTimer);
        return t;
    };
    decryptblink = timer("decryptblink", 500);
    cryptblink = timer("cryptblink", 500);
    stopper = timer("stopper", 3800);
    aborter = timer("aborter", 1);

    filechosedialog.filter = filechosedialogFilter;
    filechosedialog.filter_index = 1;
    saveto.filter = savetoFilter;
    saveto.filter_index = 1;
}

void Tmain::bindEvents()
{
    connect(decryptblink, &QTimer::timeout, this, &Tmain::decryptblinkTimer);
    connect(cryptblink, &QTimer::timeout, this, &Tmain::cryptblinkTimer);
    connect(stopper, &QTimer::timeout, this, &Tmain::stopperTimer);
    // Any change of the text, typed or set by the program.
    connect(pw, &QLineEdit::textChanged, this, &Tmain::pwChange);
    connect(pwagain, &QLineEdit::textChanged, this, &Tmain::pwagainChange);
    connect(pw, &QLineEdit::returnPressed, this, &Tmain::passwordEntered);
    connect(pwagain, &QLineEdit::returnPressed, this, &Tmain::passwordEntered);
    // A file dragged over a password field is the window's: the field would
    // type its path in.
    for (QLineEdit* e : {pw, pwagain})
        e->installEventFilter(this);
    for (Picture* mark : {pwok, pwerr, pwagainok, pwagainerr})
        mark->installEventFilter(this);
    setAcceptDrops(true);

    dispatcher_ = new HoverDispatcher(this);
    auto move = [this](std::initializer_list<QWidget*> controls, void (Tmain::*handler)()) {
        for (QWidget* c : controls)
            dispatcher_->onMove(c, [this, handler] { (this->*handler)(); });
    };
    auto click = [this](std::initializer_list<QWidget*> controls, void (Tmain::*handler)()) {
        for (QWidget* c : controls)
            dispatcher_->onClick(c, [this, handler] { (this->*handler)(); });
    };
    move({this, Image3}, &Tmain::FormMouseMove);
    move({crypt, cryptlabel}, &Tmain::cryptMouseMove);
    move({decrypt, decryptlabel}, &Tmain::decryptMouseMove);
    move({selectfile, chosefilelabel}, &Tmain::selectfileMouseMove);
    move({savetochose, savetochose_label}, &Tmain::savetochoseMouseMove);
    move({off, offlabel}, &Tmain::offMouseMove);
    click({crypt, crypt_act, cryptlabel}, &Tmain::crypt_actClick);
    click({decrypt, decrypt_act, decryptlabel}, &Tmain::decryptlabelClick);
    click({selectfile, selectfile_act, chosefilelabel}, &Tmain::chosefilelabelClick);
    click({savetochose, savetochose_act, savetochose_label}, &Tmain::savetochose_labelClick);
    click({off, off_act, offlabel}, &Tmain::off_actClick);
    click({Label6}, &Tmain::Label6Click);
    dispatcher_->attach();
}

// The first placement: centred on the area all screens span together, but
// never past its left or top edge.
void Tmain::placeOnDesktop()
{
    QRect desktop;
    for (const QScreen* s : QGuiApplication::screens())
        desktop = desktop.united(s->geometry());
    if (desktop.isEmpty())
        return;
    const int x = std::max(desktop.left(), desktop.left() + (desktop.width() - width()) / 2);
    const int y = std::max(desktop.top(), desktop.top() + (desktop.height() - height()) / 2);
    move(x, y);
}

QString Tmain::first_argument(int argc, char** argv)
{
#ifdef _WIN32
    (void)argc;
    (void)argv;
    return QCoreApplication::arguments().value(1);
#else
    if (argc < 2 || argv[1] == nullptr)
        return {};
    return from_u16(trezorka::utf16_from_native_bytes(argv[1]));
#endif
}

bool Tmain::targetConfirmedInSaveDialog() const
{
    return !saveto_confirmed_.isEmpty() && saveto_confirmed_ == finalfile->text();
}

// ---- source and target ----

void Tmain::FormCreate()
{
    if (first_argument_.isEmpty())
        return;
    acceptArgument(first_argument_);
}

void Tmain::acceptArgument(const QString& path)
{
    if (acceptSource(path, true))
        selectfile_act->hide();
}

bool Tmain::acceptSource(const QString& path, bool fromCommandLine)
{
    filetocrypt->setText(path);
    filetocrypt->setCursorPosition(0);
    if (fromCommandLine)
        filechosedialog.file_name = path;
    job.job_ext = from_u16(trezorka::extension_of(filetocrypt->text().toStdU16String()));

    if (job.job_ext == from_u16(std::u16string(trezorka::old_encrypted_ext))) {
        filetocrypt->clear();
        platform.warning(oldFormatWarning);
        return false;
    }

    for (QWidget* w : {static_cast<QWidget*>(savetochose_label), static_cast<QWidget*>(savetochose_act),
                       static_cast<QWidget*>(savetochose)})
        w->setEnabled(true);

    const bool encrypt = job.job_ext != from_u16(std::u16string(trezorka::encrypted_ext));
    if (encrypt) {
        start_keeping_schedule(cryptblink);
        decryptblink->stop();
        start_keeping_schedule(stopper);
        crypt->setEnabled(true);
        crypt_act->setEnabled(true);
        cryptlabel->setEnabled(true);
        decrypt->setEnabled(false);
        decrypt_act->setEnabled(false);
        decryptlabel->setEnabled(false);
        pwagainlabel->setEnabled(true);
        pwagain->setPalette(pwagain_palette_);
        pwagain->setEnabled(true);
        if (shown(pwok) || shown(pwerr))
            applyConfirmationRule();
    } else {
        start_keeping_schedule(decryptblink);
        cryptblink->stop();
        start_keeping_schedule(stopper);
        crypt->setEnabled(false);
        crypt_act->setEnabled(false);
        cryptlabel->setEnabled(false);
        decrypt->setEnabled(true);
        decrypt_act->setEnabled(true);
        decryptlabel->setEnabled(true);
        pwagainlabel->setEnabled(false);
        QPalette grey = pwagain_palette_;
        grey.setColor(QPalette::Base, QColor::fromRgb(silver));
        pwagain->setPalette(grey);
        pwagain->setEnabled(false);
        pwagainok->hide();
        pwagainerr->hide();
    }

    const trezorka::TargetProposal proposal = trezorka::propose_target(path.toStdU16String());
    finalfile->setText(from_u16(proposal.target));
    finalfile->setCursorPosition(0);
    saveto.file_name = from_u16(proposal.save_dialog_name);
    saveto.filter_index = proposal.save_filter_index;
    saveto_confirmed_.clear();
    return true;
}

void Tmain::chosefilelabelClick()
{
    const std::optional<QString> picked = platform.openFile(filechosedialog);
    if (picked) {
        filechosedialog.file_name = *picked;
        if (!acceptSource(*picked, false))
            return;
    }
    selectfile_act->hide();
}

// Qt's save dialog asks before overwriting; it has no question before
// creating a new file, and none is asked here.
void Tmain::savetochose_labelClick()
{
    const std::optional<QString> chosen = platform.saveFile(saveto);
    if (!chosen)
        return;
    saveto.file_name = *chosen;
    finalfile->setText(from_u16(trezorka::recompose_target(
        chosen->toStdU16String(), filetocrypt->text().toStdU16String(), finalfile->text().toStdU16String())));
    finalfile->setCursorPosition(0);
    saveto_confirmed_ = *chosen;
}

// ---- password fields ----

void Tmain::applyPasswordRule()
{
    if (!pw->text().isEmpty()) {
        pwerr->hide();
        pwok->show();
    } else {
        pwerr->show();
        pwok->hide();
    }
}

void Tmain::applyConfirmationRule()
{
    if (!pwagain->text().isEmpty() && pwagain->text() == pw->text()) {
        pwagainerr->hide();
        pwagainok->show();
    } else {
        pwagainerr->show();
        pwagainok->hide();
    }
}

void Tmain::pwChange()
{
    applyPasswordRule();
    // The label's own state: the whole window is disabled while a job runs.
    if (pwagainlabel->isEnabledTo(this))
        applyConfirmationRule();
}

void Tmain::pwagainChange()
{
    applyConfirmationRule();
}

// ---- hover highlight and blinking ----

void Tmain::FormMouseMove()
{
    crypt_act->hide();
    off_act->hide();
    decrypt_act->hide();
    selectfile_act->hide();
    savetochose_act->hide();
}

void Tmain::cryptMouseMove()
{
    if (crypt_act->isHidden())
        crypt_act->show();
}

void Tmain::decryptMouseMove()
{
    if (decrypt_act->isHidden())
        decrypt_act->show();
}

void Tmain::selectfileMouseMove()
{
    if (selectfile_act->isHidden())
        selectfile_act->show();
}

void Tmain::savetochoseMouseMove()
{
    if (savetochose_act->isHidden())
        savetochose_act->show();
}

void Tmain::offMouseMove()
{
    if (off_act->isHidden())
        off_act->show();
}

void Tmain::cryptblinkTimer()
{
    crypt_act->setVisible(crypt_act->isHidden());
}

void Tmain::decryptblinkTimer()
{
    decrypt_act->setVisible(decrypt_act->isHidden());
}

void Tmain::stopperTimer()
{
    cryptblink->stop();
    decryptblink->stop();
    stopper->stop();
    crypt_act->hide();
    decrypt_act->hide();
}

// ---- the progress dialog and the application's window states ----

void Tmain::setStatus_show(TStatus_show* dialog)
{
    if (status_show_)
        status_show_->removeEventFilter(this);
    status_show_ = dialog;
    if (!dialog)
        return;
    dialog->installEventFilter(this);
    connect(dialog, &TStatus_show::minimise_application, this, &Tmain::minimise_application);
    connect(dialog, &TStatus_show::restore_application, this, &Tmain::restore_application);
}

TStatus_show* Tmain::Status_show() const
{
    return status_show_.data();
}

bool Tmain::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if ((type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop)
        && (watched == pw || watched == pwagain) && handleFileDrag(event))
        return true;
    if ((type == QEvent::ShowToParent || type == QEvent::HideToParent)
        && (watched == pwok || watched == pwerr || watched == pwagainok || watched == pwagainerr))
        describeMarks();
    if (event->type() == QEvent::WindowStateChange && watched->isWidgetType()
        && (watched == this || watched == status_show_.data()))
        applicationWindowStateChanged(static_cast<QWidget*>(watched),
                                      static_cast<QWindowStateChangeEvent*>(event)->oldState());
    if (event->type() == QEvent::Show && watched == status_show_.data() && minimise_dialog_when_shown_) {
        // Minimised as soon as it is on the screen: window managers show a
        // window that was minimised while hidden in its normal state, and
        // the program would seem to come back from the tray by itself.
        // Not before the window system has put it on the screen, or it
        // ignores the request and reports the dialog as restored.
        minimise_dialog_when_shown_ = false;
        auto* wait = new QTimer(this);
        wait->setInterval(20);
        connect(wait, &QTimer::timeout, this, [this, wait, tries = 0]() mutable {
            const bool pending = application_minimised_ && status_show_ && status_show_->isVisible() && ++tries < 100;
            const QWindow* window = pending ? status_show_->windowHandle() : nullptr;
            if (pending && !(window && window->isExposed()))
                return;
            wait->stop();
            wait->deleteLater();
            if (pending)
                status_show_->setWindowState((status_show_->windowState() & ~Qt::WindowActive) | Qt::WindowMinimized);
        });
        wait->start();
    }
    return QWidget::eventFilter(watched, event);
}

// The application counts as minimised from the moment one of its windows is
// minimised until one comes back; each of the two transitions raises its
// event once. The handlers change window states themselves: those changes
// are theirs, not the user's, and raise nothing.
//
// Only a shown window counts. A hidden one is not the user's doing: the
// window system reports the main window, hidden for the tray right after it
// was minimised, as no longer minimised, which is no restore.
void Tmain::applicationWindowStateChanged(QWidget* window, Qt::WindowStates old_state)
{
    if (in_application_event_ || !window->isVisible())
        return;
    // Right after a handler changed the states, the window system may still
    // report older ones (X11 answers asynchronously); those are no new
    // transitions. settleTimer puts the windows right once it has passed.
    // The program's own requests (the minimise button, the tray icon) count.
    if (settle_->isActive() && !requested_)
        return;
    const bool now = window->isMinimized();
    const bool before = old_state.testFlag(Qt::WindowMinimized);
    if (now == before)
        return;
    if (now && !application_minimised_) {
        application_minimised_ = true;
        in_application_event_ = true;
        ApplicationEvents1Minimize();
        in_application_event_ = false;
        settle_->start();
    } else if (!now && application_minimised_) {
        application_minimised_ = false;
        in_application_event_ = true;
        ApplicationEvents1Restore();
        in_application_event_ = false;
        settle_->start();
    }
}

// The windows as the application's state wants them, whatever the window
// system reported while it settled.
void Tmain::settleTimer()
{
    if (!status_show_ || !status_show_->isVisible())
        return;
    const bool minimised = status_show_->isMinimized();
    if (application_minimised_ && job.job_busy == QLatin1String("true") && !minimised)
        status_show_->setWindowState((status_show_->windowState() & ~Qt::WindowActive) | Qt::WindowMinimized);
    else if (!application_minimised_ && minimised)
        status_show_->setWindowState(status_show_->windowState() & ~Qt::WindowMinimized);
    // A late de-minimise of the main window may have put it over the dialog.
    if (!application_minimised_)
        bringToFront();
}

void Tmain::minimise_application()
{
    QList<QWidget*> windows;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = w->windowType();
        if (w->isVisible() && (type == Qt::Window || type == Qt::Dialog))
            windows << w;
    }
    // The first one raises the minimise event, which may hide the main window;
    // a hidden window is left hidden (setting the state does not show it).
    const QScopedValueRollback<bool> requested(requested_, true);
    for (QWidget* w : windows)
        if (w->isVisible() && !w->isMinimized())
            w->setWindowState((w->windowState() & ~Qt::WindowActive) | Qt::WindowMinimized);
}

void Tmain::restore_application()
{
    const QScopedValueRollback<bool> requested(requested_, true);
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    if (status_show_ && status_show_->isVisible() && status_show_->isMinimized())
        status_show_->setWindowState(status_show_->windowState() & ~Qt::WindowMinimized);
    // Left minimised by a window that is hidden or gone: still counts as a restore.
    if (application_minimised_) {
        application_minimised_ = false;
        in_application_event_ = true;
        ApplicationEvents1Restore();
        in_application_event_ = false;
        settle_->start();
    }
    if (hidden_for_tray_) {
        hidden_for_tray_ = false;
        show();
    }
}

void Tmain::ApplicationEvents1Minimize()
{
    if (job.job_busy != QLatin1String("true"))
        return;
    if (status_show_) {
        if (status_show_->isVisible())
            status_show_->setWindowState((status_show_->windowState() & ~Qt::WindowActive) | Qt::WindowMinimized);
        else
            minimise_dialog_when_shown_ = true; // the large-file rule, before the showing
    }
    // With no notification area the icon could not be seen, and the program
    // would be out of reach: it stays an ordinary minimised window.
    if (!platform.hasSystemTray())
        return;
    // The main window's taskbar entry is the application's; the dialog, its
    // child, has none of its own.
    hidden_for_tray_ = true;
    hide();
    setTrayShown(true);
    tray->showMessage(trayBalloonTitle, trayBalloonText, QSystemTrayIcon::Information);
    emit balloon_shown(trayBalloonTitle, trayBalloonText);
}

void Tmain::ApplicationEvents1Restore()
{
    setTrayShown(false);
    minimise_dialog_when_shown_ = false;
    // A hidden one is left alone: a state change would show it again.
    if (status_show_ && status_show_->isVisible())
        status_show_->setWindowState(status_show_->windowState() & ~Qt::WindowMinimized);
    if (hidden_for_tray_) {
        hidden_for_tray_ = false;
        setWindowState(windowState() & ~Qt::WindowMinimized);
        show();
    }
    bringToFront();
}

// The dialog, while it is shown, stands before the main window.
void Tmain::bringToFront()
{
    raise();
    activateWindow();
    if (status_show_ && status_show_->isVisible()) {
        status_show_->raise();
        status_show_->activateWindow();
    }
}

// ---- the tray icon ----

void Tmain::createTray()
{
    const qreal screen_dpr = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->devicePixelRatio() : 1.0;
    for (const char* frame : {"tray1", "tray2", "tray3"}) {
        QIcon icon;
        QList<qreal> ratios{1.0, 2.0};
        if (!ratios.contains(screen_dpr))
            ratios << screen_dpr;
        for (qreal dpr : ratios)
            icon.addPixmap(Artwork::pixmap(QString::fromLatin1(frame), QSize(16, 16), dpr));
        anicons << icon;
    }
    tray = new QSystemTrayIcon(anicons.constFirst(), this);
    tray->setObjectName(QStringLiteral("tray"));
    tray->setToolTip(tray_title);
    trayBalloonTitle = tray_title;
    trayBalloonText = tray_title;
    settle_ = new QTimer(this);
    settle_->setObjectName(QStringLiteral("settle"));
    settle_->setSingleShot(true);
    settle_->setInterval(300);
    connect(settle_, &QTimer::timeout, this, &Tmain::settleTimer);
    trayanimation = new QTimer(this);
    trayanimation->setObjectName(QStringLiteral("trayanimation"));
    trayanimation->setInterval(500);
    connect(trayanimation, &QTimer::timeout, this, &Tmain::trayanimationTimer);
    connect(tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            trayClick();
    });
}

// Shown, the icon goes on from the frame it showed last and steps every 500 ms.
void Tmain::setTrayShown(bool shown)
{
    if (shown == tray->isVisible())
        return;
    if (shown) {
        tray->setIcon(anicons.at(tray_frame_));
        tray->show();
        trayanimation->start();
    } else {
        trayanimation->stop();
        tray->hide();
    }
}

void Tmain::trayanimationTimer()
{
    tray_frame_ = (tray_frame_ + 1) % int(anicons.size());
    tray->setIcon(anicons.at(tray_frame_));
}

void Tmain::trayClick()
{
    restore_application();
    bringToFront();
}

// ---- the two commands ----

void Tmain::crypt_actClick()
{
    runCommand(true);
}

void Tmain::decryptlabelClick()
{
    runCommand(false);
}

void Tmain::showTaskbarEntryAndRestore()
{
    if (hidden_for_tray_ || isHidden()) {
        hidden_for_tray_ = false;
        setWindowState(windowState() & ~Qt::WindowMinimized);
        show();
    }
    restore_application();
}

void Tmain::runCommand(bool encrypt)
{
    const CommandTexts& texts = texts_for(encrypt);

    // The marks are the state: the password field is evaluated afresh, the
    // confirmation is taken as its mark shows it.
    applyPasswordRule();
    if (shown(pwerr)) {
        platform.message(error_title, password_missing, UiPlatform::Icon::Error);
        return;
    }
    if (encrypt && shown(pwagainerr)) {
        platform.message(error_title, password_mismatch, UiPlatform::Icon::Error);
        return;
    }
    // The target is proposed, not chosen: a file already there (the plain
    // file beside its .t2k, say) would be replaced without a word. Unless the
    // user picked exactly this path in the save dialog, which has asked
    // already, ask now, after the password checks (a refused password asks
    // nothing) and before anything changes; "Cancel" leaves all as it was.
    if (!targetConfirmedInSaveDialog() && something_at(finalfile->text())
        && !platform.warningOkCancel(overwriteQuestion))
        return;

    job.job_busy = QStringLiteral("true");
    tray->setToolTip(texts.hint);
    trayBalloonText = texts.balloon;

    try {
        if (trezorka::file_size_probe(native_path_of(filetocrypt->text())) > LARGE_FILE_THRESHOLD)
            minimise_application();
    } catch (...) {
        // The size only decides whether to go to the tray.
    }

    setEnabled(false);
    try {
        if (!status_show_)
            throw std::logic_error("no progress dialog");
        // Disabling a widget disables its child windows too, and the dialog
        // is this window's child: its buttons must stay usable.
        status_show_->setEnabled(true);
        status_show_->set_texts(texts.caption, texts.status, filetocrypt->text(), finalfile->text());
        job.job_source = filetocrypt->text();
        job.job_target = finalfile->text();
        // A copy of its own, so the worker's wipe reaches the characters.
        job.job_password = SharedJob::unshared_copy(pw->text());
        job.job_encrypt = encrypt;
        sifra::launch(job, status_show_.data(), &TStatus_show::close_request);
        status_show_->exec();
        showTaskbarEntryAndRestore();
        if (job.job_failed) {
            platform.message(error_title, texts.failure, UiPlatform::Icon::Error);
            job.job_failed = false;
        } else {
            platform.message(success_title, texts.success + finalfile->text() + QLatin1Char('.'),
                             UiPlatform::Icon::Information);
        }
    } catch (...) {
        // A request to a dialog that is not showing would end its next
        // showing at once, so only a shown one is asked.
        if (!encrypt && status_show_ && status_show_->isVisible())
            status_show_->close_request();
        showTaskbarEntryAndRestore();
        platform.message(error_title, texts.failure, UiPlatform::Icon::Error);
    }

    (encrypt ? crypt_act : decrypt_act)->hide();
    setEnabled(true);
    show();
    job.job_busy = QStringLiteral("false");
}

void Tmain::off_actClick()
{
    QCoreApplication::quit();
}

void Tmain::Label6Click()
{
    platform.openUrl(QStringLiteral(TREZORKA_WEB_URL), this);
}

// ---- files dropped on the window ----

// On POSIX a file name is bytes; QUrl::toLocalFile would replace those that
// are not UTF-8, so the path is taken from its percent-encoded form and kept
// byte for byte, as the command line keeps it.
QString Tmain::dropped_file(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
#ifdef _WIN32
        const QString path = QDir::toNativeSeparators(url.toLocalFile());
#else
        const QString host = url.host();
        if (!host.isEmpty() && host != QLatin1String("localhost") && host != QSysInfo::machineHostName())
            continue;
        const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (bytes.isEmpty() || bytes.contains('\0'))
            continue;
        const QString path = from_u16(trezorka::utf16_from_native_bytes(std::string_view(bytes.constData(),
                                                                                          std::size_t(bytes.size()))));
#endif
        if (path.isEmpty())
            continue;
        // A folder cannot be encrypted; the user meant something else.
        std::error_code ec;
        if (std::filesystem::is_directory(native_path_of(path), ec))
            continue;
        return path;
    }
    return {};
}

bool Tmain::takeDrag(QDropEvent* event) const
{
    if (!isEnabled() || job.job_busy == QLatin1String("true") || dropped_file(event->mimeData()).isEmpty())
        return false;
    // Never a move: the file manager would delete the source once it was
    // "moved" here.
    if (event->possibleActions().testFlag(Qt::CopyAction))
        event->setDropAction(Qt::CopyAction);
    else if (event->possibleActions().testFlag(Qt::LinkAction))
        event->setDropAction(Qt::LinkAction);
    else
        return false;
    return true;
}

void Tmain::dragEnterEvent(QDragEnterEvent* event)
{
    if (takeDrag(event))
        event->accept();
    else
        event->ignore();
}

void Tmain::dragMoveEvent(QDragMoveEvent* event)
{
    if (takeDrag(event))
        event->accept();
    else
        event->ignore();
}

void Tmain::dropEvent(QDropEvent* event)
{
    if (!takeDrag(event)) {
        event->ignore();
        return;
    }
    const QString path = dropped_file(event->mimeData());
    event->accept();
    // After the drop is over: the acceptance may show a warning, and the
    // program the file came from waits for the drop to end.
    QMetaObject::invokeMethod(
        this,
        [this, path] {
            if (isEnabled() && job.job_busy != QLatin1String("true"))
                acceptArgument(path);
        },
        Qt::QueuedConnection);
}

// Drags carrying files or links are the window's wherever they are; plain
// text stays the edit box's own.
bool Tmain::handleFileDrag(QEvent* event)
{
    auto* drop = static_cast<QDropEvent*>(event);
    if (!drop->mimeData() || !drop->mimeData()->hasUrls())
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
        dragEnterEvent(static_cast<QDragEnterEvent*>(event));
        break;
    case QEvent::DragMove:
        dragMoveEvent(static_cast<QDragMoveEvent*>(event));
        break;
    default:
        dropEvent(drop);
        break;
    }
    return true;
}

// ---- keyboard ----

void Tmain::passwordEntered()
{
    if (!isEnabled() || job.job_busy == QLatin1String("true"))
        return;
    if (cryptlabel->isEnabled())
        crypt_actClick();
    else if (decryptlabel->isEnabled())
        decryptlabelClick();
}

// ---- screen readers ----

void Tmain::setupAccessibility()
{
    namespace a11y = trezorka::accessibility;
    struct Command {
        QLabel* label;
        QWidget* bar;
        QString description;
        void (Tmain::*handler)();
    };
    const Command commands[] = {
        {cryptlabel, crypt, QStringLiteral(u"Zašifruje zvolený soubor heslem"), &Tmain::crypt_actClick},
        {decryptlabel, decrypt, QStringLiteral(u"Odšifruje zvolený soubor heslem"), &Tmain::decryptlabelClick},
        {chosefilelabel, selectfile, QStringLiteral(u"Vybere soubor k zašifrování nebo odšifrování"),
         &Tmain::chosefilelabelClick},
        {savetochose_label, savetochose, QStringLiteral(u"Vybere, kam se uloží cílový soubor"),
         &Tmain::savetochose_labelClick},
        {offlabel, off, QStringLiteral(u"Ukončí program"), &Tmain::off_actClick},
    };
    for (const Command& c : commands)
        a11y::set_command(c.label, QAccessible::Button, c.bar, c.description,
                          [this, handler = c.handler] { (this->*handler)(); });
    a11y::set_command(Label6, QAccessible::Link, nullptr, QStringLiteral(u"Otevře webové stránky v prohlížeči"),
                      [this] { Label6Click(); });
    // The bars and their highlights are the labels' buttons; the panels only decorate.
    a11y::set_decorations(this, {Image3, off, Image2, Image1, selectfile, crypt, decrypt, crypt_act, decrypt_act,
                                 selectfile_act, savetochose, savetochose_act, off_act});

    pwok->setAccessibleName(pwokName);
    pwerr->setAccessibleName(pwerrName);
    pwagainok->setAccessibleName(pwagainokName);
    pwagainerr->setAccessibleName(pwagainerrName);
    for (Picture* mark : {pwok, pwerr, pwagainok, pwagainerr})
        a11y::set_command(mark, QAccessible::Graphic, nullptr, QString(), {});

    const std::pair<QLabel*, QLineEdit*> fields[] = {
        {Label1, filetocrypt}, {Label2, finalfile}, {Label4, pw}, {pwagainlabel, pwagain}};
    for (const auto& [label, edit] : fields) {
        // The label's text without its colon.
        QString name = label->text();
        if (name.endsWith(QLatin1Char(':')))
            name.chop(1);
        edit->setAccessibleName(name);
        label->setBuddy(edit);
    }
}

// A hidden mark is not announced, so the field it belongs to says what the
// shown one says.
void Tmain::describeMarks()
{
    auto describe = [](QLineEdit* field, const Picture* ok, const Picture* err) {
        const QString text = shown(ok) ? ok->accessibleName() : shown(err) ? err->accessibleName() : QString();
        // Qt tells a listening screen reader of the change.
        if (field->accessibleDescription() != text)
            field->setAccessibleDescription(text);
    };
    describe(pw, pwok, pwerr);
    describe(pwagain, pwagainok, pwagainerr);
}
