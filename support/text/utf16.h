// UTF-16 as Windows tools save "Unicode" text (Notepad's "Unicode", Excel's
// "Unicode Text"): read once into UTF-8, so that the rest of the program
// knows only UTF-8 and the legacy code page.
#pragma once
#include <cstdint>
#include <string>

namespace Utf16 {
enum Order : int32_t { NotUtf16 = 0, LittleEndian = 1, BigEndian = 2 };

// The byte order that the first bytes of a file show. A mark (FF FE, FE FF)
// decides alone and *markSize becomes 2. Without one the sample must look like
// UTF-16 text with ASCII in it: every zero byte at one parity (odd offsets
// for little-endian), and either most units ASCII or a line end among them.
// Legacy and UTF-8 text holds no zero bytes, so neither is ever taken for
// UTF-16.
int32_t Detect(const unsigned char* bytes, int64_t count, int32_t* markSize);

inline uint32_t Unit(const unsigned char* p, int32_t order) {
    return order == BigEndian ? (uint32_t{p[0]} << 8) | p[1] : p[0] | (uint32_t{p[1]} << 8);
}

// Code units in, UTF-8 out: surrogate pairs are joined, a lone half becomes
// U+FFFD.
struct Decoder {
    uint32_t high;  // a high surrogate waiting for its low half; 0: none
};
void Put(Decoder* decoder, uint32_t unit, std::string* out);
// The end of the text: a high half still waiting becomes U+FFFD.
void Finish(Decoder* decoder, std::string* out);

// A whole text of `count` bytes, without its mark; an odd last byte is U+FFFD.
void AppendUtf8(const unsigned char* bytes, int64_t count, int32_t order, std::string* out);
}  // namespace Utf16
