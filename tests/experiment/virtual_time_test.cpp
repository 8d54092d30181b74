#include "tests/support/virtual_time.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "display/backends/headless/headless.h"

namespace {

class VirtualTimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        VirtualTime::Reset();
        Headless::Config config;
        config.nowMicros = VirtualTime::NowMicros;
        Headless::Configure(config);
    }
};

TEST_F(VirtualTimeTest, SleepsAdvanceAndAreTracedButYieldsAreNot) {
    int64_t start = VirtualTime::NowMicros();
    TimePlatform::Sleep(400);
    TimePlatform::Sleep(0);
    TimePlatform::Sleep(100);
    EXPECT_EQ(VirtualTime::NowMicros() - start, 500000 + 50);
    EXPECT_EQ(VirtualTime::SleepCount(), 3);
    EXPECT_EQ(Headless::TraceLines(), (std::vector<std::string>{"sleep 400", "sleep 100"}));

    VirtualTime::SetYieldMicros(7);
    TimePlatform::Sleep(0);
    EXPECT_EQ(VirtualTime::NowMicros() - start, 500000 + 57);
}

TEST_F(VirtualTimeTest, CounterReadsAreTracedUnlessTracingIsOff) {
    EXPECT_EQ(TimePlatform::CounterFrequency(), 1000000);
    EXPECT_EQ(TimePlatform::CounterValue(), VirtualTime::NowMicros());
    EXPECT_EQ(TimePlatform::TickCount(), static_cast<uint32_t>(VirtualTime::NowMicros() / 1000));
    VirtualTime::SetTracing(false);
    TimePlatform::CounterValue();
    TimePlatform::Sleep(5);
    EXPECT_EQ(Headless::TraceLines(), std::vector<std::string>{"clock"});
}

TEST_F(VirtualTimeTest, RetraceMovesStrictlyToTheNextMultipleOfThePeriod) {
    VirtualTime::Reset(0);
    VirtualTime::AdvanceToNextRetrace();
    EXPECT_EQ(VirtualTime::NowMicros(), 16667);  // 1/60 s, rounded up
    VirtualTime::AdvanceToNextRetrace();
    EXPECT_EQ(VirtualTime::NowMicros(), 33334);
    VirtualTime::Advance(1);
    VirtualTime::AdvanceToNextRetrace();
    EXPECT_EQ(VirtualTime::NowMicros(), 50000);
    VirtualTime::AdvanceToNextRetrace();  // already on a retrace: the next one
    EXPECT_EQ(VirtualTime::NowMicros(), 66667);

    VirtualTime::SetRetraceHz(100);
    VirtualTime::AdvanceToNextRetrace();
    EXPECT_EQ(VirtualTime::NowMicros(), 70000);
}

TEST_F(VirtualTimeTest, PresentWithRetraceWaitsOnTheVirtualClock) {
    Headless::Config config;
    config.nowMicros = VirtualTime::NowMicros;
    config.waitForRetrace = VirtualTime::AdvanceToNextRetrace;
    Headless::Configure(config);
    VirtualTime::Reset(10);
    ASSERT_TRUE(DisplayBackend::InitSystem());
    ASSERT_TRUE(DisplayBackend::OpenFullscreen(1024, 768, 32, 0, "t"));
    DisplayBackend::Present(0);
    EXPECT_EQ(VirtualTime::NowMicros(), 10);
    DisplayBackend::Present(1);
    EXPECT_EQ(VirtualTime::NowMicros(), 16667);
    // The backend's own time reads are not counter reads of the program.
    EXPECT_EQ(std::count(Headless::TraceLines().begin(), Headless::TraceLines().end(), "clock"), 0);
}

TEST_F(VirtualTimeTest, LocalTimeDefaultsToAFixedDay) {
    TimePlatform::LocalTime now = TimePlatform::Now();
    EXPECT_EQ(now.year, 2013);
    EXPECT_EQ(now.month, 12);
    EXPECT_EQ(now.day, 17);
    EXPECT_EQ(now.hour, 14);
    EXPECT_EQ(now.minute, 5);
    EXPECT_EQ(now.second, 9);
    EXPECT_EQ(TimePlatform::ThreadId(), TimePlatform::ThreadId());
}

}  // namespace
