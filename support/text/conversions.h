// Text primitives for composing output and splitting input. Texts are 8-bit
// bytes; results are new strings owned by the caller.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Decimal text of the full signed 64-bit range, no padding.
std::string NumberToText(int64_t value);
// Non-overlapping, exact matches of `pattern` in `text`; 0 when either is empty.
int32_t CountOccurrences(std::string_view text, std::string_view pattern);
// ASCII letters only: the names compared this way (keys, file names, date
// tokens) are compared the same in every code page.
unsigned char AsciiUpper(unsigned char c);
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);
// Exactly `width` bytes: fill bytes, then the text cut to its first `width`
// bytes. The fill byte is the first byte of `fill`, a space when it is empty.
std::string PadLeft(std::string_view text, int32_t width, std::string_view fill = " ");
