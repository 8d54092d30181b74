#include "display/app_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "display/backends/headless/headless.h"
#include "display/desktop.h"
#include "display/screen.h"

namespace {

int64_t fakeNow = 0;
int64_t FakeNow() { return fakeNow; }

using Event = Headless::ScriptEvent;

constexpr uint32_t ProgramFlags = 0xCA0000;

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { Start({}); }
    void TearDown() override {
        Screen::Close();
        AppWindow::Shutdown();
    }
    void Start(std::vector<Event> script, int failWindow = 0) {
        Screen::Close();
        AppWindow::Shutdown();
        fakeNow = 0;
        Headless::Config config;
        config.nowMicros = FakeNow;
        config.failWindow = failWindow;
        config.script = std::move(script);
        Headless::Configure(config);
        AppWindow::Startup();
        Screen::InitSystem();
    }
    static int32_t OpenProgramWindow() {
        return AppWindow::Open(0, AppWindow::DefaultPosition, AppWindow::DefaultPosition, 800, 600,
                               "wordtap", ProgramFlags, 0);
    }
    // Polls until nothing is pending; the event numbers seen.
    static std::vector<int32_t> Drain() {
        std::vector<int32_t> seen;
        for (int i = 0; i < 100; ++i) {
            int32_t number = AppWindow::PollEvent();
            if (number == 0) break;
            seen.push_back(number);
        }
        return seen;
    }
};

TEST_F(WindowTest, NothingPendingAndNothingOpen) {
    EXPECT_EQ(AppWindow::Exists(0), 0);
    EXPECT_EQ(AppWindow::NativeHandle(0), 0);
    EXPECT_EQ(AppWindow::PollEvent(), 0);
    AppWindow::Close(0);
    AppWindow::Close(-1);
    EXPECT_EQ(AppWindow::Exists(-1), 0);
}

TEST_F(WindowTest, TheProgramWindowHasExactlyTheAskedClientArea) {
    ASSERT_NE(OpenProgramWindow(), 0);
    EXPECT_EQ(AppWindow::Exists(0), 1);
    EXPECT_NE(AppWindow::NativeHandle(0), 0);
    const auto& trace = Headless::TraceLines();
    EXPECT_NE(std::find(trace.begin(), trace.end(), "open-window 800 600 wordtap"), trace.end());
    DisplayBackend::WindowSpec request = Headless::LastWindowSpec();
    EXPECT_EQ(request.style, ProgramFlags);
    EXPECT_EQ(request.defaultPosition, 1);
    EXPECT_EQ(request.hidden, 0);
    EXPECT_EQ(request.centreOnScreen, 0);
}

TEST_F(WindowTest, FlagsBecomeStyleAndPlacement) {
    ASSERT_NE(AppWindow::Open(1, 10, 20, 100, 100, nullptr, 0, 0), 0);
    EXPECT_EQ(Headless::LastWindowSpec().style, 0xC00000u);  // nothing else: a title bar
    EXPECT_EQ(Headless::LastWindowSpec().defaultPosition, 0);
    EXPECT_EQ(Headless::LastWindowSpec().x, 10);

    ASSERT_NE(AppWindow::Open(2, 10, AppWindow::DefaultPosition, 100, 100, "", 0x10000001 | 0x8, 0), 0);
    DisplayBackend::WindowSpec request = Headless::LastWindowSpec();
    EXPECT_EQ(request.style, 0xC00000u);
    EXPECT_EQ(request.hidden, 1);
    EXPECT_EQ(request.centreOnScreen, 1);
    EXPECT_EQ(request.defaultPosition, 0);  // y alone does not decide when centring

    ASSERT_NE(AppWindow::Open(3, 10, AppWindow::DefaultPosition, 100, 100, "", 0, 0), 0);
    EXPECT_EQ(Headless::LastWindowSpec().defaultPosition, 1);

    ASSERT_NE(AppWindow::Open(4, 0, 0, 100, 100, "", 0x4 | 0x21030000 | 0x80000, 0), 0);
    request = Headless::LastWindowSpec();
    EXPECT_EQ(request.style, 0xC80000u);
    EXPECT_EQ(request.toolWindow, 1);
}

TEST_F(WindowTest, FailedOpenLeavesTheNumberFree) {
    Start({}, /*failWindow=*/1);
    EXPECT_EQ(OpenProgramWindow(), 0);
    EXPECT_EQ(AppWindow::Exists(0), 0);
    Start({});
    EXPECT_EQ(AppWindow::Open(0, 0, 0, 0, 600, "wordtap", ProgramFlags, 0), 0);
    EXPECT_EQ(AppWindow::Open(0, 0, 0, 800, 1 << 20, "wordtap", ProgramFlags, 0), 0);
    EXPECT_EQ(AppWindow::Exists(0), 0);
    EXPECT_TRUE(Headless::TraceLines().empty());
}

TEST_F(WindowTest, ACloseRequestComesBackAs16OnTheFollowingPoll) {
    Start({Event{Event::CloseRequest, 0, 10, 0}});
    ASSERT_NE(OpenProgramWindow(), 0);
    EXPECT_EQ(AppWindow::PollEvent(), 0);
    fakeNow = 10;
    int32_t first = AppWindow::PollEvent();  // the platform's own message, dispatched
    EXPECT_NE(first, 0);
    EXPECT_NE(first, AppWindow::CloseRequest);
    EXPECT_EQ(AppWindow::PollEvent(), AppWindow::CloseRequest);
    EXPECT_EQ(AppWindow::CurrentEvent().object, 0);
    EXPECT_EQ(AppWindow::CurrentEvent().window, 0);
    EXPECT_EQ(AppWindow::PollEvent(), 0);
    EXPECT_EQ(AppWindow::Exists(0), 1);  // the window stays until the program closes it
}

TEST_F(WindowTest, EqualEventsInARowAreReportedOnce) {
    ASSERT_NE(OpenProgramWindow(), 0);
    QueuedEvent close{AppWindow::CloseRequest, 0, 0, 0, 0, 0};
    AppWindow::PostEvent(close);
    AppWindow::PostEvent(close);
    EXPECT_EQ(AppWindow::QueueLength(), 1);
    AppWindow::PostEvent(QueuedEvent{5, 0, 0, 0, 0, 0});
    AppWindow::PostEvent(close);
    EXPECT_EQ(AppWindow::QueueLength(), 3);
    // Numbers from 65536 up are never merged.
    AppWindow::PostEvent(QueuedEvent{70000, 0, 0, 0, 0, 0});
    AppWindow::PostEvent(QueuedEvent{70000, 0, 0, 0, 0, 0});
    EXPECT_EQ(AppWindow::QueueLength(), 5);
    EXPECT_EQ(Drain(), (std::vector<int32_t>{16, 5, 16, 70000, 70000}));
}

TEST_F(WindowTest, ClosingAWindowDropsItsEventsAndTheScreenInIt) {
    ASSERT_NE(OpenProgramWindow(), 0);
    ASSERT_NE(AppWindow::Open(1, 0, 0, 100, 100, "other", ProgramFlags, 0), 0);
    ASSERT_EQ(Screen::OpenInWindow(AppWindow::NativeHandle(0), 0, 0, 800, 600, 0, 0, 0, 2), 1);
    AppWindow::PostEvent(QueuedEvent{AppWindow::CloseRequest, 0, 0, 0, 0, 0});
    AppWindow::PostEvent(QueuedEvent{AppWindow::CloseRequest, 1, 1, 0, 0, 0});
    AppWindow::Close(0);
    EXPECT_EQ(AppWindow::Exists(0), 0);
    EXPECT_EQ(Screen::State().open, 0);
    EXPECT_EQ(AppWindow::QueueLength(), 1);
    EXPECT_EQ(AppWindow::PollEvent(), AppWindow::CloseRequest);
    EXPECT_EQ(AppWindow::CurrentEvent().window, 1);

    ASSERT_NE(OpenProgramWindow(), 0);  // the number can be used again
    AppWindow::Close(-1);
    EXPECT_EQ(AppWindow::Exists(0), 0);
    EXPECT_EQ(AppWindow::Exists(1), 0);
}

TEST_F(WindowTest, RepaintPresentsTheWindowedScreenAgain) {
    Start({Event{Event::Repaint, 0, 10, 0}});
    ASSERT_NE(OpenProgramWindow(), 0);
    ASSERT_EQ(Screen::OpenInWindow(AppWindow::NativeHandle(0), 0, 0, 800, 600, 0, 0, 0, 2), 1);
    EXPECT_EQ(AppWindow::PollEvent(), 0);
    EXPECT_EQ(Headless::PresentCount(), 0);
    fakeNow = 10;
    EXPECT_NE(AppWindow::PollEvent(), 0);
    EXPECT_EQ(Headless::PresentCount(), 1);
    EXPECT_EQ(AppWindow::PollEvent(), 0);
    // Another window's repaint leaves the screen alone.
    Screen::RepaintWindow(AppWindow::NativeHandle(0) + 1);
    EXPECT_EQ(Headless::PresentCount(), 1);
}

TEST(DesktopInfoTest, TheTableHoldsThePrimaryDesktopAndZerosOutside) {
    Headless::Config config;
    config.desktopWidth = 1920;
    config.desktopHeight = 1080;
    config.desktopDepth = 32;
    config.desktopRefreshHz = 75;
    Headless::Configure(config);
    DesktopInfo::Shutdown();
    EXPECT_EQ(DesktopInfo::Width(0), 0);
    EXPECT_EQ(DesktopInfo::Enumerate(), 1);
    EXPECT_EQ(DesktopInfo::Width(0), 1920);
    EXPECT_EQ(DesktopInfo::Height(0), 1080);
    EXPECT_EQ(DesktopInfo::Depth(0), 32);
    EXPECT_EQ(DesktopInfo::RefreshHz(0), 75);
    for (int32_t index : {-1, 1}) {
        EXPECT_EQ(DesktopInfo::Width(index), 0);
        EXPECT_EQ(DesktopInfo::Height(index), 0);
        EXPECT_EQ(DesktopInfo::Depth(index), 0);
        EXPECT_EQ(DesktopInfo::RefreshHz(index), 0);
    }
    // A mode change shows at the next enumeration.
    config.desktopWidth = 1280;
    Headless::Configure(config);
    EXPECT_EQ(DesktopInfo::Width(0), 1920);
    DesktopInfo::Enumerate();
    EXPECT_EQ(DesktopInfo::Width(0), 1280);
}

}  // namespace
