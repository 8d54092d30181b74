#include "display/app_window.h"

#include <gtest/gtest.h>

#include <vector>

#include "display/backends/headless/headless.h"
#include "tests/support/scripted_display.h"

namespace {

using Event = ScriptedDisplay::Event;

TEST(AppWindow, CloseRequestsAndOtherEqualEventsInARowComeBackAsOne) {
    ScriptedDisplay::Configure({}, {Event{Event::CloseRequest, 0, 10, 0}, Event{Event::CloseRequest, 0, 10, 0}});
    AppWindow::Startup();
    ASSERT_NE(AppWindow::Open(0, AppWindow::DefaultPosition, AppWindow::DefaultPosition, 800, 600, "wordtap", 0xCA0000, 0), 0);
    EXPECT_EQ(AppWindow::PollEvent(), 0);
    ScriptedDisplay::now = 10;
    EXPECT_NE(AppWindow::PollEvent(), AppWindow::CloseRequest);  // the platform's own message, dispatched
    EXPECT_EQ(AppWindow::PollEvent(), AppWindow::CloseRequest);
    EXPECT_EQ(AppWindow::PollEvent(), 0);
    EXPECT_EQ(AppWindow::Exists(0), 1);  // the window stays until the program closes it

    QueuedEvent close{AppWindow::CloseRequest, 0, 0, 0, 0, 0}, other{5, 0, 0, 0, 0, 0},
        high{70000, 0, 0, 0, 0, 0};  // numbers from 65536 up are never merged
    for (const QueuedEvent& e : {close, close, other, close, high, high}) AppWindow::PostEvent(e);
    std::vector<int32_t> seen;
    while (int32_t number = AppWindow::PollEvent()) seen.push_back(number);
    EXPECT_EQ(seen, (std::vector<int32_t>{16, 5, 16, 70000, 70000}));
    AppWindow::Shutdown();
}

}  // namespace
