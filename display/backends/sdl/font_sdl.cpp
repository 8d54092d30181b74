// Fonts and text for the SDL backend: fontconfig picks the files, FriBidi
// orders a line, HarfBuzz shapes each run, FreeType renders grey-scale
// antialiased glyphs that are blended into the back buffer.
//
// Needs fontconfig, FriBidi, HarfBuzz and FreeType; metric-compatible
// substitutes (Carlito for "Calibri", Liberation Sans for "Arial") give the
// line breaks and cell heights of the faces the experiments were designed
// with. A character the requested face lacks comes from the installed face
// fontconfig finds for it, at the same em size; with none, it is the
// requested face's missing-glyph box. The requested face is shaped without
// kerning or discretionary ligatures: the Windows build draws Latin text
// without them, and both builds must lay a screen out alike.
// Cannot do: sub-pixel (coloured) antialiasing, colour (bitmap-only) fonts,
// vertical text.
#include <fontconfig/fontconfig.h>
#include <fribidi.h>
#include <ft2build.h>
#include <hb-ft.h>
#include <hb.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <memory>

#include "display/backend.h"
#include "display/backends/sdl/sdl_state.h"

namespace SdlBackend {

namespace {

State& S = Get();

constexpr int32_t DefaultPixelHeight = 16;

hb_buffer_t* shapingBuffer = nullptr;  // kept: every line would make one

// Rendered on first use: a text screen draws the same few glyphs over and over.
struct Glyph {
    int32_t loaded;
    int32_t advance;    // rounded hinted advance in pixels
    int32_t left, top;  // bitmap offset from the pen position and the baseline
    int32_t width, rows;
    std::vector<uint8_t> coverage;  // width * rows, 0..255
};

// One font file's face at one em size.
struct Face {
    FT_Face ft;
    hb_font_t* hb;
    int32_t emboldenSynthetic, obliqueSynthetic;
    std::unordered_map<uint32_t, Glyph> glyphs;  // by glyph index
};

}  // namespace

struct Font {
    Face main;
    int32_t pixelHeight;  // the em height
    int32_t ascent, descent;  // of the requested face: the cell, whatever the characters
    uint32_t flags;
    int32_t underlineTop, underlineThickness;
    int32_t strikeTop, strikeThickness;
    std::string family;  // as asked for (UTF-8): fallback faces are found in its likeness
    std::vector<std::unique_ptr<Face>> fallbacks;
    std::vector<std::pair<std::string, int32_t>> fallbackFiles;  // file and index of each
    std::unordered_map<uint32_t, Face*> fallbackOf;  // by character; null: none has it
};

namespace {

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
    FT_Face face = font->main.ft;
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

// The face of a fontconfig match, at the em size; null when it will not open
// at that size (a colour font with fixed bitmap sizes only, for one).
std::unique_ptr<Face> OpenFace(const char* file, int32_t index, int32_t pixelHeight, uint32_t flags) {
    FT_Face ftFace = nullptr;
    if (FT_New_Face(S.freetype, file, index, &ftFace) != 0) return nullptr;
    // An em of pixelHeight pixels, as a negative character height asks for
    // on the other platform.
    if (FT_Set_Pixel_Sizes(ftFace, 0, static_cast<FT_UInt>(pixelHeight)) != 0) {
        FT_Done_Face(ftFace);
        return nullptr;
    }
    if (!ftFace->charmap) FT_Select_Charmap(ftFace, FT_ENCODING_UNICODE);
    auto face = std::make_unique<Face>();
    face->ft = ftFace;
    face->hb = hb_ft_font_create_referenced(ftFace);
    // Hinted, as the glyphs are rendered: advances in whole pixels.
    hb_ft_font_set_load_flags(face->hb, FT_LOAD_DEFAULT);
    // The closest match may lack the weight or slant asked for.
    face->emboldenSynthetic = (flags & DisplayBackend::FontBold) && !(ftFace->style_flags & FT_STYLE_FLAG_BOLD);
    face->obliqueSynthetic = (flags & DisplayBackend::FontItalic) && !(ftFace->style_flags & FT_STYLE_FLAG_ITALIC);
    return face;
}

void CloseFace(Face* face) {
    hb_font_destroy(face->hb);
    FT_Done_Face(face->ft);
}

// The best installed match for the family, weight and slant asked for; with
// `character`, the best one among the faces that have it.
FcPattern* MatchFont(const char* family, uint32_t flags, int32_t pixelHeight, uint32_t character) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return nullptr;
    if (family[0]) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcPatternAddInteger(pattern, FC_WEIGHT, (flags & DisplayBackend::FontBold) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, (flags & DisplayBackend::FontItalic) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddDouble(pattern, FC_PIXEL_SIZE, pixelHeight);
    if (character) {
        FcCharSet* wanted = FcCharSetCreate();
        if (wanted) {
            FcCharSetAddChar(wanted, character);
            FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
            FcCharSetDestroy(wanted);
        }
    }
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    return match;
}

Font* OpenFont(const char* face, int32_t pixelHeight, uint32_t flags) {
    if (!EnsureFontSystem()) return nullptr;
    if (pixelHeight <= 0) pixelHeight = DefaultPixelHeight;
    std::vector<char> family;
    Cp1252ToUtf8(face, family);
    FcPattern* match = MatchFont(family.data(), flags, pixelHeight, 0);
    if (!match) return nullptr;
    FcChar8* file = nullptr;
    int index = 0;
    std::unique_ptr<Face> opened;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        opened = OpenFace(reinterpret_cast<const char*>(file), index, pixelHeight, flags);
    }
    FcPatternDestroy(match);
    if (!opened) return nullptr;

    Font* font = new Font{};
    font->main = std::move(*opened);
    font->pixelHeight = pixelHeight;
    font->flags = flags;
    font->family = family.data();
    ComputeMetrics(font);
    return font;
}

void CloseFont(Font* font) {
    if (!font) return;
    CloseFace(&font->main);
    for (auto& fallback : font->fallbacks) CloseFace(fallback.get());
    delete font;
}

// The installed face that has `character`, opened at the font's size; null
// when none has it. A face already open that has it serves: a list in one
// script then costs one fontconfig lookup, not one per character. Otherwise
// each character is looked up once per process, each file opened once per font.
Face* FallbackFace(Font* font, uint32_t character) {
    auto known = font->fallbackOf.find(character);
    if (known != font->fallbackOf.end()) return known->second;
    for (auto& open : font->fallbacks)
        if (FT_Get_Char_Index(open->ft, character) != 0) return font->fallbackOf[character] = open.get();
    auto file = S.fallbackFiles.find(character);
    if (file == S.fallbackFiles.end()) {
        std::pair<std::string, int32_t> found{std::string(), 0};
        if (FcPattern* match = MatchFont(font->family.c_str(), font->flags, font->pixelHeight, character)) {
            FcCharSet* has = nullptr;
            FcChar8* path = nullptr;
            int index = 0;
            if (FcPatternGetCharSet(match, FC_CHARSET, 0, &has) == FcResultMatch &&
                FcCharSetHasChar(has, character) &&
                FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
                FcPatternGetInteger(match, FC_INDEX, 0, &index);
                found = {reinterpret_cast<const char*>(path), index};
            }
            FcPatternDestroy(match);
        }
        file = S.fallbackFiles.emplace(character, found).first;
    }
    Face* face = nullptr;
    if (!file->second.first.empty()) {
        for (size_t i = 0; i < font->fallbackFiles.size(); ++i)
            if (font->fallbackFiles[i] == file->second) face = font->fallbacks[i].get();
        if (!face) {
            std::unique_ptr<Face> opened =
                OpenFace(file->second.first.c_str(), file->second.second, font->pixelHeight, font->flags);
            if (opened && FT_Get_Char_Index(opened->ft, character) != 0) {
                face = opened.get();
                font->fallbacks.push_back(std::move(opened));
                font->fallbackFiles.push_back(file->second);
            } else if (opened) {
                CloseFace(opened.get());
            }
        }
    }
    font->fallbackOf.emplace(character, face);
    return face;
}

const Glyph& GlyphOf(Face* face, uint32_t index) {
    Glyph& glyph = face->glyphs[index];
    if (glyph.loaded) return glyph;
    glyph.loaded = 1;
    if (FT_Load_Glyph(face->ft, index, FT_LOAD_DEFAULT) != 0) return glyph;
    FT_GlyphSlot slot = face->ft->glyph;
    if (face->emboldenSynthetic) FT_GlyphSlot_Embolden(slot);
    if (face->obliqueSynthetic) FT_GlyphSlot_Oblique(slot);
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

// A glyph where it goes: x from the start of the line, y up from the baseline.
struct Placed {
    Face* face;
    uint32_t index;
    int32_t x, y;
};

struct Line {
    std::vector<Placed> glyphs;
    int32_t advance;
};

int32_t Pixels26(hb_position_t value) { return static_cast<int32_t>((value + 32) >> 6); }

// Characters that belong to the character before them: marks, joiners,
// variation selectors.
bool Clings(uint32_t c) {
    switch (hb_unicode_general_category(hb_unicode_funcs_get_default(), c)) {
        case HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK:
        case HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK:
        case HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK:
            return true;
        default:
            return c == 0x200C || c == 0x200D || (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF);
    }
}

// Which face draws each character: the requested one whenever it has it.
std::vector<Face*> FacesOf(Font* font, const char32_t* text, int32_t length) {
    std::vector<Face*> faces(static_cast<size_t>(length), &font->main);
    Face* previous = &font->main;
    for (int32_t i = 0; i < length; ++i) {
        const uint32_t c = text[i];
        Face* face = &font->main;
        if (FT_Get_Char_Index(font->main.ft, c) == 0) {
            // The face of the character before keeps a script's letters together.
            if (i > 0 && FT_Get_Char_Index(previous->ft, c) != 0)
                face = previous;
            else if (Face* fallback = FallbackFace(font, c))
                face = fallback;
        } else if (i > 0 && Clings(c) && FT_Get_Char_Index(previous->ft, c) != 0) {
            face = previous;  // a mark stays with its letter, to be placed on it
        }
        faces[static_cast<size_t>(i)] = previous = face;
    }
    return faces;
}

// Each character's script, with common and inherited ones (spaces, digits,
// marks) taking the script around them, as a run must have one.
std::vector<hb_script_t> ScriptsOf(const char32_t* text, int32_t length) {
    hb_unicode_funcs_t* unicode = hb_unicode_funcs_get_default();
    std::vector<hb_script_t> scripts(static_cast<size_t>(length), HB_SCRIPT_COMMON);
    hb_script_t last = HB_SCRIPT_COMMON;
    for (int32_t i = 0; i < length; ++i) {
        hb_script_t script = hb_unicode_script(unicode, text[i]);
        if (script == HB_SCRIPT_COMMON || script == HB_SCRIPT_INHERITED || script == HB_SCRIPT_UNKNOWN)
            script = last;
        scripts[static_cast<size_t>(i)] = last = script;
    }
    // Leading common characters take the first real script.
    hb_script_t first = HB_SCRIPT_COMMON;
    for (hb_script_t script : scripts)
        if (script != HB_SCRIPT_COMMON) {
            first = script;
            break;
        }
    for (hb_script_t& script : scripts) {
        if (script != HB_SCRIPT_COMMON) break;
        script = first;
    }
    return scripts;
}

struct Run {
    int32_t start, length;
    FriBidiLevel level;
};

// The line in display order: levels by the bidirectional algorithm (base
// direction from the first strong character), runs of one level, face and
// script shaped in their direction, runs reordered by rule L2.
Line Layout(Font* font, const char32_t* text, int32_t length) {
    Line line{{}, 0};
    if (!text || length <= 0) return line;
    const size_t n = static_cast<size_t>(length);
    std::vector<FriBidiCharType> types(n);
    std::vector<FriBidiBracketType> brackets(n);
    std::vector<FriBidiLevel> levels(n, 0);
    const auto* chars = reinterpret_cast<const FriBidiChar*>(text);
    fribidi_get_bidi_types(chars, length, types.data());
    fribidi_get_bracket_types(chars, length, types.data(), brackets.data());
    FriBidiParType direction = FRIBIDI_PAR_ON;
    if (fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), length, &direction, levels.data()) == 0 ||
        fribidi_reorder_line(0, types.data(), length, 0, direction, levels.data(), nullptr, nullptr) == 0)
        std::fill(levels.begin(), levels.end(), 0);

    const std::vector<Face*> faces = FacesOf(font, text, length);
    const std::vector<hb_script_t> scripts = ScriptsOf(text, length);
    std::vector<Run> runs;
    for (int32_t i = 0; i < length; ++i) {
        const size_t at = static_cast<size_t>(i);
        if (i == 0 || levels[at] != levels[at - 1] || faces[at] != faces[at - 1] || scripts[at] != scripts[at - 1])
            runs.push_back(Run{i, 0, levels[at]});
        runs.back().length++;
    }
    FriBidiLevel highest = 0;
    for (const Run& run : runs) highest = std::max(highest, run.level);
    for (FriBidiLevel level = highest; level > 0; --level)
        for (size_t i = 0; i < runs.size();) {
            size_t end = i;
            while (end < runs.size() && runs[end].level >= level) ++end;
            std::reverse(runs.begin() + static_cast<std::ptrdiff_t>(i), runs.begin() + static_cast<std::ptrdiff_t>(end));
            i = end == i ? i + 1 : end;
        }

    // The requested face as GDI draws it: no kerning, no optional ligatures.
    static const hb_feature_t plain[] = {{HB_TAG('k', 'e', 'r', 'n'), 0, 0, ~0u},
                                         {HB_TAG('l', 'i', 'g', 'a'), 0, 0, ~0u},
                                         {HB_TAG('c', 'l', 'i', 'g'), 0, 0, ~0u}};
    if (!shapingBuffer) shapingBuffer = hb_buffer_create();
    hb_buffer_t* buffer = shapingBuffer;
    for (const Run& run : runs) {
        Face* face = faces[static_cast<size_t>(run.start)];
        hb_buffer_clear_contents(buffer);
        // The whole line goes in as context, so that letters join across runs.
        hb_buffer_add_utf32(buffer, reinterpret_cast<const uint32_t*>(text), length,
                            static_cast<unsigned>(run.start), run.length);
        hb_buffer_set_direction(buffer, (run.level & 1) ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
        hb_buffer_set_script(buffer, scripts[static_cast<size_t>(run.start)]);
        hb_buffer_set_language(buffer, hb_language_get_default());
        const bool main = face == &font->main;
        hb_shape(face->hb, buffer, main ? plain : nullptr, main ? 3 : 0);
        unsigned count = 0;
        const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer, &count);
        const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, &count);
        for (unsigned g = 0; g < count; ++g) {
            const Glyph& glyph = GlyphOf(face, infos[g].codepoint);
            line.glyphs.push_back(Placed{face, infos[g].codepoint, line.advance + Pixels26(positions[g].x_offset),
                                         Pixels26(positions[g].y_offset)});
            // The glyph's own whole-pixel advance, moved as far as the shaping
            // moved it (zero for a mark, a kerned pair's adjustment).
            const hb_position_t nominal = hb_font_get_glyph_h_advance(face->hb, infos[g].codepoint);
            line.advance += glyph.advance + Pixels26(positions[g].x_advance - nominal);
        }
    }
    return line;
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
    hb_buffer_destroy(shapingBuffer);
    shapingBuffer = nullptr;
    S.fallbackFiles.clear();
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
    return TextSize{Layout(font, text, length).advance, font->ascent + font->descent};
}

int32_t DrawText(FontRef ref, const Pixels& target, int32_t x, int32_t y, const char32_t* text,
                 int32_t length, uint32_t frontRgb, uint32_t backRgb) {
    Font* font = FromRef(ref);
    if (!font || !text || length <= 0) return 0;
    const Line line = Layout(font, text, length);
    const int32_t advance = line.advance;
    if (!target.data) return advance;
    const int32_t cellHeight = font->ascent + font->descent;
    frontRgb &= 0xFFFFFF;
    backRgb &= 0xFFFFFF;

    // Ink may leave the cell: marks above it, an italic lean past its end.
    const Clip clip{0, 0, target.width, target.height};
    FillRect(target, clip, x, y, x + advance, y + cellHeight, backRgb);

    const int32_t baseline = y + font->ascent;
    for (const Placed& placed : line.glyphs) {
        const Glyph& glyph = GlyphOf(placed.face, placed.index);
        const int64_t gx64 = static_cast<int64_t>(x) + placed.x + glyph.left;
        const int64_t gy64 = static_cast<int64_t>(baseline) - placed.y - glyph.top;
        if (gx64 >= clip.right || gy64 >= clip.bottom || gx64 + glyph.width <= 0 || gy64 + glyph.rows <= 0)
            continue;
        const int32_t gx = static_cast<int32_t>(gx64), gy = static_cast<int32_t>(gy64);
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
