#include "support/text/utf16.h"

#include "support/text/utf8.h"

namespace Utf16 {

int32_t Detect(const unsigned char* bytes, int64_t count, int32_t* markSize) {
    *markSize = 0;
    if (bytes == nullptr || count < 2) return NotUtf16;
    if (bytes[0] == 0xFF && bytes[1] == 0xFE) {
        *markSize = 2;
        return LittleEndian;
    }
    if (bytes[0] == 0xFE && bytes[1] == 0xFF) {
        *markSize = 2;
        return BigEndian;
    }
    // Per order: units whose high byte alone is zero (ASCII and Latin-1), and
    // line-end units. A zero byte at the other parity rules the order out.
    int64_t ascii[3] = {0, 0, 0}, lineEnds[3] = {0, 0, 0};
    const int64_t units = count / 2;
    for (int64_t i = 0; i < units; ++i) {
        const unsigned char even = bytes[2 * i], odd = bytes[2 * i + 1];
        if (even == 0 && odd == 0) return NotUtf16;
        const int32_t order = odd == 0 ? LittleEndian : even == 0 ? BigEndian : NotUtf16;
        const unsigned char low = order == LittleEndian ? even : odd;
        ++ascii[order];
        lineEnds[order] += low == '\n' || low == '\r';
    }
    // Strict, so that no stray zero byte turns a legacy file into UTF-16:
    // unmarked text with U+4E00 or U+0100 (a zero low byte) stays unread.
    for (int32_t order : {LittleEndian, BigEndian}) {
        const int32_t other = order == LittleEndian ? BigEndian : LittleEndian;
        if (ascii[other] == 0 && (2 * ascii[order] > units || lineEnds[order] > 0)) return order;
    }
    return NotUtf16;
}

void Put(Decoder* decoder, uint32_t unit, std::string* out) {
    if (unit >= 0xDC00 && unit <= 0xDFFF && decoder->high != 0) {
        Utf8::Append(0x10000 + ((decoder->high - 0xD800) << 10) + (unit - 0xDC00), out);
        decoder->high = 0;
        return;
    }
    Finish(decoder, out);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        decoder->high = unit;
    } else {
        Utf8::Append(unit, out);  // a lone low half is a surrogate: U+FFFD
    }
}

void Finish(Decoder* decoder, std::string* out) {
    if (decoder->high != 0) Utf8::Append(0xFFFD, out);
    decoder->high = 0;
}

void AppendUtf8(const unsigned char* bytes, int64_t count, int32_t order, std::string* out) {
    Decoder decoder{0};
    for (int64_t i = 0; i + 1 < count; i += 2) Put(&decoder, Unit(bytes + i, order), out);
    Finish(&decoder, out);
    if (count % 2 != 0) Utf8::Append(0xFFFD, out);
}

}  // namespace Utf16
