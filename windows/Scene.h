#pragma once

// The pictures and labels of a window, painted by the window itself onto one
// back buffer: creation order is stacking order, a later item above an
// earlier one. Child controls (edit boxes, buttons) lie above them all.

#include "Gdi.h"

#include <array>
#include <string>
#include <vector>

namespace trezorka::win {

enum class FontKind { Default11, Bold11, Bold12, Bold13, Bold16, Link11, Count };

struct Item {
    Item(const wchar_t* name, bool is_label, RECT place) : name(name), is_label(is_label), place(place) {}
    const wchar_t* name;
    bool is_label; // else a picture
    RECT place;    // left, top, right, bottom at 96 dpi
    int picture = -1;
    bool stretch = false;
    std::wstring text;
    FontKind font = FontKind::Default11;
    COLORREF colour = 0;
    bool hand = false;
    bool shown = true;
    bool enabled = true;
};

class Scene {
public:
    // Items are added in creation order; the index is the item's handle.
    int add(Item item);
    Item& operator[](int index) { return items_[static_cast<std::size_t>(index)]; }
    const Item& operator[](int index) const { return items_[static_cast<std::size_t>(index)]; }

    // The topmost item under `at` (96-dpi client coordinates) that is both
    // shown and enabled; -1 for none, which means the window itself.
    int hit(POINT at) const;

    // Pictures and fonts for `dpi`, loaded once per resolution.
    void set_dpi(UINT dpi);
    UINT dpi() const { return dpi_; }
    HFONT font(FontKind kind) const { return fonts_[static_cast<std::size_t>(kind)].get(); }

    // Paints the background and every shown item onto `dc`, `size` device pixels.
    void paint(HDC dc, SIZE size, COLORREF background) const;

private:
    std::vector<Item> items_;
    std::vector<Picture> pictures_;
    std::array<Font, static_cast<std::size_t>(FontKind::Count)> fonts_;
    UINT dpi_ = 0;
};

// A back buffer for a window's client area, repainted when marked stale.
class BackBuffer {
public:
    // Draws the scene when stale or resized, then copies it to `target`.
    void present(HWND window, HDC target, const Scene& scene, COLORREF background);
    // Copies the part under `child` (a child window of `window`) to `dc`.
    void copy_under(HWND window, HWND child, HDC dc, const Scene& scene, COLORREF background);
    void stale() { stale_ = true; }

private:
    void present_off_screen(HDC like, RECT client, const Scene& scene, COLORREF background);
    Bitmap bitmap_;
    SIZE size_{0, 0};
    bool stale_ = true;
};

} // namespace trezorka::win
