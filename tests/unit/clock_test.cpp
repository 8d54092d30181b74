#include "support/time/clock.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

// Runs first: the first SleepMs of the process raises the timer resolution.
TEST(SleepMs, ZeroYieldsQuicklyAndRaisesTheResolutionOnFirstCall) {
    EXPECT_EQ(ClockModuleState().timerResolutionRaised, 0);
    uint32_t before = MillisecondClock();
    SleepMs(0);
    uint32_t after = MillisecondClock();
    EXPECT_EQ(ClockModuleState().timerResolutionRaised, 1);
    EXPECT_LT(after - before, 5u);
}

TEST(MillisecondClock, AdvancesAcrossASleepByItsLength) {
    MillisecondClock();
    EXPECT_EQ(ClockModuleState().ticksPerMillisecond, 1000000);
    for (int round = 0; round < 3; ++round) {
        uint32_t before = MillisecondClock();
        SleepMs(50);
        uint32_t elapsed = MillisecondClock() - before;
        EXPECT_GE(elapsed, 50u);
        EXPECT_LE(elapsed, 70u);
    }
}

TEST(MillisecondClock, DifferencesSurviveTheWrapInUnsignedArithmetic) {
    uint32_t before = 0xFFFFFFF0u;  // 16 ms before the wrap
    uint32_t after = before + 37u;  // 21 ms after it
    EXPECT_EQ(after, 21u);
    EXPECT_EQ(after - before, 37u);
}

TEST(MakeTimestamp, CoversTheRangeAndRejectsInvalidFields) {
    EXPECT_EQ(MakeTimestamp(1970, 1, 1, 0, 0, 0), 0);
    EXPECT_EQ(MakeTimestamp(1970, 1, 1, 1, 0, 0), 3600);
    EXPECT_EQ(MakeTimestamp(1970, 1, 2, 0, 0, 1), 86401);
    EXPECT_EQ(MakeTimestamp(2013, 12, 17, 14, 5, 9), 1387289109);
    EXPECT_EQ(MakeTimestamp(2038, 1, 18, 23, 59, 59), 2147471999);
    EXPECT_EQ(MakeTimestamp(2038, 1, 19, 0, 0, 0), -1);
    EXPECT_EQ(MakeTimestamp(2038, 2, 1, 0, 0, 0), -1);
    EXPECT_EQ(MakeTimestamp(1969, 12, 31, 23, 59, 59), -1);
    EXPECT_EQ(MakeTimestamp(2039, 1, 1, 0, 0, 0), -1);

    EXPECT_NE(MakeTimestamp(2012, 2, 29, 0, 0, 0), -1);
    EXPECT_NE(MakeTimestamp(2000, 2, 29, 0, 0, 0), -1);
    EXPECT_EQ(MakeTimestamp(2013, 2, 29, 0, 0, 0), -1);
    EXPECT_EQ(MakeTimestamp(2012, 2, 30, 0, 0, 0), -1);
    EXPECT_EQ(MakeTimestamp(2013, 4, 31, 0, 0, 0), -1);
    EXPECT_NE(MakeTimestamp(2013, 5, 31, 0, 0, 0), -1);
    EXPECT_EQ(MakeTimestamp(2013, 5, 32, 0, 0, 0), -1);
    EXPECT_EQ(MakeTimestamp(2013, 5, 0, 0, 0, 0), -1);
    EXPECT_EQ(MakeTimestamp(2013, 13, 1, 0, 0, 0), -1);
    EXPECT_EQ(MakeTimestamp(2013, 0, 1, 0, 0, 0), -1);
    EXPECT_EQ(MakeTimestamp(2013, 5, 1, 24, 0, 0), -1);
    EXPECT_EQ(MakeTimestamp(2013, 5, 1, 0, 60, 0), -1);
    EXPECT_EQ(MakeTimestamp(2013, 5, 1, 0, 0, 60), -1);
    EXPECT_EQ(MakeTimestamp(2013, 5, 1, 0, 0, -1), -1);
    EXPECT_EQ(MakeTimestamp(2013, 5, 1, -1, 0, 0), -1);
    EXPECT_EQ(MakeTimestamp(2013, 5, -3, 0, 0, 0), -1);
    EXPECT_EQ(MakeTimestamp(2013, -2, 1, 0, 0, 0), -1);
    EXPECT_EQ(MakeTimestamp(2038, -1, 1, 0, 0, 0), -1);
}

TEST(MakeTimestamp, FieldReadersGiveBackUtcFields) {
    // Against the C library's own UTC decomposition, across leap years and
    // century rules, up to the last valid second.
    for (int64_t value = 0; value <= 2147471999; value += 7777777) {
        std::time_t t = static_cast<std::time_t>(value);
        std::tm utc = *std::gmtime(&t);
        auto ts = static_cast<Timestamp>(value);
        ASSERT_EQ(TimestampYear(ts), utc.tm_year + 1900) << value;
        ASSERT_EQ(TimestampMonth(ts), utc.tm_mon + 1) << value;
        ASSERT_EQ(TimestampDay(ts), utc.tm_mday) << value;
        ASSERT_EQ(TimestampHour(ts), utc.tm_hour) << value;
        ASSERT_EQ(TimestampMinute(ts), utc.tm_min) << value;
        ASSERT_EQ(TimestampSecond(ts), utc.tm_sec) << value;
        ASSERT_EQ(MakeTimestamp(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                                utc.tm_min, utc.tm_sec),
                  ts);
    }
    for (Timestamp negative : {-1, -86400, INT32_MIN}) {
        EXPECT_EQ(TimestampYear(negative), 0);
        EXPECT_EQ(TimestampMonth(negative), 0);
        EXPECT_EQ(TimestampDay(negative), 0);
        EXPECT_EQ(TimestampSecond(negative), 0);
    }
}

TEST(FormatTimestamp, ReplacesTokensAndKeepsEverythingElse) {
    Timestamp value = MakeTimestamp(2013, 12, 17, 14, 5, 9);
    EXPECT_EQ(FormatTimestamp("%yyyy%mm%dd-%hh%ii%ss", value), "20131217-140509");
    EXPECT_EQ(FormatTimestamp("%yyyy%mm%dd-%hh%ii%ss", -1), "00000000-000000");
    EXPECT_EQ(FormatTimestamp("%YYYY/%Mm", value), "2013/12");
    EXPECT_EQ(FormatTimestamp("%yyy", value), "13y");
    EXPECT_EQ(FormatTimestamp("%q", value), "%q");
    EXPECT_EQ(FormatTimestamp("%%ss", value), "%09");
    EXPECT_EQ(FormatTimestamp("100%", value), "100%");
    EXPECT_EQ(FormatTimestamp("", value), "");
    EXPECT_EQ(FormatTimestamp("%yy", MakeTimestamp(2005, 3, 4, 0, 0, 0)), "05");
    EXPECT_EQ(FormatTimestamp("results_%yyyy%mm%dd.txt", 0), "results_19700101.txt");
}

TEST(CurrentTimestamp, IsAValidRecentLocalTime) {
    Timestamp now = CurrentTimestamp();
    // A clock past 2038 gives -1 by design; this test does not run then.
    ASSERT_NE(now, -1);
    EXPECT_GE(TimestampYear(now), 2024);
}

}  // namespace
