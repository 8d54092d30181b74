#include "display/text_painter.h"

#include <gtest/gtest.h>

#include "display/backends/headless/headless.h"
#include "display/screen.h"

namespace {

// The program draws upright text only; an italic face must still measure
// the part of its last letter that leans past the advance.
TEST(TextPainter, ItalicOverhangWidensMeasuresButNotTheDrawnAdvance) {
    Headless::Configure(Headless::Config{});
    FontHandle::Startup();
    Screen::InitSystem();
    ASSERT_EQ(Screen::OpenFull(1024, 768, 32, "t", 2), 1);
    ASSERT_NE(TextPainter::Begin(Screen::DrawingTarget()), 0);
    TextPainter::UseFont(FontHandle::Load(2, "Calibri", 36, DisplayBackend::FontHighQuality | DisplayBackend::FontItalic));
    // 48 pixels high: the headless italic box reaches 48/8 columns past the advance of 24.
    EXPECT_EQ(TextPainter::MeasureWidth("ab"), 48 + 7);
    EXPECT_EQ(TextPainter::MeasureWidth("a"), 24 + 7);
    EXPECT_EQ(TextPainter::PutText(100, 100, "ab", ColourBlack, ColourWhite), 148);
    TextPainter::End();
    Screen::Close();
    FontHandle::Shutdown();
}

}  // namespace
