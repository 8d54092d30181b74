// FreeType + fontconfig text of the SDL backend: face matching and the cell
// metrics that the layout of the text screens depends on.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "display/backend.h"
#include "display/text_painter.h"

namespace {

using namespace DisplayBackend;

int32_t Height(FontRef font, std::u32string_view text) {
    return MeasureText(font, text.data(), static_cast<int32_t>(text.size())).height;
}

class SdlFonts : public ::testing::Test {
  protected:
    void SetUp() override { FontHandle::Startup(); }
    void TearDown() override {
        FontHandle::Shutdown();
        Shutdown();
    }
};

// 20 and 36 points at 96 dpi are the sizes of an 800 x 600 and a 1080-line
// screen, 0 the default of 16 pixels; the cell is the face's Windows ascent +
// descent, each rounded, whatever the characters. So only the metric-compatible
// substitute at the right pixel size gives these cells.
TEST_F(SdlFonts, SubstitutesHaveTheCellsOfTheOriginalFaces) {
    ASSERT_EQ(LogicalDpiY(), 96);
    struct Row { const char* face; int32_t points, cell; };
    const Row rows[] = {{"Calibri", 20, 26 + 7},  // Carlito: winAscent 1950, winDescent 550 of 2048
                        {"Calibri", 36, 46 + 13},
                        {"Calibri", 0, 15 + 4},
                        {"Arial", 20, 24 + 6}};  // Liberation Sans: 1854 and 434
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.face) + " " + std::to_string(r.points));
        FontRef f = FontHandle::Load(1, r.face, r.points, FontHighQuality);
        ASSERT_NE(f, 0);
        EXPECT_EQ(Height(f, U" "), r.cell);
        EXPECT_EQ(Height(f, U"Wg\u00C9"), r.cell);
    }
}

TEST_F(SdlFonts, CellIsFilledWithTheBackColourAndClipped) {
    FontRef f = FontHandle::Load(1, "Arial", 20, FontHighQuality);
    ASSERT_NE(f, 0);
    TextSize size = MeasureText(f, U"  ", 2);
    std::vector<uint32_t> data(100 * 100, 0x123456);
    Pixels canvas{data.data(), 100, 100, 100};
    DrawText(f, canvas, 10, 10, U"  ", 2, 0x000000, 0xFF0000);
    EXPECT_EQ(data[10 * 100 + 10], 0xFF0000u);
    EXPECT_EQ(data[(9 + size.height) * 100 + 9 + size.width], 0xFF0000u);
    EXPECT_EQ(data[10 * 100 + 10 + size.width], 0x123456u);
    EXPECT_EQ(data[10 * 100 + 9], 0x123456u);
    // Off the target at every side: AddressSanitizer reports any write outside the buffer.
    for (int32_t at : {-500, -20, 95, 500}) DrawText(f, canvas, at, at, U"Wg", 2, 0, 0xFF);
}

}  // namespace
