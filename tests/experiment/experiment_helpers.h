// Shared pieces of the whole-experiment tests: scripts, settings files and
// reading the results log.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "display/backends/headless/headless.h"
#include "display/display_types.h"
#include "tests/support/harness.h"

namespace ExperimentTest {

using Headless::ScriptEvent;
using Script = std::vector<ScriptEvent>;

// The virtual clock's local time is 2013-12-17 14:05:09.
inline const char* const ResultsName = "results_20131217-140509.txt";
inline const std::string Header = "time\tkey\tword";

inline std::string SettingsText(int32_t width, int32_t height, int32_t fullscreen, int32_t native,
                            int32_t randomize) {
    return "[Screen]\r\nWidth = " + std::to_string(width) + "\r\nHeight = " +
           std::to_string(height) + "\r\nFullscreen = " + std::to_string(fullscreen) +
           "\r\nUseNativeResolution = " + std::to_string(native) + "\r\n\r\n[Words]\r\nRandomizeOrder = " +
           std::to_string(randomize) + "\r\n";
}

// Full screen at the desktop's 1024 x 768, words in file order.
inline std::vector<Harness::SeedFile> DataFiles(const std::vector<std::string>& words,
                                            const std::string& settings = SettingsText(800, 600, 1,
                                                                                   1, 0)) {
    std::string list;
    for (const std::string& word : words) list += word + "\r\n";
    return {{"data/settings.ini", settings},
            {"data/introduction.txt", "intro\r\n"},
            {"data/finalscreen.txt", "final\r\n"},
            {"data/words/list.txt", list}};
}

inline void Tap(Script& script, int32_t anchor, int64_t releaseMicros, int32_t scanCode) {
    const int64_t press = releaseMicros / 2;
    script.push_back({ScriptEvent::KeyDown, anchor, press, scanCode});
    script.push_back({ScriptEvent::KeyUp, anchor, releaseMicros, scanCode});
}
// Answers the introduction (present 1) with [W].
inline void AnswerIntro(Script& script) { Tap(script, 1, 200000, ScanCode::W); }
inline void Answer(Script& script, int32_t trial, int64_t releaseMicros, int32_t scanCode) {
    Tap(script, Harness::WordPresent(trial), releaseMicros, scanCode);
}

inline Headless::Config WithScript(const Script& script) {
    Headless::Config config;
    config.script = script;
    return config;
}

// Lines of a results log; every line must end in CR LF.
inline std::vector<std::string> LogLines(const std::string& content) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size()) {
        const size_t end = content.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "last line without CR LF: " << content.substr(start);
            lines.push_back(content.substr(start));
            break;
        }
        lines.push_back(content.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

inline std::vector<std::string> TextLinesOfTrace(const std::vector<std::string>& trace) {
    std::vector<std::string> texts;
    for (const std::string& line : trace)
        if (line.rfind("text ", 0) == 0) texts.push_back(line);
    return texts;
}

// The drawn text of a "text <x> <y> <front> <back> <text>" trace line.
inline std::string DrawnText(const std::string& traceLine) {
    size_t at = 0;
    for (int field = 0; field < 5 && at != std::string::npos; ++field) at = traceLine.find(' ', at) + 1;
    return at == std::string::npos || at == 0 ? std::string() : traceLine.substr(at);
}

inline std::string TextLine(int32_t x, int32_t y, const std::string& text) {
    return "text " + std::to_string(x) + " " + std::to_string(y) + " 0x000000 0xFFFFFF " + text;
}

inline bool HasLine(const std::vector<std::string>& trace, const std::string& line) {
    for (const std::string& seen : trace)
        if (seen == line) return true;
    return false;
}

inline int32_t CountPrefix(const std::vector<std::string>& trace, const std::string& prefix) {
    int32_t n = 0;
    for (const std::string& seen : trace)
        if (seen.rfind(prefix, 0) == 0) ++n;
    return n;
}

inline std::string Box(int32_t line, const char* suffix) {
    return "box wordtap|Error" + std::to_string(line) + suffix;
}

}  // namespace ExperimentTest
