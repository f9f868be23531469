#include "Tmain.h"

#include "FileDrop.h"
#include "TStatus_show.h"
#include "resource.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <stdexcept>

namespace rules = trezorka::rules;
using rules::Control;
using rules::Kind;
using rules::Timer;
using trezorka::win::u16;
using trezorka::win::wide;

namespace {

constexpr wchar_t class_name[] = L"Tmain";
constexpr int first_button_id = 100;
constexpr int first_edit_id = 200;

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
    : OwnedWindow(rules::main_layout(), rules::main_window), platform_(platform), tray_(rules::texts::tray_title),
      rules_(job, *this, *this, desktop_, platform, std::move(first_argument))
{
    // A fixed frame with the system menu and a minimise button only.
    create(class_name, LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TREZORKA)),
           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, WS_EX_ACCEPTFILES, nullptr);
    platform_.set_owner(window_);
    desktop_.set_main(window_);
    tray_.set_owner(window_);
    hover_.attach(window_);
    unused_field_.reset(CreateSolidBrush(trezorka::win::colour_of(rules::unused_field_colour)));
    scene_.set_text(index(Control::Label6), wide(rules::first_text(Control::Label6)));
    create_controls();
    apply_dpi(GetDpiForWindow(window_));
    rules_.application().main_created();
    name_fields();
}

Tmain::~Tmain()
{
    tray_.set_shown(false);
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
    const auto layout = rules::main_layout();
    for (int i = 0; i < scene_.size(); ++i) {
        const auto& c = layout[static_cast<std::size_t>(i)];
        if (c.kind != Kind::Edit)
            continue;
        const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | (c.read_only ? ES_READONLY : 0)
                            | (c.password ? ES_PASSWORD : 0) | (c.enabled ? 0 : WS_DISABLED);
        const HWND edit =
            CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, wide(c.text).c_str(), style, 0, 0, 1, 1, window_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(first_edit_id + i)), instance, nullptr);
        if (c.password) {
            SendMessageW(edit, EM_SETPASSWORDCHAR, L'*', 0);
            SetWindowSubclass(edit, password_procedure, 2, 0);
        }
        children_[static_cast<std::size_t>(i)] = edit;
    }
    // Each command is a button over its bar (the link: over its label). A
    // child window created later lies below the earlier ones (and comes later
    // in the tab order), so the edit boxes, created first, lie above everything.
    for (const rules::TmainRules::Command& command : rules::TmainRules::commands()) {
        const int i = index(command.label);
        const auto& c = layout[static_cast<std::size_t>(i)];
        const HWND button = CreateWindowExW(0, WC_BUTTONW, scene_[i].text.c_str(),
                                            WS_CHILD | WS_VISIBLE | BS_OWNERDRAW | (c.enabled ? 0 : WS_DISABLED),
                                            0, 0, 1, 1, window_,
                                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(first_button_id + i)),
                                            instance, nullptr);
        hover_.watch(button);
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
    tray_.set_dpi(dpi);
    for (const Button& b : buttons_)
        place(b.window, b.place);
    const HFONT font = scene_.font(rules::main_window.font);
    for (int i = 0; i < scene_.size(); ++i)
        if (scene_[i].layout.kind == Kind::Edit)
            place(children_[static_cast<std::size_t>(i)], scene_[i].place, font);
    fit_frame();
    repaint();
}

void Tmain::name_fields()
{
    for (const rules::TmainRules::Field& f : rules::TmainRules::fields())
        accessibility_.set_name(child(f.field), rules::TmainRules::field_name(f));
}

void Tmain::describe_marks()
{
    for (const rules::TmainRules::Field& f : rules::TmainRules::fields())
        if (f.ok)
            accessibility_.set_description(child(f.field), rules_.described(f));
}

// The buttons show the scene beneath them.
void Tmain::repaint()
{
    stale();
    for (const Button& b : buttons_)
        InvalidateRect(b.window, nullptr, FALSE);
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
        ShowWindow(child(c), on ? SW_SHOWNA : SW_HIDE);
    const auto fields = rules::TmainRules::fields();
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
    if (const HWND button_or_edit = child(c))
        EnableWindow(button_or_edit, on);
    repaint();
}

std::u16string Tmain::text(Control c) const
{
    if (scene_[index(c)].layout.kind != Kind::Edit)
        return u16(scene_[index(c)].text);
    const HWND edit = child(c);
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
    const HWND edit = child(c);
    SetWindowTextW(edit, wide(text).c_str());
    // Shown from its start.
    SendMessageW(edit, EM_SETSEL, 0, 0);
    SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

bool Tmain::empty(Control c) const
{
    return GetWindowTextLengthW(child(c)) == 0;
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
    with_text(child(a), [&](std::wstring_view first) {
        with_text(child(b), [&](std::wstring_view second) { same = first == second; });
    });
    return same;
}

void Tmain::copy_password(Control c, SharedJob& job) const
{
    with_text(child(c), [&](std::wstring_view units) {
        job.set_password(reinterpret_cast<const char16_t*>(units.data()), units.size());
    });
}

void Tmain::set_unused_look(Control c, bool unused)
{
    if (c != Control::pwagain)
        return;
    pwagain_unused_ = unused;
    InvalidateRect(child(c), nullptr, TRUE);
}

void Tmain::set_focus(Control c)
{
    SetFocus(child(c));
}

bool Tmain::timer_running(Timer t) const
{
    return timer_running_[static_cast<std::size_t>(t)];
}

void Tmain::start_timer(Timer t)
{
    timer_running_[static_cast<std::size_t>(t)] = true;
    SetTimer(window_, timer_id(t), static_cast<UINT>(rules::period_ms(t)), nullptr);
}

void Tmain::stop_timer(Timer t)
{
    timer_running_[static_cast<std::size_t>(t)] = false;
    KillTimer(window_, timer_id(t));
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

void Tmain::show_progress(const rules::texts::CommandTexts& texts, std::u16string_view from, std::u16string_view to)
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

// ---- keys ----

bool Tmain::pre_translate(MSG& msg)
{
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN
        && (msg.hwnd == child(Control::pw) || msg.hwnd == child(Control::pwagain))) {
        rules_.password_entered();
        return true;
    }
    return IsDialogMessageW(window_, &msg) != FALSE;
}

// Enter reaches the password field rather than the dialog manager.
LRESULT CALLBACK Tmain::password_procedure(HWND edit, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_GETDLGCODE && lparam) {
        const auto* msg = reinterpret_cast<const MSG*>(lparam);
        if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN)
            return DLGC_WANTALLKEYS;
    }
    return DefSubclassProc(edit, message, wparam, lparam);
}

// ---- the window's messages ----

LRESULT Tmain::handle(UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
        buffer_.copy_under(window_, item->hwndItem, item->hDC, scene_, background());
        return TRUE;
    }
    case WM_MOUSEMOVE:
        hover_.moved({GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
        return 0;
    case WM_SETCURSOR:
        if (hover_.set_cursor(reinterpret_cast<HWND>(wparam), lparam))
            return TRUE;
        break;
    case WM_COMMAND: {
        const int id = LOWORD(wparam);
        const int code = HIWORD(wparam);
        if (code == BN_CLICKED && id >= first_button_id && id < first_button_id + rules::control_count) {
            rules_.clicked_on(id - first_button_id);
            return 0;
        }
        if (code == EN_CHANGE && reinterpret_cast<HWND>(lparam) == child(Control::pw))
            rules_.pwChange();
        else if (code == EN_CHANGE && reinterpret_cast<HWND>(lparam) == child(Control::pwagain))
            rules_.pwagainChange();
        return 0;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        const HWND control = reinterpret_cast<HWND>(lparam);
        const HDC dc = reinterpret_cast<HDC>(wparam);
        if (control == child(Control::pwagain) && pwagain_unused_) {
            SetBkColor(dc, trezorka::win::colour_of(rules::unused_field_colour));
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
        else if (wparam == TrayIcon::timer)
            tray_.trayanimationTimer();
        return 0;
    case WM_SIZE:
        // The main window's minimise and restore are the application's.
        if (wparam == SIZE_MINIMIZED)
            rules_.application().window_state_changed(rules::AppWindow::main, false, true);
        else if (wparam == SIZE_RESTORED || wparam == SIZE_MAXIMIZED)
            rules_.application().window_state_changed(rules::AppWindow::main, true, false);
        return 0;
    case WM_DROPFILES:
        if (const std::u16string path = trezorka::win::dropped_file(reinterpret_cast<HDROP>(wparam)); !path.empty())
            rules_.file_dropped(path);
        return 0;
    case TrayIcon::message:
        if (TrayIcon::clicked(lparam))
            rules_.trayClick();
        return 0;
    case WM_DESTROY:
        tray_.set_shown(false);
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window_, message, wparam, lparam);
}
