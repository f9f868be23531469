#include "Tmain.h"

#include "TStatus_show.h"
#include "resource.h"
#include "sifra.h"

#include "naming.h"
#include "stream_job.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#ifndef TREZORKA_WEB_URL
#define TREZORKA_WEB_URL L"https://example.org/trezorka"
#endif

using trezorka::win::FontKind;
using trezorka::win::Item;
using trezorka::win::scaled;

namespace {

constexpr COLORREF background_colour = RGB(0xE8, 0xE8, 0xE8);
constexpr COLORREF silver = RGB(0xC0, 0xC0, 0xC0);
constexpr COLORREF white = RGB(255, 255, 255);
constexpr COLORREF navy = RGB(0, 0, 128);
constexpr UINT tray_message = WM_APP + 2;
constexpr wchar_t class_name[] = L"Tmain";
constexpr wchar_t caption[] = L"Trezorka 2.0 Portable";

const wchar_t source_prompt[] = L"Vyberte prosím soubor         ==>";
const wchar_t old_format_warning[] =
    L"VAROVÁNÍ: starší format šifrovaného souboru (*.t1k) není v této verzi podporován.";
const wchar_t overwrite_question[] = L"Cílový soubor již existuje. Přepsat jej?";
const wchar_t error_title[] = L"Trezorka - chyba";
const wchar_t success_title[] = L"Trezorka - dokončeno";
const wchar_t password_missing[] = L"Vložte prosím heslo.";
const wchar_t password_mismatch[] = L"Hesla se neshodují, prosím opravte.";
const wchar_t tray_title[] = L"Trezorka";

// The dialogs' filters: description and pattern pairs, each ending in a NUL.
const wchar_t open_filter[] = L"Všechny soubory [*.*]\0*.*\0"
                              L"Soubory šifrované aplikací Trezorka 2 [*.t2k]\0*.t2k\0";
const wchar_t save_filter[] = L"Soubor šifrovaný aplikací Trezorka 2 [*.t2k]\0*.t2k\0"
                              L"Všechny soubor [*.*]\0*.*\0";

struct CommandTexts {
    const wchar_t* balloon;
    const wchar_t* hint;
    const wchar_t* caption;
    const wchar_t* status;
    const wchar_t* success;
    const wchar_t* failure;
};

const CommandTexts& texts_for(bool encrypt)
{
    static const CommandTexts encrypting{
        L"Probíhá šifrování..",
        L"Trezorka - probíhá šifrování",
        L"Trezorka - šifrování",
        L"Šifrování dle hesla (SHA RC4).",
        L"Šifrování souboru dokončeno.\r\nSoubor uložen do: ",
        L"Nelze provést šifrování souboru.\r\n(chyba při načítání/ukládání)",
    };
    static const CommandTexts decrypting{
        L"Probíhá dešifrování..",
        L"Trezorka - probíhá dešifrování",
        L"Trezorka - dešifrování",
        L"Dešifrování dle hesla (SHA RC4).",
        L"Dešifrování souboru dokončeno.\r\nSoubor uložen do: ",
        L"Nelze provést dešifrování souboru.\r\n(chyba při načítání/ukládání)",
    };
    return encrypt ? encrypting : decrypting;
}

// Message boxes have no owner window. Task-modal all the same: while one is
// open the program's windows take no clicks, so no second command can start
// behind it.
void message(const wchar_t* title, const std::wstring& text, UINT icon)
{
    MessageBoxW(nullptr, text.c_str(), title, MB_OK | icon | MB_TASKMODAL);
}

bool warning_ok_cancel(const wchar_t* text)
{
    return MessageBoxW(nullptr, text, L"Warning", MB_OKCANCEL | MB_ICONWARNING | MB_TASKMODAL) == IDOK;
}

std::u16string u16(const std::wstring& s)
{
    return {s.begin(), s.end()};
}

std::wstring wide(const std::u16string& s)
{
    return {s.begin(), s.end()};
}

// Anything at the path, a dangling link included.
bool something_at(const std::wstring& path)
{
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(std::filesystem::path(path), ec));
}

// The web address as the link label shows it: without its scheme or a closing slash.
std::wstring shown_address(std::wstring address)
{
    const auto scheme = address.find(L"://");
    if (scheme != std::wstring::npos)
        address.erase(0, scheme + 3);
    while (!address.empty() && address.back() == L'/')
        address.pop_back();
    return address;
}

} // namespace

Tmain::Tmain(SharedJob& job, std::wstring first_argument) : job(job), first_argument_(std::move(first_argument))
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = class_name;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_TREZORKA));
    RegisterClassExW(&wc);

    window_ = CreateWindowExW(WS_EX_ACCEPTFILES, class_name, caption,
                              WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                              CW_USEDEFAULT, CW_USEDEFAULT, 555, 341, nullptr, nullptr, instance, this);
    if (!window_)
        throw std::runtime_error("cannot create the main window");
    silver_.reset(CreateSolidBrush(silver));
    window_background_.reset(CreateSolidBrush(GetSysColor(COLOR_WINDOW)));
    create_controls();
    apply_dpi(GetDpiForWindow(window_));
    place_on_desktop();
    FormCreate();
}

Tmain::~Tmain()
{
    set_tray_shown(false);
    if (window_)
        DestroyWindow(window_);
}

void Tmain::start()
{
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
}

// ---- controls ----

void Tmain::create_controls()
{
    scene_.set_dpi(96);
    auto picture = [this](const wchar_t* name, int art, RECT place, bool hand, bool stretch = false) {
        Item item{name, false, {place.left, place.top, place.left + place.right, place.top + place.bottom}};
        item.picture = art;
        item.stretch = stretch;
        item.hand = hand;
        return scene_.add(std::move(item));
    };
    // Labels size themselves to their text: at least the given box, more
    // where the text needs it.
    const HDC measure = GetDC(window_);
    auto label = [&](const wchar_t* name, std::wstring text, RECT place, FontKind font, COLORREF colour, bool hand) {
        const HGDIOBJ old = SelectObject(measure, scene_.font(font));
        SIZE extent{};
        GetTextExtentPoint32W(measure, text.c_str(), static_cast<int>(text.size()), &extent);
        SelectObject(measure, old);
        Item item{name, true,
                  {place.left, place.top, place.left + std::max<LONG>(place.right, extent.cx),
                   place.top + std::max<LONG>(place.bottom, extent.cy)}};
        item.text = std::move(text);
        item.font = font;
        item.colour = colour;
        item.hand = hand;
        return scene_.add(std::move(item));
    };
    const COLORREF text_colour = GetSysColor(COLOR_WINDOWTEXT);

    Image3 = picture(L"Image3", ART_PANEL_RIGHT, {464, 40, 97, 299}, false);
    off = picture(L"off", ART_BAR, {327, 288, 121, 32}, true);
    Image2 = picture(L"Image2", ART_PANEL_LEFT, {-38, 64, 105, 269}, false);
    Image1 = picture(L"Image1", ART_LOGO_BANNER, {-7, 0, 274, 85}, false);
    selectfile = picture(L"selectfile", ART_BAR, {400, 111, 66, 21}, true);
    crypt = picture(L"crypt", ART_BAR, {65, 288, 129, 32}, true);
    decrypt = picture(L"decrypt", ART_BAR, {200, 288, 121, 32}, true);
    crypt_act = picture(L"crypt_act", ART_BAR_ACT, {65, 288, 129, 32}, true);
    decrypt_act = picture(L"decrypt_act", ART_BAR_ACT, {200, 288, 121, 32}, true);
    Label1 = label(L"Label1", L"Zdrojový soubor:", {102, 93, 105, 14}, FontKind::Bold12, text_colour, false);
    Label2 = label(L"Label2", L"Cílový soubor:", {102, 140, 87, 14}, FontKind::Bold12, text_colour, false);
    selectfile_act = picture(L"selectfile_act", ART_BAR_ACT, {400, 111, 66, 21}, true);
    cryptlabel = label(L"cryptlabel", L"Zašifrovat", {89, 293, 82, 19}, FontKind::Bold16, white, true);
    decryptlabel = label(L"decryptlabel", L"Odšifrovat", {219, 293, 84, 19}, FontKind::Bold16, white, true);
    chosefilelabel = label(L"chosefilelabel", L"Vyber...", {407, 113, 51, 16}, FontKind::Bold13, white, true);
    savetochose = picture(L"savetochose", ART_BAR, {400, 159, 113, 21}, true);
    savetochose_act = picture(L"savetochose_act", ART_BAR_ACT, {400, 159, 113, 21}, true);
    savetochose_label =
        label(L"savetochose_label", L"Vyber umístění", {407, 161, 97, 16}, FontKind::Bold13, white, true);
    Label4 = label(L"Label4", L"Heslo:", {102, 187, 37, 14}, FontKind::Bold12, text_colour, false);
    pwagainlabel = label(L"pwagainlabel", L"Heslo znova:", {102, 230, 77, 14}, FontKind::Bold12, RGB(0, 0, 0), false);
    pwok = picture(L"pwok", ART_MARK_OK, {407, 207, 20, 21}, false, true);
    pwagainok = picture(L"pwagainok", ART_MARK_OK, {407, 250, 20, 21}, false, true);
    pwagainerr = picture(L"pwagainerr", ART_MARK_ERR, {407, 250, 20, 21}, false, true);
    pwerr = picture(L"pwerr", ART_MARK_ERR, {407, 207, 20, 21}, false, true);
    Label3 = label(L"Label3", L"© 2026 vývojáři Trezorky", {407, 326, 142, 13}, FontKind::Default11, text_colour,
                   false);
    Label6 = label(L"Label6", shown_address(TREZORKA_WEB_URL), {8, 326, 59, 13}, FontKind::Link11, navy, true);
    off_act = picture(L"off_act", ART_BAR_ACT, {327, 288, 121, 32}, true);
    offlabel = label(L"offlabel", L"Ukončit", {350, 293, 62, 19}, FontKind::Bold16, white, true);
    ReleaseDC(window_, measure);

    for (int item : {crypt_act, decrypt_act, selectfile_act, savetochose_act, off_act, pwok, pwagainok, pwagainerr,
                     pwerr})
        scene_[item].shown = false;
    for (int item : {crypt, decrypt, crypt_act, decrypt_act, cryptlabel, decryptlabel, savetochose, savetochose_act,
                     savetochose_label})
        scene_[item].enabled = false;

    // The buttons first: a later sibling lies above an earlier one, and the
    // edit boxes lie above everything. Screen readers read each button's text.
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const std::pair<int, int> command_items[command_count] = {
        {crypt, cryptlabel},           {decrypt, decryptlabel},       {selectfile, chosefilelabel},
        {savetochose, savetochose_label}, {off, offlabel},           {Label6, Label6}};
    for (int c = 0; c < command_count; ++c) {
        const Item& label_item = scene_[command_items[c].second];
        buttons_[static_cast<std::size_t>(c)] = CreateWindowExW(
            0, WC_BUTTONW, label_item.text.c_str(),
            WS_CHILD | WS_VISIBLE | BS_OWNERDRAW | (label_item.enabled ? 0 : WS_DISABLED), 0, 0, 1, 1, window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(100 + c)), instance, nullptr);
        SetWindowSubclass(buttons_[static_cast<std::size_t>(c)], child_procedure, 1,
                          reinterpret_cast<DWORD_PTR>(this));
    }

    auto edit = [&](int id, DWORD style) {
        const HWND e = CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, L"",
                                       WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | style, 0, 0, 1, 1,
                                       window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        SetWindowPos(e, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        return e;
    };
    filetocrypt = edit(200, ES_READONLY);
    finalfile = edit(201, ES_READONLY);
    pw = edit(202, ES_PASSWORD);
    pwagain = edit(203, ES_PASSWORD);
    for (HWND e : {pw, pwagain}) {
        SendMessageW(e, EM_SETPASSWORDCHAR, L'*', 0);
        // Enter is the enabled command's click.
        SetWindowSubclass(e, child_procedure, 2, reinterpret_cast<DWORD_PTR>(this));
    }
    set_text(filetocrypt, source_prompt);

    filechosedialog.filter = open_filter;
    saveto.filter = save_filter;
    tray_hint_ = tray_title;
    tray_balloon_text_ = tray_title;
}

// Places the children and loads pictures and fonts for the window's resolution.
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
    auto place = [dpi](HWND child, RECT r) {
        SetWindowPos(child, nullptr, scaled(r.left, dpi), scaled(r.top, dpi), scaled(r.right - r.left, dpi),
                     scaled(r.bottom - r.top, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    };
    const int bars[command_count] = {crypt, decrypt, selectfile, savetochose, off, Label6};
    for (int c = 0; c < command_count; ++c)
        place(buttons_[static_cast<std::size_t>(c)], scene_[bars[c]].place);
    const std::pair<HWND, RECT> edits[] = {{filetocrypt, {105, 112, 401, 133}},
                                           {finalfile, {105, 160, 401, 181}},
                                           {pw, {105, 207, 401, 228}},
                                           {pwagain, {105, 250, 401, 271}}};
    for (const auto& [e, r] : edits) {
        place(e, r);
        SendMessageW(e, WM_SETFONT, reinterpret_cast<WPARAM>(scene_.font(FontKind::Default11)), TRUE);
    }
    RECT frame{0, 0, scaled(555, dpi), scaled(341, dpi)};
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE));
    const DWORD ex_style = static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE));
    AdjustWindowRectExForDpi(&frame, style, FALSE, ex_style, dpi);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    buffer_.stale();
    InvalidateRect(window_, nullptr, FALSE);
}

// The first placement: centred on the area all monitors span together, but
// never past its left or top edge.
void Tmain::place_on_desktop()
{
    RECT r;
    GetWindowRect(window_, &r);
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const int x = std::max<int>(left, left + (width - (r.right - r.left)) / 2);
    const int y = std::max<int>(top, top + (height - (r.bottom - r.top)) / 2);
    SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Tmain::show(int item, bool on)
{
    if (scene_[item].shown == on)
        return;
    scene_[item].shown = on;
    buffer_.stale();
    InvalidateRect(window_, nullptr, FALSE);
    for (HWND button : buttons_)
        InvalidateRect(button, nullptr, FALSE);
}

void Tmain::enable(int item, bool on)
{
    if (scene_[item].enabled == on)
        return;
    scene_[item].enabled = on;
    buffer_.stale();
    InvalidateRect(window_, nullptr, FALSE);
    for (HWND button : buttons_)
        InvalidateRect(button, nullptr, FALSE);
}

// A command's button follows its label: it is what a screen reader presses.
void Tmain::enable_command(Command command, std::initializer_list<int> items, bool on)
{
    for (int item : items)
        enable(item, on);
    EnableWindow(buttons_[static_cast<std::size_t>(command)], on);
}

std::wstring Tmain::text(HWND edit) const
{
    std::wstring s(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    s.resize(static_cast<std::size_t>(GetWindowTextW(edit, s.data(), static_cast<int>(s.size()))));
    return s;
}

void Tmain::set_text(HWND edit, const std::wstring& text)
{
    SetWindowTextW(edit, text.c_str());
}

// SetTimer on a running timer would restart it; a running one keeps its schedule.
void Tmain::start_timer(Timer timer)
{
    static constexpr UINT intervals[] = {0, 500, 500, 3800, 500};
    if (timer_running_[timer])
        return;
    timer_running_[timer] = true;
    SetTimer(window_, timer, intervals[timer], nullptr);
}

void Tmain::stop_timer(Timer timer)
{
    timer_running_[timer] = false;
    KillTimer(window_, timer);
}

// ---- source and target ----

void Tmain::FormCreate()
{
    if (first_argument_.empty())
        return;
    acceptArgument(first_argument_);
}

void Tmain::acceptArgument(const std::wstring& path)
{
    if (acceptSource(path, true))
        hide(selectfile_act);
}

bool Tmain::acceptSource(const std::wstring& path, bool from_command_line)
{
    set_text(filetocrypt, path);
    if (from_command_line)
        filechosedialog.file_name = path;
    job.job_ext = wide(trezorka::extension_of(u16(text(filetocrypt))));

    if (job.job_ext == wide(std::u16string(trezorka::old_encrypted_ext))) {
        set_text(filetocrypt, L"");
        MessageBoxW(nullptr, old_format_warning, L"Warning", MB_OK | MB_ICONWARNING | MB_TASKMODAL);
        return false;
    }

    enable_command(cmd_savetochose, {savetochose_label, savetochose_act, savetochose}, true);
    const bool encrypt = job.job_ext != wide(std::u16string(trezorka::encrypted_ext));
    if (encrypt) {
        start_timer(cryptblink);
        stop_timer(decryptblink);
        start_timer(stopper);
        enable_command(cmd_crypt, {crypt, crypt_act, cryptlabel}, true);
        enable_command(cmd_decrypt, {decrypt, decrypt_act, decryptlabel}, false);
        enable(pwagainlabel, true);
        pwagain_silver_ = false;
        EnableWindow(pwagain, TRUE);
        InvalidateRect(pwagain, nullptr, TRUE);
        if (shown(pwok) || shown(pwerr))
            applyConfirmationRule();
    } else {
        start_timer(decryptblink);
        stop_timer(cryptblink);
        start_timer(stopper);
        enable_command(cmd_crypt, {crypt, crypt_act, cryptlabel}, false);
        enable_command(cmd_decrypt, {decrypt, decrypt_act, decryptlabel}, true);
        enable(pwagainlabel, false);
        pwagain_silver_ = true;
        EnableWindow(pwagain, FALSE);
        InvalidateRect(pwagain, nullptr, TRUE);
        hide(pwagainok);
        hide(pwagainerr);
    }

    const trezorka::TargetProposal proposal = trezorka::propose_target(u16(path));
    set_text(finalfile, wide(proposal.target));
    saveto.file_name = wide(proposal.save_dialog_name);
    saveto.filter_index = proposal.save_filter_index;
    saveto_confirmed_.clear();
    return true;
}

bool Tmain::targetConfirmedInSaveDialog() const
{
    return !saveto_confirmed_.empty() && saveto_confirmed_ == text(finalfile);
}

namespace {

// The system's file dialog; nothing of the pick is recorded (no recent
// documents, the working folder unchanged). Empty when cancelled.
std::wstring run_file_dialog(HWND owner, const wchar_t* filter, std::wstring& file_name, int& filter_index,
                             bool save)
{
    std::vector<wchar_t> buffer(32768, L'\0');
    file_name.copy(buffer.data(), std::min(file_name.size(), buffer.size() - 1));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = static_cast<DWORD>(filter_index);
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_DONTADDTORECENT | OFN_NOCHANGEDIR;
    if (save)
        ofn.Flags |= OFN_OVERWRITEPROMPT | OFN_CREATEPROMPT;
    const BOOL ok = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!ok)
        return {};
    filter_index = static_cast<int>(ofn.nFilterIndex);
    return buffer.data();
}

} // namespace

void Tmain::chosefilelabelClick()
{
    const std::wstring picked =
        run_file_dialog(window_, filechosedialog.filter, filechosedialog.file_name, filechosedialog.filter_index, false);
    if (!picked.empty()) {
        filechosedialog.file_name = picked;
        if (!acceptSource(picked, false))
            return;
    }
    hide(selectfile_act);
}

void Tmain::savetochose_labelClick()
{
    const std::wstring chosen = run_file_dialog(window_, saveto.filter, saveto.file_name, saveto.filter_index, true);
    if (chosen.empty())
        return;
    saveto.file_name = chosen;
    set_text(finalfile, wide(trezorka::recompose_target(u16(chosen), u16(text(filetocrypt)), u16(text(finalfile)))));
    saveto_confirmed_ = chosen;
}

// ---- password fields ----

void Tmain::applyPasswordRule()
{
    const bool filled = GetWindowTextLengthW(pw) > 0;
    show(pwerr, !filled);
    show(pwok, filled);
}

void Tmain::applyConfirmationRule()
{
    const std::wstring again = text(pwagain);
    const bool match = !again.empty() && again == text(pw);
    show(pwagainerr, !match);
    show(pwagainok, match);
}

void Tmain::pwChange()
{
    applyPasswordRule();
    if (scene_[pwagainlabel].enabled)
        applyConfirmationRule();
}

void Tmain::pwagainChange()
{
    applyConfirmationRule();
}

void Tmain::passwordEntered()
{
    if (!IsWindowEnabled(window_) || job.job_busy == L"true")
        return;
    if (scene_[cryptlabel].enabled)
        crypt_actClick();
    else if (scene_[decryptlabel].enabled)
        decryptlabelClick();
}

// ---- hover highlight and blinking ----

void Tmain::mouse_moved(POINT client)
{
    const UINT dpi = scene_.dpi();
    const POINT at{MulDiv(client.x, 96, static_cast<int>(dpi)), MulDiv(client.y, 96, static_cast<int>(dpi))};
    const int target = scene_.hit(at);
    if (target < 0 || target == Image3)
        FormMouseMove();
    else if (target == crypt || target == cryptlabel)
        cryptMouseMove();
    else if (target == decrypt || target == decryptlabel)
        decryptMouseMove();
    else if (target == selectfile || target == chosefilelabel)
        selectfileMouseMove();
    else if (target == savetochose || target == savetochose_label)
        savetochoseMouseMove();
    else if (target == off || target == offlabel)
        offMouseMove();
}

void Tmain::FormMouseMove()
{
    hide(crypt_act);
    hide(off_act);
    hide(decrypt_act);
    hide(selectfile_act);
    hide(savetochose_act);
}

void Tmain::cryptMouseMove()
{
    show(crypt_act);
}

void Tmain::decryptMouseMove()
{
    show(decrypt_act);
}

void Tmain::selectfileMouseMove()
{
    show(selectfile_act);
}

void Tmain::savetochoseMouseMove()
{
    show(savetochose_act);
}

void Tmain::offMouseMove()
{
    show(off_act);
}

void Tmain::cryptblinkTimer()
{
    show(crypt_act, !shown(crypt_act));
}

void Tmain::decryptblinkTimer()
{
    show(decrypt_act, !shown(decrypt_act));
}

void Tmain::stopperTimer()
{
    stop_timer(cryptblink);
    stop_timer(decryptblink);
    stop_timer(stopper);
    hide(crypt_act);
    hide(decrypt_act);
}

// ---- minimise, restore and the tray ----

void Tmain::minimise_application()
{
    if (!IsIconic(window_))
        ShowWindow(window_, SW_MINIMIZE);
}

void Tmain::restore_application()
{
    if (IsIconic(window_) || !IsWindowVisible(window_))
        ShowWindow(window_, SW_RESTORE);
    // Left minimised by a window that is hidden: still counts as a restore.
    if (application_minimised_) {
        application_minimised_ = false;
        ApplicationEvents1Restore();
    }
}

void Tmain::ApplicationEvents1Minimize()
{
    if (job.job_busy != L"true")
        return;
    if (status_show_)
        status_show_->set_minimised(true);
    // The main window's taskbar button is the application's; the dialog,
    // owned by it, has none of its own.
    hidden_for_tray_ = true;
    ShowWindow(window_, SW_HIDE);
    set_tray_shown(true);
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = window_;
    data.uID = 1;
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = NIIF_INFO;
    lstrcpynW(data.szInfoTitle, tray_title, ARRAYSIZE(data.szInfoTitle));
    lstrcpynW(data.szInfo, tray_balloon_text_.c_str(), ARRAYSIZE(data.szInfo));
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void Tmain::ApplicationEvents1Restore()
{
    set_tray_shown(false);
    if (status_show_)
        status_show_->set_minimised(false);
    if (hidden_for_tray_) {
        hidden_for_tray_ = false;
        ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
    }
    bringToFront();
}

void Tmain::bringToFront()
{
    SetForegroundWindow(window_);
    if (status_show_ && status_show_->showing() && IsWindowVisible(status_show_->window()))
        SetForegroundWindow(status_show_->window());
}

// Shown, the icon goes on from the frame it showed last and steps every 500 ms.
void Tmain::set_tray_shown(bool on)
{
    if (on == tray_shown_)
        return;
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = window_;
    data.uID = 1;
    if (on) {
        data.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
        data.uCallbackMessage = tray_message;
        data.hIcon = anicons_[static_cast<std::size_t>(tray_frame_)].get();
        lstrcpynW(data.szTip, tray_hint_.c_str(), ARRAYSIZE(data.szTip));
        tray_shown_ = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
        if (tray_shown_)
            start_timer(trayanimation);
    } else {
        stop_timer(trayanimation);
        Shell_NotifyIconW(NIM_DELETE, &data);
        tray_shown_ = false;
    }
}

void Tmain::trayanimationTimer()
{
    tray_frame_ = (tray_frame_ + 1) % static_cast<int>(anicons_.size());
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = window_;
    data.uID = 1;
    data.uFlags = NIF_ICON;
    data.hIcon = anicons_[static_cast<std::size_t>(tray_frame_)].get();
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void Tmain::trayClick()
{
    restore_application();
    bringToFront();
}

// ---- the two commands ----

void Tmain::crypt_actClick()
{
    runCommand(true);
}

void Tmain::decryptlabelClick()
{
    runCommand(false);
}

void Tmain::showTaskbarEntryAndRestore()
{
    if (hidden_for_tray_ || !IsWindowVisible(window_)) {
        hidden_for_tray_ = false;
        ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
    }
    restore_application();
}

void Tmain::runCommand(bool encrypt)
{
    const CommandTexts& texts = texts_for(encrypt);

    // The marks are the state: the password field is evaluated afresh, the
    // confirmation is taken as its mark shows it.
    applyPasswordRule();
    if (shown(pwerr)) {
        message(error_title, password_missing, MB_ICONERROR);
        return;
    }
    if (encrypt && shown(pwagainerr)) {
        message(error_title, password_mismatch, MB_ICONERROR);
        return;
    }
    // The target is proposed, not chosen: a file already there would be
    // replaced without a word. Unless the user picked exactly this path in
    // the save dialog, which has asked already, ask now; "Cancel" leaves all
    // as it was.
    if (!targetConfirmedInSaveDialog() && something_at(text(finalfile)) && !warning_ok_cancel(overwrite_question))
        return;

    job.job_busy = L"true";
    tray_hint_ = texts.hint;
    tray_balloon_text_ = texts.balloon;

    try {
        if (trezorka::file_size_probe(std::filesystem::path(text(filetocrypt))) > LARGE_FILE_THRESHOLD)
            minimise_application();
    } catch (...) {
        // The size only decides whether to go to the tray.
    }

    EnableWindow(window_, FALSE);
    try {
        if (!status_show_)
            throw std::logic_error("no progress dialog");
        status_show_->set_texts(texts.caption, texts.status, text(filetocrypt), text(finalfile));
        job.job_source = text(filetocrypt);
        job.job_target = text(finalfile);
        job.job_password = text(pw);
        job.job_encrypt = encrypt;
        sifra::launch(job, status_show_->window(), TStatus_show::close_message);
        status_show_->show_modal();
        showTaskbarEntryAndRestore();
        if (job.job_failed) {
            message(error_title, texts.failure, MB_ICONERROR);
            job.job_failed = false;
        } else {
            message(success_title, texts.success + text(finalfile) + L".", MB_ICONINFORMATION);
        }
    } catch (...) {
        showTaskbarEntryAndRestore();
        message(error_title, texts.failure, MB_ICONERROR);
    }

    hide(encrypt ? crypt_act : decrypt_act);
    EnableWindow(window_, TRUE);
    ShowWindow(window_, SW_SHOW);
    job.job_busy = L"false";
}

void Tmain::off_actClick()
{
    DestroyWindow(window_);
}

void Tmain::Label6Click()
{
    ShellExecuteW(window_, L"open", TREZORKA_WEB_URL, nullptr, nullptr, SW_SHOWNORMAL);
}

// ---- files dropped on the window ----

// The first dropped file that is not a folder, as a command-line argument
// would name it.
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
    if (!path.empty() && IsWindowEnabled(window_) && job.job_busy != L"true")
        acceptArgument(path);
}

// ---- messages ----

bool Tmain::pre_translate(MSG& msg)
{
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && (msg.hwnd == pw || msg.hwnd == pwagain)) {
        passwordEntered();
        return true;
    }
    // Tab between the edit boxes.
    return IsDialogMessageW(window_, &msg) != FALSE;
}

LRESULT CALLBACK Tmain::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Tmain*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Tmain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wparam, lparam);
    return self->handle(message, wparam, lparam);
}

// Mouse moves over a command's button count as moves over the window at that
// point, looked up among the pictures and labels like any other move.
LRESULT CALLBACK Tmain::child_procedure(HWND child, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                        DWORD_PTR owner)
{
    auto* self = reinterpret_cast<Tmain*>(owner);
    if (message == WM_MOUSEMOVE && child != self->pw && child != self->pwagain) {
        POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
        MapWindowPoints(child, self->window_, &at, 1);
        self->mouse_moved(at);
    }
    if (message == WM_GETDLGCODE && (child == self->pw || child == self->pwagain) && lparam) {
        // Enter reaches the field rather than the dialog manager.
        const auto* msg = reinterpret_cast<const MSG*>(lparam);
        if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN)
            return DLGC_WANTALLKEYS;
    }
    return DefSubclassProc(child, message, wparam, lparam);
}

LRESULT Tmain::handle(UINT message, WPARAM wparam, LPARAM lparam)
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
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
        buffer_.copy_under(window_, item->hwndItem, item->hDC, scene_, background_colour);
        return TRUE;
    }
    case WM_MOUSEMOVE:
        mouse_moved({GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
        return 0;
    case WM_SETCURSOR: {
        // The hand over the clickable pictures and labels, the window's and
        // the buttons' own area alike; the edit boxes keep theirs.
        const HWND over = reinterpret_cast<HWND>(wparam);
        const bool ours = over == window_ || std::find(buttons_.begin(), buttons_.end(), over) != buttons_.end();
        if (LOWORD(lparam) == HTCLIENT && ours) {
            POINT at;
            GetCursorPos(&at);
            ScreenToClient(window_, &at);
            const int dpi = static_cast<int>(scene_.dpi());
            const int target = scene_.hit({MulDiv(at.x, 96, dpi), MulDiv(at.y, 96, dpi)});
            SetCursor(LoadCursorW(nullptr, target >= 0 && scene_[target].hand ? IDC_HAND : IDC_ARROW));
            return TRUE;
        }
        break;
    }
    case WM_COMMAND: {
        const int id = LOWORD(wparam);
        const int code = HIWORD(wparam);
        if (code == BN_CLICKED && id >= 100 && id < 100 + command_count) {
            switch (id - 100) {
            case cmd_crypt: crypt_actClick(); break;
            case cmd_decrypt: decryptlabelClick(); break;
            case cmd_selectfile: chosefilelabelClick(); break;
            case cmd_savetochose: savetochose_labelClick(); break;
            case cmd_off: off_actClick(); break;
            case cmd_link: Label6Click(); break;
            default: break;
            }
            return 0;
        }
        if (code == EN_CHANGE && reinterpret_cast<HWND>(lparam) == pw)
            pwChange();
        else if (code == EN_CHANGE && reinterpret_cast<HWND>(lparam) == pwagain)
            pwagainChange();
        return 0;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        const HWND control = reinterpret_cast<HWND>(lparam);
        const HDC dc = reinterpret_cast<HDC>(wparam);
        if (control == pwagain && pwagain_silver_) {
            SetBkColor(dc, silver);
            return reinterpret_cast<LRESULT>(silver_.get());
        }
        // Read-only boxes keep the window-background colour, as typed ones.
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        SetTextColor(dc, GetSysColor(IsWindowEnabled(control) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
        return reinterpret_cast<LRESULT>(window_background_.get());
    }
    case WM_TIMER:
        switch (wparam) {
        case cryptblink: cryptblinkTimer(); break;
        case decryptblink: decryptblinkTimer(); break;
        case stopper: stopperTimer(); break;
        case trayanimation: trayanimationTimer(); break;
        default: break;
        }
        return 0;
    case WM_SIZE:
        if (wparam == SIZE_MINIMIZED && !application_minimised_) {
            application_minimised_ = true;
            ApplicationEvents1Minimize();
        } else if ((wparam == SIZE_RESTORED || wparam == SIZE_MAXIMIZED) && application_minimised_) {
            application_minimised_ = false;
            ApplicationEvents1Restore();
        }
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
        if (LOWORD(lparam) == WM_LBUTTONUP || LOWORD(lparam) == WM_LBUTTONDBLCLK)
            trayClick();
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
