// Invariant checks shared by the fuzz targets and the unit test that replays
// the fixtures and a few nasty inputs under the ordinary test build. Each
// check returns nullptr when every invariant holds, otherwise what broke.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/files/settings_file.h"
#include "support/files/text_file.h"

namespace FuzzChecks {

// One scratch folder per process, removed at exit.
class ScratchFolder {
public:
    ScratchFolder() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("wordtap_fuzz_" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const char* name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline const ScratchFolder& Scratch() {
    static ScratchFolder folder;
    return folder;
}

inline void PutBytes(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

inline std::string GetBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- Line reader ------------------------------------------------------

// A UTF-8 byte-order mark at the start of a file is no part of its text.
inline size_t MarkSize(const void* data, size_t size) {
    return size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
}

// The lines as the reader must return them: LF, CR LF, a lone CR and NUL
// each end one line; the last line needs no end.
inline std::vector<std::string> ReferenceLines(const uint8_t* data, size_t size) {
    std::vector<std::string> lines;
    size_t i = MarkSize(data, size);
    while (i < size) {
        std::string line;
        while (i < size && data[i] != '\r' && data[i] != '\n' && data[i] != 0) line.push_back(static_cast<char>(data[i++]));
        if (i < size) {
            uint8_t end = data[i++];
            if (end == '\r' && i < size && data[i] == '\n') ++i;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

inline const char* ReadLines(const std::string& path, size_t size, std::vector<std::string>* lines) {
    if (TextFile::OpenRead(0, path.c_str()) == 0) return "OpenRead failed";
    while (!TextFile::AtEnd(0)) {
        if (lines->size() > size) return "more lines than bytes";
        std::string line = TextFile::ReadLine(0);
        if (line.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return "line holds CR, LF or NUL";
        lines->push_back(std::move(line));
    }
    if (TextFile::AtEnd(0) == 0) return "AtEnd changed its mind";
    if (!TextFile::ReadLine(0).empty()) return "ReadLine at the end gave text";
    TextFile::Close(0);
    return nullptr;
}

inline const char* CheckLineReader(const uint8_t* data, size_t size) {
    TextFile::Startup();
    const std::string path = Scratch().File("lines.txt");
    PutBytes(path, data, size);

    std::vector<std::string> lines;
    if (const char* failure = ReadLines(path, size, &lines)) return failure;
    size_t ends = 0, text = 0;
    for (size_t i = 0; i < size; ++i) ends += (data[i] == '\r' || data[i] == '\n' || data[i] == 0);
    for (const std::string& line : lines) text += line.size();
    if (MarkSize(data, size) + text + ends != size) return "line bytes and line ends do not add up to the file";
    if (lines != ReferenceLines(data, size)) return "lines differ from the reference split";

    // Written back with CR LF, the same lines come back.
    const std::string copy = Scratch().File("lines_copy.txt");
    if (TextFile::Create(1, copy.c_str()) == 0) return "Create failed";
    size_t written = 0;
    for (const std::string& line : lines) {
        int32_t n = TextFile::WriteLine(1, line);
        if (n != static_cast<int32_t>(line.size() + 2)) return "WriteLine count wrong";
        written += static_cast<size_t>(n);
    }
    TextFile::Close(1);
    if (std::filesystem::file_size(copy) != written) return "written size differs from the counts";
    std::vector<std::string> again;
    if (const char* failure = ReadLines(copy, written, &again)) return failure;
    // A second mark, now first in the copy, is skipped in its turn.
    if (!lines.empty()) lines[0].erase(0, MarkSize(lines[0].data(), lines[0].size()));
    if (again != lines) return "lines changed when written and read again";
    return nullptr;
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

inline std::vector<Step> ScriptFrom(const uint8_t* data, size_t size) {
    std::vector<Step> steps;
    uint32_t seed = 2166136261u;
    for (size_t i = 0; i < size; ++i) seed = (seed ^ data[i]) * 16777619u;
    std::mt19937 random(seed);
    steps.push_back({0, "Screen", 0});
    for (int i = 0; i < 12; ++i) {
        int kind = static_cast<int>(random() % 3);
        const char* name = kind == 0 ? kGroups[random() % 7] : kKeys[random() % 7];
        int32_t value = static_cast<int32_t>(random());
        if (random() % 4 == 0) value = static_cast<int32_t>(random() % 3) - 1;
        steps.push_back({kind, name, value});
    }
    return steps;
}

inline std::string Folded(const char* name) {
    std::string out(name);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

// Runs the script; returns what it wrote, by (group, key) without letter case.
inline std::map<std::pair<std::string, std::string>, int32_t> RunScript(const std::string& path, int32_t flags,
                                                                      const std::vector<Step>& steps) {
    std::map<std::pair<std::string, std::string>, int32_t> written;
    SettingsFile::Open(path.c_str(), flags);
    std::string group;
    for (const Step& step : steps) {
        if (step.kind == 0) {
            SettingsFile::SelectGroup(step.name);
            group = Folded(step.name);
        } else if (step.kind == 1) {
            SettingsFile::ReadInteger(step.name, 0);
        } else {
            SettingsFile::WriteInteger(step.name, step.value);
            written[{group, Folded(step.name)}] = step.value;
        }
    }
    SettingsFile::Close();
    return written;
}

inline const char* CheckSettings(const uint8_t* data, size_t size) {
    SettingsFile::Startup();
    const std::string path = Scratch().File("settings.ini");
    PutBytes(path, data, size);
    const int32_t flags = size > 0 ? data[0] & 3 : SettingsFile::SpaceGroups;
    const std::vector<Step> steps = ScriptFrom(data, size);

    auto written = RunScript(path, flags, steps);
    const std::string first = GetBytes(path);
    if (!written.empty() && first.find('\0') != std::string::npos) return "rewritten file holds a NUL byte";

    // The rewritten file parses again and gives back every value written.
    constexpr int32_t kAbsent = INT32_MIN + 12345;
    if (SettingsFile::Open(path.c_str(), flags) == 0) return "rewritten file cannot be opened";
    for (const auto& [where, value] : written) {
        const std::string& groupName = where.first;
        SettingsFile::SelectGroup(groupName.c_str());
        if (SettingsFile::ReadInteger(where.second.c_str(), kAbsent) != value) {
            SettingsFile::Close();
            return "a written value does not read back";
        }
    }
    SettingsFile::Close();

    // Rewriting the rewritten file with the same writes changes nothing.
    RunScript(path, flags, steps);
    if (GetBytes(path) != first) return "second rewrite differs from the first";
    return nullptr;
}

}  // namespace FuzzChecks
