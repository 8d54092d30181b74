// The file modules on a real file system: line ends, sharing between opens,
// listings, the settings format; then the fixtures and
// hostile inputs through the fuzz targets' checks, so that the ordinary
// sanitizer build covers the same paths. Large inputs must go through in
// linear time: a quadratic reader would run into the test's time-out.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <random>
#include <vector>

#include "support/files/directory.h"
#include "support/files/file_failure.h"
#include "support/files/file_platform.h"
#include "support/files/settings_file.h"
#include "support/files/text_file.h"
#include "tests/fuzz/fuzz_checks.h"
#include "tests/support/scratch.h"

namespace {
// fsync's answers, planted one per call (0 passes the call through), and the
// folders it was asked to sync.
std::vector<int> plantedSyncErrors;
std::vector<ino_t> syncedFolders;
}  // namespace

// Takes the C library's place for the whole test program.
extern "C" int fsync(int fd) {
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) syncedFolders.push_back(st.st_ino);
    const int error = plantedSyncErrors.empty() ? 0 : plantedSyncErrors.front();
    if (!plantedSyncErrors.empty()) plantedSyncErrors.erase(plantedSyncErrors.begin());
    if (error == 0) return static_cast<int>(syscall(SYS_fsync, fd));
    errno = error;
    return -1;
}

namespace {

using Lines = std::vector<std::string>;

class TextFileTest : public ::testing::Test {
protected:
    void SetUp() override { TextFile::Startup(); }
    void TearDown() override { TextFile::Shutdown(); }
    Scratch::Folder dir;
    std::string path = dir / "results.txt";
};

TEST_F(TextFileTest, LineEndsOfEveryKind) {
    using namespace std::string_literals;
    const std::pair<std::string, Lines> cases[] = {
        {"", {}}, {"a\r\nb", {"a", "b"}}, {"a\nb\n", {"a", "b"}}, {"a\rb\rc\r", {"a", "b", "c"}},
        {"a\n\rb", {"a", "", "b"}}, {"a\0b\nc"s, {"a", "b", "c"}}, {"cat\r\n\r\n dog ", {"cat", "", " dog "}},
        {"\xEF\xBB\xBFword\r\nnext", {"word", "next"}}, {"\xEF\xBB", {"\xEF\xBB"}},
    };
    for (const auto& [content, expected] : cases) {
        SCOPED_TRACE(testing::PrintToString(content));
        Scratch::Put(path, content);
        ASSERT_NE(TextFile::OpenRead(0, path.c_str()), 0);
        Lines lines;
        while (!TextFile::AtEnd(0)) lines.push_back(TextFile::ReadLine(0));
        EXPECT_EQ(lines, expected);
    }
}

std::string InOrder(std::u16string_view units, bool big) {
    std::string bytes;
    for (char16_t u : units) {
        bytes.push_back(static_cast<char>(big ? u >> 8 : u & 0xFF));
        bytes.push_back(static_cast<char>(big ? u & 0xFF : u >> 8));
    }
    return bytes;
}

// UTF-16 as Notepad and Excel save it, or without its mark: lines as UTF-8.
// Lone halves and an odd last byte are U+FFFD; a CR LF across two read-aheads
// is one line end.
TEST_F(TextFileTest, Utf16LinesComeAsUtf8) {
    const std::u16string list = u"house\r\n\u0643\u062a\u0627\u0628\r\n\U0001D538x\r\n";
    const Lines utf8 = {"house", "\u0643\u062a\u0627\u0628", "\U0001D538x"};
    std::vector<std::pair<std::string, Lines>> cases;
    for (bool big : {false, true}) {
        cases.push_back({InOrder(u"\uFEFF" + list, big), utf8});
        cases.push_back({InOrder(list, big), utf8});
    }
    cases.push_back({InOrder(u"\uFEFF\xD800y\r\xDC00", false) + "b", {"\uFFFDy", "\uFFFD\uFFFD"}});
    cases.push_back({InOrder(u"\uFEFF" + std::u16string(2046, 'x') + u"\r\ny", true), {std::string(2046, 'x'), "y"}});
    for (const auto& [content, expected] : cases) {
        SCOPED_TRACE(testing::PrintToString(content.substr(0, 16)));
        Scratch::Put(path, content);
        ASSERT_NE(TextFile::OpenRead(0, path.c_str()), 0);
        EXPECT_NE(TextFile::Unicode(0), 0);
        Lines lines;
        while (!TextFile::AtEnd(0)) lines.push_back(TextFile::ReadLine(0));
        EXPECT_EQ(lines, expected);
    }
}

// Nothing to sync is success, an interrupted sync is asked again, anything
// else may have lost what was written; the failure is noted with its reason.
TEST_F(TextFileTest, SyncAnswersAreJudgedAlike) {
    const struct { std::vector<int> answers; int32_t synced; const char* reason; } rows[] = {
        {{}, 1, ""}, {{EINVAL}, 1, ""}, {{ENOSYS}, 1, ""}, {{EROFS}, 1, ""}, {{EINTR, EINTR, 0}, 1, ""},
        {{EIO}, 0, "Input/output error"}, {{ESTALE}, 0, "Stale file handle"}, {{ENOSPC}, 0, "No space left on device"},
        {{EDQUOT}, 0, "Disk quota exceeded"}, {std::vector<int>(100, EINTR), 0, "Interrupted system call"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.answers));
        ASSERT_NE(TextFile::Create(0, path.c_str()), 0);
        TextFile::WriteLine(0, "  0.523\tW\thouse");
        FileFailure::Note(nullptr, 0);
        plantedSyncErrors = row.answers;
        EXPECT_EQ(TextFile::Sync(0), row.synced);
        EXPECT_TRUE(plantedSyncErrors.empty());  // asked again after each EINTR, and only then
        EXPECT_EQ(FileFailure::Describe(), row.synced ? "" : path + ": " + row.reason);
        plantedSyncErrors.clear();
        TextFile::Close(0);
    }
}

// A power cut must not take the new results file's name: its folder is
// synced too, and a file whose folder cannot be is given up.
TEST_F(TextFileTest, ANewFileIsSyncedWithItsFolderOrGivenUp) {
    struct stat folder;
    ASSERT_EQ(stat(dir.str().c_str(), &folder), 0);
    syncedFolders.clear();
    ASSERT_NE(TextFile::CreateNew(0, path.c_str()), 0);
    EXPECT_EQ(syncedFolders, std::vector<ino_t>{folder.st_ino});
    TextFile::Close(0);
    std::filesystem::remove(path);
    plantedSyncErrors = {EIO};
    EXPECT_EQ(TextFile::CreateNew(0, path.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(FileFailure::Describe(), path + ": Input/output error");
}

TEST_F(TextFileTest, AnOpenWriterKeepsOtherOpenersOut) {
    ASSERT_NE(TextFile::Create(0, path.c_str()), 0);
    TextFile::WriteLine(0, "kept");
    ASSERT_NE(TextFile::Flush(0), 0);
    EXPECT_EQ(TextFile::Create(1, path.c_str()), 0);
    EXPECT_EQ(TextFile::OpenRead(1, path.c_str()), 0);
    EXPECT_EQ(Scratch::Get(path), "kept\r\n");
    TextFile::Close(0);
    // Readers share with readers; a writer must wait for both.
    ASSERT_NE(TextFile::OpenRead(0, path.c_str()), 0);
    ASSERT_NE(TextFile::OpenRead(1, path.c_str()), 0);
    EXPECT_EQ(TextFile::Create(2, path.c_str()), 0);
}

using Listing = std::vector<std::pair<std::string, int32_t>>;  // name, kind

Listing Drain(int32_t number) {
    Listing out;
    while (DirectoryScan::Next(number)) out.push_back({DirectoryScan::EntryName(number), DirectoryScan::EntryKind(number)});
    return out;
}

class DirectoryTest : public ::testing::Test {
protected:
    void TearDown() override { DirectoryScan::Shutdown(); }
    Scratch::Folder dir;
};

TEST_F(DirectoryTest, ScanDeliversMatchesInFixedOrder) {
    for (const char* name : {"b.txt", "a.txt", "A.txt", "_x.txt", "C.TXT", "notes.md", "ab.txt"}) Scratch::Put(dir / name, "w");
    std::filesystem::create_directory(dir / "sub.txt");
    ASSERT_NE(DirectoryScan::Begin(0, dir.str().c_str(), "*.txt"), 0);
    // Letters folded to upper case, then byte order: "_" comes after the letters.
    EXPECT_EQ(Drain(0), (Listing{{"A.txt", 1}, {"a.txt", 1}, {"ab.txt", 1}, {"b.txt", 1}, {"C.TXT", 1}, {"sub.txt", 2}, {"_x.txt", 1}}));
    EXPECT_EQ(DirectoryScan::Next(0), 0);
    // A missing directory or a file fails and leaves the number without a scan.
    EXPECT_EQ(DirectoryScan::Begin(0, (dir / "missing").c_str(), "*.txt"), 0);
    EXPECT_EQ(DirectoryScan::Next(0), 0);
    EXPECT_EQ(DirectoryScan::Begin(0, (dir / "b.txt").c_str(), "*"), 0);
}

using Values = std::vector<int32_t>;  // Width, Height, Fullscreen, UseNativeResolution, RandomizeOrder
using FuzzChecks::LoadLikeTheRun;

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override { SettingsFile::Startup(); }
    void TearDown() override { SettingsFile::Shutdown(); }
    Scratch::Folder dir;
    std::string path = dir / "settings.ini";
};

TEST_F(SettingsFileTest, RewritesLikeTheGoldenFiles) {
    const std::pair<const char*, Values> cases[] = {
        {"missing_file", {800, 600, 1, 1, 1}}, {"lowercase_keys_lf_endings", {1024, 600, 0, 1, 1}},
        {"utf8_byte_order_mark", {1024, 600, 1, 1, 1}}, {"utf16_notepad_unicode", {1280, 600, 0, 1, 1}}, {"comments_only", {800, 600, 1, 1, 1}},
        {"two_screen_groups", {640, 600, 1, 1, 0}}, {"key_without_equals", {0, 0, 1, 1, 0}},
        {"hex_fraction_and_overflow_values", {0, 12, -7, 3, INT32_MAX}},
        {"blank_lines_and_indented_lines", {1024, 600, 1, 1, 1}}, {"keys_before_first_group", {800, 2, 1, 1, 1}},
        {"words_key_in_the_screen_group", {640, 600, 1, 1, 1}},
        {"lone_sign_and_values_beyond_32_bits", {0, INT32_MIN, INT32_MIN, 42, INT32_MAX}},
    };
    const std::string fixtures = std::string(WT_FIXTURES) + "/settings/";
    for (const auto& [name, values] : cases) {
        SCOPED_TRACE(name);
        std::filesystem::remove(path);
        if (std::string(name) != "missing_file") Scratch::Put(path, Scratch::Get(fixtures + name + ".ini"));
        const std::string expected = Scratch::Get(fixtures + name + ".expected.ini");
        for (int pass = 0; pass < 2; ++pass) {  // the rewritten file is a fixed point
            EXPECT_EQ(LoadLikeTheRun(path, SettingsFile::SpaceGroups), values);
            EXPECT_EQ(Scratch::Get(path), expected);
        }
    }
}

TEST_F(SettingsFileTest, UnwritableFilesGiveTheirValuesOrDefaultsAndStayAsTheyWere) {
    const std::string content = "[Screen]\nWidth=1024\n";
    Scratch::Put(path, content);
    FilePlatform::Handle writer = FilePlatform::Open(path.c_str(), FilePlatform::Access::Read | FilePlatform::Access::Write,
                                                     FilePlatform::ShareRead, FilePlatform::OpenExisting);
    ASSERT_NE(writer, 0);
    EXPECT_EQ(LoadLikeTheRun(path, SettingsFile::SpaceGroups), (Values{1024, 600, 1, 1, 1}));
    EXPECT_EQ(Scratch::Get(path), content);
    FilePlatform::Close(writer);
    // While we hold it, others may only read it without locking.
    EXPECT_NE(SettingsFile::Open(path.c_str(), 0), 0);
    EXPECT_EQ(FilePlatform::Open(path.c_str(), FilePlatform::Access::Read, FilePlatform::ShareRead, FilePlatform::OpenExisting), 0);
    SettingsFile::Close();
    // A file that cannot be opened gives the defaults; its failed creation is silent.
    EXPECT_EQ(LoadLikeTheRun(dir / "no/settings.ini", SettingsFile::SpaceGroups), (Values{800, 600, 1, 1, 1}));
    EXPECT_FALSE(std::filesystem::exists(dir / "no"));
}

TEST(FuzzReplay, SettingsAndLineReaderChecksHold) {
    using namespace std::string_literals;
    std::vector<std::string> inputs = {
        "", "\r", "\n\r", "\0"s, "\r\r\r\n\n\0\0\r"s, "\xEF\xBB", "\xEF\xBB\xBF\r\n", "[", "]", "=", ";", "[Screen",
        "[Screen]]=]\n=\n;;\n", " \t \t", "Width", " \xEF\xBB\xBFWidth=1\n", "[Screen]\0Width=5\0"s,
        std::string(4095, 'x') + "\r\ny", std::string(4095, 'x') + "\ry", std::string(4096, '\r'),
        "[Screen]\nWidth=" + std::string(10 << 20, '7'), std::string(1 << 18, '\r'), std::string(1 << 18, '['),
        std::string(1 << 18, '='), "[Screen]\0Width=5\0\0\0[Words]\0"s + std::string(1 << 18, '\0'),
    };
    std::string groups;
    for (int i = 0; i < 100000; ++i) groups += "[g" + std::to_string(i) + "]\nk=" + std::to_string(i) + "\n";
    inputs.push_back(groups + "[Screen]\nWidth=5\n");
    std::mt19937 random(7);
    for (int i = 0; i < 40; ++i) {
        std::string bytes(random() % 9000, '\0');
        for (char& c : bytes) c = "[]=; \t\r\n\0aWS#\xEF\xBB"[random() % 16];
        inputs.push_back(bytes);
    }
    for (const char* sub : {"/settings", "/lines"})
        for (const auto& entry : std::filesystem::directory_iterator(std::string(WT_FIXTURES) + sub))
            inputs.push_back(Scratch::Get(entry.path().string()));
    for (const std::string& input : inputs) {
        SCOPED_TRACE(std::to_string(input.size()) + " bytes: " + testing::PrintToString(input.substr(0, 80)));
        for (auto check : {FuzzChecks::CheckSettings, FuzzChecks::CheckLineReader}) {
            const char* failure = check(reinterpret_cast<const uint8_t*>(input.data()), input.size());
            EXPECT_EQ(std::string(failure ? failure : ""), "");
        }
    }
    SettingsFile::Shutdown();
    TextFile::Shutdown();
}

}  // namespace
