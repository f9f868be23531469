#pragma once

// Owners for the GDI objects and the pictures of the two windows.

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

namespace trezorka::win {

struct GdiDeleter {
    void operator()(HGDIOBJ object) const noexcept
    {
        if (object)
            DeleteObject(object);
    }
};
template <class Handle>
using GdiHandle = std::unique_ptr<std::remove_pointer_t<Handle>, GdiDeleter>;
using Font = GdiHandle<HFONT>;
using Bitmap = GdiHandle<HBITMAP>;
using Brush = GdiHandle<HBRUSH>;

struct IconDeleter {
    void operator()(HICON icon) const noexcept
    {
        if (icon)
            DestroyIcon(icon);
    }
};
using Icon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;

// A memory device context with a bitmap selected into it, restored on the way out.
class MemoryDC {
public:
    MemoryDC(HDC like, HBITMAP bitmap) : dc_(CreateCompatibleDC(like)), old_(SelectObject(dc_, bitmap)) {}
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    ~MemoryDC()
    {
        SelectObject(dc_, old_);
        DeleteDC(dc_);
    }
    HDC get() const noexcept { return dc_; }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// Pixels at 96 dpi to pixels at `dpi`.
inline int scaled(int px, UINT dpi)
{
    return MulDiv(px, static_cast<int>(dpi), 96);
}

// Tahoma at a character height of `px` pixels at 96 dpi.
Font tahoma(int px, UINT dpi, bool bold = false, bool underline = false);

// One picture of the resources, premultiplied 32-bit, for AlphaBlend.
struct Picture {
    Bitmap bitmap;
    int width = 0;
    int height = 0;
};

// The picture `picture` (its number in art_pictures.h) rendered for the scale
// nearest above `dpi`; an empty one when it cannot be read.
Picture load_picture(int picture, UINT dpi);
// The scale (in percent) the pictures for `dpi` were rendered at.
int picture_scale(UINT dpi);

// Draws the part of `picture` that lies at the top left of a control of
// `w` x `h` pixels at 96 dpi (stretch: the whole picture over the control).
void draw_picture(HDC dc, const Picture& picture, int x, int y, int w, int h, UINT dpi, bool stretch);

// An icon resource at the size the system uses for small or large icons at `dpi`.
Icon load_icon(int id, int size_96, UINT dpi);

} // namespace trezorka::win
