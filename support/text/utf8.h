// UTF-8 as it reaches the program in experimenters' files. Current editors
// save UTF-8, older ones the system's legacy code page; a file is taken as
// UTF-8 only when it says so or is well-formed and needs it, since legacy
// text with accented letters is practically never well-formed UTF-8 as a whole.
#pragma once
#include <cstdint>
#include <string>

namespace Utf8 {
// How a file's bytes stand for characters, decided once for the whole file:
// a line-by-line guess would show a code page 936 word that happens to be
// well-formed UTF-8 as another word than its neighbours.
enum Encoding : int32_t { Legacy = 0, Unicode = 1 };
// Lines of one file go in one by one; their ends are ASCII, so the file is
// well-formed exactly when every line is.
struct FileCheck {
    int32_t markSkipped;
    int32_t malformed;
    int32_t high;  // a byte above 0x7F: pure ASCII reads the same either way
};
void CheckLine(FileCheck* check, const char* text, int32_t length);
// A byte-order mark decides alone; otherwise well-formed with a byte above
// 0x7F is UTF-8, anything else the system's legacy code page.
int32_t FileEncoding(const FileCheck& check);
// Non-zero when the bytes are well-formed UTF-8: no overlong forms, no
// surrogates, nothing above U+10FFFF, no sequence cut short.
int32_t IsValid(const char* text, int32_t length);
// The character that starts at text[*at], moving *at past it. A byte that
// starts no well-formed sequence gives U+FFFD and moves by one byte.
uint32_t Next(const char* text, int32_t length, int32_t* at);
// Appends the encoding of `character`; a surrogate or a value beyond
// U+10FFFF appends that of U+FFFD.
void Append(char32_t character, std::string* out);
}  // namespace Utf8
