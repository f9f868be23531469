#include "TStatus_show.h"

#include "Tmain.h"
#include "resource.h"

#include "pending_file.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

using trezorka::win::FontKind;
using trezorka::win::Item;
using trezorka::win::scaled;

namespace {

constexpr COLORREF background_colour = RGB(0xE8, 0xE8, 0xE8);
constexpr wchar_t class_name[] = L"TStatus_show";
constexpr UINT_PTR Timer1 = 1;
constexpr int client_width = 508;
constexpr int client_height = 149;
// A dialog frame with a caption and no buttons at all in the title bar.
constexpr DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
constexpr DWORD ex_style = WS_EX_DLGMODALFRAME;

const wchar_t abort_question[] = L"Přeřušit probíhající proces a ponechat cílový soubor v nekonzistentním stavu?";

} // namespace

TStatus_show::TStatus_show(Tmain& main) : main_(main)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = class_name;
    RegisterClassExW(&wc);
    // Owned by the main window: no taskbar button, always in front of it.
    window_ = CreateWindowExW(ex_style, class_name, L"", style, CW_USEDEFAULT, CW_USEDEFAULT, client_width,
                              client_height, main.window(), nullptr, instance, this);
    if (!window_)
        throw std::runtime_error("cannot create the progress dialog");
    create_controls();
    layout();
    // From creation on, also while the dialog is hidden.
    SetTimer(window_, Timer1, 1000, nullptr);
}

TStatus_show::~TStatus_show()
{
    if (window_)
        DestroyWindow(window_);
}

void TStatus_show::create_controls()
{
    scene_.set_dpi(96);
    auto item = [this](const wchar_t* name, bool is_label, RECT place, int picture, std::wstring text, FontKind font) {
        Item i{name, is_label, place};
        i.picture = picture;
        i.text = std::move(text);
        i.font = font;
        i.colour = GetSysColor(COLOR_WINDOWTEXT);
        return scene_.add(std::move(i));
    };
    item(L"Image1", false, {436, -62, 436 + 97, -62 + 299}, ART_PANEL_RIGHT, {}, FontKind::Default11);
    item(L"Image2", false, {-16, -24, -16 + 105, -24 + 269}, ART_PANEL_LEFT, {}, FontKind::Default11);
    statusinfo_ = item(L"statusinfo", true, {38, 16, 400, 32}, -1, {}, FontKind::Bold12);
    item(L"info", true, {38, 48, 74, 62}, -1, L"Zdroj", FontKind::Bold11);
    item(L"info2", true, {38, 75, 74, 89}, -1, L"Cíl", FontKind::Bold11);
    hoursimage_ = item(L"hoursimage", false, {409, 24, 409 + 94, 24 + 96}, ART_HOURGLASS, {}, FontKind::Default11);

    const HINSTANCE instance = GetModuleHandleW(nullptr);
    auto child = [&](const wchar_t* cls, const wchar_t* text, DWORD extra, DWORD ex, int id) {
        return CreateWindowExW(ex, cls, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | extra, 0, 0, 1, 1, window_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    };
    fromfile_ = child(WC_EDITW, L"", ES_READONLY | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 10);
    tofile_ = child(WC_EDITW, L"", ES_READONLY | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 11);
    Button1_ = child(WC_BUTTONW, L"Přerušit a ukončit", BS_PUSHBUTTON, 0, 12);
    Button2_ = child(WC_BUTTONW, L"Minimalizovat", BS_PUSHBUTTON, 0, 13);
}

void TStatus_show::layout()
{
    const UINT dpi = GetDpiForWindow(window_);
    scene_.set_dpi(dpi);
    const std::pair<HWND, RECT> children[] = {{fromfile_, {74, 45, 317, 21}},
                                              {tofile_, {74, 72, 317, 21}},
                                              {Button1_, {143, 113, 113, 20}},
                                              {Button2_, {278, 113, 113, 20}}};
    for (const auto& [c, r] : children) {
        SetWindowPos(c, nullptr, scaled(r.left, dpi), scaled(r.top, dpi), scaled(r.right, dpi),
                     scaled(r.bottom, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(scene_.font(FontKind::Default11)), TRUE);
    }
    RECT frame{0, 0, scaled(client_width, dpi), scaled(client_height, dpi)};
    AdjustWindowRectExForDpi(&frame, style, FALSE, ex_style, dpi);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    buffer_.stale();
    InvalidateRect(window_, nullptr, FALSE);
}

void TStatus_show::set_texts(const std::wstring& caption, const std::wstring& status, const std::wstring& from,
                             const std::wstring& to)
{
    SetWindowTextW(window_, caption.c_str());
    scene_[statusinfo_].text = status;
    SetWindowTextW(fromfile_, from.c_str());
    SetWindowTextW(tofile_, to.c_str());
    buffer_.stale();
    InvalidateRect(window_, nullptr, FALSE);
}

// The first showing is centred over the main window, but never past the left
// or top edge of that monitor's work area; later ones keep the last position.
void TStatus_show::place_first_time()
{
    if (placed_)
        return;
    placed_ = true;
    RECT owner, own;
    GetWindowRect(main_.window(), &owner);
    // Minimised or in the tray (a large source): where it stands when restored.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    if ((IsIconic(main_.window()) || !IsWindowVisible(main_.window()))
        && GetWindowPlacement(main_.window(), &placement))
        owner = placement.rcNormalPosition;
    GetWindowRect(window_, &own);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(main_.window(), MONITOR_DEFAULTTONEAREST), &monitor);
    const int w = own.right - own.left, h = own.bottom - own.top;
    const int x = std::max<int>(monitor.rcWork.left, owner.left + ((owner.right - owner.left) - w) / 2);
    const int y = std::max<int>(monitor.rcWork.top, owner.top + ((owner.bottom - owner.top) - h) / 2);
    SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TStatus_show::show_modal()
{
    in_modal_ = true;
    place_first_time();
    // Sent to the tray before the showing (a large source): it appears when
    // the application comes back.
    if (!minimised_ && !main_.in_tray())
        ShowWindow(window_, SW_SHOW);
    else
        minimised_ = true;
    // A close request posted before this loop began is in the queue already.
    MSG msg;
    while (!close_requested_) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            // The loop of the whole program is to end: leave it that message.
            if (got == 0)
                PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (IsDialogMessageW(window_, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    close_requested_ = false;
    in_modal_ = false;
    minimised_ = false;
    ShowWindow(window_, SW_HIDE);
}

void TStatus_show::set_minimised(bool minimised)
{
    minimised_ = minimised;
    if (!in_modal_)
        return;
    ShowWindow(window_, minimised ? SW_HIDE : SW_SHOWNORMAL);
}

void TStatus_show::Timer1Timer()
{
    scene_[hoursimage_].shown = !scene_[hoursimage_].shown;
    buffer_.stale();
    InvalidateRect(window_, nullptr, FALSE);
}

void TStatus_show::Button1Click()
{
    // The worker goes on while the question is open.
    if (MessageBoxW(nullptr, abort_question, L"Warning", MB_OKCANCEL | MB_ICONWARNING | MB_TASKMODAL) != IDOK)
        return;
    if (main_.application_minimised())
        main_.restore_application();
    // The job's temporary file goes; the target is left as it was.
    trezorka::pending_file::abort_and_remove();
    ExitProcess(0);
}

void TStatus_show::Button2Click()
{
    main_.minimise_application();
}

LRESULT CALLBACK TStatus_show::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TStatus_show*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TStatus_show*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wparam, lparam);
    return self->handle(message, wparam, lparam);
}

LRESULT TStatus_show::handle(UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        const HDC dc = BeginPaint(window_, &ps);
        buffer_.present(window_, dc, scene_, background_colour);
        EndPaint(window_, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_CTLCOLORSTATIC: {
        // The read-only boxes in the window-background colour.
        const HDC dc = reinterpret_cast<HDC>(wparam);
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_COMMAND:
        if (HIWORD(wparam) == BN_CLICKED && LOWORD(wparam) == 12)
            Button1Click();
        else if (HIWORD(wparam) == BN_CLICKED && LOWORD(wparam) == 13)
            Button2Click();
        return 0;
    case WM_TIMER:
        if (wparam == Timer1)
            Timer1Timer();
        return 0;
    case close_message:
        close_requested_ = true;
        return 0;
    case WM_DPICHANGED: {
        const auto* suggested = reinterpret_cast<const RECT*>(lparam);
        SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        layout();
        return 0;
    }
    case WM_NCDESTROY:
        window_ = nullptr;
        return 0;
    case WM_CLOSE:
        // Only the worker's close request ends a showing (Alt+F4 does nothing).
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window_, message, wparam, lparam);
}
