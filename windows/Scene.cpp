#include "Scene.h"

#include <algorithm>

namespace trezorka::win {

int Scene::add(Item item)
{
    items_.push_back(std::move(item));
    return static_cast<int>(items_.size()) - 1;
}

int Scene::hit(POINT at) const
{
    for (int i = static_cast<int>(items_.size()) - 1; i >= 0; --i) {
        const Item& item = items_[static_cast<std::size_t>(i)];
        if (item.shown && item.enabled && PtInRect(&item.place, at))
            return i;
    }
    return -1;
}

void Scene::set_dpi(UINT dpi)
{
    int most = 0;
    for (const Item& item : items_)
        most = std::max(most, item.picture + 1);
    if (dpi == dpi_ && pictures_.size() == static_cast<std::size_t>(most))
        return;
    dpi_ = dpi;
    pictures_.clear();
    for (int p = 0; p < most; ++p)
        pictures_.push_back(load_picture(p, dpi));
    fonts_[static_cast<std::size_t>(FontKind::Default11)] = tahoma(11, dpi);
    fonts_[static_cast<std::size_t>(FontKind::Bold11)] = tahoma(11, dpi, true);
    fonts_[static_cast<std::size_t>(FontKind::Bold12)] = tahoma(12, dpi, true);
    fonts_[static_cast<std::size_t>(FontKind::Bold13)] = tahoma(13, dpi, true);
    fonts_[static_cast<std::size_t>(FontKind::Bold16)] = tahoma(16, dpi, true);
    fonts_[static_cast<std::size_t>(FontKind::Link11)] = tahoma(11, dpi, false, true);
}

void Scene::paint(HDC dc, SIZE size, COLORREF background) const
{
    Brush fill(CreateSolidBrush(background));
    const RECT all{0, 0, size.cx, size.cy};
    FillRect(dc, &all, fill.get());
    SetBkMode(dc, TRANSPARENT);
    for (const Item& item : items_) {
        if (!item.shown)
            continue;
        const RECT& r = item.place;
        if (!item.is_label) {
            if (item.picture >= 0 && static_cast<std::size_t>(item.picture) < pictures_.size())
                draw_picture(dc, pictures_[static_cast<std::size_t>(item.picture)], r.left, r.top,
                             r.right - r.left, r.bottom - r.top, dpi_, item.stretch);
            continue;
        }
        // A disabled label keeps its place and shows its text greyed, lighter
        // on the dark bars where the enabled text is white.
        COLORREF colour = item.colour;
        if (!item.enabled)
            colour = item.colour == RGB(255, 255, 255) ? RGB(0xB4, 0xBE, 0xC8) : GetSysColor(COLOR_GRAYTEXT);
        const HGDIOBJ old = SelectObject(dc, font(item.font));
        SetTextColor(dc, colour);
        RECT box{scaled(r.left, dpi_), scaled(r.top, dpi_), scaled(r.right, dpi_), scaled(r.bottom, dpi_)};
        DrawTextW(dc, item.text.c_str(), static_cast<int>(item.text.size()), &box,
                  DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
        SelectObject(dc, old);
    }
}

void BackBuffer::present(HWND window, HDC target, const Scene& scene, COLORREF background)
{
    RECT client;
    GetClientRect(window, &client);
    if (!bitmap_ || stale_ || client.right != size_.cx || client.bottom != size_.cy)
        present_off_screen(target, client, scene, background);
    MemoryDC buffer(target, bitmap_.get());
    BitBlt(target, 0, 0, size_.cx, size_.cy, buffer.get(), 0, 0, SRCCOPY);
}

// A child drawn before its parent still shows the current scene.
void BackBuffer::copy_under(HWND window, HWND child, HDC dc, const Scene& scene, COLORREF background)
{
    RECT client;
    GetClientRect(window, &client);
    if (!bitmap_ || stale_ || client.right != size_.cx || client.bottom != size_.cy) {
        const HDC window_dc = GetDC(window);
        present_off_screen(window_dc, client, scene, background);
        ReleaseDC(window, window_dc);
    }
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    MemoryDC buffer(dc, bitmap_.get());
    BitBlt(dc, 0, 0, r.right - r.left, r.bottom - r.top, buffer.get(), r.left, r.top, SRCCOPY);
}

void BackBuffer::present_off_screen(HDC like, RECT client, const Scene& scene, COLORREF background)
{
    const SIZE size{client.right, client.bottom};
    if (!bitmap_ || size.cx != size_.cx || size.cy != size_.cy) {
        bitmap_.reset(CreateCompatibleBitmap(like, std::max<LONG>(size.cx, 1), std::max<LONG>(size.cy, 1)));
        size_ = size;
    }
    MemoryDC buffer(like, bitmap_.get());
    scene.paint(buffer.get(), size, background);
    stale_ = false;
}

} // namespace trezorka::win
