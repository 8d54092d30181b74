#include "support/text/conversions.h"

std::string NumberToText(int64_t value) {
    // The magnitude in unsigned arithmetic, so that the most negative value
    // needs no special case.
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    char digits[21];
    char* end = digits + sizeof digits;
    char* start = end;
    do {
        *--start = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--start = '-';
    return std::string(start, end);
}

int32_t CountOccurrences(std::string_view text, std::string_view pattern) {
    if (text.empty() || pattern.empty()) return 0;
    int32_t count = 0;
    size_t at = 0;
    while ((at = text.find(pattern, at)) != std::string_view::npos) {
        ++count;
        at += pattern.size();
    }
    return count;
}

std::string PadLeft(std::string_view text, int32_t width, std::string_view fill) {
    if (width <= 0) return std::string();
    size_t n = static_cast<size_t>(width);
    size_t kept = text.size() < n ? text.size() : n;
    std::string result(n - kept, fill.empty() ? ' ' : fill.front());
    result.append(text.substr(0, kept));
    return result;
}

unsigned char AsciiUpper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(static_cast<unsigned char>(a[i])) !=
            AsciiUpper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}
