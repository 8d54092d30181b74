#include "tests/support/harness.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "program/runtime.h"
#include "tests/support/virtual_time.h"

namespace fs = std::filesystem;

namespace Harness {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& folder, const std::string& relative, const std::string& content) {
    const fs::path path = fs::path(folder) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

}  // namespace

std::string RunResult::Read(const std::string& relative) const { return ReadFile(folder + "/" + relative); }

bool RunResult::Exists(const std::string& relative) const { return fs::exists(fs::path(folder) / relative); }

bool RunResult::Has(const std::string& traceLine) const {
    return std::find(trace.begin(), trace.end(), traceLine) != trace.end();
}

int RunResult::Count(const std::string& tracePrefix) const {
    int n = 0;
    for (const std::string& line : trace) n += line.rfind(tracePrefix, 0) == 0;
    return n;
}

std::string RunResult::Describe() const {
    std::string out = (exited ? "exit code " + std::to_string(exitCode) : "signal " + std::to_string(signal)) +
                      "\nstandard error:\n" + errorOutput + "\nlast trace lines:\n";
    for (size_t i = trace.size() > 30 ? trace.size() - 30 : 0; i < trace.size(); ++i) out += trace[i] + "\n";
    return out;
}

Running Start(const Headless::Config& config, const std::vector<SeedFile>& files, const Prepare& extra,
              const std::function<void()>& inChild) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/wordtap-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    Running run{-1, pattern};
    const std::string folder = run.base + "/work";
    fs::create_directories(folder);
    for (const SeedFile& file : files) WriteFile(folder, file.path, file.content);
    if (extra) extra(folder);

    std::fflush(nullptr);  // or buffered output is written by both processes
    run.pid = fork();
    if (run.pid < 0) std::abort();
    if (run.pid > 0) return run;
    if (chdir(folder.c_str()) != 0) _exit(120);
    const int errorFd = open((run.base + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (errorFd >= 0) dup2(errorFd, STDERR_FILENO);
    VirtualTime::Reset();
    VirtualTime::SetRetraceHz(config.desktopRefreshHz);
    Headless::Config childConfig = config;
    childConfig.nowMicros = VirtualTime::NowMicros;
    childConfig.waitForRetrace = VirtualTime::AdvanceToNextRetrace;
    childConfig.traceFile = run.base + "/trace.txt";
    Headless::Configure(childConfig);
    if (inChild) inChild();
    Runtime::Run();
    _exit(121);  // the program ends through exit(); getting here is a fault
}

bool WaitForTraceLine(const Running& run, const std::string& line) {
    // Only complete lines count: a line still being written must not match.
    for (int waited = 0; waited < 60000; waited += 2) {
        if (("\n" + ReadFile(run.base + "/trace.txt")).find("\n" + line + "\n") != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

RunResult Finish(const Running& run, int timeoutSeconds) {
    RunResult result;
    result.folder = run.base + "/work";
    result.cleanup = std::shared_ptr<void>(nullptr, [base = run.base](void*) {
        std::error_code ignored;
        fs::remove_all(base, ignored);
    });
    int status = 0;
    for (int waited = 0; waitpid(run.pid, &status, WNOHANG) == 0; waited += 2) {
        if (waited >= timeoutSeconds * 1000) {
            kill(run.pid, SIGKILL);
            waitpid(run.pid, &status, 0);
            result.errorOutput = "(timed out, killed)\n";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    result.exited = WIFEXITED(status);
    if (result.exited) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.trace = Headless::ReadTraceFile(run.base + "/trace.txt");
    result.errorOutput += ReadFile(run.base + "/stderr.txt");
    return result;
}

RunResult RunWordtap(const Headless::Config& config, const std::vector<SeedFile>& files, const Prepare& extra,
              int timeoutSeconds) {
    return Finish(Start(config, files, extra), timeoutSeconds);
}

std::vector<SeedFile> DataFiles(const std::vector<std::string>& words, const std::string& settings) {
    std::string list;
    for (const std::string& word : words) list += word + "\r\n";
    return {{"data/settings.ini", settings},
            {"data/introduction.txt", "intro\r\n"},
            {"data/finalscreen.txt", "final\r\n"},
            {"data/words/list.txt", list}};
}

std::string DrawnText(const std::string& traceLine) {
    size_t at = std::string::npos;  // wraps to 0 below
    for (int field = 0; field < 5; ++field)
        if ((at = traceLine.find(' ', at + 1)) == std::string::npos) return std::string();
    return traceLine.substr(at + 1);
}

std::vector<std::string> LoggedWords(const std::string& results) {
    std::vector<std::string> words;
    for (size_t start = Header.size(), end; (end = results.find("\r\n", start)) != std::string::npos;
         start = end + 2)
        words.push_back(results.substr(start + 10, end - start - 10));
    return words;
}

}  // namespace Harness
