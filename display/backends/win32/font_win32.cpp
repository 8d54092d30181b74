// Fonts and text for the Win32 backend: GDI fonts, drawn by GDI straight into
// the CPU back buffer (a DIB section, see backend_win32.cpp).
//
// Needs GDI only. A width is the text's extent in the same font as the
// drawing uses, so measuring and drawing always agree; the cell height is the
// font's (tmHeight), whatever the characters.
// Cannot do: shaping, reordering or font fallback beyond what TextOutW does
// by itself; draw into a target other than the back buffer in place: such
// targets (the italic probe's scratch area) go through a temporary DIB and
// two copies.
#include <cstring>
#include <string>

#include "display/backends/win32/win32_state.h"

namespace Win32Backend {

namespace {

// Fonts are selected into it for measuring: measuring never touches the
// back buffer, and works with no surface open.
HDC measureDc = nullptr;

HDC MeasureDc() {
    if (!measureDc) measureDc = CreateCompatibleDC(nullptr);
    return measureDc;
}

HFONT ToFont(FontRef font) { return reinterpret_cast<HFONT>(font); }

// 0x00RRGGBB to GDI's 0x00BBGGRR.
COLORREF ToColorRef(uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// UTF-16, as the "W" calls take it.
std::wstring Prepare(const char32_t* text, int32_t length) {
    std::wstring out;
    for (int32_t i = 0; i < length; ++i) {
        char32_t c = text[i];
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c >= 0x10000) {
            out.push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(c));
        }
    }
    return out;
}

SIZE Extent(HDC dc, const std::wstring& text) {
    SIZE size{0, 0};
    GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
    return size;
}

// Draws with the font selected, the cell filled with the back colour, the
// top-left of the cell at (x, y); returns the advance.
int32_t Put(HDC dc, HFONT font, int32_t x, int32_t y, const std::wstring& text, uint32_t frontRgb,
            uint32_t backRgb) {
    HGDIOBJ previous = SelectObject(dc, font);
    SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    SetBkMode(dc, OPAQUE);
    SetTextColor(dc, ToColorRef(frontRgb));
    SetBkColor(dc, ToColorRef(backRgb));
    const SIZE size = Extent(dc, text);
    TextOutW(dc, x, y, text.data(), static_cast<int>(text.size()));
    if (previous) SelectObject(dc, previous);
    // The caller's pixels are read by the CPU next: GDI must be done with them.
    GdiFlush();
    return size.cx;
}

// Any other target: copied into a DIB of its size, drawn on, copied back.
int32_t PutThroughCopy(const DisplayBackend::Pixels& target, HFONT font, int32_t x, int32_t y,
                       const std::wstring& text, uint32_t frontRgb, uint32_t backRgb) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = target.width;
    info.bmiHeader.biHeight = -target.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    int32_t advance = 0;
    if (bitmap && bits) {
        HGDIOBJ previous = SelectObject(dc, bitmap);
        auto* scratch = static_cast<uint32_t*>(bits);
        const size_t row = static_cast<size_t>(target.width) * sizeof(uint32_t);
        for (int32_t r = 0; r < target.height; r++)
            std::memcpy(scratch + static_cast<ptrdiff_t>(r) * target.width,
                        target.data + static_cast<ptrdiff_t>(r) * target.pitch, row);
        advance = Put(dc, font, x, y, text, frontRgb, backRgb);
        for (int32_t r = 0; r < target.height; r++)
            std::memcpy(target.data + static_cast<ptrdiff_t>(r) * target.pitch,
                        scratch + static_cast<ptrdiff_t>(r) * target.width, row);
        SelectObject(dc, previous);
    }
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
    return advance;
}

}  // namespace

void ShutdownFonts() {
    if (measureDc) DeleteDC(measureDc);
    measureDc = nullptr;
}

}  // namespace Win32Backend

namespace DisplayBackend {

using namespace Win32Backend;

int32_t LogicalDpiY() {
    HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    if (!display) return 96;
    const int32_t dpi = GetDeviceCaps(display, LOGPIXELSY);
    DeleteDC(display);
    return dpi > 0 ? dpi : 96;
}

FontRef LoadFont(const char* face, int32_t pixelHeight, uint32_t flags) {
    // A negative height would ask GDI for a cell height instead of an em.
    if (pixelHeight < 0) return 0;
    HFONT font = CreateFontA(-pixelHeight, 0, 0, 0, (flags & FontBold) ? FW_BOLD : FW_NORMAL,
                             (flags & FontItalic) != 0, (flags & FontUnderline) != 0,
                             (flags & FontStrikeOut) != 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS,
                             (flags & FontHighQuality) ? PROOF_QUALITY : DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, face ? face : "");
    return reinterpret_cast<FontRef>(font);
}

FontRef SystemFont() { return reinterpret_cast<FontRef>(GetStockObject(SYSTEM_FONT)); }

void FreeFont(FontRef font) {
    if (font && font != SystemFont()) DeleteObject(ToFont(font));
}

int32_t FontIsItalic(FontRef font) {
    LOGFONTA description;
    return font && GetObjectA(ToFont(font), sizeof description, &description) &&
           description.lfItalic;
}

TextSize MeasureText(FontRef font, const char32_t* text, int32_t length) {
    HDC dc = MeasureDc();
    if (!dc || !font || !text || length < 0) return TextSize{0, 0};
    HGDIOBJ previous = SelectObject(dc, ToFont(font));
    const SIZE size = Extent(dc, Prepare(text, length));
    if (previous) SelectObject(dc, previous);
    return TextSize{size.cx, size.cy};
}

int32_t DrawText(FontRef font, const Pixels& target, int32_t x, int32_t y, const char32_t* text,
                 int32_t length, uint32_t frontRgb, uint32_t backRgb) {
    if (!font || !text || length <= 0) return 0;
    if (!target.data || target.width <= 0 || target.height <= 0)
        return MeasureText(font, text, length).width;
    const std::wstring prepared = Prepare(text, length);
    const State& s = Get();
    // The back buffer is GDI's own bitmap: GDI clips to it and draws in place.
    if (target.data == s.bufferBits && target.width == s.width && target.height == s.height &&
        target.pitch == s.width)
        return Put(s.bufferDc, ToFont(font), x, y, prepared, frontRgb, backRgb);
    return PutThroughCopy(target, ToFont(font), x, y, prepared, frontRgb, backRgb);
}

}  // namespace DisplayBackend
