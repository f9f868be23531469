#pragma once

#include "DesktopWindows.h"
#include "Gdi.h"
#include "OwnedWindow.h"
#include "Scene.h"
#include "SharedJob.h"
#include "Tmain_rules.h"
#include "WinUiPlatform.h"

#include <windows.h>

#include <shellapi.h>

#include <array>
#include <string>

class TStatus_show;
struct IAccPropServices;

// The main window `main` on Win32, a face of the main window's rules: it
// builds the controls from the layout, draws them, implements the view and
// the window port, and hands every event to the rules.
//
// Pictures and labels are items of its scene, painted by the window itself.
// Each command has an owner-drawn button over its bar whose window text is the
// command's label, so screen readers find a named button; the four edit boxes
// are ordinary EDIT controls.
class Tmain : public trezorka::rules::MainView, public trezorka::rules::WindowPort {
public:
    Tmain(SharedJob& job, WinUiPlatform& platform, std::u16string first_argument);
    Tmain(const Tmain&) = delete;
    Tmain& operator=(const Tmain&) = delete;
    ~Tmain() override;

    HWND window() const { return window_; }
    void setStatus_show(TStatus_show* dialog);
    // The application's windows as one: the progress dialog's StatusPort.
    trezorka::rules::ApplicationWindows& application() { return rules_.application(); }
    // Runs the creation handler and shows the window.
    void start();

    // Keyboard handling before dispatch (Tab between the edit boxes, Enter in
    // a password field); true when the message has been consumed.
    bool pre_translate(MSG& message);

    // The view.
    bool shown(trezorka::rules::Control c) const override;
    void set_shown(trezorka::rules::Control c, bool shown) override;
    bool enabled(trezorka::rules::Control c) const override;
    void set_enabled(trezorka::rules::Control c, bool enabled) override;
    std::u16string text(trezorka::rules::Control c) const override;
    void set_text(trezorka::rules::Control c, std::u16string_view text) override;
    bool empty(trezorka::rules::Control c) const override;
    bool same_text(trezorka::rules::Control a, trezorka::rules::Control b) const override;
    void copy_password(trezorka::rules::Control c, SharedJob& job) const override;
    void set_unused_look(trezorka::rules::Control c, bool unused) override;
    void set_focus(trezorka::rules::Control c) override;
    bool timer_running(trezorka::rules::Timer t) const override;
    void start_timer(trezorka::rules::Timer t) override;
    void stop_timer(trezorka::rules::Timer t) override;
    void set_tray_shown(bool shown) override;
    void set_tray_hint(std::u16string_view hint) override;
    void show_tray_balloon(std::u16string_view title, std::u16string_view text) override;

    // The window port.
    void set_window_enabled(bool enabled) override;
    bool window_enabled() const override;
    sifra::CloseRequest close_request() override;
    void show_progress(const trezorka::rules::texts::CommandTexts& texts, std::u16string_view from,
                       std::u16string_view to) override;
    void close_progress_if_shown() override;
    void quit() override;

private:
    friend LRESULT CALLBACK trezorka::win::owned_window_procedure<Tmain>(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK child_procedure(HWND child, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                            DWORD_PTR owner);
    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
    void create_controls();
    void apply_dpi(UINT dpi);
    void layout();
    void repaint();
    HWND edit_of(trezorka::rules::Control c) const;
    // A password field's text in memory that is wiped after `use`.
    template <class Use>
    void with_text(HWND edit, Use use) const;
    // The pointer at a point of the client area, in 96-dpi coordinates.
    POINT at_96(POINT client) const;
    std::vector<trezorka::rules::HitBox> boxes() const;
    int target_at(POINT client) const;
    void trayanimationTimer();
    void dropped(HDROP drop);
    NOTIFYICONDATAW tray_data(UINT flags) const;
    // Names for screen readers: each edit box is called by its label, and a
    // password field describes the mark shown beside it.
    void name_fields();
    void describe_marks();

    WinUiPlatform& platform_;
    trezorka::win::Scene scene_;
    trezorka::win::BackBuffer buffer_;
    DesktopWindows desktop_;
    trezorka::rules::TmainRules rules_;
    TStatus_show* status_show_ = nullptr;
    HWND window_ = nullptr;
    trezorka::win::Brush unused_field_;
    trezorka::win::Icon icon_big_;
    trezorka::win::Icon icon_small_;
    std::array<trezorka::win::Icon, 3> anicons_;
    // Child windows by control: the edit boxes, and each command's button
    // under its label's number.
    std::array<HWND, trezorka::rules::control_count> children_{};
    struct Button {
        HWND window;
        RECT place; // at 96 dpi
    };
    std::vector<Button> buttons_;
    std::array<bool, 4> timer_running_{};
    bool pwagain_unused_ = false;

    bool tray_shown_ = false;
    int tray_frame_ = 0;
    std::wstring tray_hint_;

    IAccPropServices* accessibility_ = nullptr;
};
