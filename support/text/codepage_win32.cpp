// The ANSI code page, whatever the system has set: what the "A" calls of
// GDI have always read the program's non-UTF-8 texts in. Single- and
// double-byte code pages map each byte sequence the page lacks to U+FFFD; for
// the pages with longer sequences (UTF-8, GB18030) the system's own
// replacement stands.
#include "support/text/codepage.h"

#include <windows.h>

#include <vector>

namespace Codepage {

namespace {

// UTF-16 to code points: surrogate pairs combined, a lone half U+FFFD.
void Append(const wchar_t* units, int count, std::u32string* out) {
    for (int i = 0; i < count; ++i) {
        char32_t c = static_cast<char16_t>(units[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(units[++i]) - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        out->push_back(c);
    }
}

}  // namespace

int32_t LegacyToUnicode(const char* bytes, int32_t length, std::u32string* out) {
    if (!out || length < 0 || (!bytes && length > 0)) return 0;
    if (length == 0) return 1;
    // No code page takes more UTF-16 units than bytes.
    std::vector<wchar_t> wide(static_cast<size_t>(length));
    int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, length, wide.data(), length);
    if (units > 0) {
        Append(wide.data(), units, out);
        return 1;
    }
    CPINFO page;
    if (!GetCPInfo(CP_ACP, &page)) return 0;
    if (page.MaxCharSize > 2) {
        units = MultiByteToWideChar(CP_ACP, 0, bytes, length, wide.data(), length);
        if (units <= 0) return 0;
        Append(wide.data(), units, out);
        return 1;
    }
    // Character by character: without the flag the system would put its own
    // stand-in ('?', a private-use character) where the page has nothing.
    for (int32_t i = 0; i < length;) {
        const int32_t lead = i + 1 < length && IsDBCSLeadByte(static_cast<BYTE>(bytes[i]));
        int size = page.MaxCharSize == 2 && lead ? 2 : 1;
        wchar_t unit[2];
        units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes + i, size, unit, 2);
        if (units <= 0) {
            out->push_back(0xFFFD);
            size = 1;  // a lead byte whose second byte does not fit: that byte starts afresh
        } else {
            Append(unit, units, out);
        }
        i += size;
    }
    return 1;
}

}  // namespace Codepage
