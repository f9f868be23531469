#pragma once

#include "Gdi.h"

#include <windows.h>

#include <shellapi.h>

#include <array>
#include <string>
#include <string_view>

// The notification-area icon of the window `owner`: its three animation
// frames, stepped every tray_frame_ms while it is shown, its hint and its
// balloon. The icon's messages come to the owner as `message`, the frame
// steps as its timer `timer`.
class TrayIcon {
public:
    static constexpr UINT message = WM_APP + 2;
    static constexpr UINT_PTR timer = 4;

    explicit TrayIcon(std::u16string_view hint);
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    void set_owner(HWND owner) { owner_ = owner; }
    // The frames at the size the system uses for small icons at `dpi`.
    void set_dpi(UINT dpi);

    // Shown, the icon goes on from the frame it showed last.
    void set_shown(bool shown);
    void set_hint(std::u16string_view hint);
    void show_balloon(std::u16string_view title, std::u16string_view text);
    void trayanimationTimer();

    // One click on the icon, from its message's `lparam`.
    static bool clicked(LPARAM lparam) { return LOWORD(lparam) == WM_LBUTTONUP; }

private:
    NOTIFYICONDATAW data(UINT flags) const;

    HWND owner_ = nullptr;
    std::array<trezorka::win::Icon, 3> anicons_;
    int frame_ = 0;
    bool shown_ = false;
    std::wstring hint_;
};
