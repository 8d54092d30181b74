// Non-UTF-8 text has always been read as Windows-1252 here: the code page
// the experimenters' older files were written in.
#include "support/text/codepage.h"

namespace Codepage {

int32_t LegacyToUnicode(const char* bytes, int32_t length, std::u32string* out) {
    // 0x80-0x9F; the five the code page leaves unassigned pass through as
    // their C1 controls, as Windows itself converts them.
    static const uint16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    if (!out || length < 0 || (!bytes && length > 0)) return 0;
    out->reserve(out->size() + static_cast<size_t>(length));
    for (int32_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        out->push_back(byte >= 0x80 && byte <= 0x9F ? high[byte - 0x80] : byte);
    }
    return 1;
}

}  // namespace Codepage
