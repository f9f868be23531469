#include "Gdi.h"

#include "art_pictures.h"
#include "resource.h"

#include <wincodec.h>

#include <algorithm>
#include <cstring>

namespace trezorka::win {

namespace {

template <class T>
struct Com {
    T* p = nullptr;
    Com() = default;
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    ~Com()
    {
        if (p)
            p->Release();
    }
    T** out() { return &p; }
    T* operator->() const { return p; }
};

constexpr int scale_count = static_cast<int>(std::size(art_scales));

int scale_step(UINT dpi)
{
    for (int step = 0; step < scale_count; ++step)
        if (static_cast<int>(dpi) * 100 <= 96 * art_scales[step])
            return step;
    return scale_count - 1;
}

} // namespace

Font tahoma(int px, UINT dpi, bool bold, bool underline)
{
    return Font(CreateFontW(-scaled(px, dpi), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, underline ? TRUE : FALSE,
                            FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
}

int picture_scale(UINT dpi)
{
    return art_scales[scale_step(dpi)];
}

// The PNG is decoded by the system's imaging component into premultiplied
// BGRA, the layout AlphaBlend wants.
Picture load_picture(int picture, UINT dpi)
{
    Picture result;
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(ART_ID(picture, scale_step(dpi))), RT_RCDATA);
    if (!found)
        return result;
    const HGLOBAL loaded = LoadResource(module, found);
    const auto* bytes = static_cast<const BYTE*>(LockResource(loaded));
    const DWORD size = SizeofResource(module, found);
    if (!bytes || size == 0)
        return result;

    Com<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.out()))))
        return result;
    Com<IWICStream> stream;
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    Com<IWICFormatConverter> converter;
    if (FAILED(factory->CreateStream(stream.out()))
        || FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes), size))
        || FAILED(factory->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand,
                                                   decoder.out()))
        || FAILED(decoder->GetFrame(0, frame.out())) || FAILED(factory->CreateFormatConverter(converter.out()))
        || FAILED(converter->Initialize(frame.p, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                        0.0, WICBitmapPaletteTypeCustom)))
        return result;
    UINT w = 0, h = 0;
    if (FAILED(converter->GetSize(&w, &h)) || w == 0 || h == 0)
        return result;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = static_cast<LONG>(w);
    info.bmiHeader.biHeight = -static_cast<LONG>(h); // top-down, as WIC delivers the rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    Bitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits)
        return result;
    if (FAILED(converter->CopyPixels(nullptr, w * 4, w * h * 4, static_cast<BYTE*>(bits))))
        return result;
    result.bitmap = std::move(bitmap);
    result.width = static_cast<int>(w);
    result.height = static_cast<int>(h);
    return result;
}

void draw_picture(HDC dc, const Picture& picture, int x, int y, int w, int h, UINT dpi, bool stretch)
{
    if (!picture.bitmap)
        return;
    int src_w = picture.width;
    int src_h = picture.height;
    int dst_w = scaled(w, dpi);
    int dst_h = scaled(h, dpi);
    if (!stretch) {
        // The picture is not scaled to its control: only its top-left part
        // shows, cut to the control's size.
        const int scale = picture_scale(dpi);
        src_w = std::min(picture.width, (w * scale + 99) / 100);
        src_h = std::min(picture.height, (h * scale + 99) / 100);
        dst_w = MulDiv(src_w, static_cast<int>(dpi) * 100, 96 * scale);
        dst_h = MulDiv(src_h, static_cast<int>(dpi) * 100, 96 * scale);
    }
    MemoryDC source(dc, picture.bitmap.get());
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    SetStretchBltMode(dc, HALFTONE);
    AlphaBlend(dc, scaled(x, dpi), scaled(y, dpi), dst_w, dst_h, source.get(), 0, 0, src_w, src_h, blend);
}

Icon load_icon(int id, int size_96, UINT dpi)
{
    const int size = scaled(size_96, dpi);
    return Icon(static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

} // namespace trezorka::win
