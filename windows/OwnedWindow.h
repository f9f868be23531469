#pragma once

// The window procedure of a window class whose windows each belong to one
// object, passed as CreateWindowExW's last argument. The object's `window_`
// is set at WM_NCCREATE, so it is known from the first message on; every
// message then goes to its `handle`. The owner befriends its instance.

#include <windows.h>

namespace trezorka::win {

template <class Owner>
LRESULT CALLBACK owned_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_NCCREATE) {
        auto* owner = static_cast<Owner*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        owner->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    }
    auto* owner = reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return owner ? owner->handle(message, wparam, lparam) : DefWindowProcW(window, message, wparam, lparam);
}

} // namespace trezorka::win
