#include "TStatus_show.h"

#include "Picture.h"
#include "UiPlatform.h"
#include "pending_file.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cstdlib>

namespace {

QFont tahoma(int pixels, bool bold)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

template <class W>
W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

TStatus_show::TStatus_show(UiPlatform& platform, QWidget* main_window)
    : QDialog(main_window, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), platform_(platform)
{
    setObjectName(QStringLiteral("Status_show"));
    // Its showing ends by closing it, possibly while the main window sits
    // hidden in the tray; that must never count as the last window closing
    // and end the program. Only the main window's closing does.
    setAttribute(Qt::WA_QuitOnClose, false);
    // Modal to the main window, its parent and the program's only other
    // window, rather than to the whole application: an application-modal
    // dialog would also block the tray icon, which on X11 is a window of the
    // program, and a click on it could not bring the program back.
    setWindowModality(Qt::WindowModal);
    setFixedSize(508, 149);
    setFont(tahoma(11, false));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xE8, 0xE8, 0xE8));
    setPalette(pal);
    setAutoFillBackground(true);

    // Creation order is stacking order: later pictures and labels lie above
    // earlier ones, and the edit boxes and buttons above them all.
    Image1 = named(new Picture(QStringLiteral("panel_right"), Picture::Fit::Natural, this), "Image1");
    Image1->setGeometry(436, -62, 97, 299);
    Image2 = named(new Picture(QStringLiteral("panel_left"), Picture::Fit::Natural, this), "Image2");
    Image2->setGeometry(-16, -24, 105, 269);

    statusinfo = named(new QLabel(this), "statusinfo");
    statusinfo->setFont(tahoma(12, true));
    statusinfo->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    statusinfo->move(38, 16);
    info = named(new QLabel(QStringLiteral("Zdroj"), this), "info");
    info->setFont(tahoma(11, true));
    info->move(38, 48);
    info->adjustSize();
    info2 = named(new QLabel(QStringLiteral("Cíl"), this), "info2");
    info2->setFont(tahoma(11, true));
    info2->move(38, 75);
    info2->adjustSize();

    hoursimage = named(new Picture(QStringLiteral("hourglass"), Picture::Fit::Natural, this), "hoursimage");
    hoursimage->setGeometry(409, 24, 94, 96);

    fromfile = named(new QLineEdit(this), "fromfile");
    fromfile->setReadOnly(true);
    fromfile->setGeometry(74, 45, 317, 21);
    tofile = named(new QLineEdit(this), "tofile");
    tofile->setReadOnly(true);
    tofile->setGeometry(74, 72, 317, 21);

    Button1 = named(new QPushButton(QStringLiteral("Přerušit a ukončit"), this), "Button1");
    Button1->setGeometry(143, 113, 113, 20);
    Button2 = named(new QPushButton(QStringLiteral("Minimalizovat"), this), "Button2");
    Button2->setGeometry(278, 113, 113, 20);
    // Neither button is the dialog's default: Enter presses nothing.
    for (QPushButton* b : {Button1, Button2}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(Button1, &QPushButton::clicked, this, &TStatus_show::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TStatus_show::Button2Click);

    setTabOrder(fromfile, tofile);
    setTabOrder(tofile, Button1);
    setTabOrder(Button1, Button2);

    // Runs from creation until the process ends, also while hidden.
    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TStatus_show::Timer1Timer);
    Timer1->start();
}

void TStatus_show::set_texts(const QString& caption, const QString& status, const QString& from, const QString& to)
{
    setWindowTitle(caption);
    statusinfo->setText(status);
    statusinfo->adjustSize();
    // A label sized to its text is as tall as the font's ascent and descent,
    // but the caron of a capital (the Š of "Šifrování") reaches above the
    // ascent and would be cut off. The label grows upwards by that much and
    // keeps its text at the bottom, so the line stays where it was.
    const QFontMetrics metrics(statusinfo->font());
    const int above = std::max(0, -metrics.tightBoundingRect(status).top() - metrics.ascent());
    statusinfo->setGeometry(38, 16 - above, statusinfo->width(), statusinfo->height() + above);
    fromfile->setText(from);
    fromfile->setCursorPosition(0);
    tofile->setText(to);
    tofile->setCursorPosition(0);
}

void TStatus_show::Timer1Timer()
{
    // isHidden(), not isVisible(): the rhythm goes on while the dialog is hidden.
    hoursimage->setHidden(!hoursimage->isHidden());
}

void TStatus_show::close_request()
{
    close_requested_ = true;
    end_showing_if_requested();
}

void TStatus_show::end_showing_if_requested()
{
    // Not while the abort question is open: its answer comes first.
    if (!close_requested_ || question_open_ || !isVisible())
        return;
    close_requested_ = false;
    done(QDialog::Accepted);
}

void TStatus_show::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A request that came before the showing began ends it as soon as the
    // modal loop runs.
    if (close_requested_)
        QMetaObject::invokeMethod(this, &TStatus_show::end_showing_if_requested, Qt::QueuedConnection);
}

void TStatus_show::setVisible(bool visible)
{
    if (visible && !placed_)
        place_first_time();
    // Leaves minimised only while shown: changing the state of a hidden
    // window makes X11 map it again (and Windows show it), and a dialog kept
    // minimised would come up minimised for the next job.
    if (!visible && isVisible() && isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    QDialog::setVisible(visible);
}

// Centred over the main window, but never past the left or top edge of the
// work area of its monitor. Moving it marks the position as chosen, so later
// showings keep wherever the dialog was when it was last hidden.
void TStatus_show::place_first_time()
{
    placed_ = true;
    const QWidget* main_window = parentWidget();
    QScreen* screen = main_window ? main_window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect over = main_window ? main_window->frameGeometry() : screen->availableGeometry();
    const QRect area = screen->availableGeometry();
    QPoint at = over.center() - QPoint(width() / 2, height() / 2);
    at.setX(std::max(at.x(), area.left()));
    at.setY(std::max(at.y(), area.top()));
    move(at);
}

void TStatus_show::reject() {}

void TStatus_show::closeEvent(QCloseEvent* event)
{
    event->ignore();
    end_showing_if_requested();
}

void TStatus_show::Button1Click()
{
    question_open_ = true;
    const bool abort = platform_.warningOkCancel(
        QStringLiteral("Přeřušit probíhající proces a ponechat cílový soubor v nekonzistentním stavu?"));
    question_open_ = false;
    if (!abort) {
        end_showing_if_requested();
        return;
    }
    if (isSignalConnected(QMetaMethod::fromSignal(&TStatus_show::restore_application))) {
        emit restore_application();
    } else {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isMinimized())
                w->showNormal();
    }
    // The job's half-written temporary file goes with the process; the
    // target path keeps whatever it held before the job.
    trezorka::pending_file::abort_and_remove();
    std::_Exit(0);
}

void TStatus_show::Button2Click()
{
    if (isSignalConnected(QMetaMethod::fromSignal(&TStatus_show::minimise_application))) {
        emit minimise_application();
        return;
    }
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->isWindow())
            w->showMinimized();
}
