// Failures that must lose nothing: a full disk while files are written, a
// file system without locks, a termination signal while the lists load.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/files/settings_file.h"
#include "tests/support/harness.h"

using namespace Harness;
namespace fs = std::filesystem;

namespace {
int flockError = 0;
}  // namespace

// Takes the C library's place for the whole test program, the runs it forks
// included: 0 passes the call through, anything else is the error that a
// file system without locks gives.
extern "C" int flock(int fd, int operation) noexcept {
    if (flockError != 0) {
        errno = flockError;
        return -1;
    }
    return static_cast<int>(syscall(SYS_flock, fd, operation));
}

namespace {

// A run under a file size limit of `bytes`, quit at the introduction.
RunResult RunWithSizeLimit(rlim_t bytes, const std::vector<SeedFile>& files) {
    Script script;
    Tap(script, 1, 100000, ScanCode::Escape);
    return Finish(Start(WithScript(script), files, {}, [bytes] {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {bytes, bytes};
        setrlimit(RLIMIT_FSIZE, &limit);
    }));
}

// Bytes that process `pid` has read so far, -1 when unknown.
long long BytesRead(pid_t pid) {
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return -1;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(FailurePaths, SettingsRewriteThatCannotBeWrittenLeavesTheOldFileWhole) {
    // The rewrite (over 100 bytes) does not fit under the limit.
    const std::string old = "[screen]\nFullscreen=0\n";
    std::vector<SeedFile> files = DataFiles({"a"});
    files[0].content = old;
    const RunResult run = RunWithSizeLimit(40, files);
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_EQ(run.Read("data/settings.ini"), old);
    EXPECT_EQ(Names(run.folder + "/data"),
              (std::vector<std::string>{"finalscreen.txt", "introduction.txt", "settings.ini", "words"}));
}

TEST(FailurePaths, RewrittenSettingsKeepTheirModeAndTheirLink) {
    const fs::path dir = fs::temp_directory_path() / ("wordtap-modes-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string plain = dir / "plain.ini", link = dir / "link.ini", target = dir / "target.ini";
    for (const std::string& path : {plain, target}) {
        std::ofstream(path) << "[Words]\n";
        chmod(path.c_str(), 0604);
    }
    fs::create_symlink(target, link);
    for (const std::string& path : {plain, link}) {
        SettingsFile::Open(path.c_str(), 0);
        SettingsFile::SelectGroup("Words");
        SettingsFile::WriteInteger("RandomizeOrder", 0);
        SettingsFile::Close();
    }
    for (const std::string& path : {plain, target}) {
        std::ifstream in(path, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "[Words]\r\nRandomizeOrder = 0\r\n") << path;
        EXPECT_EQ(fs::status(path).permissions(), static_cast<fs::perms>(0604)) << path;
    }
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Names(dir), (std::vector<std::string>{"link.ini", "plain.ini", "target.ini"}));
    fs::remove_all(dir);
}

TEST(FailurePaths, DefaultFilesCutShortByAFullDiskAreReported) {
    // Each default (251, 68 and 23 bytes) stays in its buffer until closed;
    // the limit also cuts standard error short, but not the line number.
    const struct { const char* missing; const char* error; } rows[] = {
        {"data/introduction.txt", "Error135:"},
        {"data/finalscreen.txt", "Error158:"},
        {"data/words/list.txt", "Error181:"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.missing);
        std::vector<SeedFile> files;
        for (const SeedFile& file : DataFiles({"a"}))
            if (file.path != row.missing) files.push_back(file);
        const RunResult run = RunWithSizeLimit(20, files);
        ASSERT_TRUE(run.EndedNormally()) << run.Describe();
        EXPECT_EQ(run.errorOutput.rfind(row.error, 0), 0u) << run.errorOutput;
    }
}

TEST(FailurePaths, FileSystemWithoutLocksIsNoSharingConflict) {
    for (int error : {ENOLCK, EOPNOTSUPP}) {
        SCOPED_TRACE(error);
        Script script;
        Tap(script, 1, 100000, ScanCode::Escape);
        std::vector<SeedFile> files = DataFiles({"a"});
        files[0].content = "[Screen]\r\nWidth=800\r\n[Words]\r\nRandomizeOrder=0\r\n";
        const RunResult run = Finish(Start(WithScript(script), files, {}, [error] { flockError = error; }));
        ASSERT_TRUE(run.EndedNormally()) << run.Describe();
        EXPECT_EQ(run.Count("box"), 0);
        EXPECT_EQ(run.Read(ResultsName), Header);
        EXPECT_EQ(run.Read("data/settings.ini"), SettingsText(800, 600, 1, 1, 0));
    }
}

TEST(FailurePaths, TerminationSignalEndsALoadThatWouldTakeHours) {
    // 4 GiB of holes: every zero byte ends an empty line, so the list never
    // finishes loading here and holds nothing.
    const Running child = Start(Headless::Config{}, DataFiles({}), [](const std::string& folder) {
        fs::resize_file(folder + "/data/words/list.txt", uintmax_t{4} << 30);
    });
    // Well into the list, where only a check inside one file can end the load.
    for (int waited = 0; waited < 60000 && BytesRead(child.pid) < (1 << 16); waited += 2) usleep(2000);
    kill(child.pid, SIGTERM);
    const RunResult run = Finish(child, 20);
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_EQ(run.Count("present "), 0);
    EXPECT_TRUE(run.Has("close-surface"));
    EXPECT_FALSE(run.Exists(ResultsName));
}
