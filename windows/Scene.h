#pragma once

// The pictures and labels of a window, painted by the window itself onto one
// back buffer, in creation order: a later item lies above an earlier one.
// Child controls (edit boxes, buttons) lie above them all. The items come from
// the window's layout; their shown and enabled states are kept here.

#include "Gdi.h"
#include "layout.h"

#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace trezorka::win {

struct Item {
    trezorka::rules::ControlLayout layout;
    RECT place; // left, top, right, bottom at 96 dpi; labels grow to their text
    int picture = -1;
    std::wstring text;
    bool shown = true;
    bool enabled = true;
};

// The picture number (art_pictures.h) of an artwork name; -1 for none.
int picture_number(std::string_view art);

class Scene {
public:
    // Every control of a layout, in its order; edits and buttons get an item
    // too (never painted), so that item numbers are the layout's.
    explicit Scene(std::span<const trezorka::rules::ControlLayout> layout);

    Item& operator[](int index) { return items_[static_cast<std::size_t>(index)]; }
    const Item& operator[](int index) const { return items_[static_cast<std::size_t>(index)]; }
    int size() const { return static_cast<int>(items_.size()); }

    // Pictures and fonts for `dpi`, loaded once per resolution; labels take
    // the size their text needs at 96 dpi (at least their given box).
    void set_dpi(UINT dpi);
    UINT dpi() const { return dpi_; }
    HFONT font(const trezorka::rules::Font& wanted);
    void set_text(int index, std::wstring text);

    // Paints the background and every shown picture and label onto `dc`.
    void paint(HDC dc, SIZE size, COLORREF background);

private:
    void measure(Item& item);

    std::vector<Item> items_;
    std::vector<Picture> pictures_;
    std::map<std::tuple<int, bool, bool>, Font> fonts_;
    UINT dpi_ = 0;
};

// A back buffer for a window's client area, repainted when marked stale.
class BackBuffer {
public:
    // Draws the scene when stale or resized, then copies it to `target`.
    void present(HWND window, HDC target, Scene& scene, COLORREF background);
    // Copies the part under `child` (a child window of `window`) to `dc`.
    void copy_under(HWND window, HWND child, HDC dc, Scene& scene, COLORREF background);
    void stale() { stale_ = true; }

private:
    void present_off_screen(HDC like, RECT client, Scene& scene, COLORREF background);
    Bitmap bitmap_;
    SIZE size_{0, 0};
    bool stale_ = true;
};

inline COLORREF colour_of(std::uint32_t rgb)
{
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

inline std::wstring wide(std::u16string_view s)
{
    return {s.begin(), s.end()};
}

inline std::u16string u16(std::wstring_view s)
{
    return {s.begin(), s.end()};
}

} // namespace trezorka::win
