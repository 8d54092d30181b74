#include "display/keyboard.h"

#include <gtest/gtest.h>

#include <vector>

#include "display/backends/headless/headless.h"
#include "tests/support/scripted_display.h"

namespace {

using Event = ScriptedDisplay::Event;

Event Key(bool down, int32_t code, int64_t at) {
    return Event{down ? Event::KeyDown : Event::KeyUp, 0, at, code};
}
Event Focus(bool gained, int64_t at) {
    return Event{gained ? Event::FocusGained : Event::FocusLost, 0, at, 0};
}

class KeyboardTest : public ::testing::Test {
protected:
    void TearDown() override { KeyboardState::Close(); }
    void Start(std::vector<Event> script) {
        ScriptedDisplay::Configure({}, std::move(script));
        KeyboardState::Init();
        KeyboardState::SetMode(KeyboardState::KeepSystemKey);
    }
    // Polls at `micros` (script time) and asks whether `code` was released.
    static int32_t ReleasedAt(int64_t micros, int32_t code, int32_t poll = 1) {
        ScriptedDisplay::now = micros;
        EXPECT_EQ(KeyboardState::Poll(), poll) << "poll at " << micros;
        return KeyboardState::WasReleased(code);
    }
};

TEST_F(KeyboardTest, AReleaseCountsOnceAndOnlyAfterTheKeyWasSeenDown) {
    // O goes down and up between two polls: never seen down.
    Start({Key(true, ScanCode::W, 10), Key(false, ScanCode::W, 30), Key(true, ScanCode::O, 40),
           Key(false, ScanCode::O, 50)});
    EXPECT_EQ(ReleasedAt(10, ScanCode::W), 0);
    EXPECT_EQ(ReleasedAt(20, ScanCode::W), 0);
    EXPECT_EQ(ReleasedAt(30, ScanCode::W), 1);
    EXPECT_EQ(KeyboardState::WasReleased(ScanCode::W), 0);
    EXPECT_EQ(ReleasedAt(35, ScanCode::W), 0);
    EXPECT_EQ(ReleasedAt(35, ScanCode::O), 0);
    EXPECT_EQ(ReleasedAt(55, ScanCode::O), 0);
}

TEST_F(KeyboardTest, UnfocusedPollsGiveZeroAndAKeyHeldMeanwhileCountsAfterRefocus) {
    Start({Key(true, ScanCode::W, 10), Focus(false, 20), Key(false, ScanCode::W, 30), Focus(true, 40)});
    EXPECT_EQ(ReleasedAt(10, ScanCode::W), 0);
    EXPECT_EQ(ReleasedAt(20, ScanCode::W, 0), 0);
    EXPECT_EQ(ReleasedAt(30, ScanCode::W, 0), 0);
    EXPECT_EQ(ReleasedAt(40, ScanCode::W), 1);
}

}  // namespace
