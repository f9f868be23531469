#pragma once

#include "OwnedWindow.h"
#include "TStatus_show_rules.h"
#include "WinUiPlatform.h"

#include <windows.h>

#include <string_view>

// The progress dialog `Status_show` on Win32, a face of the dialog's rules:
// created hidden at start-up, shown modally for every job until the worker's
// close request, posted to it, has reached the rules.
class TStatus_show : public trezorka::win::OwnedWindow, private trezorka::rules::StatusView {
public:
    // Posted by the worker; the only message that comes from another thread.
    static constexpr UINT close_message = WM_APP + 1;

    // Owned by the main window `owner`; `application` minimises and restores
    // the whole application, places the dialog and ends the process.
    TStatus_show(HWND owner, trezorka::rules::StatusPort& application, WinUiPlatform& platform);
    ~TStatus_show() override;

    void set_texts(std::u16string_view caption, std::u16string_view status, std::u16string_view from,
                   std::u16string_view to);
    // Shows the dialog (unless the application has it minimised: then it
    // appears when the application comes back) and runs the message loop
    // until the showing ends.
    void show_modal();
    // Minimised goes with the application: hidden while the main window is.
    void set_minimised(bool minimised);
    bool minimised() const { return minimised_; }

    // Whether the dialog is being shown modally now / ends that showing.
    bool showing() const override { return in_modal_; }
    void end_showing() override { ending_ = true; }

private:
    // The view.
    bool shown(trezorka::rules::StatusControl c) const override;
    void set_shown(trezorka::rules::StatusControl c, bool shown) override;

    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam) override;
    void apply_dpi(UINT dpi) override;
    void create_controls();
    HWND child(trezorka::rules::StatusControl c) const;

    trezorka::rules::StatusPort& application_;
    trezorka::rules::TStatus_showRules rules_;
    HWND children_[trezorka::rules::status_control_count]{};
    bool in_modal_ = false;
    bool ending_ = false;
    bool minimised_ = false;
};
