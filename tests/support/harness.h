// Runs the whole program in a child process inside a fresh working folder,
// on the headless display and the virtual clock, and hands back how it ended,
// its trace and the folder, so that a test can read what it wrote.
#pragma once
#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "display/backends/headless/headless.h"

namespace Harness {

struct SeedFile {
    std::string path;  // relative to the working folder; parents are made
    std::string content;
};
// Runs in the test process before the fork, with the absolute folder path.
using Prepare = std::function<void(const std::string& folder)>;

struct RunResult {
    bool exited = false;  // ended through exit()
    int exitCode = -1;
    int signal = 0;  // the signal that ended it, 0 if none
    bool timedOut = false;
    std::string folder;  // the working folder of the run
    std::vector<std::string> trace;
    std::string errorOutput;  // what the program wrote to standard error
    std::shared_ptr<void> cleanup;

    bool EndedNormally() const { return exited && exitCode == 0; }
    std::string Read(const std::string& relative) const;  // empty when missing
    bool Exists(const std::string& relative) const;
    // How it ended and what it said, for failure messages.
    std::string Describe() const;
};

constexpr int DefaultTimeoutSeconds = 60;

RunResult RunWordtap(const Headless::Config& config, const Prepare& prepare,
                     int timeoutSeconds = DefaultTimeoutSeconds);
RunResult RunWordtap(const Headless::Config& config, const std::vector<SeedFile>& files = {},
                     int timeoutSeconds = DefaultTimeoutSeconds);

// A run that the test ends or watches itself.
struct RunningWordtap {
    pid_t pid = -1;
    std::string base;  // holds the working folder, the trace and standard error
    std::string folder;
    std::string traceFile;
    std::string errorFile;
};
// `inChild` runs in the child just before the program starts (limits, signal
// dispositions).
RunningWordtap StartWordtap(const Headless::Config& config, const Prepare& prepare,
                            const std::function<void()>& inChild = {});
// Waits until the trace holds a complete line equal to `line`; false when the
// child ended first or the time ran out.
bool WaitForTraceLine(const RunningWordtap& run, const std::string& line,
                      int timeoutSeconds = DefaultTimeoutSeconds);
void SendSignal(const RunningWordtap& run, int signalNumber);
// Waits for the child to end (killing it after the time limit).
RunResult Finish(const RunningWordtap& run, int timeoutSeconds = DefaultTimeoutSeconds);

// Writes a file below `folder`, making its parent directories.
void WriteFile(const std::string& folder, const std::string& relative, const std::string& content);
std::string ReadFile(const std::string& path);

// Script helpers: a key let go `releaseMicros` after present `anchor`,
// pressed `pressMicros` after it.
inline std::vector<Headless::ScriptEvent> Tap(int32_t anchor, int64_t pressMicros,
                                              int64_t releaseMicros, int32_t scanCode) {
    return {{Headless::ScriptEvent::KeyDown, anchor, pressMicros, scanCode},
            {Headless::ScriptEvent::KeyUp, anchor, releaseMicros, scanCode}};
}
void Append(std::vector<Headless::ScriptEvent>& script,
            const std::vector<Headless::ScriptEvent>& more);

// The present that shows the word of trial k (from 1); its white screen is
// the one before.
constexpr int32_t WordPresent(int32_t trial) { return 2 * trial + 1; }

}  // namespace Harness
