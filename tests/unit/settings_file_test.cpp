#include "support/files/settings_file.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>

#include "support/files/file_platform.h"
#include "tests/support/scratch.h"

namespace {

using Values = std::array<int32_t, 5>;  // Width, Height, Fullscreen, UseNativeResolution, RandomizeOrder

// The experiment's own sequence: read every key with its default, write it back.
Values LoadLikeTheExperiment(const std::string& path) {
    const char* keys[] = {"Width", "Height", "Fullscreen", "UseNativeResolution", "RandomizeOrder"};
    const int32_t defaults[] = {800, 600, 1, 1, 1};
    Values v{};
    SettingsFile::Open(path.c_str(), SettingsFile::SpaceGroups);
    for (int i = 0; i < 5; ++i) {
        if (i == 0 || i == 4) SettingsFile::SelectGroup(i == 0 ? "Screen" : "Words");
        v[i] = SettingsFile::ReadInteger(keys[i], defaults[i]);
        SettingsFile::WriteInteger(keys[i], v[i]);
    }
    SettingsFile::Close();
    return v;
}

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override { SettingsFile::Startup(); }
    void TearDown() override { SettingsFile::Shutdown(); }
    // Opens `content` with `flags`, runs `body`, closes, and gives back the file's bytes.
    template <typename Body>
    std::string Rewrite(const std::string& content, int32_t flags, Body body) {
        Scratch::Put(path, content);
        SettingsFile::Open(path.c_str(), flags);
        body();
        SettingsFile::Close();
        return Scratch::Get(path);
    }
    Scratch::Folder dir;
    std::string path = dir / "settings.ini";
};

TEST_F(SettingsFileTest, RewritesLikeTheGoldenFiles) {
    const std::pair<const char*, Values> cases[] = {
        {"missing_file", {800, 600, 1, 1, 1}}, {"lowercase_keys_lf_endings", {1024, 600, 0, 1, 1}},
        {"utf8_byte_order_mark", {1024, 600, 1, 1, 1}}, {"comments_only", {800, 600, 1, 1, 1}},
        {"two_screen_groups", {640, 600, 1, 1, 0}}, {"key_without_equals", {0, 0, 1, 1, 0}},
        {"hex_fraction_and_overflow_values", {0, 12, -7, 3, INT32_MAX}},
        {"blank_lines_and_indented_lines", {1024, 600, 1, 1, 1}}, {"keys_before_first_group", {800, 2, 1, 1, 1}},
    };
    const std::string fixtures = std::string(WT_FIXTURES) + "/settings/";
    for (const auto& [name, values] : cases) {
        SCOPED_TRACE(name);
        std::filesystem::remove(path);
        if (std::string(name) != "missing_file") Scratch::Put(path, Scratch::Get(fixtures + name + ".ini"));
        const std::string expected = Scratch::Get(fixtures + name + ".expected.ini");
        for (int pass = 0; pass < 2; ++pass) {  // the rewritten file is a fixed point
            EXPECT_EQ(LoadLikeTheExperiment(path), values);
            EXPECT_EQ(Scratch::Get(path), expected);
        }
    }
}

TEST_F(SettingsFileTest, PendingGroupsTopLevelKeysAndUntouchedWhenUnmodified) {
    EXPECT_EQ(Rewrite("[A]\nx=1\n", SettingsFile::SpaceGroups, [] { SettingsFile::ReadInteger("x", 9); }), "[A]\nx=1\n");
    EXPECT_EQ(Rewrite("k=1\r\n;c\r\n[A]\r\nx=1\r\n", 0,
                      [] {
                          EXPECT_EQ(SettingsFile::SelectGroup("a"), 1);
                          EXPECT_EQ(SettingsFile::ReadInteger("K", 7), 7);  // top-level keys stay hidden
                          EXPECT_EQ(SettingsFile::SelectGroup("Missing"), 0);
                          EXPECT_EQ(SettingsFile::ReadInteger("x", 7), 7);  // a pending group hides "A"
                          EXPECT_EQ(SettingsFile::SelectGroup(nullptr), 1);
                          EXPECT_EQ(SettingsFile::ReadInteger("K", 7), 1);
                          SettingsFile::WriteInteger("top", 3);
                      }),
              "k = 1\r\n; c\r\ntop = 3\r\n[A]\r\nx = 1\r\n");
}

TEST_F(SettingsFileTest, Utf8FilesTakeConvertedNamesFoldingOnlyAsciiCase) {
    EXPECT_EQ(Rewrite("\xEF\xBB\xBF[Gr\xC3\xB6\xC3\x9F" "e]\nK\xC3\xA4se=5\n", 0,
                      [] {
                          ASSERT_EQ(SettingsFile::SelectGroup("Gr\xF6\xDF" "e"), 1);
                          EXPECT_EQ(SettingsFile::ReadInteger("k\xE4se", 0), 5);
                          EXPECT_EQ(SettingsFile::ReadInteger("K\xC4SE", 0), 0);
                          SettingsFile::WriteInteger("\xDC" "ber", 1);
                      }),
              "\xEF\xBB\xBF\r\n[Gr\xC3\xB6\xC3\x9F" "e]\r\nK\xC3\xA4se = 5\r\n\xC3\x9C" "ber = 1\r\n");
    // Mark bytes that began a key (after a blank) must not become a mark when rewritten.
    EXPECT_EQ(Rewrite(" \xEF\xBB\xBFkey=1\n", 0, [] { SettingsFile::WriteInteger("\xEF\xBB\xBFkey", 2); }),
              "\r\n\xEF\xBB\xBFkey = 2\r\n");
}

TEST_F(SettingsFileTest, UnwritableFilesGiveTheirValuesOrDefaultsAndStayAsTheyWere) {
    const std::string content = "[Screen]\nWidth=1024\n";
    Scratch::Put(path, content);
    FilePlatform::Handle writer = FilePlatform::Open(path.c_str(), FilePlatform::Access::Read | FilePlatform::Access::Write,
                                                     FilePlatform::ShareRead, FilePlatform::OpenExisting);
    ASSERT_NE(writer, 0);
    EXPECT_EQ(LoadLikeTheExperiment(path), (Values{1024, 600, 1, 1, 1}));
    EXPECT_EQ(Scratch::Get(path), content);
    FilePlatform::Close(writer);
    // While we hold it, others may only read it without locking.
    EXPECT_NE(SettingsFile::Open(path.c_str(), 0), 0);
    EXPECT_EQ(FilePlatform::Open(path.c_str(), FilePlatform::Access::Read, FilePlatform::ShareRead, FilePlatform::OpenExisting), 0);
    SettingsFile::Close();
    // A file that cannot be opened gives the defaults; its failed creation is silent.
    EXPECT_EQ(LoadLikeTheExperiment(dir / "no/settings.ini"), (Values{800, 600, 1, 1, 1}));
    EXPECT_FALSE(std::filesystem::exists(dir / "no"));
}

TEST(TextToIntegerTest, AtoiRulesWithSaturation) {
    const std::pair<const char*, int32_t> cases[] = {{"", 0}, {"abc", 0}, {" \t\n\v\f\r42", 42}, {"+17", 17}, {"-17", -17},
        {"- 17", 0}, {"0x10", 0}, {"12abc", 12}, {"3.99", 3}, {"2147483647", INT32_MAX}, {"2147483648", INT32_MAX},
        {"-2147483648", INT32_MIN}, {"-2147483649", INT32_MIN}, {"99999999999999999999999999", INT32_MAX}};
    for (const auto& [text, expected] : cases) EXPECT_EQ(SettingsFile::TextToInteger(text), expected) << text;
    EXPECT_EQ(SettingsFile::TextToInteger(nullptr), 0);
}

}  // namespace
