#include "display/text_painter.h"

#include <gtest/gtest.h>

#include "display/backends/headless/headless.h"
#include "display/screen.h"

namespace {

constexpr uint32_t FontHighQuality = 16, FontItalic = 512;

TEST(FontPixelHeight, PointsBecomePixelsRoundedToTheNearest) {
    struct Row { int32_t points, dpi, pixels; };
    const Row rows[] = {{20, 96, 27}, {36, 96, 48}, {0, 96, 0}, {1, 36, 1}, {-1, 36, -1}};
    for (const Row& r : rows)
        EXPECT_EQ(FontHandle::PixelHeight(r.points, r.dpi), r.pixels) << r.points << " pt at " << r.dpi;
}

class TextTest : public ::testing::Test {
protected:
    void SetUp() override {
        Headless::Configure(Headless::Config{});
        FontHandle::Startup();
        Screen::InitSystem();
        ASSERT_EQ(Screen::OpenFull(1024, 768, 32, "t", 2), 1);
        ASSERT_NE(TextPainter::Begin(Screen::DrawingTarget()), 0);
    }
    void TearDown() override {
        TextPainter::End();
        Screen::Close();
        FontHandle::Shutdown();
    }
};

TEST_F(TextTest, EmptyTextIsNothingAndAnEmptyFontNumberKeepsTheFont) {
    TextPainter::UseFont(FontHandle::Load(1, "Calibri", 20, FontHighQuality));  // 27 px
    EXPECT_EQ(TextPainter::MeasureWidth(""), 0);
    EXPECT_EQ(TextPainter::MeasureHeight(""), 0);
    size_t traced = Headless::TraceLines().size();
    EXPECT_EQ(TextPainter::PutText(300, 40, "", ColourBlack, ColourWhite), 300);
    EXPECT_EQ(Headless::TraceLines().size(), traced);  // no text line
    TextPainter::UseFont(FontHandle::Find(9));
    EXPECT_EQ(TextPainter::MeasureHeight(" "), Headless::FontCellHeight(27));
}

TEST_F(TextTest, ItalicOverhangWidensMeasuresButNotTheDrawnAdvance) {
    TextPainter::UseFont(FontHandle::Load(2, "Calibri", 36, FontHighQuality | FontItalic));  // 48 px
    // The headless italic box reaches 48/8 columns past the advance of 24.
    EXPECT_EQ(TextPainter::MeasureWidth("ab"), 48 + 7);
    EXPECT_EQ(TextPainter::MeasureWidth("a"), 24 + 7);
    EXPECT_EQ(TextPainter::PutText(100, 100, "ab", ColourBlack, ColourWhite), 148);
}

}  // namespace
