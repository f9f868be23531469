#include "DesktopWindows.h"

#include "periods.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <QWindowStateChangeEvent>

namespace rules = trezorka::rules;

namespace {

rules::Rect rect_of(const QRect& r)
{
    return {r.x(), r.y(), r.width(), r.height()};
}

} // namespace

DesktopWindows::DesktopWindows(QWidget* main_window) : QObject(main_window), main_(main_window)
{
    settle_ = new QTimer(this);
    settle_->setObjectName(QStringLiteral("settle"));
    settle_->setSingleShot(true);
    settle_->setInterval(rules::settle_ms);
    connect(settle_, &QTimer::timeout, this, [this] {
        if (application_)
            application_->settled();
    });
    exposure_ = new QTimer(this);
    exposure_->setInterval(20);
    connect(exposure_, &QTimer::timeout, this, &DesktopWindows::exposureTimer);
    main_->installEventFilter(this);
}

void DesktopWindows::set_dialog(QWidget* dialog)
{
    if (dialog_)
        dialog_->removeEventFilter(this);
    dialog_ = dialog;
    if (dialog)
        dialog->installEventFilter(this);
}

QWidget* DesktopWindows::window(AppWindow w) const
{
    return w == AppWindow::main ? main_ : dialog_.data();
}

bool DesktopWindows::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::WindowStateChange || !application_)
        return false;
    const auto old_state = static_cast<QWindowStateChangeEvent*>(event)->oldState();
    if (watched == main_)
        application_->window_state_changed(AppWindow::main, old_state.testFlag(Qt::WindowMinimized),
                                           main_->isMinimized());
    else if (watched == dialog_.data())
        application_->window_state_changed(AppWindow::progress, old_state.testFlag(Qt::WindowMinimized),
                                           dialog_->isMinimized());
    return false;
}

bool DesktopWindows::shown(AppWindow w) const
{
    const QWidget* window = this->window(w);
    return window && window->isVisible();
}

bool DesktopWindows::minimised(AppWindow w) const
{
    const QWidget* window = this->window(w);
    return window && window->isMinimized();
}

// A dialog not yet on the screen is minimised once it is there: window
// managers show a window that was minimised while hidden in its normal state,
// and the program would seem to come back from the tray by itself; and before
// the window system has put it on the screen it ignores the request and
// reports the dialog as restored.
void DesktopWindows::minimise(AppWindow w)
{
    QWidget* window = this->window(w);
    if (!window)
        return;
    if (w == AppWindow::progress && !window->isVisible()) {
        exposure_tries_ = 0;
        exposure_->start();
        return;
    }
    window->setWindowState((window->windowState() & ~Qt::WindowActive) | Qt::WindowMinimized);
}

void DesktopWindows::exposureTimer()
{
    const bool pending = dialog_ && dialog_->isVisible() && ++exposure_tries_ < 100;
    const QWindow* handle = pending ? dialog_->windowHandle() : nullptr;
    if (pending && !(handle && handle->isExposed()))
        return;
    exposure_->stop();
    if (pending)
        dialog_->setWindowState((dialog_->windowState() & ~Qt::WindowActive) | Qt::WindowMinimized);
}

void DesktopWindows::unminimise(AppWindow w)
{
    if (w == AppWindow::progress)
        exposure_->stop();
    if (QWidget* window = this->window(w))
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
}

void DesktopWindows::show(AppWindow w)
{
    unminimise(w);
    if (QWidget* window = this->window(w))
        window->show();
}

void DesktopWindows::hide(AppWindow w)
{
    if (QWidget* window = this->window(w))
        window->hide();
}

void DesktopWindows::raise(AppWindow w)
{
    QWidget* window = this->window(w);
    if (!window || (w == AppWindow::progress && !window->isVisible()))
        return;
    window->raise();
    window->activateWindow();
}

rules::Rect DesktopWindows::desktop_area() const
{
    QRect desktop;
    for (const QScreen* s : QGuiApplication::screens())
        desktop = desktop.united(s->geometry());
    return rect_of(desktop);
}

rules::Rect DesktopWindows::work_area() const
{
    const QScreen* screen = main_->screen();
    return screen ? rect_of(screen->availableGeometry()) : rules::Rect{};
}

rules::Rect DesktopWindows::frame(AppWindow w) const
{
    const QWidget* window = this->window(w);
    return window ? rect_of(window->frameGeometry()) : rules::Rect{};
}

void DesktopWindows::move(AppWindow w, int x, int y)
{
    if (QWidget* window = this->window(w))
        window->move(x, y);
}

void DesktopWindows::start_settling()
{
    settle_->start();
}

bool DesktopWindows::settling() const
{
    return settle_->isActive();
}
