// The program's pictures, PNG resources drawn with GDI+ (Windows' own
// imaging library), which scales them smoothly to any size.
#include "Finestre.h"

#include <objidl.h>
#include <shlwapi.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <memory>

namespace win32 {

namespace {

bool avviaGdiplus()
{
    static const bool avviato = [] {
        ULONG_PTR gettone = 0;
        const Gdiplus::GdiplusStartupInput ingresso;
        return Gdiplus::GdiplusStartup(&gettone, &ingresso, nullptr) == Gdiplus::Ok;
    }();
    return avviato;
}

}  // namespace

HBITMAP disegno(int risorsa, int larghezza, int altezza, bool trasparente)
{
    if (larghezza <= 0 || altezza <= 0 || !avviaGdiplus())
        return nullptr;
    const HRSRC trovata = ::FindResourceW(modulo(), MAKEINTRESOURCEW(risorsa), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    const HGLOBAL caricata = trovata != nullptr ? ::LoadResource(modulo(), trovata) : nullptr;
    const void* byte = caricata != nullptr ? ::LockResource(caricata) : nullptr;
    if (byte == nullptr)
        return nullptr;
    IStream* flusso = ::SHCreateMemStream(static_cast<const BYTE*>(byte), ::SizeofResource(modulo(), trovata));
    if (flusso == nullptr)
        return nullptr;
    std::unique_ptr<Gdiplus::Bitmap> originale(Gdiplus::Bitmap::FromStream(flusso));
    flusso->Release();
    if (!originale || originale->GetLastStatus() != Gdiplus::Ok)
        return nullptr;

    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = larghezza;
    info.bmiHeader.biHeight = -altezza;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixel = nullptr;
    const HBITMAP risultato = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixel, nullptr, 0);
    if (risultato == nullptr)
        return nullptr;
    const HDC dc = ::CreateCompatibleDC(nullptr);
    const HGDIOBJ prima = ::SelectObject(dc, risultato);
    {
        Gdiplus::Graphics g(dc);
        g.Clear(trasparente ? Gdiplus::Color(0, 0, 0, 0) : Gdiplus::Color(255, 255, 255, 255));
        g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHighQuality);
        g.SetSmoothingMode(Gdiplus::SmoothingModeHighQuality);
        g.DrawImage(originale.get(), Gdiplus::Rect(0, 0, larghezza, altezza), 0, 0,
                    static_cast<INT>(originale->GetWidth()), static_cast<INT>(originale->GetHeight()),
                    Gdiplus::UnitPixel);
    }
    ::SelectObject(dc, prima);
    ::DeleteDC(dc);
    return risultato;
}

}  // namespace win32
