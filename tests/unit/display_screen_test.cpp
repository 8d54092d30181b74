#include "display/screen.h"

#include <gtest/gtest.h>

#include "display/backends/headless/headless.h"
#include "tests/support/scripted_display.h"

namespace {

using Event = ScriptedDisplay::Event;

// Full screen: a focus loss is handled before the present it arrives with;
// until focus returns nothing is shown, and a lost surface stays dark too.
TEST(Screen, PresentWhileInactiveShowsNothingAndALostSurfaceReturnsZero) {
    Headless::Config config;
    config.script = {Event{Event::FocusLost, 1, 0, 0}, Event{Event::FocusGained, 1, 1000, 0},
                     Event{Event::FocusGained, 2, 5, 0}};
    ScriptedDisplay::Configure(config);
    Screen::InitSystem();
    ASSERT_EQ(Screen::OpenFull(1024, 768, 32, "t", 2), 1);
    int32_t w = 0, h = 0;
    EXPECT_EQ(Screen::Present(), 1);
    Screen::Clear(ColourWhite);
    EXPECT_EQ(Screen::Present(), 1);
    EXPECT_EQ(Headless::PresentCount(), 1);
    EXPECT_EQ(Headless::LastFrame(&w, &h)[0], 0u);
    ScriptedDisplay::now = 1000;
    EXPECT_EQ(Screen::Present(), 1);
    EXPECT_EQ(Headless::PresentCount(), 2);
    EXPECT_EQ(Headless::LastFrame(&w, &h)[0], 0xFFFFFFu);

    Headless::SetPresentOutcome(DisplayBackend::PresentLost, 1);
    EXPECT_EQ(Screen::Present(), 0);
    EXPECT_EQ(Screen::Present(), 1);
    EXPECT_EQ(Headless::PresentCount(), 2);
    ScriptedDisplay::now = 1005;
    EXPECT_EQ(Screen::Present(), 1);
    EXPECT_EQ(Headless::PresentCount(), 3);
    Screen::Close();
}

}  // namespace
