// The display logic on the headless backend, on a clock the test moves by
// hand: script events fire once `now` (microseconds) reaches them.
#include <gtest/gtest.h>

#include <vector>

#include "display/backends/headless/headless.h"
#include "support/text/utf8.h"
#include "display/keyboard.h"
#include "display/screen.h"
#include "display/text_painter.h"

namespace {

using Event = Headless::ScriptEvent;
int64_t now = 0;

void Configure(std::vector<Event> script) {
    Headless::Config config;
    config.nowMicros = [] { return now; };
    config.script = std::move(script);
    Headless::Configure(config);
}

// Full screen: a focus loss is handled before the present it arrives with;
// until focus returns nothing is shown. (Lost surfaces: Run.AWordIsTimed...)
TEST(Screen, PresentWhileInactiveShowsNothing) {
    now = 0;
    Configure({Event{Event::FocusLost, 1, 0, 0}, Event{Event::FocusGained, 1, 1000, 0}});
    Screen::InitSystem();
    ASSERT_EQ(Screen::OpenFull(1024, 768, 32, "t", 2), 1);
    int32_t w = 0, h = 0;
    EXPECT_EQ(Screen::Present(), 1);
    Screen::Clear(ColourWhite);
    EXPECT_EQ(Screen::Present(), 1);
    EXPECT_EQ(Headless::PresentCount(), 1);
    EXPECT_EQ(Screen::LastPresentShown(), 0);
    EXPECT_EQ(Headless::LastFrame(&w, &h)[0], 0u);
    now = 1000;
    EXPECT_EQ(Screen::Present(), 1);
    EXPECT_EQ(Headless::PresentCount(), 2);
    EXPECT_EQ(Screen::LastPresentShown(), 1);
    EXPECT_EQ(Headless::LastFrame(&w, &h)[0], 0xFFFFFFu);
    Screen::Close();
}

// The program draws upright text only; an italic face must still measure
// the part of its last letter that leans past the advance.
TEST(TextPainter, ItalicOverhangWidensMeasuresButNotTheDrawnAdvance) {
    Configure({});
    FontHandle::Startup();
    Screen::InitSystem();
    ASSERT_EQ(Screen::OpenFull(1024, 768, 32, "t", 2), 1);
    ASSERT_NE(TextPainter::Begin(Screen::DrawingTarget()), 0);
    TextPainter::UseFont(FontHandle::Load(2, "Calibri", 36, DisplayBackend::FontHighQuality | DisplayBackend::FontItalic));
    // 48 pixels high: the headless italic box reaches 48/8 columns past the advance of 24.
    EXPECT_EQ(TextPainter::MeasureWidth("ab", Utf8::Legacy), 48 + 7);
    EXPECT_EQ(TextPainter::MeasureWidth("a", Utf8::Unicode), 24 + 7);
    EXPECT_EQ(TextPainter::PutText(100, 100, "ab", Utf8::Unicode, ColourBlack, ColourWhite), 148);
    TextPainter::End();
    Screen::Close();
    FontHandle::Shutdown();
}

// Answers come from the ordered changes, not from what two looks happen to see.
TEST(Keyboard, ReleasesFromOrderedChanges) {
    constexpr int32_t W = ScanCode::W, O = ScanCode::O, Esc = ScanCode::Escape;
    now = 0;
    Configure({Event{Event::KeyDown, 0, 0, W},
               // Esc tapped before the wait: no answer to it.
               Event{Event::KeyDown, 0, 0, Esc}, Event{Event::KeyUp, 0, 0, Esc},
               // A tap between two looks, shorter than any look's gap.
               Event{Event::KeyDown, 0, 10, O}, Event{Event::KeyUp, 0, 10, O},
               Event{Event::KeyUp, 0, 20, W},
               // Held while the focus is elsewhere and let go there: counted
               // once the keys can be read again; a key typed there is not.
               Event{Event::KeyDown, 0, 30, W}, Event{Event::FocusLost, 0, 40, 0},
               Event{Event::KeyDown, 0, 50, O}, Event{Event::KeyUp, 0, 50, O},
               Event{Event::KeyUp, 0, 60, W}, Event{Event::FocusGained, 0, 70, 0},
               // Three answer taps between two looks: the first one let go answers.
               Event{Event::KeyDown, 0, 80, O}, Event{Event::KeyUp, 0, 80, O},
               Event{Event::KeyDown, 0, 80, W}, Event{Event::KeyUp, 0, 80, W},
               Event{Event::KeyDown, 0, 80, O}, Event{Event::KeyUp, 0, 80, O}});
    ASSERT_EQ(KeyboardState::Init(), 1);
    KeyboardState::SetMode(KeyboardState::KeepSystemKey);
    ASSERT_EQ(KeyboardState::BeginWait(), 1);
    EXPECT_EQ(KeyboardState::IsHeld(W), 1);  // down before the wait: it answers when let go
    EXPECT_EQ(KeyboardState::WasReleased(Esc), 0);
    now = 10;
    ASSERT_EQ(KeyboardState::Poll(), 1);
    EXPECT_EQ(KeyboardState::WasReleased(O), 1);
    EXPECT_EQ(KeyboardState::WasReleased(O), 0);
    EXPECT_EQ(KeyboardState::WasReleased(W), 0);
    now = 20;
    KeyboardState::Poll();
    EXPECT_EQ(KeyboardState::WasReleased(W), 1);
    EXPECT_EQ(KeyboardState::IsHeld(W), 0);
    now = 30;
    KeyboardState::Poll();
    now = 60;
    EXPECT_EQ(KeyboardState::Poll(), 0);
    EXPECT_EQ(KeyboardState::WasReleased(W), 0);
    now = 70;
    EXPECT_EQ(KeyboardState::Poll(), 1);
    EXPECT_EQ(KeyboardState::WasReleased(W), 1);
    EXPECT_EQ(KeyboardState::WasReleased(O), 0);
    now = 80;
    KeyboardState::Poll();
    constexpr int32_t Answers[] = {W, O};
    EXPECT_EQ(KeyboardState::FirstReleased(Answers, 2), O);
    KeyboardState::Close();
}

}  // namespace
