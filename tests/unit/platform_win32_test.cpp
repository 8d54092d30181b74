// The Windows file, clock and stop-request layers against the system's own
// rules (sharing, wildcards, drives, devices, local time, console events).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "support/files/directory.h"
#include "support/files/file_failure.h"
#include "support/files/file_platform.h"
#include "support/files/settings_file.h"
#include "support/files/text_file.h"
#include "support/process/process.h"
#include "support/time/clock.h"
#include "tests/support/scratch.h"

// The slot in the import table through which the program calls the system.
extern "C" BOOL(WINAPI* __imp_FlushFileBuffers)(HANDLE);

namespace {

namespace FP = FilePlatform;

// FlushFileBuffers' answer as planted: 0 passes the call through.
DWORD plantedFlushError = 0;
BOOL(WINAPI* systemFlush)(HANDLE) = nullptr;
int flushCalls = 0;

BOOL WINAPI PlantedFlush(HANDLE file) {
    ++flushCalls;
    if (plantedFlushError == 0) return systemFlush(file);
    SetLastError(plantedFlushError);
    return FALSE;
}

struct Opener {
    uint32_t access, share;
    FP::Disposition disposition;
};
// The opens that the text files and the settings file make.
constexpr Opener Creator{FP::Access::Read | FP::Access::Write, FP::ShareRead, FP::CreateAlways};
constexpr Opener Truncator{FP::Access::Write, FP::ShareRead, FP::TruncateExisting};
constexpr Opener Reader{FP::Access::Read, FP::ShareRead, FP::OpenExisting};
constexpr Opener Updater{FP::Access::Read | FP::Access::Write, FP::ShareRead, FP::OpenExisting};
constexpr Opener TolerantReader{FP::Access::Read, FP::ShareRead | FP::ShareWrite, FP::OpenExisting};

FP::Handle OpenWith(const std::string& path, const Opener& o) { return FP::Open(path.c_str(), o.access, o.share, o.disposition); }

std::vector<std::string> Names(const Scratch::Folder& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.str())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FilesWin32, SecondOpensFollowTheSharingModes) {
    const struct { Opener held, second; bool opens; } rows[] = {
        {Creator, Creator, false}, {Creator, Truncator, false}, {Creator, Reader, false},
        {Creator, TolerantReader, true}, {Updater, Reader, false}, {Reader, Reader, true},
        {Reader, Creator, false}, {Reader, Updater, false}, {TolerantReader, Updater, true},
    };
    Scratch::Folder dir;
    const std::string path = dir / "results_20131217-140509.txt";
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        Scratch::Put(path, "");
        FP::Handle held = OpenWith(path, row.held);
        ASSERT_NE(held, 0);
        FP::Handle second = OpenWith(path, row.second);
        EXPECT_EQ(second != 0, row.opens);
        FP::Close(second);
        FP::Close(held);
    }
    // An earlier results file of the name stays as it was; so does one that
    // a run of the same second still has open.
    TextFile::Startup();
    Scratch::Put(path, "earlier\r\n");
    EXPECT_EQ(TextFile::CreateNew(0, path.c_str()), 0);
    EXPECT_EQ(Scratch::Get(path), "earlier\r\n");
    ASSERT_TRUE(DeleteFileA(path.c_str()));
    ASSERT_NE(TextFile::CreateNew(0, path.c_str()), 0);
    TextFile::WriteLine(0, "time\tkey\tword");
    EXPECT_EQ(TextFile::CreateNew(1, path.c_str()), 0);
    EXPECT_NE(TextFile::Close(0), 0);
    ASSERT_NE(TextFile::OpenRead(0, path.c_str()), 0);
    EXPECT_EQ(TextFile::ReadLine(0), "time\tkey\tword");
    EXPECT_NE(TextFile::AtEnd(0), 0);
    // Devices keep nothing to make durable.
    ASSERT_NE(TextFile::Create(0, "NUL"), 0);
    TextFile::WriteLine(0, "gone");
    EXPECT_NE(TextFile::Close(0), 0);
    TextFile::Shutdown();
}

// The answers that mean nothing to flush (some redirectors and virtual
// drives) are success, as on Linux; the rest may have lost what was written
// and is noted with the system's reason.
TEST(FilesWin32, SyncAnswersAreJudgedAlike) {
    DWORD protection = 0;
    ASSERT_TRUE(VirtualProtect(&__imp_FlushFileBuffers, sizeof(void*), PAGE_READWRITE, &protection));
    systemFlush = __imp_FlushFileBuffers;
    __imp_FlushFileBuffers = PlantedFlush;
    Scratch::Folder dir;
    const std::string path = dir / "results.txt";
    TextFile::Startup();
    const std::pair<DWORD, int32_t> rows[] = {
        {0, 1}, {ERROR_INVALID_FUNCTION, 1}, {ERROR_NOT_SUPPORTED, 1}, {ERROR_DISK_FULL, 0},
        {ERROR_NETNAME_DELETED, 0}, {ERROR_IO_DEVICE, 0}, {ERROR_ACCESS_DENIED, 0},
    };
    for (const auto& [error, synced] : rows) {
        SCOPED_TRACE(error);
        ASSERT_NE(TextFile::Create(0, path.c_str()), 0);
        TextFile::WriteLine(0, "  0.523\tW\thouse");
        FileFailure::Note(nullptr, 0);
        plantedFlushError = error;
        flushCalls = 0;
        EXPECT_EQ(TextFile::Sync(0), synced);
        EXPECT_EQ(flushCalls, 1);
        const std::string reason = FP::ErrorText(error);
        EXPECT_EQ(FileFailure::Describe(), synced ? "" : path + ": " + reason);
        EXPECT_TRUE(reason.find("system error") == std::string::npos && reason.back() != '\n') << reason;
        plantedFlushError = 0;
        TextFile::Close(0);
    }
    TextFile::Shutdown();
    __imp_FlushFileBuffers = systemFlush;
}

TEST(FilesWin32, ReplaceSwapsWholeFilesOrLeavesThemAlone) {
    Scratch::Folder dir;
    const std::string path = dir / "settings.ini";
    ASSERT_NE(FP::Replace(path.c_str(), "new", 3), 0);  // a missing file is created
    EXPECT_EQ(Scratch::Get(path), "new");
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
    ASSERT_NE(FP::Replace(path.c_str(), "newer", 5), 0);
    EXPECT_EQ(Scratch::Get(path), "newer");
    EXPECT_NE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);  // attributes carry over
    // A reader that does not share deletion keeps the name taken.
    FP::Handle reader = OpenWith(path, Reader);
    ASSERT_NE(reader, 0);
    EXPECT_EQ(FP::Replace(path.c_str(), "lost", 4), 0);
    FP::Close(reader);
    EXPECT_EQ(Scratch::Get(path), "newer");
    EXPECT_EQ(FP::Replace((dir / "missing\\settings.ini").c_str(), "x", 1), 0);
    EXPECT_EQ(Names(dir), std::vector<std::string>{"settings.ini"});  // no temporary file left behind

    // The settings file lets go of its own handle before the rewrite takes the name.
    Scratch::Put(path, "[screen]\nwidth=1024\n");
    SettingsFile::Startup();
    SettingsFile::Open(path.c_str(), SettingsFile::SpaceGroups);
    SettingsFile::SelectGroup("Screen");
    SettingsFile::WriteInteger("Width", SettingsFile::ReadInteger("Width", 800));
    SettingsFile::Close();
    EXPECT_EQ(Scratch::Get(path), "[screen]\r\nWidth = 1024\r\n");
}

TEST(FilesWin32, PathsDrivesAndWildcardsByTheSystemsRules) {
    Scratch::Folder dir;
    Scratch::Put(dir / "a.txt", "a");
    Scratch::Put(dir / "README", "read");
    ASSERT_NE(MakeDirectory((dir / "sub\\").c_str()), 0);
    // A file beyond 4 GiB, sparse on the host's file system.
    FP::Handle big = OpenWith(dir / "big.bin", Creator);
    ASSERT_EQ(FP::Seek(big, 5000000000LL, FP::FromStart), 5000000000LL);
    ASSERT_NE(FP::Truncate(big), 0);
    FP::Close(big);

    char unused[] = "?:";
    const DWORD drives = GetLogicalDrives();
    for (int i = 25; i >= 0 && unused[0] == '?'; --i)
        if (!(drives & (1u << i))) unused[0] = static_cast<char>('A' + i);
    const std::pair<std::string, int64_t> cases[] = {
        {"C:", PathSizeDirectory}, {"c:\\", PathSizeDirectory}, {unused, PathSizeMissing},
        {"..", PathSizeDirectory}, {"\\\\no-such-server\\share", PathSizeMissing},
        {dir / "sub\\\\", PathSizeDirectory}, {dir / "A.TXT", 1}, {dir / "?.txt", 1},
        {dir / "big.bin", 5000000000LL}, {dir / "sub\\*.*", PathSizeDirectory}, {dir / "*.md", PathSizeMissing},
    };
    for (const auto& [path, size] : cases) EXPECT_EQ(PathSize(path.c_str()), size) << path;

    // "*.*" also matches a name without a dot; a directory ending in "/" still gets its separator.
    std::vector<std::pair<std::string, int32_t>> seen;
    ASSERT_NE(DirectoryScan::Begin(0, (dir.str() + "/").c_str(), "*.*"), 0);
    while (DirectoryScan::Next(0)) seen.push_back({DirectoryScan::EntryName(0), DirectoryScan::EntryKind(0)});
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, int32_t>>{
                        {".", 2}, {"..", 2}, {"a.txt", 1}, {"big.bin", 1}, {"README", 1}, {"sub", 2}}));
    // Nothing matching is an empty listing; a missing directory or a file is a failure.
    EXPECT_NE(DirectoryScan::Begin(0, (dir / "sub").c_str(), "*.txt"), 0);
    EXPECT_EQ(DirectoryScan::Next(0), 0);
    EXPECT_EQ(DirectoryScan::Begin(0, (dir / "missing").c_str(), "*.txt"), 0);
    EXPECT_EQ(DirectoryScan::Begin(0, (dir / "a.txt").c_str(), "*"), 0);
    DirectoryScan::Shutdown();
}

TEST(TimeWin32, CurrentTimestampIsTheRuntimesLocalTime) {
    const std::time_t now = std::time(nullptr);
    const std::tm local = *std::localtime(&now);
    EXPECT_NEAR(CurrentTimestamp(), MakeTimestamp(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                                  local.tm_min, local.tm_sec), 2);
}

TEST(StopSignalsWin32, CtrlCRaisesTheStopFlag) {
    // Console events need a console of our own; the test runner gives none.
    FreeConsole();
    ASSERT_NE(AllocConsole(), 0);
    Process::InstallStopHandlers();
    ASSERT_EQ(Process::StopRequested(), 0);
    ASSERT_NE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0), 0);
    // The handler runs on a thread of the system's.
    for (int waited = 0; waited < 5000 && !Process::StopRequested(); waited += 10) Sleep(10);
    EXPECT_NE(Process::StopRequested(), 0);
}

// A console that takes nothing (a selection in QuickEdit mode; here a pipe
// nobody reads) holds up neither the caller nor the end of the process, and
// the lines arrive whole and in order once it takes them again.
TEST(ConsoleWin32, AStalledConsoleHoldsUpNobody) {
    HANDLE reader = nullptr, writer = nullptr;
    ASSERT_NE(CreatePipe(&reader, &writer, nullptr, 4096), 0);
    const HANDLE saved = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_ERROR_HANDLE, writer);
    const std::string big(1 << 20, 'x'), expected = big + "\r\nError300: assertion failed!\r\n";
    Process::WriteConsoleLine(Process::StandardError, big);
    Process::WriteConsoleLine(Process::StandardError, "Error300: assertion failed!");
    Process::FinishConsoleLines();
    std::string got(expected.size(), '\0');
    DWORD read = 0;
    for (size_t at = 0; at < got.size(); at += read)
        ASSERT_TRUE(ReadFile(reader, &got[at], static_cast<DWORD>(got.size() - at), &read, nullptr) && read > 0);
    EXPECT_EQ(got, expected);
    SetStdHandle(STD_ERROR_HANDLE, saved);
}

}  // namespace
