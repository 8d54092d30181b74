#include "display/screen.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "display/app_window.h"
#include "display/backends/headless/headless.h"
#include "tests/support/scripted_display.h"

namespace {

using Event = ScriptedDisplay::Event;

class ScreenTest : public ::testing::Test {
protected:
    void TearDown() override {
        Screen::Close();
        AppWindow::Shutdown();
    }
    void Start(Headless::Config config = {}) {
        ScriptedDisplay::Configure(config);
        Screen::InitSystem();
    }
    static uint32_t ShownPixel() {
        int32_t w = 0, h = 0;
        return Headless::LastFrame(&w, &h)[0];
    }
};

TEST_F(ScreenTest, OnlyDepths16And32AndOfferedSizesReachTheBackend) {
    Headless::Config config;
    config.extraModes = {{800, 600}, {100000, 100000}, {16385, 10}};
    Start(config);
    for (int32_t depth : {0, 8, 15, 24, 64}) EXPECT_EQ(Screen::OpenFull(800, 600, depth, "t", 2), 0);
    EXPECT_EQ(Screen::OpenFull(640, 480, 32, "t", 2), 0);
    EXPECT_EQ(Screen::OpenFull(100000, 100000, 32, "t", 2), 0);
    EXPECT_EQ(Screen::OpenFull(16385, 10, 32, "t", 2), 0);
    EXPECT_EQ(Screen::OpenFull(-800, 600, 32, "t", 2), 0);
    EXPECT_TRUE(Headless::TraceLines().empty());
    EXPECT_EQ(Screen::OpenFull(800, 600, 16, "t", 2), 1);
    EXPECT_EQ(Screen::OpenFull(800, 600, 32, "t", 2), 1);
}

TEST_F(ScreenTest, PresentWhileInactiveShowsNothingAndLostReturnsZero) {
    Headless::Config config;
    config.script = {Event{Event::FocusLost, 1, 0, 0}, Event{Event::FocusGained, 1, 1000, 0},
                     Event{Event::FocusGained, 2, 5, 0}};
    Start(config);
    ASSERT_EQ(Screen::OpenFull(1024, 768, 32, "t", 2), 1);
    EXPECT_EQ(Screen::Present(), 1);
    Screen::Clear(ColourWhite);
    EXPECT_EQ(Screen::Present(), 1);  // the focus loss is handled first
    EXPECT_EQ(Headless::PresentCount(), 1);
    EXPECT_EQ(ShownPixel(), 0u);
    ScriptedDisplay::now = 1000;
    EXPECT_EQ(Screen::Present(), 1);
    EXPECT_EQ(Headless::PresentCount(), 2);
    EXPECT_EQ(ShownPixel(), 0xFFFFFFu);

    Headless::SetPresentOutcome(DisplayBackend::PresentLost, 1);
    EXPECT_EQ(Screen::Present(), 0);
    EXPECT_EQ(Screen::Present(), 1);  // dark until reactivated
    EXPECT_EQ(Headless::PresentCount(), 2);
    ScriptedDisplay::now = 1005;
    EXPECT_EQ(Screen::Present(), 1);
    EXPECT_EQ(Headless::PresentCount(), 3);
}

TEST_F(ScreenTest, OpenInWindowClosesTheOpenScreenEvenWhenTheNewOpenFails) {
    Start();
    ASSERT_EQ(Screen::OpenFull(1024, 768, 32, "t", 2), 1);
    EXPECT_EQ(Screen::OpenInWindow(0, 0, 0, 800, 600, 0, 0, 0, 2), 0);
    EXPECT_EQ(Screen::State().open, 0);
    const auto& trace = Headless::TraceLines();
    EXPECT_NE(std::find(trace.begin(), trace.end(), "close-surface"), trace.end());

    AppWindow::Startup();
    ASSERT_NE(AppWindow::Open(0, 0, 0, 800, 600, "wordtap", 0xCA0000, 0), 0);
    NativeWindow parent = AppWindow::NativeHandle(0);
    ASSERT_EQ(Screen::OpenInWindow(parent, 0, 0, 800, 600, 0, 0, 0, 2), 1);
    EXPECT_EQ(Screen::OpenInWindow(parent, 0, 0, 100000, 600, 0, 0, 0, 2), 0);
    EXPECT_EQ(Screen::State().open, 0);
    EXPECT_EQ(Screen::DrawingTarget(), nullptr);
}

}  // namespace
