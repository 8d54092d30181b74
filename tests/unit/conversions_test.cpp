#include "support/text/conversions.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(NumberToText, CoversTheWhole64BitRange) {
    EXPECT_EQ(NumberToText(0), "0");
    EXPECT_EQ(NumberToText(7), "7");
    EXPECT_EQ(NumberToText(-1), "-1");
    EXPECT_EQ(NumberToText(INT32_MIN), "-2147483648");
    EXPECT_EQ(NumberToText(INT32_MAX), "2147483647");
    EXPECT_EQ(NumberToText(2147483648LL), "2147483648");
    EXPECT_EQ(NumberToText(-2147483649LL), "-2147483649");
    EXPECT_EQ(NumberToText(INT64_MAX), "9223372036854775807");
    EXPECT_EQ(NumberToText(INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(NumberToText(1000), "1000");
}

TEST(CountOccurrences, CountsExactNonOverlappingMatches) {
    EXPECT_EQ(CountOccurrences("aaa", "aa"), 1);
    EXPECT_EQ(CountOccurrences("aaaa", "aa"), 2);
    EXPECT_EQ(CountOccurrences("one\ntwo\nthree", "\n"), 2);
    EXPECT_EQ(CountOccurrences("Word word WORD", "word"), 1);
    EXPECT_EQ(CountOccurrences("", "x"), 0);
    EXPECT_EQ(CountOccurrences("text", ""), 0);
    EXPECT_EQ(CountOccurrences("ab", "abc"), 0);
}

TEST(TextField, SplitsAtOneByteSeparator) {
    EXPECT_EQ(TextField("first\nsecond", 1, "\n"), "first");
    EXPECT_EQ(TextField("first\nsecond", 2, "\n"), "second");
    EXPECT_EQ(TextField("first\nsecond", 3, "\n"), "");
    EXPECT_EQ(TextField("first\nsecond", 0, "\n"), "");
    EXPECT_EQ(TextField("first\nsecond", -4, "\n"), "");
    EXPECT_EQ(TextField("a\n\nc\n", 2, "\n"), "");  // empty line
    EXPECT_EQ(TextField("a\n\nc\n", 3, "\n"), "c");
    EXPECT_EQ(TextField("a\n\nc\n", 4, "\n"), "");  // empty last field
    EXPECT_EQ(TextField("a\n\nc\n", 5, "\n"), "");
    EXPECT_EQ(TextField("", 1, "\n"), "");
}

TEST(TextField, EmptyAndMultiByteSeparators) {
    EXPECT_EQ(TextField("whole text", 1, ""), "whole text");
    EXPECT_EQ(TextField("whole text", 2, ""), "");
    EXPECT_EQ(TextField("a\r\nb\r\nc", 2, "\r\n"), "b");
    EXPECT_EQ(TextField("a\r\nb\r\nc", 3, "\r\n"), "c");
    // Search resumes behind a match: "aaa" split at "aa" is "", "a".
    EXPECT_EQ(TextField("aaa", 1, "aa"), "");
    EXPECT_EQ(TextField("aaa", 2, "aa"), "a");
    EXPECT_EQ(TextField("x::y:z", 2, "::"), "y:z");
}

TEST(PadLeft, FillsOnTheLeftAndCutsAtTheEnd) {
    EXPECT_EQ(PadLeft("12", 3), " 12");
    EXPECT_EQ(PadLeft("1234", 3), "123");
    EXPECT_EQ(PadLeft("", 3), "   ");
    EXPECT_EQ(PadLeft("", 3, "0"), "000");
    EXPECT_EQ(PadLeft("5", 3, "07"), "005");  // only the first fill byte counts
    EXPECT_EQ(PadLeft("5", 3, ""), "  5");
    EXPECT_EQ(PadLeft("abc", 0), "");
    EXPECT_EQ(PadLeft("abc", -2), "");
}

// The reaction-time column of the results file.
std::string Seconds(int64_t milliseconds) {
    return PadLeft(NumberToText(milliseconds / 1000), 3) + "." +
           PadLeft(NumberToText(milliseconds % 1000), 3, "0");
}

TEST(PadLeft, ComposesTheReactionTimeColumn) {
    EXPECT_EQ(Seconds(0), "  0.000");
    EXPECT_EQ(Seconds(45), "  0.045");
    EXPECT_EQ(Seconds(523), "  0.523");
    EXPECT_EQ(Seconds(1000), "  1.000");
    EXPECT_EQ(Seconds(61234), " 61.234");
    EXPECT_EQ(Seconds(999999), "999.999");
}

}  // namespace
