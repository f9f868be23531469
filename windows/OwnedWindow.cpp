#include "OwnedWindow.h"

#include <stdexcept>

namespace trezorka::win {

OwnedWindow::OwnedWindow(std::span<const rules::ControlLayout> layout, const rules::WindowLayout& look)
    : scene_(layout), look_(look)
{
}

void OwnedWindow::create(const wchar_t* class_name, HICON icon, DWORD style, DWORD ex_style, HWND owner)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = class_name;
    wc.hIcon = icon;
    RegisterClassExW(&wc);
    CreateWindowExW(ex_style, class_name, wide(look_.caption).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT, look_.width,
                    look_.height, owner, nullptr, instance, this);
    if (!window_)
        throw std::runtime_error("cannot create a window");
}

// The object is known from the window's first message on.
LRESULT CALLBACK OwnedWindow::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<OwnedWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<OwnedWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wparam, lparam);
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        const HDC dc = BeginPaint(window, &ps);
        self->buffer_.present(window, dc, self->scene_, self->background());
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_DPICHANGED: {
        const auto* suggested = reinterpret_cast<const RECT*>(lparam);
        SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        self->apply_dpi(HIWORD(wparam));
        return 0;
    }
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return 0;
    default:
        return self->handle(message, wparam, lparam);
    }
}

void OwnedWindow::place(HWND child, const RECT& r, HFONT font) const
{
    const UINT dpi = scene_.dpi();
    SetWindowPos(child, nullptr, scaled(r.left, dpi), scaled(r.top, dpi), scaled(r.right - r.left, dpi),
                 scaled(r.bottom - r.top, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    if (font)
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void OwnedWindow::fit_frame() const
{
    const UINT dpi = scene_.dpi();
    RECT frame{0, 0, scaled(look_.width, dpi), scaled(look_.height, dpi)};
    AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE)), FALSE,
                             static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE)), dpi);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void OwnedWindow::stale()
{
    buffer_.stale();
    InvalidateRect(window_, nullptr, FALSE);
}

} // namespace trezorka::win
