#include "Scene.h"

#include "art_pictures.h"

#include <algorithm>
#include <iterator>

namespace trezorka::win {

using trezorka::rules::Kind;

int picture_number(std::string_view art)
{
    const auto found = std::find(std::begin(art_pictures), std::end(art_pictures), art);
    return found == std::end(art_pictures) ? -1 : static_cast<int>(found - std::begin(art_pictures));
}

Scene::Scene(std::span<const trezorka::rules::ControlLayout> layout)
{
    for (const auto& control : layout) {
        const auto& r = control.rect;
        Item item{control, {r.x, r.y, r.x + r.width, r.y + r.height}, -1, {}, true, true};
        item.picture = control.kind == Kind::Picture ? picture_number(control.picture) : -1;
        item.text = wide(control.text);
        item.shown = control.shown;
        item.enabled = control.enabled;
        items_.push_back(std::move(item));
    }
}

HFONT Scene::font(const trezorka::rules::Font& wanted)
{
    const auto key = std::make_tuple(wanted.pixels, wanted.bold, wanted.underline);
    auto found = fonts_.find(key);
    if (found == fonts_.end())
        found = fonts_.emplace(key, tahoma(wanted.pixels, dpi_, wanted.bold, wanted.underline)).first;
    return found->second.get();
}

// Labels size themselves to their text: at least the given box, more where
// the text needs it.
void Scene::measure(Item& item)
{
    if (item.layout.kind != Kind::Label)
        return;
    const auto& r = item.layout.rect;
    Font at_96 = tahoma(item.layout.font.pixels, 96, item.layout.font.bold, item.layout.font.underline);
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, at_96.get());
    SIZE extent{};
    GetTextExtentPoint32W(dc, item.text.c_str(), static_cast<int>(item.text.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    item.place = {r.x, r.y, r.x + std::max<LONG>(r.width, extent.cx), r.y + std::max<LONG>(r.height, extent.cy)};
}

void Scene::set_text(int index, std::wstring text)
{
    Item& item = items_[static_cast<std::size_t>(index)];
    item.text = std::move(text);
    measure(item);
}

void Scene::set_dpi(UINT dpi)
{
    if (dpi == dpi_ && !pictures_.empty())
        return;
    dpi_ = dpi;
    fonts_.clear();
    pictures_.clear();
    for (int p = 0; p < static_cast<int>(std::size(art_pictures)); ++p)
        pictures_.push_back(load_picture(p, dpi));
    for (Item& item : items_)
        measure(item);
}

void Scene::paint(HDC dc, SIZE size, COLORREF background)
{
    Brush fill(CreateSolidBrush(background));
    const RECT all{0, 0, size.cx, size.cy};
    FillRect(dc, &all, fill.get());
    SetBkMode(dc, TRANSPARENT);
    for (const Item& item : items_) {
        if (!item.shown)
            continue;
        const RECT& r = item.place;
        if (item.layout.kind == Kind::Picture) {
            if (item.picture >= 0 && static_cast<std::size_t>(item.picture) < pictures_.size())
                draw_picture(dc, pictures_[static_cast<std::size_t>(item.picture)], r.left, r.top,
                             r.right - r.left, r.bottom - r.top, dpi_, item.layout.stretch);
            continue;
        }
        if (item.layout.kind != Kind::Label)
            continue;
        // A disabled label keeps its place and shows its text greyed, lighter
        // on the dark bars where the enabled text is white.
        COLORREF colour = colour_of(item.layout.colour);
        if (!item.enabled)
            colour = colour == RGB(255, 255, 255) ? RGB(0xB4, 0xBE, 0xC8) : GetSysColor(COLOR_GRAYTEXT);
        const HGDIOBJ old = SelectObject(dc, font(item.layout.font));
        SetTextColor(dc, colour);
        RECT box{scaled(r.left, dpi_), scaled(r.top, dpi_), scaled(r.right, dpi_), scaled(r.bottom, dpi_)};
        DrawTextW(dc, item.text.c_str(), static_cast<int>(item.text.size()), &box,
                  DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
        SelectObject(dc, old);
    }
}

void BackBuffer::present(HWND window, HDC target, Scene& scene, COLORREF background)
{
    RECT client;
    GetClientRect(window, &client);
    if (!bitmap_ || stale_ || client.right != size_.cx || client.bottom != size_.cy)
        present_off_screen(target, client, scene, background);
    MemoryDC buffer(target, bitmap_.get());
    BitBlt(target, 0, 0, size_.cx, size_.cy, buffer.get(), 0, 0, SRCCOPY);
}

// A child drawn before its parent still shows the current scene.
void BackBuffer::copy_under(HWND window, HWND child, HDC dc, Scene& scene, COLORREF background)
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

void BackBuffer::present_off_screen(HDC like, RECT client, Scene& scene, COLORREF background)
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
