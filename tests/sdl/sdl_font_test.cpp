// FreeType + fontconfig text of the SDL backend: face matching, the cell
// metrics that the layout of the text screens depends on, and drawing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "display/backend.h"
#include "display/backends/sdl/sdl_state.h"
#include "display/text_painter.h"

namespace {

using namespace DisplayBackend;

struct Canvas {
    std::vector<uint32_t> data;
    Pixels pixels;
    Canvas(int32_t w, int32_t h, uint32_t fill) : data(static_cast<size_t>(w) * h, fill) {
        pixels = Pixels{data.data(), w, h, w};
    }
    uint32_t At(int32_t x, int32_t y) const { return data[static_cast<size_t>(y) * pixels.pitch + x]; }
};

int32_t Height(FontRef font, const char* text) {
    return MeasureText(font, text, static_cast<int32_t>(std::strlen(text))).height;
}
int32_t Width(FontRef font, const char* text) {
    return MeasureText(font, text, static_cast<int32_t>(std::strlen(text))).width;
}

class SdlFonts : public ::testing::Test {
  protected:
    void TearDown() override {
        for (FontRef f : fonts_) FreeFont(f);
        Shutdown();
    }
    FontRef Load(const char* face, int32_t pixels, uint32_t flags = FontHighQuality) {
        FontRef f = LoadFont(face, pixels, flags);
        if (f) fonts_.push_back(f);
        return f;
    }
    std::vector<FontRef> fonts_;
};

// 20 and 36 points at 96 dpi are the sizes of an 800 x 600 and a 1080-line
// screen; the cell is the face's Windows ascent + descent, each rounded.
TEST_F(SdlFonts, SubstitutesHaveEmAndCellOfTheOriginalFaces) {
    ASSERT_EQ(LogicalDpiY(), 96);
    FontRef calibri27 = Load("Calibri", 27);
    FontRef calibri48 = Load("Calibri", 48);
    FontRef arial27 = Load("Arial", 27);
    ASSERT_NE(calibri27, 0);
    ASSERT_NE(calibri48, 0);
    ASSERT_NE(arial27, 0);
    EXPECT_STREQ(SdlBackend::FontFamily(calibri27), "Carlito");
    EXPECT_STREQ(SdlBackend::FontFamily(arial27), "Liberation Sans");

    auto* font = reinterpret_cast<SdlBackend::Font*>(calibri27);
    EXPECT_EQ(font->face->size->metrics.y_ppem, 27);
    // Carlito: winAscent 1950, winDescent 550 of 2048 units.
    EXPECT_EQ(Height(calibri27, " "), 26 + 7);
    EXPECT_EQ(Height(calibri48, " "), 46 + 13);
    // Liberation Sans: 1854 and 434.
    EXPECT_EQ(Height(arial27, " "), 24 + 6);
}

// What the experiment asks for: 20 and 36 points through the font table.
TEST_F(SdlFonts, PointSizesOfTheExperimentBecomeEmHeightsOf27And48) {
    FontHandle::Startup();
    const int32_t points[] = {20, 36}, ems[] = {27, 48};
    for (int i = 0; i < 2; i++) {
        FontRef f = FontHandle::Load(1, "Calibri", points[i], FontHighQuality);
        ASSERT_NE(f, 0);
        EXPECT_EQ(reinterpret_cast<SdlBackend::Font*>(f)->face->size->metrics.y_ppem, ems[i]);
        EXPECT_STREQ(SdlBackend::FontFamily(f), "Carlito");
    }
    FontHandle::Shutdown();
    EXPECT_EQ(SdlBackend::Get().liveFonts, 0);
}

TEST_F(SdlFonts, CellHeightDoesNotDependOnTheCharacters) {
    FontRef f = Load("Calibri", 27);
    ASSERT_NE(f, 0);
    EXPECT_EQ(Height(f, " "), Height(f, "Wg"));
    EXPECT_EQ(Height(f, "\xC9"), Height(f, "..."));
    EXPECT_EQ(MeasureText(f, "", 0).width, 0);
}

TEST_F(SdlFonts, WidthIsTheSumOfTheAdvancesAndDrawingAgrees) {
    FontRef f = Load("Calibri", 27);
    ASSERT_NE(f, 0);
    EXPECT_EQ(Width(f, "WOW"), 2 * Width(f, "W") + Width(f, "O"));
    // No kerning: "AV" is as wide as its letters apart.
    EXPECT_EQ(Width(f, "AV"), Width(f, "A") + Width(f, "V"));
    Canvas canvas(400, 60, 0xFFFFFF);
    EXPECT_EQ(DrawText(f, canvas.pixels, 5, 5, "Wortlaut", 8, 0, 0xFFFFFF), Width(f, "Wortlaut"));
}

TEST_F(SdlFonts, MissingFaceAndZeroSizeStillGiveAFont) {
    FontRef missing = Load("No Such Face At All", 27);
    ASSERT_NE(missing, 0);
    EXPECT_GT(Width(missing, "word"), 0);
    FontRef zero = Load("Calibri", 0);
    ASSERT_NE(zero, 0);
    EXPECT_EQ(reinterpret_cast<SdlBackend::Font*>(zero)->face->size->metrics.y_ppem, 16);
    FontRef system = SystemFont();
    ASSERT_NE(system, 0);
    EXPECT_EQ(SystemFont(), system);
    EXPECT_GT(Height(system, "x"), 0);
    EXPECT_EQ(FontIsItalic(system), 0);
    EXPECT_EQ(FontIsItalic(Load("Calibri", 27, FontItalic)), 1);
}

// On a white screen the word must not leave marks outside its cell: the
// screen is not cleared between a word and the next.
TEST_F(SdlFonts, BlackOnWhiteChangesOnlyTheCell) {
    FontRef f = Load("Calibri", 48);
    ASSERT_NE(f, 0);
    const char* text = "Wgj\xC4|";
    const int32_t len = static_cast<int32_t>(std::strlen(text));
    TextSize size = MeasureText(f, text, len);
    Canvas canvas(300, 120, 0xFFFFFF);
    const int32_t x = 20, y = 30;
    DrawText(f, canvas.pixels, x, y, text, len, 0x000000, 0xFFFFFF);
    int32_t inked = 0, black = 0;
    for (int32_t py = 0; py < canvas.pixels.height; py++) {
        for (int32_t px = 0; px < canvas.pixels.width; px++) {
            uint32_t p = canvas.At(px, py);
            bool inside = px >= x && px < x + size.width && py >= y && py < y + size.height;
            if (!inside) {
                ASSERT_EQ(p, 0xFFFFFFu) << "at " << px << "," << py;
                continue;
            }
            if (p != 0xFFFFFF) inked++;
            if (p == 0) black++;
            // Grey-scale antialiasing of black on white stays grey.
            EXPECT_TRUE((p & 0xFF) == ((p >> 8) & 0xFF) && (p & 0xFF) == (p >> 16));
        }
    }
    EXPECT_GT(black, 50);
    EXPECT_GT(inked, black);
}

TEST_F(SdlFonts, CellIsFilledWithTheBackColourAndClipped) {
    FontRef f = Load("Arial", 27);
    ASSERT_NE(f, 0);
    TextSize size = MeasureText(f, "  ", 2);
    Canvas canvas(100, 100, 0x123456);
    DrawText(f, canvas.pixels, 10, 10, "  ", 2, 0x000000, 0xFF0000);
    EXPECT_EQ(canvas.At(10, 10), 0xFF0000u);
    EXPECT_EQ(canvas.At(10 + size.width - 1, 10 + size.height - 1), 0xFF0000u);
    EXPECT_EQ(canvas.At(10 + size.width, 10), 0x123456u);
    EXPECT_EQ(canvas.At(9, 10), 0x123456u);
    // Partly or wholly off the target: clipped (ASan reports any write
    // outside the buffer).
    Canvas small(8, 8, 0x123456);
    DrawText(f, small.pixels, 4, 4, "Wg", 2, 0, 0xFF);
    EXPECT_EQ(small.At(4, 4), 0xFFu);
    EXPECT_EQ(small.At(3, 3), 0x123456u);
    EXPECT_GT(DrawText(f, small.pixels, -5, -20, "Wg", 2, 0, 0xFF), 0);
    EXPECT_GT(DrawText(f, small.pixels, 500, 500, "Wg", 2, 0, 0xFF), 0);
    EXPECT_GT(DrawText(f, small.pixels, -500, 2, "Wg", 2, 0, 0xFF), 0);
}

TEST_F(SdlFonts, BytesAreWindows1252) {
    EXPECT_EQ(SdlBackend::Cp1252ToUnicode(0x80), 0x20ACu);
    EXPECT_EQ(SdlBackend::Cp1252ToUnicode(0x9F), 0x178u);
    EXPECT_EQ(SdlBackend::Cp1252ToUnicode(0x81), 0x81u);
    EXPECT_EQ(SdlBackend::Cp1252ToUnicode(0xE9), 0xE9u);
    std::vector<char> utf8;
    SdlBackend::Cp1252ToUtf8("caf\xE9 \x80", utf8);
    EXPECT_STREQ(utf8.data(), "caf\xC3\xA9 \xE2\x82\xAC");
    // The euro sign is drawn from its own glyph, not the missing-glyph box.
    FontRef f = Load("Calibri", 27);
    ASSERT_NE(f, 0);
    auto* font = reinterpret_cast<SdlBackend::Font*>(f);
    EXPECT_NE(FT_Get_Char_Index(font->face, SdlBackend::Cp1252ToUnicode(0x80)), 0u);
}

}  // namespace
