#include "support/text/utf8.h"

namespace {

// The length of the well-formed sequence at p (with `left` bytes available)
// and its character; 0 when there is none.
int32_t Decode(const unsigned char* p, int32_t left, uint32_t* character) {
    static const uint32_t smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    const unsigned char lead = p[0];
    int32_t n = 0;
    uint32_t c = 0;
    if (lead < 0x80) {
        *character = lead;
        return 1;
    }
    // C0 and C1 could only start overlong forms; F5 and above only values
    // beyond U+10FFFF.
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
        c = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        c = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        c = lead & 0x07u;
    } else {
        return 0;
    }
    if (left < n) return 0;
    for (int32_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (p[i] & 0x3Fu);
    }
    if (c < smallest[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    *character = c;
    return n;
}

}  // namespace

namespace Utf8 {

int32_t IsValid(const char* text, int32_t length) {
    if (!text) return length <= 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    uint32_t c = 0;
    for (int32_t at = 0; at < length;) {
        int32_t n = Decode(p + at, length - at, &c);
        if (n == 0) return 0;
        at += n;
    }
    return 1;
}

uint32_t Next(const char* text, int32_t length, int32_t* at) {
    uint32_t c = 0xFFFD;
    int32_t n = Decode(reinterpret_cast<const unsigned char*>(text) + *at, length - *at, &c);
    *at += n > 0 ? n : 1;
    return n > 0 ? c : 0xFFFD;
}

void CheckLine(FileCheck* check, const char* text, int32_t length) {
    for (int32_t i = 0; i < length && !check->high; ++i) check->high = static_cast<unsigned char>(text[i]) >= 0x80;
    if (!check->malformed && !IsValid(text, length)) check->malformed = 1;
}

int32_t FileEncoding(const FileCheck& check) {
    return check.markSkipped || (check.high && !check.malformed) ? Unicode : Legacy;
}

void Append(char32_t c, std::string* out) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
        return;
    }
    const int32_t n = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    static const unsigned char lead[5] = {0, 0, 0xC0, 0xE0, 0xF0};
    out->push_back(static_cast<char>(lead[n] | (c >> (6 * (n - 1)))));
    for (int32_t i = n - 2; i >= 0; --i) out->push_back(static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F)));
}

}  // namespace Utf8
