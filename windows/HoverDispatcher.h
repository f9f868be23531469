#pragma once

#include "Scene.h"
#include "Tmain_rules.h"

#include <windows.h>

#include <vector>

// Delivers the main window's mouse moves by the window rules' hover rule
// (hover_target), from the window itself and from the commands' buttons over
// it, whose moves are the window's at that point; and shows the pointing hand
// where the layout puts it over the control the pointer would reach.
class HoverDispatcher {
public:
    HoverDispatcher(const trezorka::win::Scene& scene, trezorka::rules::TmainRules& rules);
    HoverDispatcher(const HoverDispatcher&) = delete;
    HoverDispatcher& operator=(const HoverDispatcher&) = delete;

    void attach(HWND window) { window_ = window; }
    // Also takes the moves over `button`.
    void watch(HWND button);

    // WM_MOUSEMOVE on the window, at a point of its client area.
    void moved(POINT client);
    // WM_SETCURSOR: true when the pointer has been set.
    bool set_cursor(HWND over, LPARAM lparam) const;

private:
    static LRESULT CALLBACK button_procedure(HWND button, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                             DWORD_PTR self);
    // A point of the client area at 96 dpi.
    POINT at_96(POINT client) const;
    std::vector<trezorka::rules::HitBox> boxes() const;

    const trezorka::win::Scene& scene_;
    trezorka::rules::TmainRules& rules_;
    HWND window_ = nullptr;
    std::vector<HWND> buttons_;
};
