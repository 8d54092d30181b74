#include "display/keyboard.h"

#include <gtest/gtest.h>

#include <vector>

#include "display/backends/headless/headless.h"

namespace {

int64_t fakeNow = 0;
int64_t FakeNow() { return fakeNow; }

using Event = Headless::ScriptEvent;

Event Down(int32_t code, int64_t at) { return Event{Event::KeyDown, 0, at, code}; }
Event Up(int32_t code, int64_t at) { return Event{Event::KeyUp, 0, at, code}; }
Event Focus(bool gained, int64_t at) {
    return Event{gained ? Event::FocusGained : Event::FocusLost, 0, at, 0};
}

class KeyboardTest : public ::testing::Test {
protected:
    void TearDown() override { KeyboardState::Close(); }
    // Script times are microseconds from the start; the clock stands still
    // between At() calls.
    void Start(std::vector<Event> script, int failKeyboard = 0) {
        KeyboardState::Close();
        fakeNow = 0;
        Headless::Config config;
        config.nowMicros = FakeNow;
        config.failKeyboard = failKeyboard;
        config.script = std::move(script);
        Headless::Configure(config);
        KeyboardState::Init();
        KeyboardState::SetMode(KeyboardState::KeepSystemKey);
    }
    static int32_t PollAt(int64_t micros) {
        fakeNow = micros;
        return KeyboardState::Poll();
    }
};

TEST_F(KeyboardTest, HeldKeyGivesNothingAndItsReleaseCountsExactlyOnce) {
    Start({Down(ScanCode::W, 10), Up(ScanCode::W, 30)});
    EXPECT_EQ(PollAt(0), 1);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 0);
    EXPECT_EQ(PollAt(10), 1);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 0);
    EXPECT_EQ(PollAt(20), 1);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 0);
    EXPECT_EQ(PollAt(30), 1);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 1);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 0);
    EXPECT_EQ(PollAt(40), 1);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 0);
}

TEST_F(KeyboardTest, AKeyNeverSeenDownIsNeverReleased) {
    // O goes down and up between two polls; Escape is down but never tested
    // while down.
    Start({Down(ScanCode::O, 10), Up(ScanCode::O, 20), Down(ScanCode::Escape, 30),
           Up(ScanCode::Escape, 40)});
    EXPECT_EQ(PollAt(0), 1);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::O), 0);
    EXPECT_EQ(PollAt(25), 1);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::O), 0);
    EXPECT_EQ(PollAt(35), 1);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 0);
    EXPECT_EQ(PollAt(45), 1);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::Escape), 0);
    EXPECT_EQ(KeyboardState::WasReleased(-1), 0);
    EXPECT_EQ(KeyboardState::WasReleased(256), 0);
}

TEST_F(KeyboardTest, UnfocusedPollsFailAndAKeyLetGoElsewhereCountsAtTheNextGoodPoll) {
    Start({Down(ScanCode::W, 10), Focus(false, 20), Up(ScanCode::W, 30), Focus(true, 40)});
    EXPECT_EQ(PollAt(10), 1);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 0);  // seen down
    EXPECT_EQ(PollAt(20), 0);
    EXPECT_EQ(KeyboardState::State().deviceState, 1);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 0);
    EXPECT_EQ(PollAt(30), 0);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 0);
    EXPECT_EQ(PollAt(40), 1);
    EXPECT_EQ(KeyboardState::State().deviceState, 2);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 1);
}

TEST_F(KeyboardTest, TwoKeysLetGoBetweenTwoPollsBothCount) {
    Start({Down(ScanCode::W, 10), Down(ScanCode::O, 10), Up(ScanCode::W, 20), Up(ScanCode::O, 20)});
    EXPECT_EQ(PollAt(10), 1);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 0);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::O), 0);
    EXPECT_EQ(PollAt(20), 1);
    // The caller asks for W first and wins with it; O is still owed.
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 1);
    EXPECT_EQ(PollAt(21), 1);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 0);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::O), 1);
}

TEST_F(KeyboardTest, WithoutADeviceNothingIsEverReported) {
    Start({Down(ScanCode::W, 0), Up(ScanCode::W, 10)}, /*failKeyboard=*/1);
    EXPECT_EQ(KeyboardState::State().deviceState, 0);
    EXPECT_EQ(PollAt(0), 0);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 0);
    EXPECT_EQ(PollAt(10), 0);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 0);
}

TEST_F(KeyboardTest, ModesSetCooperationAndLetterLookup) {
    KeyboardState::Close();
    Headless::Configure(Headless::Config{});
    EXPECT_EQ(KeyboardState::State().cooperation, 0x16u);  // system key blocked at start
    KeyboardState::Init();
    KeyboardState::SetMode(KeyboardState::KeepSystemKey);
    EXPECT_EQ(KeyboardState::State().cooperation, 0x6u);
    EXPECT_EQ(KeyboardState::State().letterTable[ScanCode::W], ScanCode::W);
    EXPECT_EQ(KeyboardState::State().letterTable[ScanCode::Escape], 0);
    EXPECT_EQ(KeyboardState::State().letterTable[44], 44);  // Z

    // Letters by layout: only letter keys can be asked for.
    Start({Down(ScanCode::Escape, 0), Down(ScanCode::W, 0), Up(ScanCode::Escape, 10),
           Up(ScanCode::W, 10)});
    KeyboardState::SetMode(KeyboardState::LettersByLayout);
    EXPECT_EQ(KeyboardState::State().cooperation, 0x16u);
    EXPECT_EQ(PollAt(0), 1);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::Escape), 0);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 0);
    EXPECT_EQ(PollAt(10), 1);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::Escape), 0);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 1);
}

TEST_F(KeyboardTest, ScriptEventsWaitForTheirPresentAndFireInOrder) {
    KeyboardState::Close();
    fakeNow = 0;
    Headless::Config config;
    config.nowMicros = FakeNow;
    // The second event is due earlier but never overtakes the first.
    config.script = {Event{Event::KeyDown, 1, 100, ScanCode::W}, Event{Event::KeyUp, 0, 0, ScanCode::W}};
    Headless::Configure(config);
    KeyboardState::Init();
    ASSERT_TRUE(DisplayBackend::OpenFullscreen(1024, 768, 32, 0, "t"));
    EXPECT_EQ(PollAt(1000), 1);
    EXPECT_EQ(KeyboardState::State().snapshot[ScanCode::W], 0);
    DisplayBackend::Present(0);
    EXPECT_EQ(PollAt(1099), 1);
    EXPECT_EQ(KeyboardState::State().snapshot[ScanCode::W], 0);
    fakeNow = 1100;
    uint8_t keys[256];
    ASSERT_EQ(DisplayBackend::KeySnapshot(keys), 1);
    EXPECT_EQ(keys[ScanCode::W], 0);  // down, then up at once
    const auto& trace = Headless::TraceLines();
    ASSERT_GE(trace.size(), 3u);
    EXPECT_EQ(trace[trace.size() - 2], "event key-down 17");
    EXPECT_EQ(trace[trace.size() - 1], "event key-up 17");
    DisplayBackend::CloseSurface();
}

}  // namespace
