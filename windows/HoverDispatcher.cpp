#include "HoverDispatcher.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

HoverDispatcher::HoverDispatcher(const trezorka::win::Scene& scene, trezorka::rules::TmainRules& rules)
    : scene_(scene), rules_(rules)
{
}

void HoverDispatcher::watch(HWND button)
{
    buttons_.push_back(button);
    SetWindowSubclass(button, button_procedure, 1, reinterpret_cast<DWORD_PTR>(this));
}

POINT HoverDispatcher::at_96(POINT client) const
{
    const int dpi = static_cast<int>(scene_.dpi());
    return {MulDiv(client.x, 96, dpi), MulDiv(client.y, 96, dpi)};
}

std::vector<trezorka::rules::HitBox> HoverDispatcher::boxes() const
{
    std::vector<trezorka::rules::HitBox> out;
    for (int i = 0; i < scene_.size(); ++i) {
        const RECT& r = scene_[i].place;
        out.push_back({{r.left, r.top, r.right - r.left, r.bottom - r.top}, scene_[i].shown, scene_[i].enabled});
    }
    return out;
}

void HoverDispatcher::moved(POINT client)
{
    const POINT p = at_96(client);
    rules_.mouse_moved(boxes(), p.x, p.y);
}

// The edit boxes keep their own pointer.
bool HoverDispatcher::set_cursor(HWND over, LPARAM lparam) const
{
    const bool ours = over == window_ || std::find(buttons_.begin(), buttons_.end(), over) != buttons_.end();
    if (LOWORD(lparam) != HTCLIENT || !ours)
        return false;
    POINT at;
    GetCursorPos(&at);
    ScreenToClient(window_, &at);
    const POINT p = at_96(at);
    const int target = trezorka::rules::hover_target(boxes(), p.x, p.y);
    SetCursor(LoadCursorW(nullptr, target >= 0 && scene_[target].layout.hand ? IDC_HAND : IDC_ARROW));
    return true;
}

LRESULT CALLBACK HoverDispatcher::button_procedure(HWND button, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                                   DWORD_PTR self)
{
    auto* dispatcher = reinterpret_cast<HoverDispatcher*>(self);
    if (message == WM_MOUSEMOVE) {
        POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
        MapWindowPoints(button, dispatcher->window_, &at, 1);
        dispatcher->moved(at);
    }
    return DefSubclassProc(button, message, wparam, lparam);
}
