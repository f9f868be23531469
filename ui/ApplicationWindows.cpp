#include "ApplicationWindows.h"

#include <QApplication>
#include <QEvent>
#include <QScopedValueRollback>
#include <QTimer>
#include <QWindow>
#include <QWindowStateChangeEvent>

namespace {

void minimise(QWidget* w)
{
    w->setWindowState((w->windowState() & ~Qt::WindowActive) | Qt::WindowMinimized);
}

void unminimise(QWidget* w)
{
    w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
}

} // namespace

ApplicationWindows::ApplicationWindows(QWidget* main_window, Events events)
    : QObject(main_window), main_(main_window), events_(std::move(events))
{
    settle_ = new QTimer(this);
    settle_->setObjectName(QStringLiteral("settle"));
    settle_->setSingleShot(true);
    settle_->setInterval(300);
    connect(settle_, &QTimer::timeout, this, &ApplicationWindows::settleTimer);
    main_->installEventFilter(this);
}

void ApplicationWindows::set_dialog(QWidget* dialog)
{
    if (dialog_)
        dialog_->removeEventFilter(this);
    dialog_ = dialog;
    if (dialog)
        dialog->installEventFilter(this);
}

bool ApplicationWindows::eventFilter(QObject* watched, QEvent* event)
{
    if (!watched->isWidgetType() || (watched != main_ && watched != dialog_.data()))
        return false;
    if (event->type() == QEvent::WindowStateChange)
        window_state_changed(static_cast<QWidget*>(watched), static_cast<QWindowStateChangeEvent*>(event)->oldState());
    else if (event->type() == QEvent::Show && watched == dialog_.data() && minimise_dialog_when_shown_)
        minimise_dialog_once_exposed();
    return false;
}

// Only a shown window counts. A hidden one is not the user's doing: the window
// system reports the main window, hidden for the tray right after it was
// minimised, as no longer minimised, which is no restore.
void ApplicationWindows::window_state_changed(QWidget* window, Qt::WindowStates old_state)
{
    if (in_application_event_ || !window->isVisible())
        return;
    // The program's own requests (the minimise button, the tray icon) count
    // also while the states settle.
    if (settle_->isActive() && !requested_)
        return;
    const bool now = window->isMinimized();
    const bool before = old_state.testFlag(Qt::WindowMinimized);
    if (now == before)
        return;
    if (now != application_minimised_)
        raise_event(now);
}

void ApplicationWindows::raise_event(bool minimised)
{
    application_minimised_ = minimised;
    {
        const QScopedValueRollback<bool> inside(in_application_event_, true);
        const auto& handler = minimised ? events_.minimised : events_.restored;
        if (handler)
            handler();
    }
    settle_->start();
}

// Minimised as soon as it is on the screen: window managers show a window that
// was minimised while hidden in its normal state, and the program would seem
// to come back from the tray by itself. Not before the window system has put
// it on the screen, or it ignores the request and reports the dialog as restored.
void ApplicationWindows::minimise_dialog_once_exposed()
{
    minimise_dialog_when_shown_ = false;
    auto* wait = new QTimer(this);
    wait->setInterval(20);
    connect(wait, &QTimer::timeout, this, [this, wait, tries = 0]() mutable {
        const bool pending = application_minimised_ && dialog_ && dialog_->isVisible() && ++tries < 100;
        const QWindow* window = pending ? dialog_->windowHandle() : nullptr;
        if (pending && !(window && window->isExposed()))
            return;
        wait->stop();
        wait->deleteLater();
        if (pending)
            minimise(dialog_);
    });
    wait->start();
}

// The windows as the application's state wants them, whatever the window
// system reported while it settled.
void ApplicationWindows::settleTimer()
{
    if (!dialog_ || !dialog_->isVisible())
        return;
    const bool minimised = dialog_->isMinimized();
    if (application_minimised_ && events_.busy && events_.busy() && !minimised)
        minimise(dialog_);
    else if (!application_minimised_ && minimised)
        unminimise(dialog_);
    // A late de-minimise of the main window may have put it over the dialog.
    if (!application_minimised_)
        bring_to_front();
}

void ApplicationWindows::minimise_application()
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
            minimise(w);
}

void ApplicationWindows::restore_application()
{
    const QScopedValueRollback<bool> requested(requested_, true);
    if (main_->isMinimized())
        unminimise(main_);
    if (dialog_ && dialog_->isVisible() && dialog_->isMinimized())
        unminimise(dialog_);
    // Left minimised by a window that is hidden or gone: still counts as a restore.
    if (application_minimised_)
        raise_event(false);
    if (hidden_for_tray_) {
        hidden_for_tray_ = false;
        main_->show();
    }
}

void ApplicationWindows::minimise_progress()
{
    if (!dialog_)
        return;
    if (dialog_->isVisible())
        minimise(dialog_);
    else
        minimise_dialog_when_shown_ = true; // the large-file rule, before the showing
}

void ApplicationWindows::restore_progress()
{
    minimise_dialog_when_shown_ = false;
    // A hidden one is left alone: a state change would show it again.
    if (dialog_ && dialog_->isVisible())
        unminimise(dialog_);
}

void ApplicationWindows::hide_for_tray()
{
    hidden_for_tray_ = true;
    main_->hide();
}

void ApplicationWindows::show_from_tray()
{
    if (hidden_for_tray_) {
        hidden_for_tray_ = false;
        unminimise(main_);
        main_->show();
    }
}

void ApplicationWindows::show_main()
{
    if (hidden_for_tray_ || main_->isHidden()) {
        hidden_for_tray_ = false;
        unminimise(main_);
        main_->show();
    }
}

void ApplicationWindows::bring_to_front()
{
    main_->raise();
    main_->activateWindow();
    if (dialog_ && dialog_->isVisible()) {
        dialog_->raise();
        dialog_->activateWindow();
    }
}
