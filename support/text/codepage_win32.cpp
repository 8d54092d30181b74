// The ANSI code page, whatever the system has set: what the "A" calls of
// GDI have always read the program's non-UTF-8 texts in.
#include "support/text/codepage.h"

#include <windows.h>

#include <vector>

namespace Codepage {

int32_t LegacyToUnicode(const char* bytes, int32_t length, std::u32string* out) {
    if (!out || length < 0 || (!bytes && length > 0)) return 0;
    if (length == 0) return 1;
    const int units = MultiByteToWideChar(CP_ACP, 0, bytes, length, nullptr, 0);
    if (units <= 0) return 0;
    std::vector<wchar_t> wide(static_cast<size_t>(units));
    if (MultiByteToWideChar(CP_ACP, 0, bytes, length, wide.data(), units) != units) return 0;
    for (size_t i = 0; i < wide.size(); ++i) {
        char32_t c = static_cast<char16_t>(wide[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(wide[++i]) - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        out->push_back(c);
    }
    return 1;
}

}  // namespace Codepage
