// FreeType + fontconfig text of the SDL backend: face matching and the cell
// metrics that the layout of the text screens depends on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "display/backend.h"
#include "display/backends/sdl/sdl_state.h"
#include "display/text_painter.h"

namespace {

using namespace DisplayBackend;

int32_t Height(FontRef font, const char* text) {
    return MeasureText(font, text, static_cast<int32_t>(std::strlen(text)), TextCp1252).height;
}
int32_t Em(FontRef font) { return reinterpret_cast<SdlBackend::Font*>(font)->face->size->metrics.y_ppem; }

class SdlFonts : public ::testing::Test {
  protected:
    void SetUp() override { FontHandle::Startup(); }
    void TearDown() override {
        FontHandle::Shutdown();
        EXPECT_EQ(SdlBackend::Get().liveFonts, 0);
        Shutdown();
    }
};

// 20 and 36 points at 96 dpi are the sizes of an 800 x 600 and a 1080-line
// screen; the cell is the face's Windows ascent + descent, each rounded,
// whatever the characters.
TEST_F(SdlFonts, SubstitutesHaveEmAndCellOfTheOriginalFaces) {
    ASSERT_EQ(LogicalDpiY(), 96);
    struct Row { const char* face; int32_t points; const char* family; int32_t em, cell; };
    const Row rows[] = {{"Calibri", 20, "Carlito", 27, 26 + 7},  // winAscent 1950, winDescent 550
                        {"Calibri", 36, "Carlito", 48, 46 + 13},
                        {"Arial", 20, "Liberation Sans", 27, 24 + 6}};  // 1854 and 434
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.face) + " " + std::to_string(r.points));
        FontRef f = FontHandle::Load(1, r.face, r.points, FontHighQuality);
        ASSERT_NE(f, 0);
        EXPECT_STREQ(SdlBackend::FontFamily(f), r.family);
        EXPECT_EQ(Em(f), r.em);
        EXPECT_EQ(Height(f, " "), r.cell);
        EXPECT_EQ(Height(f, "Wg\xC9"), r.cell);
    }
    FontRef zero = FontHandle::Load(2, "Calibri", 0, FontHighQuality);
    ASSERT_NE(zero, 0);
    EXPECT_EQ(Em(zero), 16);
}

TEST_F(SdlFonts, CellIsFilledWithTheBackColourAndClipped) {
    FontRef f = FontHandle::Load(1, "Arial", 20, FontHighQuality);
    ASSERT_NE(f, 0);
    TextSize size = MeasureText(f, "  ", 2, TextCp1252);
    std::vector<uint32_t> data(100 * 100, 0x123456);
    Pixels canvas{data.data(), 100, 100, 100};
    DrawText(f, canvas, 10, 10, "  ", 2, TextCp1252, 0x000000, 0xFF0000);
    EXPECT_EQ(data[10 * 100 + 10], 0xFF0000u);
    EXPECT_EQ(data[(9 + size.height) * 100 + 9 + size.width], 0xFF0000u);
    EXPECT_EQ(data[10 * 100 + 10 + size.width], 0x123456u);
    EXPECT_EQ(data[10 * 100 + 9], 0x123456u);
    // Off the target at every side: ASan reports any write outside the buffer.
    for (int32_t at : {-500, -20, 95, 500}) DrawText(f, canvas, at, at, "Wg", 2, TextCp1252, 0, 0xFF);
}

TEST(SdlText, BytesAreWindows1252) {
    EXPECT_EQ(SdlBackend::Cp1252ToUnicode(0x80), 0x20ACu);
    EXPECT_EQ(SdlBackend::Cp1252ToUnicode(0xE9), 0xE9u);
}

}  // namespace
