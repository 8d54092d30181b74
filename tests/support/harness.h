// Runs the whole program in a child process inside a fresh working folder,
// on the headless display and the virtual clock, and hands back how it ended,
// its trace and the folder, plus the small helpers the experiment tests share.
#pragma once
#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "display/backends/headless/headless.h"
#include "display/display_types.h"

namespace Harness {

using Headless::ScriptEvent;
using Script = std::vector<ScriptEvent>;
struct SeedFile {
    std::string path;  // relative to the working folder; parents are made
    std::string content;
};
// Runs in the test process before the fork, with the absolute folder path.
using Prepare = std::function<void(const std::string& folder)>;

struct RunResult {
    bool exited = false;
    int exitCode = -1;
    int signal = 0;  // the signal that ended it, 0 if none
    std::string folder;
    std::vector<std::string> trace;
    std::string errorOutput;
    std::shared_ptr<void> cleanup;  // removes the folder with the last copy

    bool EndedNormally() const { return exited && exitCode == 0; }
    std::string Read(const std::string& relative) const;  // empty when missing
    bool Exists(const std::string& relative) const;
    bool Has(const std::string& traceLine) const;
    int Count(const std::string& tracePrefix) const;
    std::string Describe() const;  // for failure messages
};

struct Running {
    pid_t pid = -1;
    std::string base;  // the working folder is base/work
};
// `inChild` runs in the child just before the program starts.
Running Start(const Headless::Config& config, const std::vector<SeedFile>& files,
              const Prepare& extra = {}, const std::function<void()>& inChild = {});
// False when the child ended or a minute passed without that trace line.
bool WaitForTraceLine(const Running& run, const std::string& line);
RunResult Finish(const Running& run, int timeoutSeconds = 60);
RunResult RunWordtap(const Headless::Config& config, const std::vector<SeedFile>& files = {},
              const Prepare& extra = {}, int timeoutSeconds = 60);

// ---- The experiment's own vocabulary ----------------------------------------

// The virtual clock's local time is 2013-12-17 14:05:09.
inline const char* const ResultsName = "results_20131217-140509.txt";
inline const std::string Header = "time\tkey\tword\r\n";

inline std::string SettingsText(int width, int height, int fullscreen, int native, int randomize) {
    return "[Screen]\r\nWidth = " + std::to_string(width) + "\r\nHeight = " + std::to_string(height) +
           "\r\nFullscreen = " + std::to_string(fullscreen) + "\r\nUseNativeResolution = " +
           std::to_string(native) + "\r\n\r\n[Words]\r\nRandomizeOrder = " + std::to_string(randomize) +
           "\r\n";
}
// Full screen at the desktop's 1024 x 768, words in file order by default.
std::vector<SeedFile> DataFiles(const std::vector<std::string>& words,
                                const std::string& settings = SettingsText(800, 600, 1, 1, 0));

// The present that shows the word of trial k (from 1); its white screen is
// the one before.
constexpr int WordPresent(int trial) { return 2 * trial + 1; }
// A key let go `releaseMicros` after present `anchor`, pressed halfway there.
inline void Tap(Script& script, int anchor, int64_t releaseMicros, int32_t scanCode) {
    script.push_back({ScriptEvent::KeyDown, anchor, releaseMicros / 2, scanCode});
    script.push_back({ScriptEvent::KeyUp, anchor, releaseMicros, scanCode});
}
inline void AnswerIntro(Script& script) { Tap(script, 1, 200000, ScanCode::W); }
inline void Answer(Script& script, int trial, int64_t releaseMicros, int32_t scanCode) {
    Tap(script, WordPresent(trial), releaseMicros, scanCode);
}
inline Headless::Config WithScript(const Script& script) {
    Headless::Config config;
    config.script = script;
    return config;
}

// The drawn text of a "text <x> <y> <front> <back> <text>" trace line.
std::string DrawnText(const std::string& traceLine);
inline std::string TextLine(int x, int y, const std::string& text) {
    return "text " + std::to_string(x) + " " + std::to_string(y) + " 0x000000 0xFFFFFF " + text;
}
// The words of a results log, in order.
std::vector<std::string> LoggedWords(const std::string& results);

}  // namespace Harness
