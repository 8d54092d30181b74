// The three ways to open the display, with their failures.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/harness.h"

using namespace Harness;

namespace {

RunResult QuitAtIntro(Headless::Config config, const std::string& settings) {
    Tap(config.script, 1, 100000, ScanCode::Escape);
    return RunWordtap(config, DataFiles({"word"}, settings));
}

}  // namespace

TEST(Display, ThreeWaysToOpenAndTheFontFollowsTheHeight) {
    // 1920 x 1080: 36 points, 48 pixels, a cell of 60, an advance of 24.
    // 600 high: 20 points, 27 pixels, a cell of 33, an advance of 13; seven
    // letters are 91 wide, placed at (354.5, 283.5), which rounds to (354, 284).
    // Below 30 pixels high the size is 0, the platform's default (16 pixels
    // here: cell 20, advance 8).
    const struct { int32_t desktopWidth, desktopHeight; std::string settings; const char* word;
                   std::string opened, drawn; } rows[] = {
        {1920, 1080, SettingsText(-1, 0, 1, 1, 0), "go", "open-full 1920 1080 32 60", TextLine(936, 510, "go")},
        {1024, 768, SettingsText(800, 600, 1, 0, 0), "abcdefg", "open-full 800 600 32 0",
         TextLine(354, 284, "abcdefg")},
        {1024, 768, SettingsText(800, 600, 0, 1, 0), "abcdefg", "surface-in-window 800 600",
         TextLine(354, 284, "abcdefg")},
        {1024, 768, SettingsText(200, 20, 0, 0, 0), "ab", "open-window 200 20 wordtap", TextLine(92, 0, "ab")},
    };
    Script script;
    AnswerIntro(script);
    Answer(script, 1, 300000, ScanCode::W);
    Tap(script, 4, 100000, ScanCode::Escape);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.opened);
        Headless::Config config = WithScript(script);
        config.desktopWidth = row.desktopWidth;
        config.desktopHeight = row.desktopHeight;
        config.extraModes = {{800, 600}};
        const RunResult run = RunWordtap(config, DataFiles({row.word}, row.settings));
        ASSERT_TRUE(run.EndedNormally()) << run.Describe();
        EXPECT_TRUE(run.Has(row.opened));
        EXPECT_TRUE(run.Has(row.drawn));
        EXPECT_EQ(run.Read(ResultsName), Header + "  0.300\tW\t" + row.word + "\r\n");
    }
}

TEST(Display, EachFailedOpenHasItsOwnBox) {
    struct Row { int32_t Headless::Config::*fail; std::string settings; int line; };
    std::vector<Row> rows = {
        {&Headless::Config::failSurface, SettingsText(800, 600, 1, 1, 0), 73},
        {&Headless::Config::failInitSystem, SettingsText(800, 600, 1, 1, 0), 73},
        {nullptr, SettingsText(640, 480, 1, 0, 0), 81},  // a mode the display does not offer
        {&Headless::Config::failWindow, SettingsText(800, 600, 0, 1, 0), 86},
        {&Headless::Config::failSurface, SettingsText(800, 600, 0, 1, 0), 90},
        {nullptr, "[Screen]\r\nWidth = 99999999999999999999\r\nHeight = -99999999999999999999\r\nFullscreen = 0\r\n", 86},
    };
    // Sizes no display can open, in a window and as a full-screen mode.
    for (const auto& [width, height] : std::vector<std::pair<int, int>>{
             {100000, 600}, {800, 100000}, {-5, 600}, {800, 0}, {0, 0}, {2147483647, 2147483647},
             {-2147483647 - 1, -2147483647 - 1}, {16385, 16385}}) {
        rows.push_back({nullptr, SettingsText(width, height, 0, 1, 0), 86});
        rows.push_back({nullptr, SettingsText(width, height, 1, 0, 0), 81});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.settings);
        Headless::Config config;
        if (row.fail != nullptr) config.*row.fail = 1;
        const RunResult run = QuitAtIntro(config, row.settings);
        ASSERT_TRUE(run.EndedNormally()) << run.Describe();
        const std::string text = "Error" + std::to_string(row.line) + ": Couldn't initialize display!";
        EXPECT_TRUE(run.Has("box wordtap|" + text)) << run.Describe();
        EXPECT_EQ(run.errorOutput, text + "\n");
        EXPECT_EQ(run.Count("present"), 0);
        EXPECT_FALSE(run.Exists(ResultsName));
    }
}
