#pragma once

#include "ApplicationWindows.h"

#include <windows.h>

class TStatus_show;

// The application's windows on Win32, for the rules' ApplicationWindows. The
// progress dialog is owned by the main window: Windows hides it with its
// owner's minimise, so a minimised dialog is a hidden one, and the main
// window's task bar button is the application's.
class DesktopWindows : public trezorka::rules::DesktopPort {
public:
    using AppWindow = trezorka::rules::AppWindow;

    void set_main(HWND main) { main_ = main; }
    void set_dialog(TStatus_show* dialog) { dialog_ = dialog; }

    bool shown(AppWindow w) const override;
    bool minimised(AppWindow w) const override;
    void minimise(AppWindow w) override;
    void unminimise(AppWindow w) override;
    void show(AppWindow w) override;
    void hide(AppWindow w) override;
    void raise(AppWindow w) override;
    trezorka::rules::Rect desktop_area() const override;
    trezorka::rules::Rect work_area() const override;
    trezorka::rules::Rect frame(AppWindow w) const override;
    void move(AppWindow w, int x, int y) override;
    // Win32 reports window states as they change: nothing settles.
    void start_settling() override {}
    bool settling() const override { return false; }

private:
    HWND handle(AppWindow w) const;

    HWND main_ = nullptr;
    TStatus_show* dialog_ = nullptr;
};
