#pragma once

#include "Accessibility.h"
#include "DesktopWindows.h"
#include "Gdi.h"
#include "HoverDispatcher.h"
#include "OwnedWindow.h"
#include "SharedJob.h"
#include "Tmain_rules.h"
#include "TrayIcon.h"
#include "WinUiPlatform.h"

#include <windows.h>

#include <array>
#include <string>
#include <vector>

class TStatus_show;

// The main window `main` on Win32, a face of the main window's rules: it
// builds the controls from the layout, draws them, implements the view and
// the window port, and hands every event to the rules.
//
// Pictures and labels are items of its scene, painted by the window itself.
// Each command has an owner-drawn button over its bar whose window text is the
// command's label, so screen readers find a named button; the four edit boxes
// are ordinary EDIT controls.
class Tmain : public trezorka::win::OwnedWindow,
              private trezorka::rules::MainView,
              private trezorka::rules::WindowPort {
public:
    Tmain(SharedJob& job, WinUiPlatform& platform, std::u16string first_argument);
    ~Tmain() override;

    void setStatus_show(TStatus_show* dialog);
    // The application's windows as one: the progress dialog's StatusPort.
    trezorka::rules::ApplicationWindows& application() { return rules_.application(); }
    // Runs the creation handler and shows the window.
    void start();

    // Keyboard handling before dispatch (Tab between the edit boxes, Enter in
    // a password field); true when the message has been consumed.
    bool pre_translate(MSG& message);

private:
    using Control = trezorka::rules::Control;
    using Timer = trezorka::rules::Timer;

    // The view.
    bool shown(Control c) const override;
    void set_shown(Control c, bool shown) override;
    bool enabled(Control c) const override;
    void set_enabled(Control c, bool enabled) override;
    std::u16string text(Control c) const override;
    void set_text(Control c, std::u16string_view text) override;
    bool empty(Control c) const override;
    bool same_text(Control a, Control b) const override;
    void copy_password(Control c, SharedJob& job) const override;
    void set_unused_look(Control c, bool unused) override;
    void set_focus(Control c) override;
    bool timer_running(Timer t) const override;
    void start_timer(Timer t) override;
    void stop_timer(Timer t) override;
    void set_tray_shown(bool shown) override { tray_.set_shown(shown); }
    void set_tray_hint(std::u16string_view hint) override { tray_.set_hint(hint); }
    void show_tray_balloon(std::u16string_view title, std::u16string_view text) override
    {
        tray_.show_balloon(title, text);
    }

    // The window port.
    void set_window_enabled(bool enabled) override;
    bool window_enabled() const override;
    sifra::CloseRequest close_request() override;
    void show_progress(const trezorka::rules::texts::CommandTexts& texts, std::u16string_view from,
                       std::u16string_view to) override;
    void close_progress_if_shown() override;
    void quit() override;

    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam) override;
    void apply_dpi(UINT dpi) override;
    static LRESULT CALLBACK password_procedure(HWND edit, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                               DWORD_PTR);
    void create_controls();
    void repaint();
    HWND child(Control c) const { return children_[static_cast<std::size_t>(c)]; }
    // A password field's text in memory that is wiped after `use`.
    template <class Use>
    void with_text(HWND edit, Use use) const;
    // Names for screen readers: each edit box is called by its label, and a
    // password field describes the mark shown beside it.
    void name_fields();
    void describe_marks();

    WinUiPlatform& platform_;
    DesktopWindows desktop_;
    TrayIcon tray_;
    trezorka::rules::TmainRules rules_;
    HoverDispatcher hover_{scene_, rules_};
    Accessibility accessibility_;
    TStatus_show* status_show_ = nullptr;
    trezorka::win::Brush unused_field_;
    trezorka::win::Icon icon_big_;
    trezorka::win::Icon icon_small_;
    // Child windows by control: the edit boxes, and each command's button
    // under its label's number.
    std::array<HWND, trezorka::rules::control_count> children_{};
    struct Button {
        HWND window;
        RECT place; // at 96 dpi
    };
    std::vector<Button> buttons_;
    std::array<bool, 3> timer_running_{};
    bool pwagain_unused_ = false;
};
