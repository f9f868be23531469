#pragma once

// A window of the program, one object per window: it holds the window's scene
// of pictures and labels and the back buffer they are painted from. Every
// message of the window goes to the object. Painting, a change of resolution
// and the window's end are handled here alike for every window; the rest
// goes to the window's own `handle`.

#include "Scene.h"
#include "layout.h"

#include <windows.h>

#include <span>

namespace trezorka::win {

class OwnedWindow {
public:
    OwnedWindow(const OwnedWindow&) = delete;
    OwnedWindow& operator=(const OwnedWindow&) = delete;

    HWND window() const { return window_; }

protected:
    OwnedWindow(std::span<const rules::ControlLayout> layout, const rules::WindowLayout& look);
    // A derived window destroys its window itself while it is whole, so that
    // the messages of the window's end still reach it.
    virtual ~OwnedWindow() = default;

    // Registers the window class `class_name` (with `icon`, or none) and
    // creates the window with the layout's caption; throws when it cannot.
    void create(const wchar_t* class_name, HICON icon, DWORD style, DWORD ex_style, HWND owner);

    // The window's own messages; what it leaves goes to DefWindowProcW.
    virtual LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam) = 0;
    // Pictures, fonts and places for a resolution: once after creation and
    // whenever the window moves to a screen of another resolution.
    virtual void apply_dpi(UINT dpi) = 0;

    // A child window at its 96-dpi place, scaled; with `font` when given.
    void place(HWND child, const RECT& at_96, HFONT font = nullptr) const;
    // The frame resized so that the client area has the layout's size.
    void fit_frame() const;
    // The scene is to be painted anew.
    void stale();
    COLORREF background() const { return colour_of(look_.background); }

    HWND window_ = nullptr;
    Scene scene_;
    BackBuffer buffer_;

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    const rules::WindowLayout& look_;
};

} // namespace trezorka::win
