#include "Tmain.h"

#include "TStatus_show.h"
#include "resource.h"

#include <commctrl.h>
#include <initguid.h>
#include <oleacc.h>
#include <windowsx.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

using trezorka::rules::Control;
using trezorka::rules::Kind;
using trezorka::rules::Timer;
using trezorka::win::scaled;
using trezorka::win::u16;
using trezorka::win::wide;

namespace {

constexpr UINT tray_message = WM_APP + 2;
constexpr UINT_PTR trayanimation = 4;
constexpr wchar_t class_name[] = L"Tmain";
constexpr int first_button_id = 100;

int index(Control c)
{
    return static_cast<int>(c);
}

UINT_PTR timer_id(Timer t)
{
    return static_cast<UINT_PTR>(t) + 1;
}

} // namespace

Tmain::Tmain(SharedJob& job, WinUiPlatform& platform, std::u16string first_argument)
    : platform_(platform), scene_(trezorka::rules::main_layout()),
      rules_(job, *this, *this, desktop_, platform, std::move(first_argument))
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = trezorka::win::owned_window_procedure<Tmain>;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = class_name;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_TREZORKA));
    RegisterClassExW(&wc);

    const auto& w = trezorka::rules::main_window;
    // A fixed frame with the system menu and a minimise button only.
    window_ = CreateWindowExW(WS_EX_ACCEPTFILES, class_name, wide(w.caption).c_str(),
                              WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                              CW_USEDEFAULT, CW_USEDEFAULT, w.width, w.height, nullptr, nullptr, instance, this);
    if (!window_)
        throw std::runtime_error("cannot create the main window");
    platform_.set_owner(window_);
    desktop_.set_main(window_);
    unused_field_.reset(CreateSolidBrush(trezorka::win::colour_of(trezorka::rules::unused_field_colour)));
    tray_hint_ = wide(trezorka::rules::texts::tray_title);
    scene_.set_text(index(Control::Label6), wide(trezorka::rules::first_text(Control::Label6)));
    create_controls();
    apply_dpi(GetDpiForWindow(window_));
    rules_.application().main_created();
    name_fields();
}

Tmain::~Tmain()
{
    if (accessibility_)
        accessibility_->Release();
    set_tray_shown(false);
    if (window_)
        DestroyWindow(window_);
}

void Tmain::setStatus_show(TStatus_show* dialog)
{
    status_show_ = dialog;
    desktop_.set_dialog(dialog);
}

void Tmain::start()
{
    rules_.FormCreate();
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
}

// ---- building ----

void Tmain::create_controls()
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const auto layout = trezorka::rules::main_layout();
    for (int i = 0; i < scene_.size(); ++i) {
        const auto& c = layout[static_cast<std::size_t>(i)];
        if (c.kind != Kind::Edit)
            continue;
        const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | (c.read_only ? ES_READONLY : 0)
                            | (c.password ? ES_PASSWORD : 0) | (c.enabled ? 0 : WS_DISABLED);
        const HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, wide(c.text).c_str(), style, 0, 0, 1, 1,
                                          window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(200 + i)), instance,
                                          nullptr);
        if (c.password) {
            SendMessageW(edit, EM_SETPASSWORDCHAR, L'*', 0);
            SetWindowSubclass(edit, child_procedure, 2, reinterpret_cast<DWORD_PTR>(this));
        }
        children_[static_cast<std::size_t>(i)] = edit;
    }
    // Each command is a button over its bar (the link: over its label). A
    // child window created later lies below the earlier ones (and comes later
    // in the tab order), so the edit boxes, created first, lie above everything.
    for (const trezorka::rules::TmainRules::Command& command : trezorka::rules::TmainRules::commands()) {
        const int i = index(command.label);
        const auto& c = layout[static_cast<std::size_t>(i)];
        const HWND button = CreateWindowExW(0, WC_BUTTONW, scene_[i].text.c_str(),
                                            WS_CHILD | WS_VISIBLE | BS_OWNERDRAW | (c.enabled ? 0 : WS_DISABLED),
                                            0, 0, 1, 1, window_,
                                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(first_button_id + i)),
                                            instance, nullptr);
        SetWindowSubclass(button, child_procedure, 1, reinterpret_cast<DWORD_PTR>(this));
        children_[static_cast<std::size_t>(i)] = button;
        // As large as the bar, or the label's text.
        buttons_.push_back({button, scene_[index(command.bar.value_or(command.label))].place});
    }
}

// Pictures, fonts, icons and every child's place for the window's resolution.
void Tmain::apply_dpi(UINT dpi)
{
    scene_.set_dpi(dpi);
    icon_big_ = trezorka::win::load_icon(IDI_TREZORKA, 32, dpi);
    icon_small_ = trezorka::win::load_icon(IDI_TREZORKA, 16, dpi);
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_big_.get()));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_small_.get()));
    const int frames[3] = {IDI_TRAY1, IDI_TRAY2, IDI_TRAY3};
    for (std::size_t i = 0; i < anicons_.size(); ++i)
        anicons_[i] = trezorka::win::load_icon(frames[i], 16, dpi);
    layout();
}

void Tmain::layout()
{
    const UINT dpi = scene_.dpi();
    const HFONT font = scene_.font(trezorka::rules::main_window.font);
    auto place = [dpi](HWND child, const RECT& r) {
        SetWindowPos(child, nullptr, scaled(r.left, dpi), scaled(r.top, dpi), scaled(r.right - r.left, dpi),
                     scaled(r.bottom - r.top, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    };
    for (const Button& b : buttons_)
        place(b.window, b.place);
    for (int i = 0; i < scene_.size(); ++i) {
        if (scene_[i].layout.kind != Kind::Edit)
            continue;
        place(children_[static_cast<std::size_t>(i)], scene_[i].place);
        SendMessageW(children_[static_cast<std::size_t>(i)], WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    const auto& w = trezorka::rules::main_window;
    RECT frame{0, 0, scaled(w.width, dpi), scaled(w.height, dpi)};
    AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE)), FALSE,
                             static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE)), dpi);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    repaint();
}

void Tmain::name_fields()
{
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                reinterpret_cast<void**>(&accessibility_))))
        return;
    for (const trezorka::rules::TmainRules::Field& f : trezorka::rules::TmainRules::fields())
        accessibility_->SetHwndPropStr(edit_of(f.field), static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                       PROPID_ACC_NAME, wide(trezorka::rules::TmainRules::field_name(f)).c_str());
}

void Tmain::describe_marks()
{
    if (!accessibility_)
        return;
    for (const trezorka::rules::TmainRules::Field& f : trezorka::rules::TmainRules::fields())
        if (f.ok)
            accessibility_->SetHwndPropStr(edit_of(f.field), static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                           PROPID_ACC_DESCRIPTION, wide(rules_.described(f)).c_str());
}

void Tmain::repaint()
{
    buffer_.stale();
    InvalidateRect(window_, nullptr, FALSE);
    for (const Button& b : buttons_)
        InvalidateRect(b.window, nullptr, FALSE);
}

HWND Tmain::edit_of(Control c) const
{
    return children_[static_cast<std::size_t>(index(c))];
}

// ---- the view ----

bool Tmain::shown(Control c) const
{
    return scene_[index(c)].shown;
}

void Tmain::set_shown(Control c, bool on)
{
    if (scene_[index(c)].shown == on)
        return;
    scene_[index(c)].shown = on;
    if (scene_[index(c)].layout.kind == Kind::Edit)
        ShowWindow(edit_of(c), on ? SW_SHOWNA : SW_HIDE);
    const auto fields = trezorka::rules::TmainRules::fields();
    if (std::any_of(fields.begin(), fields.end(), [c](const auto& f) { return f.ok == c || f.error == c; }))
        describe_marks();
    repaint();
}

bool Tmain::enabled(Control c) const
{
    return scene_[index(c)].enabled;
}

// A command's button follows its label: it is what a screen reader presses.
void Tmain::set_enabled(Control c, bool on)
{
    if (scene_[index(c)].enabled == on)
        return;
    scene_[index(c)].enabled = on;
    if (const HWND child = children_[static_cast<std::size_t>(index(c))])
        EnableWindow(child, on);
    repaint();
}

std::u16string Tmain::text(Control c) const
{
    if (scene_[index(c)].layout.kind != Kind::Edit)
        return u16(scene_[index(c)].text);
    const HWND edit = edit_of(c);
    std::wstring s(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    s.resize(static_cast<std::size_t>(GetWindowTextW(edit, s.data(), static_cast<int>(s.size()))));
    return u16(s);
}

void Tmain::set_text(Control c, std::u16string_view text)
{
    if (scene_[index(c)].layout.kind != Kind::Edit) {
        scene_.set_text(index(c), wide(text));
        repaint();
        return;
    }
    const HWND edit = edit_of(c);
    SetWindowTextW(edit, wide(text).c_str());
    // Shown from its start.
    SendMessageW(edit, EM_SETSEL, 0, 0);
    SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

bool Tmain::empty(Control c) const
{
    return GetWindowTextLengthW(edit_of(c)) == 0;
}

template <class Use>
void Tmain::with_text(HWND edit, Use use) const
{
    std::vector<wchar_t> units(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    const int n = GetWindowTextW(edit, units.data(), static_cast<int>(units.size()));
    use(std::wstring_view(units.data(), static_cast<std::size_t>(n)));
    SecureZeroMemory(units.data(), units.size() * sizeof(wchar_t));
}

bool Tmain::same_text(Control a, Control b) const
{
    bool same = false;
    with_text(edit_of(a), [&](std::wstring_view first) {
        with_text(edit_of(b), [&](std::wstring_view second) { same = first == second; });
    });
    return same;
}

void Tmain::copy_password(Control c, SharedJob& job) const
{
    with_text(edit_of(c), [&](std::wstring_view units) {
        job.set_password(reinterpret_cast<const char16_t*>(units.data()), units.size());
    });
}

void Tmain::set_unused_look(Control c, bool unused)
{
    if (c != Control::pwagain)
        return;
    pwagain_unused_ = unused;
    InvalidateRect(edit_of(c), nullptr, TRUE);
}

void Tmain::set_focus(Control c)
{
    SetFocus(edit_of(c));
}

bool Tmain::timer_running(Timer t) const
{
    return timer_running_[static_cast<std::size_t>(t)];
}

void Tmain::start_timer(Timer t)
{
    timer_running_[static_cast<std::size_t>(t)] = true;
    SetTimer(window_, timer_id(t), static_cast<UINT>(trezorka::rules::period_ms(t)), nullptr);
}

void Tmain::stop_timer(Timer t)
{
    timer_running_[static_cast<std::size_t>(t)] = false;
    KillTimer(window_, timer_id(t));
}

NOTIFYICONDATAW Tmain::tray_data(UINT flags) const
{
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = window_;
    data.uID = 1;
    data.uFlags = flags;
    return data;
}

// Shown, the icon goes on from the frame it showed last and steps every 500 ms.
void Tmain::set_tray_shown(bool on)
{
    if (on == tray_shown_ || !window_)
        return;
    if (on) {
        NOTIFYICONDATAW data = tray_data(NIF_ICON | NIF_TIP | NIF_MESSAGE);
        data.uCallbackMessage = tray_message;
        data.hIcon = anicons_[static_cast<std::size_t>(tray_frame_)].get();
        lstrcpynW(data.szTip, tray_hint_.c_str(), ARRAYSIZE(data.szTip));
        tray_shown_ = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
        if (tray_shown_)
            SetTimer(window_, trayanimation, trezorka::rules::tray_frame_ms, nullptr);
    } else {
        KillTimer(window_, trayanimation);
        NOTIFYICONDATAW data = tray_data(0);
        Shell_NotifyIconW(NIM_DELETE, &data);
        tray_shown_ = false;
    }
}

void Tmain::set_tray_hint(std::u16string_view hint)
{
    tray_hint_ = wide(hint);
    if (!tray_shown_)
        return;
    NOTIFYICONDATAW data = tray_data(NIF_TIP);
    lstrcpynW(data.szTip, tray_hint_.c_str(), ARRAYSIZE(data.szTip));
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void Tmain::show_tray_balloon(std::u16string_view title, std::u16string_view text)
{
    NOTIFYICONDATAW data = tray_data(NIF_INFO);
    data.dwInfoFlags = NIIF_INFO;
    lstrcpynW(data.szInfoTitle, wide(title).c_str(), ARRAYSIZE(data.szInfoTitle));
    lstrcpynW(data.szInfo, wide(text).c_str(), ARRAYSIZE(data.szInfo));
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void Tmain::trayanimationTimer()
{
    tray_frame_ = (tray_frame_ + 1) % static_cast<int>(anicons_.size());
    NOTIFYICONDATAW data = tray_data(NIF_ICON);
    data.hIcon = anicons_[static_cast<std::size_t>(tray_frame_)].get();
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

// ---- the window port ----

void Tmain::set_window_enabled(bool on)
{
    EnableWindow(window_, on);
}

bool Tmain::window_enabled() const
{
    return IsWindowEnabled(window_) != FALSE;
}

// The worker's request is posted to the dialog; the UI thread carries it out.
sifra::CloseRequest Tmain::close_request()
{
    const HWND dialog = status_show_ ? status_show_->window() : nullptr;
    return [dialog] { PostMessageW(dialog, TStatus_show::close_message, 0, 0); };
}

void Tmain::show_progress(const trezorka::rules::texts::CommandTexts& texts, std::u16string_view from,
                          std::u16string_view to)
{
    if (!status_show_)
        throw std::logic_error("no progress dialog");
    status_show_->set_texts(texts.caption, texts.status, from, to);
    status_show_->show_modal();
}

void Tmain::close_progress_if_shown()
{
    if (status_show_ && status_show_->showing())
        status_show_->end_showing();
}

void Tmain::quit()
{
    DestroyWindow(window_);
}

// ---- events ----

POINT Tmain::at_96(POINT client) const
{
    const int dpi = static_cast<int>(scene_.dpi());
    return {MulDiv(client.x, 96, dpi), MulDiv(client.y, 96, dpi)};
}

std::vector<trezorka::rules::HitBox> Tmain::boxes() const
{
    std::vector<trezorka::rules::HitBox> out;
    for (int i = 0; i < scene_.size(); ++i) {
        const RECT& r = scene_[i].place;
        out.push_back({{r.left, r.top, r.right - r.left, r.bottom - r.top}, scene_[i].shown, scene_[i].enabled});
    }
    return out;
}

int Tmain::target_at(POINT client) const
{
    const POINT at = at_96(client);
    return trezorka::rules::hover_target(boxes(), at.x, at.y);
}

// The first dropped file that is not a folder, as a command-line argument
// would name it; not while a job runs.
void Tmain::dropped(HDROP drop)
{
    std::wstring path;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count && path.empty(); ++i) {
        std::wstring name(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        name.resize(DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size())));
        std::error_code ec;
        if (!name.empty() && !std::filesystem::is_directory(std::filesystem::path(name), ec))
            path = name;
    }
    DragFinish(drop);
    if (!path.empty())
        rules_.file_dropped(u16(path));
}

bool Tmain::pre_translate(MSG& msg)
{
    const HWND pw = edit_of(Control::pw), pwagain = edit_of(Control::pwagain);
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && (msg.hwnd == pw || msg.hwnd == pwagain)) {
        rules_.password_entered();
        return true;
    }
    return IsDialogMessageW(window_, &msg) != FALSE;
}

// A mouse move over a command's button is a move over the window at that
// point, delivered by the rules like any other.
LRESULT CALLBACK Tmain::child_procedure(HWND child, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                        DWORD_PTR owner)
{
    auto* self = reinterpret_cast<Tmain*>(owner);
    if (message == WM_MOUSEMOVE && id == 1) {
        POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
        MapWindowPoints(child, self->window_, &at, 1);
        const POINT p = self->at_96(at);
        self->rules_.mouse_moved(self->boxes(), p.x, p.y);
    }
    if (message == WM_GETDLGCODE && id == 2 && lparam) {
        // Enter reaches the password field rather than the dialog manager.
        const auto* msg = reinterpret_cast<const MSG*>(lparam);
        if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN)
            return DLGC_WANTALLKEYS;
    }
    return DefSubclassProc(child, message, wparam, lparam);
}

LRESULT Tmain::handle(UINT message, WPARAM wparam, LPARAM lparam)
{
    const COLORREF background = trezorka::win::colour_of(trezorka::rules::main_window.background);
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        const HDC dc = BeginPaint(window_, &ps);
        buffer_.present(window_, dc, scene_, background);
        EndPaint(window_, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
        buffer_.copy_under(window_, item->hwndItem, item->hDC, scene_, background);
        return TRUE;
    }
    case WM_MOUSEMOVE: {
        const POINT p = at_96({GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
        rules_.mouse_moved(boxes(), p.x, p.y);
        return 0;
    }
    case WM_SETCURSOR: {
        // The hand over what the layout marks so, found as the pointer's
        // events are; the edit boxes keep their own pointer.
        const HWND over = reinterpret_cast<HWND>(wparam);
        const bool ours = over == window_ || std::any_of(buttons_.begin(), buttons_.end(),
                                                         [over](const Button& b) { return b.window == over; });
        if (LOWORD(lparam) == HTCLIENT && ours) {
            POINT at;
            GetCursorPos(&at);
            ScreenToClient(window_, &at);
            const int target = target_at(at);
            SetCursor(LoadCursorW(nullptr, target >= 0 && scene_[target].layout.hand ? IDC_HAND : IDC_ARROW));
            return TRUE;
        }
        break;
    }
    case WM_COMMAND: {
        const int id = LOWORD(wparam);
        const int code = HIWORD(wparam);
        if (code == BN_CLICKED && id >= first_button_id && id < first_button_id + trezorka::rules::control_count) {
            rules_.clicked_on(id - first_button_id);
            return 0;
        }
        if (code == EN_CHANGE && reinterpret_cast<HWND>(lparam) == edit_of(Control::pw))
            rules_.pwChange();
        else if (code == EN_CHANGE && reinterpret_cast<HWND>(lparam) == edit_of(Control::pwagain))
            rules_.pwagainChange();
        return 0;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        const HWND control = reinterpret_cast<HWND>(lparam);
        const HDC dc = reinterpret_cast<HDC>(wparam);
        if (control == edit_of(Control::pwagain) && pwagain_unused_) {
            SetBkColor(dc, trezorka::win::colour_of(trezorka::rules::unused_field_colour));
            return reinterpret_cast<LRESULT>(unused_field_.get());
        }
        // Read-only boxes keep the window-background colour, as typed ones.
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        SetTextColor(dc, GetSysColor(IsWindowEnabled(control) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_TIMER:
        if (wparam == timer_id(Timer::cryptblink))
            rules_.cryptblinkTimer();
        else if (wparam == timer_id(Timer::decryptblink))
            rules_.decryptblinkTimer();
        else if (wparam == timer_id(Timer::stopper))
            rules_.stopperTimer();
        else if (wparam == trayanimation)
            trayanimationTimer();
        return 0;
    case WM_SIZE:
        // The main window's minimise and restore are the application's.
        if (wparam == SIZE_MINIMIZED)
            rules_.application().window_state_changed(trezorka::rules::AppWindow::main, false, true);
        else if (wparam == SIZE_RESTORED || wparam == SIZE_MAXIMIZED)
            rules_.application().window_state_changed(trezorka::rules::AppWindow::main, true, false);
        return 0;
    case WM_DPICHANGED: {
        const auto* suggested = reinterpret_cast<const RECT*>(lparam);
        SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        apply_dpi(HIWORD(wparam));
        return 0;
    }
    case WM_DROPFILES:
        dropped(reinterpret_cast<HDROP>(wparam));
        return 0;
    case tray_message:
        if (LOWORD(lparam) == WM_LBUTTONUP)
            rules_.trayClick();
        return 0;
    case WM_DESTROY:
        set_tray_shown(false);
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        window_ = nullptr;
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window_, message, wparam, lparam);
}
