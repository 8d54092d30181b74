#include "support/time/clock.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <ctime>

namespace {

TEST(MakeTimestamp, CoversTheRangeAndRejectsInvalidFields) {
    const std::array<int32_t, 7> rows[] = {  // year, month, day, hour, minute, second, expected
        {1970, 1, 1, 0, 0, 0, 0}, {2013, 12, 17, 14, 5, 9, 1387289109}, {2038, 1, 18, 23, 59, 59, 2147471999},
        {2038, 1, 19, 0, 0, 0, -1}, {1969, 12, 31, 23, 59, 59, -1}, {2012, 2, 29, 0, 0, 0, 1330473600},
        {2000, 2, 29, 0, 0, 0, 951782400}, {2013, 2, 29, 0, 0, 0, -1}, {2013, 4, 31, 0, 0, 0, -1},
        {2013, 5, 0, 0, 0, 0, -1}, {2013, 13, 1, 0, 0, 0, -1}, {2013, 5, 1, 24, 0, 0, -1}, {2013, 5, 1, 0, 60, 0, -1},
        {2013, 5, 1, 0, 0, 60, -1}, {2013, 5, 1, 0, 0, -1, -1}, {2013, -2, 1, 0, 0, 0, -1},
    };
    for (const auto& [y, mo, d, h, mi, s, expected] : rows)
        EXPECT_EQ(MakeTimestamp(y, mo, d, h, mi, s), expected) << testing::PrintToString(std::array{y, mo, d, h, mi, s});
}

TEST(MakeTimestamp, FieldReadersGiveBackUtcFields) {
    // Against the C library's own UTC decomposition, up to the last valid second.
    for (int64_t value = 0; value <= 2147471999; value += 7777777) {
        const std::time_t t = static_cast<std::time_t>(value);
        const std::tm utc = *std::gmtime(&t);
        const auto ts = static_cast<Timestamp>(value);
        ASSERT_EQ((std::array{TimestampYear(ts), TimestampMonth(ts), TimestampDay(ts), TimestampHour(ts), TimestampMinute(ts), TimestampSecond(ts)}),
                  (std::array{utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec}));
        ASSERT_EQ(MakeTimestamp(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec), ts);
    }
}

TEST(FormatTimestamp, ReplacesTokensAndKeepsEverythingElse) {
    const Timestamp value = MakeTimestamp(2013, 12, 17, 14, 5, 9);
    const std::tuple<const char*, Timestamp, const char*> cases[] = {
        {"%yyyy%mm%dd-%hh%ii%ss", value, "20131217-140509"}, {"%yyyy%mm%dd-%hh%ii%ss", -1, "00000000-000000"},
        {"%YYYY/%Mm", value, "2013/12"}, {"%yyy", value, "13y"}, {"%q", value, "%q"}, {"%%ss", value, "%09"},
        {"100%", value, "100%"}, {"", value, ""}, {"%yy", MakeTimestamp(2005, 3, 4, 0, 0, 0), "05"},
    };
    for (const auto& [format, stamp, expected] : cases) EXPECT_EQ(FormatTimestamp(format, stamp), expected) << format;
}

TEST(CurrentTimestamp, IsTheLocalWallClock) {
    setenv("TZ", "XST-14", 1);  // 14 hours east of UTC: no hour of the day agrees with UTC's
    tzset();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const Timestamp expected = MakeTimestamp(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    EXPECT_NEAR(CurrentTimestamp(), expected, 2);
}

}  // namespace
