#include "TStatus_show.h"

#include "Picture.h"
#include "Style.h"
#include "periods.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace rules = trezorka::rules;
using rules::StatusControl;
using trezorka::ui::qs;

TStatus_show::TStatus_show(rules::UiPlatform& platform, rules::StatusPort& application, QWidget* main_window)
    : QDialog(main_window, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), application_(application),
      rules_(*this, application, platform)
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
    setFixedSize(rules::status_window.width, rules::status_window.height);
    trezorka::ui::apply_window_look(this, rules::status_window);

    // Creation order is stacking order: later pictures and labels lie above
    // earlier ones, and the edit boxes and buttons above them all. It is the
    // keyboard's order too.
    QWidget* made[rules::status_control_count] = {};
    for (const rules::ControlLayout& c : rules::status_layout()) {
        QWidget* w = nullptr;
        switch (c.kind) {
        case rules::Kind::Picture:
            w = new Picture(c, this);
            break;
        case rules::Kind::Label: {
            auto* l = new QLabel(qs(c.text), this);
            l->setFont(trezorka::ui::font_of(c.font));
            w = l;
            break;
        }
        case rules::Kind::Edit: {
            auto* e = new QLineEdit(this);
            e->setReadOnly(c.read_only);
            w = e;
            break;
        }
        case rules::Kind::Button: {
            auto* b = new QPushButton(qs(c.text), this);
            // Neither button is the dialog's default: Enter presses nothing.
            b->setAutoDefault(false);
            b->setDefault(false);
            w = b;
            break;
        }
        }
        w->setObjectName(trezorka::ui::latin1(c.name));
        if (c.rect.width == 0 && c.rect.height == 0) {
            w->move(c.rect.x, c.rect.y);
            if (!c.text.empty())
                w->adjustSize();
        } else {
            w->setGeometry(c.rect.x, c.rect.y, c.rect.width, c.rect.height);
        }
        made[std::size_t(&c - rules::status_layout().data())] = w;
    }
    auto at = [&made](StatusControl c) { return made[std::size_t(c)]; };
    Image1 = static_cast<Picture*>(at(StatusControl::Image1));
    Image2 = static_cast<Picture*>(at(StatusControl::Image2));
    statusinfo = static_cast<QLabel*>(at(StatusControl::statusinfo));
    statusinfo->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    info = static_cast<QLabel*>(at(StatusControl::info));
    info2 = static_cast<QLabel*>(at(StatusControl::info2));
    hoursimage = static_cast<Picture*>(at(StatusControl::hoursimage));
    fromfile = static_cast<QLineEdit*>(at(StatusControl::fromfile));
    tofile = static_cast<QLineEdit*>(at(StatusControl::tofile));
    Button1 = static_cast<QPushButton*>(at(StatusControl::Button1));
    Button2 = static_cast<QPushButton*>(at(StatusControl::Button2));
    connect(Button1, &QPushButton::clicked, this, &TStatus_show::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TStatus_show::Button2Click);

    // Runs from creation until the process ends, also while hidden.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(rules::hourglass_ms);
    connect(Timer1, &QTimer::timeout, this, &TStatus_show::Timer1Timer);
    Timer1->start();
}

QWidget* TStatus_show::control(StatusControl c) const
{
    switch (c) {
    case StatusControl::Image1: return Image1;
    case StatusControl::Image2: return Image2;
    case StatusControl::statusinfo: return statusinfo;
    case StatusControl::info: return info;
    case StatusControl::info2: return info2;
    case StatusControl::hoursimage: return hoursimage;
    case StatusControl::fromfile: return fromfile;
    case StatusControl::tofile: return tofile;
    case StatusControl::Button1: return Button1;
    case StatusControl::Button2: break;
    }
    return Button2;
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
    const rules::Rect at = rules::layout_of(StatusControl::statusinfo).rect;
    const QFontMetrics metrics(statusinfo->font());
    const int above = std::max(0, -metrics.tightBoundingRect(status).top() - metrics.ascent());
    statusinfo->setGeometry(at.x, at.y - above, statusinfo->width(), statusinfo->height() + above);
    fromfile->setText(from);
    fromfile->setCursorPosition(0);
    tofile->setText(to);
    tofile->setCursorPosition(0);
}

bool TStatus_show::shown(StatusControl c) const
{
    return !control(c)->isHidden();
}

void TStatus_show::set_shown(StatusControl c, bool shown)
{
    control(c)->setHidden(!shown);
}

bool TStatus_show::showing() const
{
    return isVisible();
}

void TStatus_show::end_showing()
{
    done(QDialog::Accepted);
}

void TStatus_show::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A request that came before the showing began ends it as soon as the
    // modal loop runs.
    if (rules_.close_requested())
        QMetaObject::invokeMethod(this, [this] { rules_.showing_began(); }, Qt::QueuedConnection);
}

void TStatus_show::setVisible(bool visible)
{
    if (visible && !isVisible())
        application_.progress_showing();
    // Leaves minimised only while shown: changing the state of a hidden
    // window makes X11 map it again (and Windows show it), and a dialog kept
    // minimised would come up minimised for the next job.
    if (!visible && isVisible() && isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    QDialog::setVisible(visible);
}

void TStatus_show::reject() {}

void TStatus_show::closeEvent(QCloseEvent* event)
{
    event->ignore();
    rules_.close_asked();
}
