// Fonts and text for the SDL backend: fontconfig picks the file, FreeType
// renders grey-scale antialiased glyphs that are blended into the back buffer.
//
// Needs fontconfig and FreeType; metric-compatible substitutes (Carlito for
// "Calibri", Liberation Sans for "Arial") give the line breaks and cell
// heights of the faces the experiments were designed with.
// Texts come as Windows-1252 or UTF-8; each character is one glyph of the
// matched face, no fallback to other faces (a missing one is drawn as the
// face's missing-glyph box).
// Cannot do: kerning, ligatures or any shaping (the measured extents have
// none either), sub-pixel (coloured) antialiasing, right-to-left text.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>

#include "display/backend.h"
#include "display/backends/sdl/sdl_state.h"

namespace SdlBackend {

namespace {

State& S = Get();

constexpr int32_t DefaultPixelHeight = 16;

int32_t EnsureFontSystem() {
    if (!S.fontconfigUp) {
        if (!FcInit()) return 0;
        S.fontconfigUp = 1;
    }
    if (!S.freetype && FT_Init_FreeType(&S.freetype) != 0) {
        S.freetype = nullptr;
        return 0;
    }
    return 1;
}

int32_t RoundScaled(int64_t units, int32_t pixelHeight, int32_t unitsPerEm) {
    return static_cast<int32_t>(
        std::lround(static_cast<double>(units) * pixelHeight / unitsPerEm));
}

// The cell of the face: the ascent and descent that Windows reports, from
// the OS/2 table, each rounded on its own; fonts without that table use
// FreeType's scaled ascender and descender.
void ComputeMetrics(Font* font) {
    FT_Face face = font->face;
    const int32_t h = font->pixelHeight;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    auto* post = static_cast<TT_Postscript*>(FT_Get_Sfnt_Table(face, FT_SFNT_POST));
    const int32_t upem = face->units_per_EM;
    if (os2 && os2->version != 0xFFFF && upem > 0 && os2->usWinAscent + os2->usWinDescent > 0) {
        font->ascent = RoundScaled(os2->usWinAscent, h, upem);
        font->descent = RoundScaled(os2->usWinDescent, h, upem);
    } else {
        font->ascent = static_cast<int32_t>((face->size->metrics.ascender + 63) >> 6);
        font->descent = static_cast<int32_t>((-face->size->metrics.descender + 63) >> 6);
    }
    if (font->ascent + font->descent <= 0) font->ascent = h;

    int32_t thickness = 1, underline = 1;
    if (post && upem > 0) {
        thickness = std::max(1, RoundScaled(post->underlineThickness, h, upem));
        underline = std::max(1, RoundScaled(-post->underlinePosition, h, upem));
    }
    font->underlineTop = font->ascent + underline;
    font->underlineThickness = thickness;
    int32_t strikeHeight = h / 4, strikeSize = thickness;
    if (os2 && os2->version != 0xFFFF && upem > 0) {
        strikeHeight = RoundScaled(os2->yStrikeoutPosition, h, upem);
        strikeSize = std::max(1, RoundScaled(os2->yStrikeoutSize, h, upem));
    }
    font->strikeTop = font->ascent - strikeHeight;
    font->strikeThickness = strikeSize;
}

Font* OpenFont(const char* face, int32_t pixelHeight, uint32_t flags) {
    if (!EnsureFontSystem()) return nullptr;
    if (pixelHeight <= 0) pixelHeight = DefaultPixelHeight;
    const int32_t bold = (flags & DisplayBackend::FontBold) != 0;
    const int32_t italic = (flags & DisplayBackend::FontItalic) != 0;

    std::vector<char> family;
    Cp1252ToUtf8(face, family);
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return nullptr;
    if (family[0]) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<FcChar8*>(family.data()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddDouble(pattern, FC_PIXEL_SIZE, pixelHeight);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return nullptr;

    FcChar8* file = nullptr;
    int index = 0;
    FT_Face ftFace = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        if (FT_New_Face(S.freetype, reinterpret_cast<const char*>(file), index, &ftFace) != 0)
            ftFace = nullptr;
    }
    FcPatternDestroy(match);
    if (!ftFace) return nullptr;
    // An em of pixelHeight pixels, as a negative character height asks for
    // on the other platform.
    if (FT_Set_Pixel_Sizes(ftFace, 0, static_cast<FT_UInt>(pixelHeight)) != 0) {
        FT_Done_Face(ftFace);
        return nullptr;
    }
    if (!ftFace->charmap) FT_Select_Charmap(ftFace, FT_ENCODING_UNICODE);

    Font* font = new Font{};
    font->face = ftFace;
    font->pixelHeight = pixelHeight;
    font->flags = flags;
    // The closest match may lack the weight or slant asked for.
    font->emboldenSynthetic = bold && !(ftFace->style_flags & FT_STYLE_FLAG_BOLD);
    font->obliqueSynthetic = italic && !(ftFace->style_flags & FT_STYLE_FLAG_ITALIC);
    ComputeMetrics(font);
    return font;
}

void CloseFont(Font* font) {
    if (!font) return;
    FT_Done_Face(font->face);
    delete font;
}

// A character the face lacks gets glyph 0, the face's missing-glyph box.
const Glyph& GlyphOf(Font* font, uint32_t character) {
    Glyph& glyph = character < 256 ? font->latin[character] : font->others[character];
    if (glyph.loaded) return glyph;
    glyph.loaded = 1;
    FT_Face face = font->face;
    FT_UInt index = FT_Get_Char_Index(face, character);
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0) return glyph;
    FT_GlyphSlot slot = face->glyph;
    if (font->emboldenSynthetic) FT_GlyphSlot_Embolden(slot);
    if (font->obliqueSynthetic) FT_GlyphSlot_Oblique(slot);
    // GDI's extents add up whole-pixel advances.
    glyph.advance = static_cast<int32_t>((slot->advance.x + 32) >> 6);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.width = static_cast<int32_t>(bitmap.width);
    glyph.rows = static_cast<int32_t>(bitmap.rows);
    glyph.coverage.assign(static_cast<size_t>(glyph.width) * glyph.rows, 0);
    for (int32_t r = 0; r < glyph.rows; r++) {
        const uint8_t* row = bitmap.buffer + static_cast<std::ptrdiff_t>(r) * bitmap.pitch;
        for (int32_t c = 0; c < glyph.width; c++) {
            uint8_t value = 0;
            if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
                value = (row[c >> 3] & (0x80 >> (c & 7))) ? 255 : 0;
            else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY)
                value = static_cast<uint8_t>(row[c] * 255 / std::max(1, bitmap.num_grays - 1));
            glyph.coverage[static_cast<size_t>(r) * glyph.width + c] = value;
        }
    }
    return glyph;
}

// Measuring and drawing both walk this sequence, so they cannot disagree.
std::vector<uint32_t> Characters(const char32_t* text, int32_t length) {
    return length > 0 ? std::vector<uint32_t>(text, text + length) : std::vector<uint32_t>();
}

int32_t Advance(Font* font, const std::vector<uint32_t>& characters) {
    int32_t width = 0;
    for (uint32_t c : characters) width += GlyphOf(font, c).advance;
    return width;
}

uint32_t Blend(uint32_t under, uint32_t ink, uint32_t alpha) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        uint32_t u = (under >> shift) & 0xFF, k = (ink >> shift) & 0xFF;
        out |= ((k * alpha + u * (255 - alpha) + 127) / 255) << shift;
    }
    return out;
}

// The visible part of a rectangle, in target coordinates.
struct Clip {
    int32_t left, top, right, bottom;
};

void FillRect(const DisplayBackend::Pixels& target, const Clip& clip, int32_t x0, int32_t y0,
              int32_t x1, int32_t y1, uint32_t rgb) {
    x0 = std::max(x0, clip.left);
    y0 = std::max(y0, clip.top);
    x1 = std::min(x1, clip.right);
    y1 = std::min(y1, clip.bottom);
    if (x0 >= x1) return;
    for (int32_t y = y0; y < y1; y++)
        std::fill(target.data + static_cast<std::ptrdiff_t>(y) * target.pitch + x0,
                  target.data + static_cast<std::ptrdiff_t>(y) * target.pitch + x1, rgb);
}

Font* FromRef(FontRef ref) { return reinterpret_cast<Font*>(ref); }

}  // namespace

void ShutdownFonts() {
    CloseFont(S.systemFont);
    S.systemFont = nullptr;
    // A font still held by the caller keeps the library: freeing it under
    // that font would turn its later release into a use after free.
    if (S.liveFonts == 0 && S.freetype) {
        FT_Done_FreeType(S.freetype);
        S.freetype = nullptr;
    }
    S.freetypeOrphaned = S.liveFonts != 0;
}

}  // namespace SdlBackend

namespace DisplayBackend {

using namespace SdlBackend;

FontRef LoadFont(const char* face, int32_t pixelHeight, uint32_t flags) {
    Font* font = OpenFont(face, pixelHeight, flags);
    if (!font) return 0;
    S.liveFonts++;
    return reinterpret_cast<FontRef>(font);
}

FontRef SystemFont() {
    if (!S.systemFont) S.systemFont = OpenFont("sans-serif", DefaultPixelHeight, 0);
    return reinterpret_cast<FontRef>(S.systemFont);
}

void FreeFont(FontRef ref) {
    Font* font = FromRef(ref);
    if (!font || font == S.systemFont) return;
    CloseFont(font);
    S.liveFonts--;
    if (S.liveFonts == 0 && S.freetypeOrphaned) {
        // Shutdown already ran and left the library to this last font.
        FT_Done_FreeType(S.freetype);
        S.freetype = nullptr;
        S.freetypeOrphaned = 0;
    }
}

int32_t FontIsItalic(FontRef ref) {
    Font* font = FromRef(ref);
    return font && (font->flags & FontItalic) ? 1 : 0;
}

TextSize MeasureText(FontRef ref, const char32_t* text, int32_t length) {
    Font* font = FromRef(ref);
    if (!font) return TextSize{0, 0};
    if (!text || length < 0) length = 0;
    return TextSize{Advance(font, Characters(text, length)), font->ascent + font->descent};
}

int32_t DrawText(FontRef ref, const Pixels& target, int32_t x, int32_t y, const char32_t* text,
                 int32_t length, uint32_t frontRgb, uint32_t backRgb) {
    Font* font = FromRef(ref);
    if (!font || !text || length <= 0) return 0;
    const std::vector<uint32_t> characters = Characters(text, length);
    const int32_t advance = Advance(font, characters);
    if (!target.data) return advance;
    const int32_t cellHeight = font->ascent + font->descent;
    frontRgb &= 0xFFFFFF;
    backRgb &= 0xFFFFFF;

    // Ink stays inside the cell, except that an italic face may lean past
    // its right edge, as the overhang that widths account for says it does.
    Clip clip{std::max(0, x), std::max(0, y), std::min(target.width, x + advance),
              std::min(target.height, y + cellHeight)};
    if (font->flags & FontItalic) clip.right = target.width;
    FillRect(target, clip, x, y, x + advance, y + cellHeight, backRgb);

    const int32_t baseline = y + font->ascent;
    int32_t pen = x;
    for (uint32_t character : characters) {
        const Glyph& glyph = GlyphOf(font, character);
        const int32_t gx = pen + glyph.left, gy = baseline - glyph.top;
        const int32_t c0 = std::max(0, clip.left - gx), c1 = std::min(glyph.width, clip.right - gx);
        const int32_t r0 = std::max(0, clip.top - gy), r1 = std::min(glyph.rows, clip.bottom - gy);
        for (int32_t r = r0; r < r1; r++) {
            uint32_t* row = target.data + static_cast<std::ptrdiff_t>(gy + r) * target.pitch + gx;
            const uint8_t* cov = glyph.coverage.data() + static_cast<size_t>(r) * glyph.width;
            for (int32_t c = c0; c < c1; c++) {
                if (cov[c] == 0) continue;
                row[c] = cov[c] == 255 ? frontRgb : Blend(row[c] & 0xFFFFFF, frontRgb, cov[c]);
            }
        }
        pen += glyph.advance;
    }
    if (font->flags & FontUnderline)
        FillRect(target, clip, x, font->underlineTop + y, x + advance,
                 font->underlineTop + y + font->underlineThickness, frontRgb);
    if (font->flags & FontStrikeOut)
        FillRect(target, clip, x, font->strikeTop + y, x + advance,
                 font->strikeTop + y + font->strikeThickness, frontRgb);
    return advance;
}

}  // namespace DisplayBackend
