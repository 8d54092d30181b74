#include "tests/support/harness.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/runtime.h"
#include "tests/support/virtual_time.h"

namespace fs = std::filesystem;

namespace Harness {
namespace {

std::string MakeBase() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/wordtap-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    return std::string(buffer.data());
}

// Runs in the child: never returns.
[[noreturn]] void RunChild(const RunningWordtap& run, const Headless::Config& config,
                           const std::function<void()>& inChild) {
    if (chdir(run.folder.c_str()) != 0) _exit(120);
    const int errorFd = open(run.errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (errorFd >= 0) {
        dup2(errorFd, STDERR_FILENO);
        close(errorFd);
    }
    VirtualTime::Reset();
    if (config.desktopRefreshHz > 0) VirtualTime::SetRetraceHz(config.desktopRefreshHz);
    Headless::Config childConfig = config;
    childConfig.nowMicros = VirtualTime::NowMicros;
    childConfig.waitForRetrace = VirtualTime::AdvanceToNextRetrace;
    childConfig.traceFile = run.traceFile;
    Headless::Configure(childConfig);
    if (inChild) inChild();
    Runtime::Run();
}

// Only complete lines: a line still being written must not match early.
std::vector<std::string> CompleteLines(const std::string& path) {
    std::vector<std::string> lines;
    const std::string text = ReadFile(path);
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

struct FolderCleanup {
    std::string base;
    ~FolderCleanup() {
        // KEEP_WORDTAP_FOLDERS=1 leaves them for a look after a failure.
        const char* keep = std::getenv("KEEP_WORDTAP_FOLDERS");
        if (keep != nullptr && *keep == '1') return;
        std::error_code ignored;
        fs::remove_all(base, ignored);
    }
};

}  // namespace

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::string();
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& folder, const std::string& relative, const std::string& content) {
    const fs::path path = fs::path(folder) / relative;
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

void Append(std::vector<Headless::ScriptEvent>& script,
            const std::vector<Headless::ScriptEvent>& more) {
    script.insert(script.end(), more.begin(), more.end());
}

std::string RunResult::Read(const std::string& relative) const {
    return ReadFile(folder + "/" + relative);
}

bool RunResult::Exists(const std::string& relative) const {
    std::error_code ignored;
    return fs::exists(fs::path(folder) / relative, ignored);
}

std::string RunResult::Describe() const {
    std::ostringstream out;
    if (timedOut) out << "timed out (killed); ";
    if (exited) out << "exit code " << exitCode;
    if (signal != 0) out << "ended by signal " << signal;
    out << "\nfolder: " << folder << "\nstandard error:\n" << errorOutput << "\nlast trace lines:\n";
    const size_t from = trace.size() > 30 ? trace.size() - 30 : 0;
    for (size_t i = from; i < trace.size(); ++i) out << "  " << trace[i] << "\n";
    return out.str();
}

RunningWordtap StartWordtap(const Headless::Config& config, const Prepare& prepare,
                            const std::function<void()>& inChild) {
    RunningWordtap run;
    run.base = MakeBase();
    run.folder = run.base + "/work";
    run.traceFile = run.base + "/trace.txt";
    run.errorFile = run.base + "/stderr.txt";
    fs::create_directories(run.folder);
    if (prepare) prepare(run.folder);

    // Buffered output would otherwise be written twice, once by each process.
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        std::abort();
    }
    if (pid == 0) RunChild(run, config, inChild);
    run.pid = pid;
    return run;
}

bool WaitForTraceLine(const RunningWordtap& run, const std::string& line, int timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (std::chrono::steady_clock::now() < deadline) {
        for (const std::string& seen : CompleteLines(run.traceFile))
            if (seen == line) return true;
        // Looks whether the child ended without collecting it.
        siginfo_t info = {};
        if (waitid(P_PID, static_cast<id_t>(run.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == run.pid) {
            for (const std::string& seen : CompleteLines(run.traceFile))
                if (seen == line) return true;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

void SendSignal(const RunningWordtap& run, int signalNumber) {
    if (run.pid > 0) kill(run.pid, signalNumber);
}

RunResult Finish(const RunningWordtap& run, int timeoutSeconds) {
    RunResult result;
    result.folder = run.folder;
    auto cleanup = std::make_shared<FolderCleanup>();
    cleanup->base = run.base;
    result.cleanup = cleanup;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(run.pid, &status, WNOHANG);
        if (done == run.pid) break;
        if (done < 0 && errno != EINTR) break;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(run.pid, SIGKILL);
            waitpid(run.pid, &status, 0);
            result.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    result.trace = Headless::ReadTraceFile(run.traceFile);
    result.errorOutput = ReadFile(run.errorFile);
    return result;
}

RunResult RunWordtap(const Headless::Config& config, const Prepare& prepare, int timeoutSeconds) {
    return Finish(StartWordtap(config, prepare), timeoutSeconds);
}

RunResult RunWordtap(const Headless::Config& config, const std::vector<SeedFile>& files,
                     int timeoutSeconds) {
    return RunWordtap(
        config,
        [&files](const std::string& folder) {
            for (const SeedFile& file : files) WriteFile(folder, file.path, file.content);
        },
        timeoutSeconds);
}

}  // namespace Harness
