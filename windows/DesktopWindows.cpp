#include "DesktopWindows.h"

#include "TStatus_show.h"

namespace rules = trezorka::rules;

namespace {

rules::Rect rect_of(const RECT& r)
{
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

} // namespace

HWND DesktopWindows::handle(AppWindow w) const
{
    if (w == AppWindow::main)
        return main_;
    return dialog_ ? dialog_->window() : nullptr;
}

bool DesktopWindows::shown(AppWindow w) const
{
    if (w == AppWindow::progress)
        return dialog_ && dialog_->showing();
    return main_ && IsWindowVisible(main_);
}

bool DesktopWindows::minimised(AppWindow w) const
{
    if (w == AppWindow::progress)
        return dialog_ && dialog_->minimised();
    return main_ && IsIconic(main_);
}

void DesktopWindows::minimise(AppWindow w)
{
    if (w == AppWindow::progress) {
        if (dialog_)
            dialog_->set_minimised(true);
    } else if (!IsIconic(main_)) {
        ShowWindow(main_, SW_MINIMIZE);
    }
}

void DesktopWindows::unminimise(AppWindow w)
{
    if (w == AppWindow::progress) {
        if (dialog_)
            dialog_->set_minimised(false);
    } else {
        ShowWindow(main_, SW_RESTORE);
    }
}

void DesktopWindows::show(AppWindow w)
{
    if (w == AppWindow::main)
        ShowWindow(main_, IsIconic(main_) ? SW_RESTORE : SW_SHOW);
}

void DesktopWindows::hide(AppWindow w)
{
    if (w == AppWindow::main)
        ShowWindow(main_, SW_HIDE);
}

void DesktopWindows::raise(AppWindow w)
{
    const HWND window = handle(w);
    if (window && IsWindowVisible(window))
        SetForegroundWindow(window);
}

rules::Rect DesktopWindows::desktop_area() const
{
    return {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
            GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

rules::Rect DesktopWindows::work_area() const
{
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(main_, MONITOR_DEFAULTTONEAREST), &monitor);
    return rect_of(monitor.rcWork);
}

// The main window minimised or in the tray: where it stands when restored.
rules::Rect DesktopWindows::frame(AppWindow w) const
{
    const HWND window = handle(w);
    RECT r{};
    GetWindowRect(window, &r);
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    if (w == AppWindow::main && (IsIconic(window) || !IsWindowVisible(window))
        && GetWindowPlacement(window, &placement))
        r = placement.rcNormalPosition;
    return rect_of(r);
}

void DesktopWindows::move(AppWindow w, int x, int y)
{
    SetWindowPos(handle(w), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
