#include "ApplicationWindows.h"

#include <algorithm>

namespace trezorka::rules {

namespace {

// Counts the program's own requests while they run, nested or not.
struct Requested {
    explicit Requested(int& depth) : depth_(depth) { ++depth_; }
    Requested(const Requested&) = delete;
    Requested& operator=(const Requested&) = delete;
    ~Requested() { --depth_; }
    int& depth_;
};

} // namespace

Point centred(const Rect& over, int width, int height, const Rect& area)
{
    return {std::max(area.x, over.x + (over.width - width) / 2), std::max(area.y, over.y + (over.height - height) / 2)};
}

ApplicationWindows::ApplicationWindows(DesktopPort& port, UiPlatform& platform, ApplicationEvents& events)
    : port_(port), platform_(platform), events_(events)
{
}

AppState ApplicationWindows::state() const
{
    if (hidden_for_tray_)
        return AppState::in_tray;
    if (!port_.shown(AppWindow::main))
        return AppState::hidden;
    return minimised_ ? AppState::minimised : AppState::normal;
}

// Only a shown window counts. A hidden one is not the user's doing: the window
// system may report the main window, hidden for the tray right after it was
// minimised, as no longer minimised, which is no restore.
void ApplicationWindows::window_state_changed(AppWindow w, bool was_minimised, bool minimised)
{
    if (in_event_ || !port_.shown(w))
        return;
    // The program's own requests (the minimise button, the tray icon) count
    // also while the states settle.
    if (port_.settling() && requested_ == 0)
        return;
    if (minimised == was_minimised)
        return;
    if (minimised != minimised_)
        raise_event(minimised);
}

void ApplicationWindows::raise_event(bool minimised)
{
    minimised_ = minimised;
    in_event_ = true;
    if (minimised)
        events_.ApplicationEvents1Minimize();
    else
        events_.ApplicationEvents1Restore();
    in_event_ = false;
    if (desktop().late_reports)
        port_.start_settling();
}

// The windows as the application's state wants them, whatever the window
// system reported while they settled.
void ApplicationWindows::settled()
{
    if (!port_.shown(AppWindow::progress))
        return;
    const bool dialog_minimised = port_.minimised(AppWindow::progress);
    if (minimised_ && events_.busy() && !dialog_minimised)
        port_.minimise(AppWindow::progress);
    else if (!minimised_ && dialog_minimised)
        port_.unminimise(AppWindow::progress);
    // A late restore of the main window may have put it over the dialog.
    if (!minimised_)
        bring_to_front();
}

void ApplicationWindows::place(AppWindow w, const Rect& over, const Rect& area)
{
    // Nothing to place by when the window system knows no screen.
    if (!desktop().place || over.width <= 0 || over.height <= 0 || area.width <= 0 || area.height <= 0)
        return;
    const Rect frame = port_.frame(w);
    const Point at = centred(over, frame.width, frame.height, area);
    port_.move(w, at.x, at.y);
}

void ApplicationWindows::main_created()
{
    const Rect desktop = port_.desktop_area();
    place(AppWindow::main, desktop, desktop);
}

// The first showing: centred over the main window, within the work area of
// its screen; later ones keep wherever the dialog was when it was last hidden.
// A dialog shown while the application is away comes with it.
void ApplicationWindows::progress_showing()
{
    if (!progress_placed_) {
        progress_placed_ = true;
        place(AppWindow::progress, port_.frame(AppWindow::main), port_.work_area());
    }
    if (minimise_progress_when_shown_ || hidden_for_tray_) {
        minimise_progress_when_shown_ = false;
        port_.minimise(AppWindow::progress);
    }
}

// The first window minimised raises the minimise event, which may hide the
// main window; a hidden window is left hidden.
void ApplicationWindows::minimise_application()
{
    const Requested requested(requested_);
    for (AppWindow w : {AppWindow::main, AppWindow::progress})
        if (port_.shown(w) && !port_.minimised(w))
            port_.minimise(w);
}

void ApplicationWindows::restore_application()
{
    const Requested requested(requested_);
    if (port_.minimised(AppWindow::main))
        port_.unminimise(AppWindow::main);
    if (port_.shown(AppWindow::progress))
        port_.unminimise(AppWindow::progress);
    // Left minimised by a window that is hidden or gone: still counts as a restore.
    if (minimised_)
        raise_event(false);
    show_from_tray();
}

void ApplicationWindows::end_process()
{
    abort_process(0);
}

void ApplicationWindows::minimise_progress()
{
    if (port_.shown(AppWindow::progress))
        port_.minimise(AppWindow::progress);
    else
        minimise_progress_when_shown_ = true; // the large-file rule, before the showing
}

void ApplicationWindows::restore_progress()
{
    minimise_progress_when_shown_ = false;
    // A hidden one is left alone: a state change would show it again.
    if (port_.shown(AppWindow::progress))
        port_.unminimise(AppWindow::progress);
}

// With no notification area the icon could not be seen, and the program
// would be out of reach: it stays an ordinary minimised window. The main
// window's task bar button is the application's; the dialog, owned by it,
// has none of its own.
bool ApplicationWindows::to_tray()
{
    if (!platform_.has_system_tray())
        return false;
    hidden_for_tray_ = true;
    port_.hide(AppWindow::main);
    return true;
}

void ApplicationWindows::show_from_tray()
{
    if (!hidden_for_tray_)
        return;
    hidden_for_tray_ = false;
    port_.show(AppWindow::main);
}

void ApplicationWindows::show_main()
{
    if (!hidden_for_tray_ && port_.shown(AppWindow::main))
        return;
    hidden_for_tray_ = false;
    port_.show(AppWindow::main);
}

void ApplicationWindows::bring_to_front()
{
    port_.raise(AppWindow::main);
    if (port_.shown(AppWindow::progress))
        port_.raise(AppWindow::progress);
}

} // namespace trezorka::rules
