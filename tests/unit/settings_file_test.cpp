#include "support/files/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <climits>
#include <random>

#include "support/files/file_platform.h"
#include "tests/unit/files_scratch.h"

namespace {

using Values = std::array<int32_t, 5>;  // Width, Height, Fullscreen, UseNativeResolution, RandomizeOrder

// The experiment's own sequence: read every key with its default, write it back.
Values LoadLikeTheExperiment(const std::string& path) {
    Values v{};
    SettingsFile::Open(path.c_str(), SettingsFile::SpaceGroups);
    SettingsFile::SelectGroup("Screen");
    const char* keys[] = {"Width", "Height", "Fullscreen", "UseNativeResolution"};
    const int32_t defaults[] = {800, 600, 1, 1};
    for (int i = 0; i < 4; ++i) {
        v[i] = SettingsFile::ReadInteger(keys[i], defaults[i]);
        SettingsFile::WriteInteger(keys[i], v[i]);
    }
    SettingsFile::SelectGroup("Words");
    v[4] = SettingsFile::ReadInteger("RandomizeOrder", 1);
    SettingsFile::WriteInteger("RandomizeOrder", v[4]);
    SettingsFile::Close();
    return v;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override { SettingsFile::Startup(); }
    void TearDown() override { SettingsFile::Shutdown(); }
    Scratch::Folder dir;
    std::string path = dir / "settings.ini";
};

struct Golden {
    const char* name;  // fixture without ".ini"; "" for a missing file
    const char* expected;
    Values values;
};

TEST_F(SettingsFileTest, RewritesLikeTheGoldenFiles) {
    const Golden cases[] = {
        {"", "missing_file", {800, 600, 1, 1, 1}},
        {"lowercase_keys_lf_endings", "lowercase_keys_lf_endings", {1024, 600, 0, 1, 1}},
        {"utf8_byte_order_mark", "utf8_byte_order_mark", {1024, 600, 1, 1, 1}},
        {"comments_only", "comments_only", {800, 600, 1, 1, 1}},
        {"two_screen_groups", "two_screen_groups", {640, 600, 1, 1, 0}},
        {"key_without_equals", "key_without_equals", {0, 0, 1, 1, 0}},
        {"hex_fraction_and_overflow_values", "hex_fraction_and_overflow_values", {0, 12, -7, 3, INT32_MAX}},
        {"blank_lines_and_indented_lines", "blank_lines_and_indented_lines", {1024, 600, 1, 1, 1}},
        {"keys_before_first_group", "keys_before_first_group", {800, 2, 1, 1, 1}},
    };
    const std::string fixtures = std::string(WT_FIXTURES) + "/settings/";
    for (const Golden& c : cases) {
        SCOPED_TRACE(c.expected);
        std::remove(path.c_str());
        if (*c.name) Scratch::Put(path, Scratch::Get(fixtures + c.name + ".ini"));
        EXPECT_EQ(LoadLikeTheExperiment(path), c.values);
        const std::string expected = Scratch::Get(fixtures + c.expected + ".expected.ini");
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(Scratch::Get(path), expected);
        // The rewritten file is a fixed point.
        EXPECT_EQ(LoadLikeTheExperiment(path), c.values);
        EXPECT_EQ(Scratch::Get(path), expected);
    }
}

TEST_F(SettingsFileTest, LayoutFlags) {
    Scratch::Put(path, "[A]\nx=1\n[B]\ny=2\n");
    SettingsFile::Open(path.c_str(), SettingsFile::CompactSeparator);
    SettingsFile::SelectGroup("b");
    SettingsFile::WriteInteger("Y", -5);
    SettingsFile::Close();
    EXPECT_EQ(Scratch::Get(path), "[A]\r\nx=1\r\n[B]\r\nY=-5\r\n");
    // Not modified: left untouched, even with a layout that would change it.
    Scratch::Put(path, "[A]\nx=1\n");
    SettingsFile::Open(path.c_str(), SettingsFile::SpaceGroups);
    EXPECT_EQ(SettingsFile::ReadInteger("x", 9), 9);  // top level
    SettingsFile::Close();
    EXPECT_EQ(Scratch::Get(path), "[A]\nx=1\n");
}

TEST_F(SettingsFileTest, GroupSelectionAndTopLevelKeys) {
    Scratch::Put(path, "k=1\r\n;c\r\n[A]\r\nx=1\r\n");
    EXPECT_NE(SettingsFile::Open(path.c_str(), 0), 0);
    EXPECT_EQ(SettingsFile::SelectGroup("a"), 1);
    EXPECT_EQ(SettingsFile::ReadInteger("K", 7), 7);
    EXPECT_EQ(SettingsFile::SelectGroup("Missing"), 0);
    EXPECT_EQ(SettingsFile::ReadInteger("x", 7), 7);  // a pending group hides the current one
    EXPECT_EQ(SettingsFile::SelectGroup(nullptr), 1);
    EXPECT_EQ(SettingsFile::ReadInteger("K", 7), 1);
    SettingsFile::WriteInteger("top", 3);  // after the last entry before the first header
    SettingsFile::Close();
    EXPECT_EQ(Scratch::Get(path), "k = 1\r\n; c\r\ntop = 3\r\n[A]\r\nx = 1\r\n");

    Scratch::Put(path, "[A]\r\n");
    SettingsFile::Open(path.c_str(), 0);
    SettingsFile::SelectGroup("");
    SettingsFile::WriteInteger("first", 1);  // the file begins with a header
    SettingsFile::Close();
    EXPECT_EQ(Scratch::Get(path), "first = 1\r\n[A]\r\n");
    // Nothing open: no group, defaults, writes ignored.
    EXPECT_EQ(SettingsFile::SelectGroup("A"), 0);
    EXPECT_EQ(SettingsFile::ReadInteger("first", 4), 4);
    SettingsFile::WriteInteger("first", 5);
}

TEST_F(SettingsFileTest, OpeningAnotherFileWritesTheFirstBack) {
    const std::string other = dir / "other.ini";
    SettingsFile::Open(path.c_str(), 0);
    SettingsFile::SelectGroup("G");
    SettingsFile::WriteInteger("k", 1);
    Scratch::Put(other, "");
    SettingsFile::Open(other.c_str(), 0);
    EXPECT_EQ(Scratch::Get(path), "[G]\r\nk = 1\r\n");
}

TEST_F(SettingsFileTest, NamesMatchWithoutRegardToAsciiCaseOnly) {
    Scratch::Put(path, "[\xC4rger]\nGR\xD6SSE=3\n");
    SettingsFile::Open(path.c_str(), 0);
    EXPECT_EQ(SettingsFile::SelectGroup("\xE4rger"), 0);  // Latin-1 letters are not folded
    EXPECT_EQ(SettingsFile::SelectGroup("\xC4RGER"), 1);
    EXPECT_EQ(SettingsFile::ReadInteger("gr\xD6sse", 0), 3);
    EXPECT_EQ(SettingsFile::ReadInteger("gr\xF6sse", 0), 0);
    SettingsFile::Close();
}

TEST_F(SettingsFileTest, Utf8FilesTakeConvertedNames) {
    Scratch::Put(path, "\xEF\xBB\xBF[Gr\xC3\xB6\xC3\x9F" "e]\nK\xC3\xA4se=5\n");
    SettingsFile::Open(path.c_str(), 0);
    ASSERT_EQ(SettingsFile::SelectGroup("Gr\xF6\xDF" "e"), 1);
    EXPECT_EQ(SettingsFile::ReadInteger("k\xE4se", 0), 5);
    SettingsFile::WriteInteger("\xDC" "ber", 1);
    SettingsFile::Close();
    EXPECT_EQ(Scratch::Get(path),
              "\xEF\xBB\xBF\r\n[Gr\xC3\xB6\xC3\x9F" "e]\r\nK\xC3\xA4se = 5\r\n\xC3\x9C" "ber = 1\r\n");
}

TEST_F(SettingsFileTest, FileLockedByAnotherWriterIsReadButNotWritten) {
    const std::string content = "[Screen]\nWidth=1024\n";
    Scratch::Put(path, content);
    FilePlatform::Handle writer = FilePlatform::Open(
        path.c_str(), FilePlatform::Access::Read | FilePlatform::Access::Write, FilePlatform::ShareRead,
        FilePlatform::OpenExisting);
    ASSERT_NE(writer, 0);
    EXPECT_EQ(LoadLikeTheExperiment(path), (Values{1024, 600, 1, 1, 1}));
    EXPECT_EQ(Scratch::Get(path), content);
    FilePlatform::Close(writer);
    // While we hold it, others may only read it without locking.
    EXPECT_NE(SettingsFile::Open(path.c_str(), 0), 0);
    EXPECT_EQ(FilePlatform::Open(path.c_str(), FilePlatform::Access::Read, FilePlatform::ShareRead,
                                 FilePlatform::OpenExisting),
              0);
    SettingsFile::Close();
}

TEST_F(SettingsFileTest, FileWithoutWritePermissionIsReadButNotWritten) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root; the lock test covers read-only";
    const std::string content = "[Screen]\nWidth=1024\n";
    Scratch::Put(path, content);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    EXPECT_EQ(LoadLikeTheExperiment(path), (Values{1024, 600, 1, 1, 1}));
    EXPECT_EQ(Scratch::Get(path), content);
}

TEST_F(SettingsFileTest, UnopenableFileGivesDefaultsAndFailedCreateIsSilent) {
    const std::string missingFolder = dir / "no/settings.ini";
    EXPECT_EQ(LoadLikeTheExperiment(missingFolder), (Values{800, 600, 1, 1, 1}));
    EXPECT_FALSE(Scratch::Exists(missingFolder));
    std::filesystem::create_directory(dir / "folder.ini");
    EXPECT_EQ(SettingsFile::Open((dir / "folder.ini").c_str(), 0), 0);
    EXPECT_EQ(SettingsFile::ReadInteger("x", 6), 6);
    SettingsFile::WriteInteger("x", 1);
    SettingsFile::Close();
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.ini"));
}

TEST(TextToIntegerTest, AtoiRulesWithSaturation) {
    EXPECT_EQ(SettingsFile::TextToInteger(""), 0);
    EXPECT_EQ(SettingsFile::TextToInteger("abc"), 0);
    EXPECT_EQ(SettingsFile::TextToInteger(" \t\n\v\f\r42"), 42);
    EXPECT_EQ(SettingsFile::TextToInteger("+17"), 17);
    EXPECT_EQ(SettingsFile::TextToInteger("-17"), -17);
    EXPECT_EQ(SettingsFile::TextToInteger("- 17"), 0);
    EXPECT_EQ(SettingsFile::TextToInteger("0x10"), 0);
    EXPECT_EQ(SettingsFile::TextToInteger("12abc"), 12);
    EXPECT_EQ(SettingsFile::TextToInteger("3.99"), 3);
    EXPECT_EQ(SettingsFile::TextToInteger("2147483647"), INT32_MAX);
    EXPECT_EQ(SettingsFile::TextToInteger("2147483648"), INT32_MAX);
    EXPECT_EQ(SettingsFile::TextToInteger("-2147483648"), INT32_MIN);
    EXPECT_EQ(SettingsFile::TextToInteger("-2147483649"), INT32_MIN);
    EXPECT_EQ(SettingsFile::TextToInteger("99999999999999999999999999"), INT32_MAX);
    EXPECT_EQ(SettingsFile::TextToInteger(nullptr), 0);
}

TEST_F(SettingsFileTest, FirstKeyStartingWithMarkBytesStaysAKey) {
    // The mark's bytes after a blank are no mark; rewritten at the very start
    // they would become one unless something comes before them.
    Scratch::Put(path, " \xEF\xBB\xBFkey=1\n");
    SettingsFile::Open(path.c_str(), 0);
    SettingsFile::WriteInteger("\xEF\xBB\xBFkey", 2);
    SettingsFile::Close();
    EXPECT_EQ(Scratch::Get(path), "\r\n\xEF\xBB\xBFkey = 2\r\n");
    SettingsFile::Open(path.c_str(), 0);
    EXPECT_EQ(SettingsFile::ReadInteger("\xEF\xBB\xBFkey", 0), 2);
    SettingsFile::Close();
}

// Hostile files: each must be parsed and rewritten quickly, and the rewrite
// must read back with the values the experiment wrote.
TEST_F(SettingsFileTest, HostileFilesStayLinear) {
    std::mt19937 random(12345);
    std::string garbage(2 << 20, '\0');
    for (char& c : garbage) c = static_cast<char>(random());
    std::string groups;
    for (int i = 0; i < 100000; ++i) groups += "[g" + std::to_string(i) + "]\nk=" + std::to_string(i) + "\n";
    using namespace std::string_literals;
    std::string nuls = "[Screen]\0Width=5\0\0\0[Words]\0"s + std::string(1 << 20, '\0');
    const std::pair<const char*, std::string> cases[] = {
        {"100,000 groups", groups + "[Screen]\nWidth=5\n"},
        {"binary garbage", garbage},
        {"NUL bytes", nuls},
        {"10 MB line", "[Screen]\nWidth=" + std::string(10 << 20, '7')},
        {"10 MB key", std::string(10 << 20, 'k')},
        {"only CRs", std::string(10 << 20, '\r')},
        {"only brackets", std::string(1 << 20, '[')},
        {"only equals", std::string(1 << 20, '=')},
    };
    for (const auto& [name, content] : cases) {
        SCOPED_TRACE(name);
        Scratch::Put(path, content);
        auto start = std::chrono::steady_clock::now();
        Values first = LoadLikeTheExperiment(path);
        EXPECT_LT(SecondsSince(start), 2.0);
        EXPECT_EQ(LoadLikeTheExperiment(path), first);
    }
    // The 100,000th group is found, and its key is left as it was.
    Scratch::Put(path, groups);
    SettingsFile::Open(path.c_str(), 0);
    ASSERT_EQ(SettingsFile::SelectGroup("G99999"), 1);
    EXPECT_EQ(SettingsFile::ReadInteger("k", 0), 99999);
    SettingsFile::Close();
}

}  // namespace
