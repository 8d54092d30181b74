// Invariant checks shared by the fuzz targets and the unit test that replays
// the fixtures and a few nasty inputs under the ordinary test build. Each
// check returns nullptr when every invariant holds, otherwise what broke.
#pragma once
#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/files/settings_file.h"
#include "support/files/text_file.h"
#include "tests/support/scratch.h"

namespace FuzzChecks {

inline std::string ScratchFile(const char* name) {
    static const Scratch::Folder folder;  // one per process, removed at exit
    return folder / name;
}

// ---- Line reader ------------------------------------------------------

// A UTF-8 byte-order mark at the start of a file is no part of its text.
inline size_t MarkSize(const std::string& bytes) { return bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0; }

// The lines as the reader must return them: LF, CR LF, a lone CR and NUL
// each end one line; the last line needs no end.
inline std::vector<std::string> ReferenceLines(const std::string& bytes) {
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
    const std::string bytes(reinterpret_cast<const char*>(data), size), path = ScratchFile("lines.txt"),
        copy = ScratchFile("lines_copy.txt");
    Scratch::Put(path, bytes);
    std::vector<std::string> lines, again;
    if (const char* failure = ReadLines(path, size, &lines)) return failure;
    if (lines != ReferenceLines(bytes)) return "lines differ from the reference split";

    // Written back with CR LF, the same lines come back.
    if (TextFile::Create(1, copy.c_str()) == 0) return "Create failed";
    for (const std::string& line : lines)
        if (TextFile::WriteLine(1, line) != static_cast<int32_t>(line.size() + 2)) return "WriteLine count wrong";
    TextFile::Close(1);
    if (const char* failure = ReadLines(copy, Scratch::Get(copy).size(), &again)) return failure;
    // A second mark, now first in the copy, is skipped in its turn.
    if (!lines.empty()) lines[0].erase(0, MarkSize(lines[0]));
    return again != lines ? "lines changed when written and read again" : nullptr;
}

// ---- Settings file ----------------------------------------------------

// Names that survive a rewrite (no "]", "=", line ends, no leading blanks),
// in several letter cases and with Latin-1 letters for the UTF-8 conversion.
inline const char* const kGroups[] = {"Screen", "Words", "SCREEN", "", "Gr\xF6\xDF" "e", "[x", "a b"};
inline const char* const kKeys[] = {"Width", "height", "WIDTH", "UseNativeResolution", "K\xE4se", "#x", "x;y"};

struct Step {
    int kind;  // 0 select, 1 read, 2 write
    const char* name;
    int32_t value;
};

// "Screen" selected, then a dozen steps drawn from a hash of the input.
inline std::vector<Step> ScriptFrom(const std::string& bytes) {
    std::mt19937 random(static_cast<uint32_t>(std::hash<std::string>{}(bytes)));
    std::vector<Step> steps = {{0, "Screen", 0}};
    for (int i = 0; i < 12; ++i) {
        const int kind = static_cast<int>(random() % 3);
        const char* name = kind == 0 ? kGroups[random() % 7] : kKeys[random() % 7];
        const int32_t value = random() % 4 == 0 ? static_cast<int32_t>(random() % 3) - 1 : static_cast<int32_t>(random());
        steps.push_back({kind, name, value});
    }
    return steps;
}

inline std::string Folded(std::string name) {
    for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return name;
}

// Runs the script; returns what it wrote, by (group, key) without letter case.
inline std::map<std::pair<std::string, std::string>, int32_t> RunScript(const std::string& path, int32_t flags,
                                                                      const std::vector<Step>& steps) {
    std::map<std::pair<std::string, std::string>, int32_t> written;
    SettingsFile::Open(path.c_str(), flags);
    std::string group;
    for (const Step& step : steps) {
        if (step.kind == 0) SettingsFile::SelectGroup(step.name);
        if (step.kind == 0) group = Folded(step.name);
        if (step.kind == 1) SettingsFile::ReadInteger(step.name, 0);
        if (step.kind == 2) SettingsFile::WriteInteger(step.name, step.value);
        if (step.kind == 2) written[{group, Folded(step.name)}] = step.value;
    }
    SettingsFile::Close();
    return written;
}

inline const char* CheckSettings(const uint8_t* data, size_t size) {
    SettingsFile::Startup();
    const std::string bytes(reinterpret_cast<const char*>(data), size), path = ScratchFile("settings.ini");
    Scratch::Put(path, bytes);
    const int32_t flags = size > 0 ? data[0] & 3 : SettingsFile::SpaceGroups;
    const std::vector<Step> steps = ScriptFrom(bytes);
    const auto written = RunScript(path, flags, steps);
    const std::string first = Scratch::Get(path);
    if (!written.empty() && first.find('\0') != std::string::npos) return "rewritten file holds a NUL byte";

    // The rewritten file parses again and gives back every value written.
    constexpr int32_t kAbsent = INT32_MIN + 12345;
    if (SettingsFile::Open(path.c_str(), flags) == 0) return "rewritten file cannot be opened";
    for (const auto& [where, value] : written) {
        SettingsFile::SelectGroup(where.first.c_str());
        if (SettingsFile::ReadInteger(where.second.c_str(), kAbsent) != value) {
            SettingsFile::Close();
            return "a written value does not read back";
        }
    }
    SettingsFile::Close();

    // Rewriting the rewritten file with the same writes changes nothing.
    RunScript(path, flags, steps);
    return Scratch::Get(path) != first ? "second rewrite differs from the first" : nullptr;
}

}  // namespace FuzzChecks
