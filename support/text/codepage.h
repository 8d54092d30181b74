// The system's legacy 8-bit (or, on Windows, multi-byte) code page, in which
// texts that are not UTF-8 are read.
#pragma once
#include <cstdint>
#include <string>
namespace Codepage {
// The system's legacy code page to Unicode: Windows-1252 on POSIX, the ANSI code page on Windows
// (single- or multi-byte). Bytes that map to nothing become U+FFFD. Appends to `out`; 0 on failure.
int32_t LegacyToUnicode(const char* bytes, int32_t length, std::u32string* out);
}
