// Invariant checks shared by the fuzz targets and the unit test that replays
// the fixtures and a few nasty inputs under the ordinary test build. Each
// check returns nullptr when every invariant holds, otherwise what broke.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "support/files/settings_file.h"
#include "support/files/text_file.h"
#include "support/text/utf16.h"
#include "support/text/utf8.h"
#include "tests/support/scratch.h"

namespace FuzzChecks {

inline std::string ScratchFile(const char* name) {
    static const Scratch::Folder folder;  // one per process, removed at exit
    return folder / name;
}

// ---- Line reader ------------------------------------------------------

// A UTF-8 byte-order mark at the start of a file is no part of its text.
inline size_t MarkSize(const std::string& bytes) { return bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0; }

// Each UTF-16 unit (an odd last byte: 0x110000) split into lines like the
// bytes below, then pairs joined and every other surrogate or odd byte U+FFFD.
inline std::vector<std::string> ReferenceUnitLines(const std::string& bytes, size_t at, int32_t order) {
    std::vector<uint32_t> units;
    for (; at + 1 < bytes.size(); at += 2) {
        const uint32_t first = static_cast<uint8_t>(bytes[at]), second = static_cast<uint8_t>(bytes[at + 1]);
        units.push_back(order == Utf16::BigEndian ? first << 8 | second : second << 8 | first);
    }
    if (at < bytes.size()) units.push_back(0x110000);
    std::vector<std::string> lines;
    for (size_t i = 0; i < units.size();) {
        size_t end = i;
        while (end < units.size() && units[end] != '\r' && units[end] != '\n' && units[end] != 0) ++end;
        std::string line;
        for (size_t j = i; j < end; ++j) {
            const uint32_t u = units[j];
            if (u >= 0xD800 && u < 0xDC00 && j + 1 < end && units[j + 1] >= 0xDC00 && units[j + 1] < 0xE000)
                Utf8::Append(0x10000 + ((u - 0xD800) << 10) + (units[++j] - 0xDC00), &line);
            else
                Utf8::Append((u >= 0xD800 && u < 0xE000) || u > 0xFFFF ? 0xFFFD : u, &line);
        }
        lines.push_back(line);
        i = end + (end + 1 < units.size() && units[end] == '\r' && units[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

// The lines as the reader must return them: LF, CR LF, a lone CR and NUL
// each end one line; the last line needs no end. UTF-16 as its first
// read-ahead shows it.
inline std::vector<std::string> ReferenceLines(const std::string& bytes) {
    int32_t markSize = 0;
    const int32_t order = MarkSize(bytes) != 0 ? Utf16::NotUtf16
        : Utf16::Detect(reinterpret_cast<const unsigned char*>(bytes.data()),
                        std::min<int64_t>(static_cast<int64_t>(bytes.size()), TextFile::BufferSize), &markSize);
    if (order != Utf16::NotUtf16) return ReferenceUnitLines(bytes, static_cast<size_t>(markSize), order);
    std::vector<std::string> lines;
    for (size_t i = MarkSize(bytes); i < bytes.size();) {
        const size_t end = std::min(bytes.find_first_of(std::string("\r\n\0", 3), i), bytes.size());
        lines.push_back(bytes.substr(i, end - i));
        i = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

inline const char* ReadLines(const std::string& path, size_t size, std::vector<std::string>* lines) {
    if (TextFile::OpenRead(0, path.c_str()) == 0) return "OpenRead failed";
    while (!TextFile::AtEnd(0)) {
        if (lines->size() > size) return "more lines than bytes";
        lines->push_back(TextFile::ReadLine(0));
    }
    if (!TextFile::ReadLine(0).empty()) return "ReadLine at the end gave text";
    TextFile::Close(0);
    return nullptr;
}

inline const char* CheckLineReader(const uint8_t* data, size_t size) {
    TextFile::Startup();
    const std::string bytes(reinterpret_cast<const char*>(data), size), path = ScratchFile("lines.txt");
    Scratch::Put(path, bytes);
    std::vector<std::string> lines;
    if (const char* failure = ReadLines(path, size, &lines)) return failure;
    return lines != ReferenceLines(bytes) ? "lines differ from the reference split" : nullptr;
}

// ---- Settings file ----------------------------------------------------

// The run's own sequence: each key read with its default and written back.
// Gives the values read.
inline std::vector<int32_t> LoadLikeTheRun(const std::string& path, int32_t flags) {
    const char* keys[] = {"Width", "Height", "Fullscreen", "UseNativeResolution", "RandomizeOrder"};
    const int32_t defaults[] = {800, 600, 1, 1, 1};
    std::vector<int32_t> values;
    SettingsFile::Open(path.c_str(), flags);
    for (int i = 0; i < 5; ++i) {
        if (i == 0 || i == 4) SettingsFile::SelectGroup(i == 0 ? "Screen" : "Words");
        values.push_back(SettingsFile::ReadInteger(keys[i], defaults[i]));
        SettingsFile::WriteInteger(keys[i], values.back());
    }
    SettingsFile::Close();
    return values;
}

// The rewritten file holds no NUL, gives back the values read and is a fixed point.
inline const char* CheckSettings(const uint8_t* data, size_t size) {
    SettingsFile::Startup();
    const std::string path = ScratchFile("settings.ini");
    Scratch::Put(path, std::string(reinterpret_cast<const char*>(data), size));
    const int32_t flags = size > 0 ? data[0] & 3 : SettingsFile::SpaceGroups;
    const std::vector<int32_t> values = LoadLikeTheRun(path, flags);
    const std::string first = Scratch::Get(path);
    if (first.find('\0') != std::string::npos) return "rewritten file holds a NUL byte";
    if (LoadLikeTheRun(path, flags) != values) return "the rewritten file gives other values";
    return Scratch::Get(path) != first ? "second rewrite differs from the first" : nullptr;
}

}  // namespace FuzzChecks
