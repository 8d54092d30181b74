#include "support/text/conversions.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

TEST(NumberToText, CoversTheWhole64BitRange) {
    const std::pair<int64_t, const char*> cases[] = {
        {0, "0"}, {-1, "-1"}, {1000, "1000"}, {INT32_MIN, "-2147483648"}, {INT32_MAX, "2147483647"},
        {2147483648LL, "2147483648"}, {-2147483649LL, "-2147483649"},
        {INT64_MAX, "9223372036854775807"}, {INT64_MIN, "-9223372036854775808"},
    };
    for (const auto& [number, text] : cases) EXPECT_EQ(NumberToText(number), text);
}

TEST(TextSearch, CountOccurrencesAndTextField) {
    // No overlapping matches, no empty matches, letter case counts.
    EXPECT_EQ((std::array{CountOccurrences("aaa", "aa"), CountOccurrences("text", ""), CountOccurrences("Word word WORD", "word")}),
              (std::array{1, 0, 1}));
    const std::tuple<const char*, int32_t, const char*, const char*> fields[] = {
        {"first\nsecond", 1, "\n", "first"}, {"first\nsecond", 2, "\n", "second"}, {"first\nsecond", 3, "\n", ""},
        {"first\nsecond", 0, "\n", ""}, {"a\n\nc\n", 3, "\n", "c"}, {"whole text", 1, "", "whole text"},
        {"a\r\nb\r\nc", 2, "\r\n", "b"}, {"aaa", 2, "aa", "a"}, {"x::y:z", 2, "::", "y:z"},
    };
    for (const auto& [text, index, separator, field] : fields) EXPECT_EQ(TextField(text, index, separator), field) << index;
}

TEST(PadLeft, FillsOnTheLeftAndCutsAtTheEnd) {
    EXPECT_EQ(PadLeft("12", 3), " 12");
    EXPECT_EQ(PadLeft("1234", 3), "123");
    EXPECT_EQ(PadLeft("", 3, "0"), "000");
    EXPECT_EQ(PadLeft("5", 3, "07"), "005");  // only the first fill byte counts
    EXPECT_EQ(PadLeft("abc", -2), "");
}

}  // namespace
