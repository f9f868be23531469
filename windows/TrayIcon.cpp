#include "TrayIcon.h"

#include "Scene.h"
#include "periods.h"
#include "resource.h"

TrayIcon::TrayIcon(std::u16string_view hint) : hint_(trezorka::win::wide(hint)) {}

void TrayIcon::set_dpi(UINT dpi)
{
    const int frames[3] = {IDI_TRAY1, IDI_TRAY2, IDI_TRAY3};
    for (std::size_t i = 0; i < anicons_.size(); ++i)
        anicons_[i] = trezorka::win::load_icon(frames[i], 16, dpi);
}

NOTIFYICONDATAW TrayIcon::data(UINT flags) const
{
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = owner_;
    data.uID = 1;
    data.uFlags = flags;
    return data;
}

void TrayIcon::set_shown(bool on)
{
    if (on == shown_ || !owner_)
        return;
    if (on) {
        NOTIFYICONDATAW data = this->data(NIF_ICON | NIF_TIP | NIF_MESSAGE);
        data.uCallbackMessage = message;
        data.hIcon = anicons_[static_cast<std::size_t>(frame_)].get();
        lstrcpynW(data.szTip, hint_.c_str(), ARRAYSIZE(data.szTip));
        shown_ = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
        if (shown_)
            SetTimer(owner_, timer, trezorka::rules::tray_frame_ms, nullptr);
    } else {
        KillTimer(owner_, timer);
        NOTIFYICONDATAW data = this->data(0);
        Shell_NotifyIconW(NIM_DELETE, &data);
        shown_ = false;
    }
}

void TrayIcon::set_hint(std::u16string_view hint)
{
    hint_ = trezorka::win::wide(hint);
    if (!shown_)
        return;
    NOTIFYICONDATAW data = this->data(NIF_TIP);
    lstrcpynW(data.szTip, hint_.c_str(), ARRAYSIZE(data.szTip));
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TrayIcon::show_balloon(std::u16string_view title, std::u16string_view text)
{
    NOTIFYICONDATAW data = this->data(NIF_INFO);
    data.dwInfoFlags = NIIF_INFO;
    lstrcpynW(data.szInfoTitle, trezorka::win::wide(title).c_str(), ARRAYSIZE(data.szInfoTitle));
    lstrcpynW(data.szInfo, trezorka::win::wide(text).c_str(), ARRAYSIZE(data.szInfo));
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TrayIcon::trayanimationTimer()
{
    frame_ = (frame_ + 1) % static_cast<int>(anicons_.size());
    NOTIFYICONDATAW data = this->data(NIF_ICON);
    data.hIcon = anicons_[static_cast<std::size_t>(frame_)].get();
    Shell_NotifyIconW(NIM_MODIFY, &data);
}
