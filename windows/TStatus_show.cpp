#include "TStatus_show.h"

#include "periods.h"

#include <commctrl.h>

using trezorka::rules::Kind;
using trezorka::rules::StatusControl;
using trezorka::win::wide;

namespace {

constexpr wchar_t class_name[] = L"TStatus_show";
constexpr UINT_PTR Timer1 = 1;
constexpr int first_child_id = 10;
int index(StatusControl c)
{
    return static_cast<int>(c);
}

} // namespace

TStatus_show::TStatus_show(HWND owner, trezorka::rules::StatusPort& application, WinUiPlatform& platform)
    : OwnedWindow(trezorka::rules::status_layout(), trezorka::rules::status_window), application_(application),
      rules_(*this, application, platform)
{
    // A dialog frame with a caption and no buttons at all in the title bar.
    // Owned by the main window: no taskbar button, always in front of it.
    create(class_name, nullptr, WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN, WS_EX_DLGMODALFRAME, owner);
    create_controls();
    apply_dpi(GetDpiForWindow(window_));
    // From creation on, also while the dialog is hidden.
    SetTimer(window_, Timer1, trezorka::rules::hourglass_ms, nullptr);
}

TStatus_show::~TStatus_show()
{
    if (window_)
        DestroyWindow(window_);
}

HWND TStatus_show::child(StatusControl c) const
{
    return children_[index(c)];
}

void TStatus_show::create_controls()
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const auto layout = trezorka::rules::status_layout();
    for (int i = 0; i < scene_.size(); ++i) {
        const auto& c = layout[static_cast<std::size_t>(i)];
        const HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(first_child_id + i));
        if (c.kind == Kind::Edit)
            children_[i] = CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, wide(c.text).c_str(),
                                           WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL
                                               | (c.read_only ? ES_READONLY : 0),
                                           0, 0, 1, 1, window_, id, instance, nullptr);
        else if (c.kind == Kind::Button)
            // Neither is the default or the cancel button.
            children_[i] = CreateWindowExW(0, WC_BUTTONW, wide(c.text).c_str(),
                                           WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 1, 1, window_,
                                           id, instance, nullptr);
    }
}

void TStatus_show::apply_dpi(UINT dpi)
{
    scene_.set_dpi(dpi);
    const HFONT font = scene_.font(trezorka::rules::status_window.font);
    for (int i = 0; i < scene_.size(); ++i)
        if (children_[i])
            place(children_[i], scene_[i].place, font);
    fit_frame();
    stale();
}

void TStatus_show::set_texts(std::u16string_view caption, std::u16string_view status, std::u16string_view from,
                             std::u16string_view to)
{
    SetWindowTextW(window_, wide(caption).c_str());
    scene_.set_text(index(StatusControl::statusinfo), wide(status));
    SetWindowTextW(child(StatusControl::fromfile), wide(from).c_str());
    SetWindowTextW(child(StatusControl::tofile), wide(to).c_str());
    stale();
}

void TStatus_show::show_modal()
{
    in_modal_ = true;
    ending_ = false;
    application_.progress_showing();
    if (!minimised_)
        ShowWindow(window_, SW_SHOW);
    // A close request that came before the showing ends it now.
    rules_.showing_began();
    MSG msg;
    while (!ending_) {
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
    in_modal_ = false;
    ending_ = false;
    minimised_ = false;
    ShowWindow(window_, SW_HIDE);
}

void TStatus_show::set_minimised(bool minimised)
{
    minimised_ = minimised;
    if (in_modal_)
        ShowWindow(window_, minimised ? SW_HIDE : SW_SHOWNORMAL);
}

bool TStatus_show::shown(StatusControl c) const
{
    return scene_[index(c)].shown;
}

void TStatus_show::set_shown(StatusControl c, bool on)
{
    scene_[index(c)].shown = on;
    stale();
}

LRESULT TStatus_show::handle(UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_CTLCOLORSTATIC: {
        // The read-only boxes in the window-background colour.
        SetBkColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_COMMAND:
        if (HIWORD(wparam) == BN_CLICKED && LOWORD(wparam) == first_child_id + index(StatusControl::Button1))
            rules_.Button1Click();
        else if (HIWORD(wparam) == BN_CLICKED && LOWORD(wparam) == first_child_id + index(StatusControl::Button2))
            rules_.Button2Click();
        return 0;
    case WM_TIMER:
        if (wparam == Timer1)
            rules_.Timer1Timer();
        return 0;
    case close_message:
        rules_.close_request();
        return 0;
    case WM_CLOSE:
        // Alt+F4 and the like: the rules decide, and never end the showing for it.
        rules_.close_asked();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window_, message, wparam, lparam);
}
