// Fonts and text for the Win32 backend: GDI fonts, shaped and ordered by
// Uniscribe, drawn by GDI straight into the CPU back buffer (a DIB section,
// see backend_win32.cpp).
//
// Needs GDI and usp10, both part of Windows. A line that Uniscribe calls
// simple and that the font covers goes through TextOutW as it always has, so
// such texts keep their pixels. Any other line is itemised by Uniscribe (the
// base direction is that of its first strong character), each item shaped in
// the font, and each cluster the font lacks shaped again, whole, in the first
// face that has the cluster's first character: a short list of Windows' own
// faces for the scripts, then every installed family. A face counts as
// installed when GDI selects it under its English or its localised family
// name, so a Chinese, Japanese or Korean Windows finds its own Han faces in
// the short list. The face found is kept
// per character, so a character is looked up once. Measuring and drawing use
// the same shaped runs (the last line is kept for the draw that follows its
// measurement); the width is their advance, the cell height the font's.
// Cannot do: attach a mark from another face to a base from the font (the
// whole cluster moves instead); pick a face by the text's language (Han takes
// the face of the system's language); draw into a target
// other than the back buffer in place: such targets (the italic probe's
// scratch area) go through a temporary DIB and two copies.
#include <usp10.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "display/backends/win32/win32_state.h"

namespace Win32Backend {

namespace {

// Fonts are selected into it for measuring and shaping: that never touches
// the back buffer, and works with no surface open.
HDC measureDc = nullptr;

HDC MeasureDc() {
    if (!measureDc) measureDc = CreateCompatibleDC(nullptr);
    return measureDc;
}

HFONT ToFont(FontRef font) { return reinterpret_cast<HFONT>(font); }

// 0x00RRGGBB to GDI's 0x00BBGGRR.
COLORREF ToColorRef(uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// UTF-16, as the "W" calls take it; what is not a code point becomes U+FFFD.
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

// ---- Fallback faces ----

// Windows' faces for the scripts that Calibri and Arial lack, broad ones
// first; then faces a lab may have added. Every other family comes after.
const wchar_t* const PreferredFaces[] = {
    L"Segoe UI", L"Arial", L"Microsoft Sans Serif", L"Tahoma", L"Microsoft YaHei", L"SimSun",
    L"Microsoft JhengHei", L"Yu Gothic", L"Meiryo", L"MS Gothic", L"Malgun Gothic", L"Gulim",
    L"Nirmala UI", L"Mangal", L"Leelawadee UI", L"Leelawadee", L"Ebrima", L"Gadugi", L"Khmer UI",
    L"Myanmar Text", L"Segoe UI Historic", L"Segoe UI Symbol", L"Sylfaen", L"Arial Unicode MS",
    L"DejaVu Sans", L"Noto Sans"};

// Han characters look different in Chinese, Japanese and Korean: the
// system's own language picks the face, as Windows' own fallback does.
const wchar_t* HanFace() {
    switch (GetACP()) {
        case 932: return L"Yu Gothic";
        case 949: return L"Malgun Gothic";
        case 950: return L"Microsoft JhengHei";
        default: return L"Microsoft YaHei";
    }
}

struct Fallbacks {
    std::vector<std::wstring> faces;  // in the order they are tried
    int32_t listed;                   // 0: none yet, 1: the short list, 2: every family
    std::unordered_map<char32_t, int32_t> faceOf;  // index into faces, -1: none has it
    int32_t lastFound;                             // tried first: a line is mostly one script
    // Per font the program loaded: its fallback fonts by face, at its size and style.
    std::map<HFONT, std::map<int32_t, HFONT>> fonts;
    std::map<HFONT, SCRIPT_CACHE> caches;
};
Fallbacks fallbacks{{}, 0, {}, -1, {}, {}};

SCRIPT_CACHE* CacheOf(HFONT font) { return &fallbacks.caches[font]; }

// Families as enumerated, each with a rank: upright sans-serif faces of
// regular weight look most like the texts' own and come first.
using Ranked = std::vector<std::pair<int32_t, std::wstring>>;

int CALLBACK AddFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM list) {
    // '@' names are the same faces turned for vertical writing.
    if (font->lfFaceName[0] != L'@')
        reinterpret_cast<Ranked*>(list)->push_back(
            {(font->lfWeight != FW_NORMAL) * 2 + ((font->lfPitchAndFamily & 0xF0) != FF_SWISS),
             font->lfFaceName});
    return 1;
}

// The short list at the first miss; every other installed family only when
// none of that list has a character, as enumerating them all takes a while.
void ListFaces(HDC dc) {
    if (fallbacks.listed == 0) {
        for (const wchar_t* face : PreferredFaces) {
            if (!lstrcmpW(face, L"Microsoft YaHei")) fallbacks.faces.push_back(HanFace());
            if (std::find(fallbacks.faces.begin(), fallbacks.faces.end(), face) == fallbacks.faces.end())
                fallbacks.faces.push_back(face);
        }
    } else if (fallbacks.listed == 1) {
        Ranked families;
        LOGFONTW all{};
        all.lfCharSet = DEFAULT_CHARSET;
        EnumFontFamiliesExW(dc, &all, AddFamily, reinterpret_cast<LPARAM>(&families), 0);
        std::stable_sort(families.begin(), families.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [rank, face] : families)
            if (std::find(fallbacks.faces.begin(), fallbacks.faces.end(), face) == fallbacks.faces.end())
                fallbacks.faces.push_back(face);
    }
    fallbacks.listed = std::min(fallbacks.listed + 1, 2);
}

HFONT MakeFallback(HFONT font, int32_t face) {
    HFONT& made = fallbacks.fonts[font][face];
    if (!made) {
        LOGFONTW description{};
        GetObjectW(font, sizeof description, &description);
        const std::wstring& name = fallbacks.faces[static_cast<size_t>(face)];
        lstrcpynW(description.lfFaceName, name.c_str(), LF_FACESIZE);
        made = CreateFontIndirectW(&description);
    }
    return made;
}

// Whether the font selected into dc is the family `face` by any of its
// names. GetTextFaceW gives the family name in the system's language: on a
// Chinese, Japanese or Korean Windows that is 宋体 for SimSun and 微软雅黑 for
// Microsoft YaHei, so the font's name table (family names 1 and 16, every
// language, UTF-16 big-endian) is asked too.
bool NamedAs(HDC dc, const std::wstring& face) {
    wchar_t actual[LF_FACESIZE];
    if (GetTextFaceW(dc, LF_FACESIZE, actual) && !lstrcmpiW(actual, face.c_str())) return true;
    constexpr DWORD NameTable = 'n' | 'a' << 8 | 'm' << 16 | static_cast<DWORD>('e') << 24;
    const DWORD size = GetFontData(dc, NameTable, 0, nullptr, 0);
    if (size == GDI_ERROR || size < 6) return false;
    std::vector<unsigned char> table(size);
    if (GetFontData(dc, NameTable, 0, table.data(), size) != size) return false;
    const auto field = [&table](size_t at) -> uint32_t {
        return at + 2 <= table.size() ? static_cast<uint32_t>(table[at] << 8 | table[at + 1]) : 0;
    };
    const size_t count = field(2), strings = field(4);
    for (size_t record = 6; record < 6 + 12 * count && record + 12 <= table.size(); record += 12) {
        const uint32_t platform = field(record), nameId = field(record + 6);
        const size_t length = field(record + 8), at = strings + field(record + 10);
        if ((platform != 0 && platform != 3) || (nameId != 1 && nameId != 16) || at + length > table.size()) continue;
        std::wstring name;
        for (size_t i = 0; i + 1 < length; i += 2) name.push_back(static_cast<wchar_t>(field(at + i)));
        if (!lstrcmpiW(name.c_str(), face.c_str())) return true;
    }
    return false;
}

// Whether the face is really installed (not a stand-in GDI picked) and maps
// every one of the units to a glyph.
int32_t Covers(HDC dc, HFONT font, const std::wstring& face, const wchar_t* units, int count) {
    if (!font) return 0;
    HGDIOBJ previous = SelectObject(dc, font);
    WORD glyphs[2];
    SCRIPT_CACHE cache = nullptr;
    const int32_t covers = NamedAs(dc, face) && ScriptGetCMap(dc, &cache, units, count, 0, glyphs) == S_OK;
    ScriptFreeCache(&cache);
    SelectObject(dc, previous);
    return covers;
}

// The index of the first face that has the character, -1 when none has.
int32_t FaceFor(HDC dc, HFONT font, char32_t c) {
    const auto known = fallbacks.faceOf.find(c);
    if (known != fallbacks.faceOf.end()) return known->second;
    if (!fallbacks.listed) ListFaces(dc);
    const std::wstring units = Prepare(&c, 1);
    LOGFONTW description{};
    GetObjectW(font, sizeof description, &description);
    int32_t found = -1;
    for (int32_t i = -1; found < 0; ++i) {
        if (i == static_cast<int32_t>(fallbacks.faces.size()) && fallbacks.listed < 2) ListFaces(dc);
        if (i == static_cast<int32_t>(fallbacks.faces.size())) break;
        const int32_t face = i < 0 ? fallbacks.lastFound : i;
        if (face < 0) continue;
        const std::wstring& name = fallbacks.faces[static_cast<size_t>(face)];
        lstrcpynW(description.lfFaceName, name.c_str(), LF_FACESIZE);
        HFONT probe = CreateFontIndirectW(&description);
        if (Covers(dc, probe, name, units.data(), static_cast<int>(units.size()))) found = face;
        if (probe) DeleteObject(probe);
    }
    if (found >= 0) fallbacks.lastFound = found;
    fallbacks.faceOf[c] = found;
    return found;
}

void FreeFallbacks(HFONT font) {
    const auto it = fallbacks.fonts.find(font);
    if (it != fallbacks.fonts.end()) {
        for (auto& [face, made] : it->second) {
            ScriptFreeCache(CacheOf(made));
            fallbacks.caches.erase(made);
            if (made) DeleteObject(made);
        }
        fallbacks.fonts.erase(it);
    }
    ScriptFreeCache(CacheOf(font));
    fallbacks.caches.erase(font);
}

// ---- Shaping ----

struct Run {
    HFONT font;
    SCRIPT_ANALYSIS analysis;
    std::vector<WORD> glyphs;
    std::vector<int> advances;
    std::vector<GOFFSET> offsets;
    std::vector<WORD> clusters;  // per character, its first glyph
    std::vector<SCRIPT_VISATTR> attributes;
};

struct Layout {
    HFONT font;
    std::wstring text;
    int32_t simple;         // TextOutW draws it
    std::vector<Run> runs;  // in visual order
    int32_t width, height, ascent;
};
Layout last{nullptr, {}, 0, {}, 0, 0, 0};

// Shapes and places the units in `font`; 0 when Uniscribe cannot, and
// (`strict`) when the font does not know the script at all.
int32_t Shape(HDC dc, HFONT font, const wchar_t* units, int count, SCRIPT_ANALYSIS analysis,
              int32_t strict, Run* run) {
    SelectObject(dc, font);
    SCRIPT_CACHE* cache = CacheOf(font);
    int capacity = count * 3 / 2 + 16;
    run->clusters.resize(static_cast<size_t>(count));
    HRESULT result;
    int glyphCount = 0;
    do {
        run->glyphs.resize(static_cast<size_t>(capacity));
        run->attributes.resize(static_cast<size_t>(capacity));
        result = ScriptShape(dc, cache, units, count, capacity, &analysis, run->glyphs.data(),
                             run->clusters.data(), run->attributes.data(), &glyphCount);
        if (result == USP_E_SCRIPT_NOT_IN_FONT && !strict && analysis.eScript != SCRIPT_UNDEFINED) {
            analysis.eScript = SCRIPT_UNDEFINED;  // unshaped: the font's own boxes
            result = E_OUTOFMEMORY;
        } else if (result == E_OUTOFMEMORY) {
            capacity *= 2;
        }
    } while (result == E_OUTOFMEMORY && capacity < count * 64 + 64);
    if (FAILED(result)) return 0;
    run->font = font;
    run->analysis = analysis;
    run->glyphs.resize(static_cast<size_t>(glyphCount));
    run->attributes.resize(static_cast<size_t>(glyphCount));
    run->advances.assign(static_cast<size_t>(glyphCount), 0);
    run->offsets.assign(static_cast<size_t>(glyphCount), GOFFSET{0, 0});
    ABC abc;
    return SUCCEEDED(ScriptPlace(dc, cache, run->glyphs.data(), glyphCount, run->attributes.data(),
                                 &run->analysis, run->advances.data(), run->offsets.data(), &abc));
}

// The clusters of one item in runs of one face each: the font's where it
// has the whole cluster, else the fallback for the cluster's first character
// (a font that does not know the script at all hands the whole item to the
// face of its first character). Appends the runs in logical order.
void ShapeItem(HDC dc, HFONT font, const wchar_t* units, int count, const SCRIPT_ANALYSIS& analysis,
               std::vector<Run>* runs) {
    Run whole{};
    const int32_t shaped = Shape(dc, font, units, count, analysis, 1, &whole);
    SCRIPT_FONTPROPERTIES properties{sizeof properties, 0, 0, 0, 0, 0};
    if (shaped) ScriptGetFontProperties(dc, CacheOf(font), &properties);
    // A cluster's glyphs run from its first to the next cluster's first, in
    // either direction.
    std::vector<WORD> starts(whole.clusters.begin(), whole.clusters.end());
    std::sort(starts.begin(), starts.end());
    std::vector<int32_t> faces(static_cast<size_t>(count), -1);
    int32_t missing = 0;
    for (int begin = 0, end; begin < count; begin = end) {
        end = begin + 1;
        while (end < count && (!shaped || whole.clusters[end] == whole.clusters[begin])) ++end;
        int32_t lacks = !shaped;
        if (shaped) {
            const WORD first = whole.clusters[begin];
            const auto next = std::upper_bound(starts.begin(), starts.end(), first);
            const WORD stop = next == starts.end() ? static_cast<WORD>(whole.glyphs.size()) : *next;
            for (WORD g = first; g < stop && !lacks; ++g)
                lacks = whole.glyphs[g] == properties.wgDefault;
        }
        if (!lacks) continue;
        char32_t c = units[begin];
        if (c >= 0xD800 && c <= 0xDBFF && begin + 1 < count)
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(units[begin + 1]) - 0xDC00);
        const int32_t face = FaceFor(dc, font, c);
        std::fill(faces.begin() + begin, faces.begin() + end, face);
        missing |= face >= 0;
    }
    if (shaped && !missing) {
        runs->push_back(std::move(whole));
        return;
    }
    for (int begin = 0, end; begin < count; begin = end) {
        end = begin + 1;
        while (end < count && faces[end] == faces[begin]) ++end;
        Run part{};
        HFONT face = faces[begin] < 0 ? font : MakeFallback(font, faces[begin]);
        if (Shape(dc, face, units + begin, end - begin, analysis, 0, &part))
            runs->push_back(std::move(part));
    }
}

// The first strong character's direction: 1 for right to left.
BYTE BaseLevel(const std::wstring& text) {
    std::vector<WORD> types(text.size());
    if (!GetStringTypeW(CT_CTYPE2, text.data(), static_cast<int>(text.size()), types.data())) return 0;
    for (WORD type : types)
        if (type == C2_LEFTTORIGHT || type == C2_RIGHTTOLEFT) return type == C2_RIGHTTOLEFT;
    return 0;
}

// Whether TextOutW alone draws the text right: no shaping, no reordering,
// and a glyph of the font for every character.
int32_t IsSimple(HDC dc, const std::wstring& text) {
    const int count = static_cast<int>(text.size());
    if (ScriptIsComplex(text.data(), count, SIC_COMPLEX) != S_FALSE) return 0;
    std::vector<WORD> glyphs(text.size());
    if (GetGlyphIndicesW(dc, text.data(), count, glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS) !=
        static_cast<DWORD>(count))
        return 0;
    return std::find(glyphs.begin(), glyphs.end(), 0xFFFF) == glyphs.end();
}

const Layout& Lay(HFONT font, const char32_t* text, int32_t length) {
    std::wstring units = Prepare(text, length);
    if (last.font == font && last.text == units) return last;
    HDC dc = MeasureDc();
    HGDIOBJ previous = SelectObject(dc, font);
    last = Layout{font, std::move(units), 1, {}, 0, 0, 0};
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    last.height = metrics.tmHeight;
    last.ascent = metrics.tmAscent;
    const std::wstring& wide = last.text;
    const int count = static_cast<int>(wide.size());
    std::vector<SCRIPT_ITEM> items(wide.size() + 2);  // one more than the most it may fill
    SCRIPT_CONTROL control{};
    SCRIPT_STATE state{};
    state.uBidiLevel = BaseLevel(wide) & 0x1F;
    int itemCount = 0;
    if (count > 0 && !IsSimple(dc, wide) &&
        SUCCEEDED(ScriptItemize(wide.data(), count, count + 1, &control, &state, items.data(),
                                &itemCount))) {
        last.simple = 0;
        std::vector<Run> logical;
        for (int i = 0; i < itemCount; ++i)
            ShapeItem(dc, font, wide.data() + items[i].iCharPos,
                      items[i + 1].iCharPos - items[i].iCharPos, items[i].a, &logical);
        std::vector<BYTE> levels;
        for (const Run& run : logical) levels.push_back(static_cast<BYTE>(run.analysis.s.uBidiLevel));
        std::vector<int> order(logical.size());
        if (!logical.empty())
            ScriptLayout(static_cast<int>(logical.size()), levels.data(), order.data(), nullptr);
        for (int index : order) {
            for (int advance : logical[static_cast<size_t>(index)].advances) last.width += advance;
            last.runs.push_back(std::move(logical[static_cast<size_t>(index)]));
        }
    } else if (count > 0) {
        SIZE size{0, 0};
        GetTextExtentPoint32W(dc, wide.data(), count, &size);
        last.width = size.cx;
    }
    SelectObject(dc, previous);
    return last;
}

// Draws with the cell filled with the back colour, its top-left at (x, y);
// returns the advance.
int32_t Put(HDC dc, const Layout& layout, int32_t x, int32_t y, uint32_t frontRgb, uint32_t backRgb) {
    HGDIOBJ previous = SelectObject(dc, layout.font);
    SetTextColor(dc, ToColorRef(frontRgb));
    SetBkColor(dc, ToColorRef(backRgb));
    if (layout.simple) {
        SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
        SetBkMode(dc, OPAQUE);
        TextOutW(dc, x, y, layout.text.data(), static_cast<int>(layout.text.size()));
    } else {
        // Faces differ in ascent: the runs share the font's baseline, and the
        // cell is the font's, whatever the faces.
        const RECT cell{x, y, x + layout.width, y + layout.height};
        ExtTextOutW(dc, x, y, ETO_OPAQUE, &cell, L"", 0, nullptr);
        SetTextAlign(dc, TA_LEFT | TA_BASELINE | TA_NOUPDATECP);
        SetBkMode(dc, TRANSPARENT);
        int32_t pen = x;
        for (const Run& run : layout.runs) {
            SelectObject(dc, run.font);
            ScriptTextOut(dc, CacheOf(run.font), pen, y + layout.ascent, 0, nullptr, &run.analysis,
                          nullptr, 0, run.glyphs.data(), static_cast<int>(run.glyphs.size()),
                          run.advances.data(), nullptr, run.offsets.data());
            for (int advance : run.advances) pen += advance;
        }
    }
    if (previous) SelectObject(dc, previous);
    // The caller's pixels are read by the CPU next: GDI must be done with them.
    GdiFlush();
    return layout.width;
}

// Any other target: copied into a DIB of its size, drawn on, copied back.
int32_t PutThroughCopy(const DisplayBackend::Pixels& target, const Layout& layout, int32_t x,
                       int32_t y, uint32_t frontRgb, uint32_t backRgb) {
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
        advance = Put(dc, layout, x, y, frontRgb, backRgb);
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
    last = Layout{nullptr, {}, 0, {}, 0, 0, 0};
    while (!fallbacks.fonts.empty()) FreeFallbacks(fallbacks.fonts.begin()->first);
    for (auto& [font, cache] : fallbacks.caches) ScriptFreeCache(&cache);
    fallbacks.caches.clear();
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
    if (!font) return;
    // A new font may get the freed handle's value: nothing kept may outlive it.
    if (last.font == ToFont(font)) last = Layout{nullptr, {}, 0, {}, 0, 0, 0};
    FreeFallbacks(ToFont(font));
    if (font != SystemFont()) DeleteObject(ToFont(font));
}

int32_t FontIsItalic(FontRef font) {
    LOGFONTA description;
    return font && GetObjectA(ToFont(font), sizeof description, &description) &&
           description.lfItalic;
}

TextSize MeasureText(FontRef font, const char32_t* text, int32_t length) {
    if (!MeasureDc() || !font || !text || length < 0) return TextSize{0, 0};
    const Layout& layout = Lay(ToFont(font), text, length);
    return TextSize{layout.width, layout.height};
}

int32_t DrawText(FontRef font, const Pixels& target, int32_t x, int32_t y, const char32_t* text,
                 int32_t length, uint32_t frontRgb, uint32_t backRgb) {
    if (!font || !text || length <= 0 || !MeasureDc()) return 0;
    const Layout& layout = Lay(ToFont(font), text, length);
    if (!target.data || target.width <= 0 || target.height <= 0) return layout.width;
    const State& s = Get();
    // The back buffer is GDI's own bitmap: GDI clips to it and draws in place.
    if (target.data == s.bufferBits && target.width == s.width && target.height == s.height &&
        target.pitch == s.width)
        return Put(s.bufferDc, layout, x, y, frontRgb, backRgb);
    return PutThroughCopy(target, layout, x, y, frontRgb, backRgb);
}

}  // namespace DisplayBackend
