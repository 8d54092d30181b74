// UTF-8 as it reaches the program in experimenters' files. Current editors
// save UTF-8, older ones Windows-1252; a line is taken as UTF-8 only when it
// is well-formed and needs it, since Windows-1252 text with accented letters
// is practically never well-formed UTF-8.
#pragma once
#include <cstdint>
#include <string>

namespace Utf8 {
// Non-zero when the bytes are well-formed UTF-8: no overlong forms, no
// surrogates, nothing above U+10FFFF, no sequence cut short.
int32_t IsValid(const char* text, int32_t length);
// Non-zero when the text is to be read as UTF-8: well-formed and holding at
// least one byte above 0x7F (pure ASCII reads the same either way).
int32_t IsUtf8Text(const char* text, int32_t length);
// The character that starts at text[*at], moving *at past it. A byte that
// starts no well-formed sequence gives U+FFFD and moves by one byte.
uint32_t Next(const char* text, int32_t length, int32_t* at);
// Appends the encoding of `character`; a surrogate or a value beyond
// U+10FFFF appends that of U+FFFD.
void Append(char32_t character, std::string* out);
}  // namespace Utf8
