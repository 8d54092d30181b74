#include "support/text/utf8.h"

#include <gtest/gtest.h>

#include "support/text/utf16.h"

#include <string>
#include <vector>

namespace {

int32_t Size(const std::string& text) { return static_cast<int32_t>(text.size()); }

int32_t Encoding(const std::vector<std::string>& lines, int32_t mark = 0) {
    Utf8::FileCheck check{mark, 0, 0};
    for (const std::string& line : lines) Utf8::CheckLine(&check, line.data(), Size(line));
    return Utf8::FileEncoding(check);
}

TEST(Utf8, OnlyWellFormedTextWithAByteAbove0x7FReadsAsUtf8) {
    // {bytes, well-formed, read as UTF-8}
    const std::tuple<std::string, int32_t, int32_t> cases[] = {
        {"", 1, 0}, {"cat", 1, 0}, {"caf\xC3\xA9", 1, 1}, {"\xE2\x82\xAC", 1, 1}, {"\xF0\x9F\x98\x80", 1, 1},
        {"\xED\x9F\xBF", 1, 1}, {"\xEE\x80\x80", 1, 1}, {"\xF4\x8F\xBF\xBF", 1, 1},
        {"caf\xE9", 0, 0}, {"Stra\xDF" "e", 0, 0}, {"\x80", 0, 0},                          // Windows-1252, lone tail
        {"\xC0\x80", 0, 0}, {"\xC1\xBF", 0, 0}, {"\xE0\x9F\xBF", 0, 0}, {"\xF0\x8F\xBF\xBF", 0, 0},  // overlong
        {"\xED\xA0\x80", 0, 0}, {"\xED\xBF\xBF", 0, 0},                                        // surrogates
        {"\xF4\x90\x80\x80", 0, 0}, {"\xF5\x80\x80\x80", 0, 0}, {"\xFF", 0, 0},                 // beyond U+10FFFF
        {"\xC3", 0, 0}, {"a\xE2\x82", 0, 0}, {"\xF0\x9F\x98", 0, 0}, {"\xE2\x82" "a", 0, 0},   // cut short
    };
    for (const auto& [text, valid, utf8] : cases) {
        SCOPED_TRACE(testing::PrintToString(text));
        EXPECT_EQ(Utf8::IsValid(text.data(), Size(text)), valid);
        EXPECT_EQ(Encoding({text}), utf8);
    }
    // A sequence cut by the length is cut short, whatever follows in memory.
    EXPECT_EQ(Utf8::IsValid("\xC3\xA9", 1), 0);
}

// Code page 936 words: 小 and 水 happen to be well-formed UTF-8 ("С", "ˮ"), 大 is not.
TEST(Utf8, AFileIsUtf8AsAWholeOrNotAtAll) {
    EXPECT_EQ(Encoding({"\xD0\xA1", "\xCB\xAE", "\xB4\xF3"}), Utf8::Legacy);
    EXPECT_EQ(Encoding({"\xD0\xA1", "\xCB\xAE"}), Utf8::Unicode);
    EXPECT_EQ(Encoding({"caf\xC3\xA9", "caf\xE9"}), Utf8::Legacy);
    EXPECT_EQ(Encoding({"cat", "caf\xC3\xA9", "dog"}), Utf8::Unicode);
    EXPECT_EQ(Encoding({"caf\xE9"}, 1), Utf8::Unicode);  // the mark decides alone
    EXPECT_EQ(Encoding({"cat"}, 1), Utf8::Unicode);
}

// Legacy and UTF-8 text never holds a zero byte; text with zeros at both
// parities, or too few ASCII units, is no UTF-16 text.
TEST(Utf16, AMarkDecidesAloneAndOnlyTextWithAsciiInItIsTakenWithoutOne) {
    using namespace std::string_literals;
    const std::tuple<std::string, int32_t, int32_t> cases[] = {  // bytes, order, mark size
        {"\xFF\xFE", Utf16::LittleEndian, 2}, {"\xFE\xFF\0\0"s, Utf16::BigEndian, 2},
        {"h\0o\0u\0s\0e\0"s, Utf16::LittleEndian, 0}, {"\0h\0o\0u\0s\0e"s, Utf16::BigEndian, 0},
        {"a\0"s, Utf16::LittleEndian, 0}, {"C\x06J\x06\r\0\n\0"s, Utf16::LittleEndian, 0},  // Arabic
        {"\0N\r\0\n\0"s, 0, 0},  // U+4E00's zero low byte: only with its mark
        {"a\0b\nc"s, 0, 0}, {"a\0b\0\0c"s, 0, 0}, {"\0\0\0\0"s, 0, 0}, {"C\x06J\x06"s, 0, 0},
        {"caf\xE9", 0, 0}, {"caf\xC3\xA9", 0, 0}, {"a", 0, 0}, {"", 0, 0}, {"\xEF\xBB\xBFx", 0, 0},
    };
    for (const auto& [bytes, order, markSize] : cases) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        int32_t mark = -1;
        EXPECT_EQ(Utf16::Detect(reinterpret_cast<const unsigned char*>(bytes.data()), Size(bytes), &mark), order);
        EXPECT_EQ(mark, markSize);
    }
}

TEST(Utf8, NextDecodesAndStepsOverBadBytesOneByOne) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xE9\xE2\x82z";
    std::vector<uint32_t> characters;
    for (int32_t at = 0; at < Size(text);) characters.push_back(Utf8::Next(text.data(), Size(text), &at));
    EXPECT_EQ(characters, (std::vector<uint32_t>{'a', 0xE9, 0x20AC, 0x1F600, 0xFFFD, 0xFFFD, 0xFFFD, 'z'}));
}

}  // namespace
