#include "display/text_painter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "display/backends/headless/headless.h"
#include "display/screen.h"

namespace {

constexpr uint32_t FontHighQuality = 16, FontItalic = 512;

class TextTest : public ::testing::Test {
protected:
    void SetUp() override { Start(Headless::Config{}); }
    void TearDown() override {
        TextPainter::End();
        Screen::Close();
        FontHandle::Shutdown();
    }
    void Start(const Headless::Config& config) {
        TextPainter::End();
        Screen::Close();
        FontHandle::Shutdown();
        Headless::Configure(config);
        FontHandle::Startup();
        Screen::InitSystem();
        ASSERT_EQ(Screen::OpenFull(1024, 768, 32, "t", 2), 1);
    }
    static int TextLines() {
        const auto& lines = Headless::TraceLines();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.rfind("text ", 0) == 0;
        }));
    }
    static uint32_t Pixel(int32_t x, int32_t y) {
        DisplayBackend::Pixels p = DisplayBackend::BackBuffer();
        return p.data[y * p.pitch + x];
    }
};

TEST(FontPixelHeight, PointsBecomePixelsRoundedToTheNearest) {
    EXPECT_EQ(FontHandle::PixelHeight(20, 96), 27);  // 26.67
    EXPECT_EQ(FontHandle::PixelHeight(36, 96), 48);
    EXPECT_EQ(FontHandle::PixelHeight(0, 96), 0);
    EXPECT_EQ(FontHandle::PixelHeight(1, 96), 1);    // 1.33
    EXPECT_EQ(FontHandle::PixelHeight(1, 36), 1);    // 0.5: away from zero
    EXPECT_EQ(FontHandle::PixelHeight(-1, 36), -1);
    EXPECT_EQ(FontHandle::PixelHeight(25, 120), 42); // 41.67
}

TEST_F(TextTest, FontsLoadByNumberAndReplaceWhatTheNumberHeld) {
    EXPECT_EQ(FontHandle::Find(1), 0);
    FontRef first = FontHandle::Load(1, "Calibri", 20, FontHighQuality);
    ASSERT_NE(first, 0);
    EXPECT_EQ(FontHandle::Find(1), first);
    EXPECT_EQ(Headless::LoadedFontCount(), 1);

    FontRef second = FontHandle::Load(1, "Arial", 36, FontHighQuality);
    ASSERT_NE(second, 0);
    EXPECT_NE(second, first);
    EXPECT_EQ(FontHandle::Find(1), second);
    EXPECT_EQ(Headless::LoadedFontCount(), 1);  // the first one was freed

    EXPECT_NE(FontHandle::Load(2, "Calibri", 0, FontHighQuality), 0);  // size 0 still loads
    EXPECT_EQ(FontHandle::Find(5), 0);
    EXPECT_EQ(FontHandle::Find(1000), 0);
    EXPECT_EQ(FontHandle::Find(-7), 0);

    FontRef unnumbered = FontHandle::Load(-1, "Calibri", 12, 0);
    EXPECT_LT(unnumbered, 0);
    EXPECT_NE(FontHandle::Find(static_cast<int32_t>(unnumbered)), 0);
    EXPECT_EQ(Headless::LoadedFontCount(), 3);

    FontHandle::Shutdown();
    EXPECT_EQ(Headless::LoadedFontCount(), 0);
}

TEST_F(TextTest, FailedLoadLeavesTheNumberEmpty) {
    Headless::Config config;
    config.failFonts = 1;
    Start(config);
    EXPECT_EQ(FontHandle::Load(1, "Calibri", 20, FontHighQuality), 0);
    EXPECT_EQ(FontHandle::Find(1), 0);
    EXPECT_EQ(FontHandle::Load(-1, "Calibri", 20, FontHighQuality), 0);
}

TEST_F(TextTest, MeasuresFollowTheFontAndEmptyTextIsNothing) {
    FontRef font = FontHandle::Load(1, "Calibri", 20, FontHighQuality);  // 27 px
    ASSERT_NE(TextPainter::Begin(Screen::DrawingTarget()), 0);
    // The system font until another is chosen.
    EXPECT_EQ(TextPainter::MeasureHeight("x"), Headless::FontCellHeight(0));
    TextPainter::UseFont(font);
    int32_t cell = Headless::FontCellHeight(27);
    EXPECT_EQ(TextPainter::MeasureHeight(" "), cell);
    EXPECT_EQ(TextPainter::MeasureHeight("Wordy text"), cell);
    EXPECT_EQ(TextPainter::MeasureWidth("abc"), 3 * Headless::FontAdvance(27));
    EXPECT_EQ(TextPainter::MeasureWidth(""), 0);
    EXPECT_EQ(TextPainter::MeasureHeight(""), 0);
    // A zero byte ends the text, as in the C strings the program reads.
    EXPECT_EQ(TextPainter::MeasureWidth(std::string_view("ab\0cd", 5)), 2 * Headless::FontAdvance(27));

    // A number that holds no font keeps the one in effect; -1 is the system font.
    TextPainter::UseFont(FontHandle::Find(9));
    EXPECT_EQ(TextPainter::MeasureHeight(" "), cell);
    TextPainter::UseFont(-1);
    EXPECT_EQ(TextPainter::MeasureHeight(" "), Headless::FontCellHeight(0));
}

TEST_F(TextTest, ItalicOverhangWidensEveryNonEmptyMeasure) {
    FontRef upright = FontHandle::Load(1, "Calibri", 36, FontHighQuality);  // 48 px
    FontRef italic = FontHandle::Load(2, "Calibri", 36, FontHighQuality | FontItalic);
    ASSERT_NE(TextPainter::Begin(Screen::DrawingTarget()), 0);
    TextPainter::UseFont(upright);
    EXPECT_EQ(TextPainter::Current()->italicOverhang, 0);
    EXPECT_EQ(TextPainter::MeasureWidth("ab"), 48);
    TextPainter::UseFont(italic);
    // The headless italic box reaches 48/8 columns past the advance.
    EXPECT_EQ(TextPainter::Current()->italicOverhang, 48 / 8 + 1);
    EXPECT_EQ(TextPainter::MeasureWidth("ab"), 48 + 7);
    EXPECT_EQ(TextPainter::MeasureWidth("a"), 24 + 7);
    EXPECT_EQ(TextPainter::MeasureWidth(""), 0);
    // The advance returned by drawing is the text's own, without overhang.
    EXPECT_EQ(TextPainter::PutText(100, 100, "ab", ColourBlack, ColourWhite), 148);
}

TEST_F(TextTest, PutTextDrawsGlyphsOnTheBackColourAndReturnsTheEnd) {
    FontRef font = FontHandle::Load(1, "Calibri", 36, FontHighQuality);  // 48 px, advance 24
    Screen::Clear(ColourWhite);
    ASSERT_NE(TextPainter::Begin(Screen::DrawingTarget()), 0);
    TextPainter::UseFont(font);
    EXPECT_EQ(TextPainter::PutText(10, 20, "A B", 0x0000FF, 0x00FF00), 10 + 3 * 24);
    EXPECT_EQ(Pixel(10 + 12, 20 + 30), 0xFF0000u);  // glyph in red (ColourRef 0x0000FF)
    EXPECT_EQ(Pixel(10 + 12, 20), 0x00FF00u);       // cell above the glyph in the back colour
    EXPECT_EQ(Pixel(10 + 24 + 12, 20 + 30), 0x00FF00u);  // the blank
    EXPECT_EQ(Pixel(9, 20 + 30), 0xFFFFFFu);
    EXPECT_EQ(Pixel(10 + 72, 20 + 30), 0xFFFFFFu);
    EXPECT_EQ(Pixel(12, 20 + Headless::FontCellHeight(48)), 0xFFFFFFu);

    int before = TextLines();
    EXPECT_EQ(TextPainter::PutText(300, 40, "", ColourBlack, ColourWhite), 300);
    EXPECT_EQ(TextLines(), before);
    // Clipped at the edges rather than written outside the buffer.
    EXPECT_EQ(TextPainter::PutText(-30, -10, "edge", ColourBlack, ColourWhite), -30 + 96);
    EXPECT_EQ(TextPainter::PutText(1000, 760, "edge", ColourBlack, ColourWhite), 1096);
    TextPainter::End();
    EXPECT_EQ(TextPainter::Current(), nullptr);
}

TEST_F(TextTest, ColoursAreAppliedOnlyWhenTheyChange) {
    ASSERT_NE(TextPainter::Begin(Screen::DrawingTarget()), 0);
    for (int i = 0; i < 10; ++i) TextPainter::PutText(0, i * 20, "line", ColourBlack, ColourWhite);
    EXPECT_EQ(TextPainter::Current()->colourChanges, 2);
    TextPainter::PutText(0, 0, "line", 0x0000FF, ColourWhite);
    EXPECT_EQ(TextPainter::Current()->colourChanges, 3);
    TextPainter::End();
    // Every painter starts without applied colours.
    ASSERT_NE(TextPainter::Begin(Screen::DrawingTarget()), 0);
    TextPainter::PutText(0, 0, "line", ColourBlack, ColourWhite);
    EXPECT_EQ(TextPainter::Current()->colourChanges, 2);
}

TEST_F(TextTest, WithoutAPainterEverythingIsZero) {
    EXPECT_EQ(TextPainter::Begin(nullptr), 0);
    TextPainter::UseFont(-1);
    EXPECT_EQ(TextPainter::MeasureWidth("abc"), 0);
    EXPECT_EQ(TextPainter::MeasureHeight("abc"), 0);
    EXPECT_EQ(TextPainter::PutText(10, 10, "abc", ColourBlack, ColourWhite), 0);
    TextPainter::End();
    EXPECT_EQ(TextLines(), 0);

    Screen::Close();
    EXPECT_EQ(TextPainter::Begin(Screen::DrawingTarget()), 0);
    EXPECT_EQ(TextPainter::Current(), nullptr);
}

}  // namespace
