#include "display/screen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "display/app_window.h"
#include "display/backends/headless/headless.h"
#include "display/text_painter.h"

namespace {

int64_t fakeNow = 0;
int64_t FakeNow() { return fakeNow; }
int retraceWaits = 0;
void CountRetrace() { ++retraceWaits; }

using Event = Headless::ScriptEvent;

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override { Start(Headless::Config{}); }
    void TearDown() override {
        TextPainter::End();
        Screen::Close();
        AppWindow::Shutdown();
    }
    void Start(Headless::Config config) {
        TextPainter::End();
        Screen::Close();
        AppWindow::Shutdown();
        fakeNow = 0;
        retraceWaits = 0;
        config.nowMicros = FakeNow;
        config.waitForRetrace = CountRetrace;
        Headless::Configure(config);
        Screen::InitSystem();
    }
    static bool Traced(const std::string& line) {
        const auto& lines = Headless::TraceLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

TEST_F(ScreenTest, FullScreenTakesOnlyDepths16And32) {
    for (int32_t depth : {0, 8, 15, 24, 64}) EXPECT_EQ(Screen::OpenFull(1024, 768, depth, "t", 2), 0);
    EXPECT_FALSE(Screen::State().open);
    EXPECT_FALSE(Traced("close-surface"));

    ASSERT_EQ(Screen::OpenFull(1024, 768, 16, "t", 2), 1);
    EXPECT_EQ(Screen::State().pixelCode, 2u);
    EXPECT_EQ(Screen::State().depth, 16);
    ASSERT_EQ(Screen::OpenFull(1024, 768, 32, "t", 2, 60), 1);
    EXPECT_EQ(Screen::State().pixelCode, 64u);
    EXPECT_TRUE(Traced("open-full 1024 768 32 60"));
}

TEST_F(ScreenTest, RefreshMinusOneAsksForTheDefaultRate) {
    ASSERT_EQ(Screen::OpenFull(1024, 768, 32, "wordtap", 2, -1), 1);
    EXPECT_EQ(Screen::State().refreshRate, 0);
    EXPECT_TRUE(Traced("open-full 1024 768 32 0"));
}

TEST_F(ScreenTest, OnlyOfferedModesOpenAndAbsurdSizesNeverReachTheBackend) {
    Headless::Config config;
    config.extraModes = {{800, 600}, {100000, 100000}, {16385, 10}};
    Start(config);
    EXPECT_EQ(Screen::OpenFull(640, 480, 32, "t", 2), 0);
    EXPECT_EQ(Screen::OpenFull(100000, 100000, 32, "t", 2), 0);
    EXPECT_EQ(Screen::OpenFull(16385, 10, 32, "t", 2), 0);
    EXPECT_EQ(Screen::OpenFull(-800, 600, 32, "t", 2), 0);
    EXPECT_EQ(Screen::OpenFull(0, 0, 32, "t", 2), 0);
    EXPECT_TRUE(Headless::TraceLines().empty());
    EXPECT_EQ(Screen::OpenFull(800, 600, 32, "t", 2), 1);
    EXPECT_EQ(Screen::State().width, 800);
    EXPECT_EQ(Screen::State().height, 600);
}

TEST_F(ScreenTest, FailedDrawingSystemFailsEveryOpen) {
    Headless::Config config;
    config.failInitSystem = 1;
    Start(config);
    EXPECT_EQ(Screen::OpenFull(1024, 768, 32, "t", 2), 0);
    EXPECT_EQ(Screen::State().open, 0);
}

TEST_F(ScreenTest, WithoutAScreenEveryOperationDoesNothing) {
    Screen::Clear(ColourWhite);
    Screen::Close();
    EXPECT_EQ(Screen::DrawingTarget(), nullptr);
    EXPECT_EQ(Screen::Present(), 0);
    EXPECT_TRUE(Headless::TraceLines().empty());
    EXPECT_EQ(Headless::PresentCount(), 0);
}

TEST_F(ScreenTest, ClearFillsWithTheColourInRedGreenBlueOrder) {
    ASSERT_EQ(Screen::OpenFull(1024, 768, 32, "t", 2), 1);
    Screen::Present();
    int32_t w = 0, h = 0;
    auto frame = Headless::LastFrame(&w, &h);
    ASSERT_EQ(frame.size(), 1024u * 768u);
    EXPECT_EQ(frame[0], 0u);  // opened black
    Screen::Clear(0x0080FF);  // ColourRef: red FF, green 80, blue 00
    Screen::Present();
    frame = Headless::LastFrame(&w, &h);
    EXPECT_TRUE(std::all_of(frame.begin(), frame.end(), [](uint32_t p) { return p == 0xFF8000u; }));
}

TEST_F(ScreenTest, PresentWhileInactiveShowsNothingAndDoesNotWait) {
    Headless::Config config;
    config.script = {Event{Event::FocusLost, 1, 0, 0}, Event{Event::FocusGained, 1, 1000000, 0}};
    Start(config);
    ASSERT_EQ(Screen::OpenFull(1024, 768, 32, "t", 2), 1);
    EXPECT_EQ(Screen::Present(), 1);
    EXPECT_EQ(Headless::PresentCount(), 1);
    EXPECT_EQ(retraceWaits, 1);

    Screen::Clear(ColourWhite);
    EXPECT_EQ(Screen::Present(), 1);  // the focus loss is handled first
    EXPECT_EQ(Screen::State().presentActive, 0);
    EXPECT_EQ(Headless::PresentCount(), 1);
    EXPECT_EQ(retraceWaits, 1);
    int32_t w = 0, h = 0;
    EXPECT_EQ(Headless::LastFrame(&w, &h)[0], 0u);

    fakeNow = 1000000;
    EXPECT_EQ(Screen::Present(), 1);
    EXPECT_EQ(Screen::State().presentActive, 1);
    EXPECT_EQ(Headless::PresentCount(), 2);
    EXPECT_EQ(Headless::LastFrame(&w, &h)[0], 0xFFFFFFu);
}

TEST_F(ScreenTest, LostSurfaceReturnsZeroAndStaysDarkUntilReactivated) {
    Headless::Config config;
    config.script = {Event{Event::FocusGained, 0, 5, 0}};
    Start(config);
    ASSERT_EQ(Screen::OpenFull(1024, 768, 32, "t", 2), 1);
    Headless::SetPresentOutcome(DisplayBackend::PresentLost, 1);
    EXPECT_EQ(Screen::Present(), 0);
    EXPECT_EQ(Screen::State().presentActive, 0);
    EXPECT_EQ(Screen::Present(), 1);
    EXPECT_EQ(Headless::PresentCount(), 0);
    fakeNow = 5;
    EXPECT_EQ(Screen::Present(), 1);
    EXPECT_EQ(Headless::PresentCount(), 1);

    // A present that merely fails reports 1 but also stops presenting.
    Headless::SetPresentOutcome(DisplayBackend::PresentFailed, 1);
    EXPECT_EQ(Screen::Present(), 1);
    EXPECT_EQ(Screen::State().presentActive, 0);
}

TEST_F(ScreenTest, RetraceModeZeroPresentsAtOnce) {
    ASSERT_EQ(Screen::OpenFull(1024, 768, 32, "t", 0), 1);
    Screen::Present();
    EXPECT_EQ(retraceWaits, 0);
    EXPECT_EQ(Headless::PresentCount(), 1);
}

TEST_F(ScreenTest, CloseRequestToTheFullScreenIsIgnored) {
    Headless::Config config;
    config.script = {Event{Event::CloseRequest, 0, 0, 0}};
    Start(config);
    ASSERT_EQ(Screen::OpenFull(1024, 768, 32, "t", 2), 1);
    EXPECT_EQ(Screen::Present(), 1);
    EXPECT_EQ(Screen::Present(), 1);
    EXPECT_EQ(Screen::State().open, 1);
    EXPECT_EQ(Headless::PresentCount(), 2);
}

TEST_F(ScreenTest, OpenInWindowClosesTheOpenScreenEvenWhenTheNewOpenFails) {
    ASSERT_EQ(Screen::OpenFull(1024, 768, 32, "t", 2), 1);
    EXPECT_EQ(Screen::OpenInWindow(0, 0, 0, 800, 600, 0, 0, 0, 2), 0);
    EXPECT_EQ(Screen::State().open, 0);
    EXPECT_TRUE(Traced("close-surface"));

    AppWindow::Startup();
    ASSERT_NE(AppWindow::Open(0, AppWindow::DefaultPosition, AppWindow::DefaultPosition, 800, 600,
                              "wordtap", 0xCA0000, 0),
              0);
    NativeWindow parent = AppWindow::NativeHandle(0);
    ASSERT_EQ(Screen::OpenInWindow(parent, 0, 0, 800, 600, 0, 0, 0, 2), 1);
    EXPECT_EQ(Screen::OpenInWindow(parent, 0, 0, 100000, 600, 0, 0, 0, 2), 0);
    EXPECT_EQ(Screen::State().open, 0);
    EXPECT_EQ(Screen::State().windowed, 0);
    EXPECT_EQ(Screen::DrawingTarget(), nullptr);
}

TEST_F(ScreenTest, WindowedScreenFillsTheWindowAndPresentsWithoutTakingMessages) {
    Headless::Config config;
    config.script = {Event{Event::FocusLost, 0, 0, 0}};
    Start(config);
    AppWindow::Startup();
    ASSERT_NE(AppWindow::Open(0, AppWindow::DefaultPosition, AppWindow::DefaultPosition, 800, 600,
                              "wordtap", 0xCA0000, 0),
              0);
    ASSERT_EQ(Screen::OpenInWindow(AppWindow::NativeHandle(0), 0, 0, 800, 600, 0, 0, 0, 2), 1);
    EXPECT_TRUE(Traced("surface-in-window 800 600"));
    EXPECT_EQ(Screen::State().windowed, 1);
    EXPECT_EQ(Screen::State().pixelCode, 64u);
    EXPECT_EQ(Screen::State().refreshRate, 60);
    // Activation changes belong to the window's poll, not to the present.
    EXPECT_EQ(Screen::Present(), 1);
    EXPECT_EQ(Headless::PresentCount(), 1);
    EXPECT_EQ(AppWindow::PollEvent() != 0, true);
}

TEST_F(ScreenTest, DrawingTargetCoversTheBackBufferUntilGivenBack) {
    ASSERT_EQ(Screen::OpenFull(1024, 768, 32, "t", 2), 1);
    PainterRecord* record = Screen::DrawingTarget();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->kind, PainterRecord::ScreenTarget);
    EXPECT_EQ(record->width, 1024);
    EXPECT_EQ(record->height, 768);
    EXPECT_EQ(record->pixels.data, DisplayBackend::BackBuffer().data);
    ASSERT_NE(record->giveBack, nullptr);
    ASSERT_NE(TextPainter::Begin(record), 0);
    TextPainter::End();
    EXPECT_EQ(record->pixels.data, nullptr);

    // Closing under a painter leaves it nothing to draw into.
    ASSERT_NE(TextPainter::Begin(Screen::DrawingTarget()), 0);
    Screen::Close();
    EXPECT_EQ(TextPainter::PutText(5, 5, "late", ColourBlack, ColourWhite), 5);
    TextPainter::End();
}

}  // namespace
