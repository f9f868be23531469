#pragma once

#include "Scene.h"

#include <windows.h>

#include <string>

class Tmain;

// The progress dialog `Status_show`: created hidden at start-up and shown
// modally for every job until the worker's close request arrives.
class TStatus_show {
public:
    // Posted by the worker; the only message that comes from another thread.
    static constexpr UINT close_message = WM_APP + 1;

    explicit TStatus_show(Tmain& main);
    TStatus_show(const TStatus_show&) = delete;
    TStatus_show& operator=(const TStatus_show&) = delete;
    ~TStatus_show();

    HWND window() const { return window_; }

    void set_texts(const std::wstring& caption, const std::wstring& status, const std::wstring& from,
                   const std::wstring& to);
    // Disables the main window, shows the dialog (unless the application sits
    // in the tray: then it appears when the application comes back), and runs
    // the message loop until the close request has come; re-enables nothing.
    void show_modal();
    bool showing() const { return in_modal_; }
    // Minimised goes with the application; the dialog is owned by the main
    // window, so it has no taskbar button of its own.
    void set_minimised(bool minimised);

    void Timer1Timer();
    void Button1Click();
    void Button2Click();

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
    void create_controls();
    void layout();
    void place_first_time();

    Tmain& main_;
    HWND window_ = nullptr;
    HWND fromfile_ = nullptr;
    HWND tofile_ = nullptr;
    HWND Button1_ = nullptr;
    HWND Button2_ = nullptr;
    trezorka::win::Scene scene_;
    trezorka::win::BackBuffer buffer_;
    int statusinfo_ = -1;
    int hoursimage_ = -1;
    bool close_requested_ = false;
    bool in_modal_ = false;
    bool minimised_ = false;
    bool placed_ = false;
};
