// Settings as the run reads and rewrites them, and the three ways to open
// the display with their failures.
#include <string>
#include <utility>
#include <vector>

#include "experiment_helpers.h"

using namespace ExperimentTest;
using Harness::RunResult;

namespace {

// Quits at the introduction: enough to see the display and the files.
RunResult QuitAtIntro(Headless::Config config, const std::vector<Harness::SeedFile>& files) {
    Script script;
    Tap(script, 1, 100000, ScanCode::Escape);
    config.script = script;
    return Harness::RunWordtap(config, files);
}

std::vector<Harness::SeedFile> WithSettingsFile(const std::string& settings) {
    return DataFiles({"word"}, settings);
}

void ExpectDisplayError(const RunResult& run, int32_t line) {
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    const std::string text = "Error" + std::to_string(line) + ": Couldn't initialize display!";
    EXPECT_TRUE(HasLine(run.trace, "box wordtap|" + text)) << run.Describe();
    EXPECT_EQ(run.errorOutput, text + "\n");
    EXPECT_EQ(CountPrefix(run.trace, "present"), 0);
    EXPECT_FALSE(run.Exists(ResultsName));
}

}  // namespace

TEST(Settings, MissingKeysAreAddedAndValuesWrittenBack) {
    const std::string completed =
        "[Screen]\r\nFullscreen = 0\r\nWidth = 800\r\nHeight = 600\r\nUseNativeResolution = 1\r\n"
        "\r\n[Words]\r\nRandomizeOrder = 1\r\n";
    for (const char* given : {"[Screen]\r\nFullscreen=0\r\n", "[Screen]\nFullscreen = yes\n"}) {
        SCOPED_TRACE(given);
        const RunResult run = QuitAtIntro(Headless::Config{}, WithSettingsFile(given));
        ASSERT_TRUE(run.EndedNormally()) << run.Describe();
        EXPECT_EQ(run.Read("data/settings.ini"), completed);
        EXPECT_TRUE(HasLine(run.trace, "open-window 800 600 wordtap"));
        EXPECT_TRUE(HasLine(run.trace, "surface-in-window 800 600"));
    }
    // Keys in any letter case; written back in their own spelling.
    const RunResult run = QuitAtIntro(
        Headless::Config{},
        WithSettingsFile("[screen]\nwidth=640\nHEIGHT = 480\nfullscreen=0\nusenativeresolution=0\n"
                         "[words]\nrandomizeorder=0\n"));
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_EQ(run.Read("data/settings.ini"),
              "[screen]\r\nWidth = 640\r\nHeight = 480\r\nFullscreen = 0\r\n"
              "UseNativeResolution = 0\r\n\r\n[words]\r\nRandomizeOrder = 0\r\n");
    EXPECT_TRUE(HasLine(run.trace, "open-window 640 480 wordtap"));
}

TEST(Display, ThreeWaysToOpenAndTheFontFollowsTheHeight) {
    Script script;
    AnswerIntro(script);
    Answer(script, 1, 300000, ScanCode::W);
    Tap(script, 4, 100000, ScanCode::Escape);
    {
        SCOPED_TRACE("desktop mode: 1920 x 1080, 36 points, 48 pixels, cell 60, advance 24");
        Headless::Config config = WithScript(script);
        config.desktopWidth = 1920;
        config.desktopHeight = 1080;
        // Width and Height play no part here.
        const RunResult run = Harness::RunWordtap(config, DataFiles({"go"}, SettingsText(-1, 0, 1, 1, 0)));
        ASSERT_TRUE(run.EndedNormally()) << run.Describe();
        EXPECT_TRUE(HasLine(run.trace, "open-full 1920 1080 32 60"));
        EXPECT_TRUE(HasLine(run.trace, TextLine(936, 510, "go")));
        EXPECT_EQ(LogLines(run.Read(ResultsName)).size(), 2u);
    }
    // 20 points, 27 pixels: a cell of 33, an advance of 13. Seven letters are
    // 91 wide, so the word sits at (354.5, 283.5), which rounds to (354, 284).
    {
        SCOPED_TRACE("configured mode");
        Headless::Config config = WithScript(script);
        config.extraModes = {{800, 600}};
        const RunResult run =
            Harness::RunWordtap(config, DataFiles({"abcdefg"}, SettingsText(800, 600, 1, 0, 0)));
        ASSERT_TRUE(run.EndedNormally()) << run.Describe();
        EXPECT_TRUE(HasLine(run.trace, "open-full 800 600 32 0"));
        EXPECT_TRUE(HasLine(run.trace, TextLine(354, 284, "abcdefg")));
        EXPECT_FALSE(HasLine(run.trace, "open-window 800 600 wordtap"));
    }
    {
        SCOPED_TRACE("window");
        const RunResult run = Harness::RunWordtap(WithScript(script),
                                                  DataFiles({"abcdefg"}, SettingsText(800, 600, 0, 1, 0)));
        ASSERT_TRUE(run.EndedNormally()) << run.Describe();
        EXPECT_TRUE(HasLine(run.trace, "open-window 800 600 wordtap"));
        EXPECT_TRUE(HasLine(run.trace, "surface-in-window 800 600"));
        EXPECT_TRUE(HasLine(run.trace, TextLine(354, 284, "abcdefg")));
        EXPECT_EQ(CountPrefix(run.trace, "open-full"), 0);
    }
    {
        // Below 30 pixels high the font size is 0, the platform's default
        // (16 pixels here: cell 20, advance 8).
        SCOPED_TRACE("20 pixels high");
        const RunResult run =
            Harness::RunWordtap(WithScript(script), DataFiles({"ab"}, SettingsText(200, 20, 0, 0, 0)));
        ASSERT_TRUE(run.EndedNormally()) << run.Describe();
        EXPECT_TRUE(HasLine(run.trace, TextLine(92, 0, "ab")));
        EXPECT_EQ(LogLines(run.Read(ResultsName)).size(), 2u);
    }
}

TEST(Display, EachFailedOpenHasItsOwnBox) {
    {
        Headless::Config config;
        config.failSurface = 1;
        ExpectDisplayError(QuitAtIntro(config, WithSettingsFile(SettingsText(800, 600, 1, 1, 0))), 73);
    }
    {
        // Without a drawing system the open fails in its turn.
        Headless::Config config;
        config.failInitSystem = 1;
        ExpectDisplayError(QuitAtIntro(config, WithSettingsFile(SettingsText(800, 600, 1, 1, 0))), 73);
    }
    {
        // A mode the display does not offer.
        const RunResult run =
            QuitAtIntro(Headless::Config{}, WithSettingsFile(SettingsText(640, 480, 1, 0, 0)));
        ExpectDisplayError(run, 81);
    }
    {
        Headless::Config config;
        config.failWindow = 1;
        ExpectDisplayError(QuitAtIntro(config, WithSettingsFile(SettingsText(800, 600, 0, 1, 0))), 86);
    }
    {
        Headless::Config config;
        config.failSurface = 1;
        const RunResult run = QuitAtIntro(config, WithSettingsFile(SettingsText(800, 600, 0, 1, 0)));
        ExpectDisplayError(run, 90);
        EXPECT_TRUE(HasLine(run.trace, "open-window 800 600 wordtap"));
        EXPECT_TRUE(HasLine(run.trace, "close-window"));
    }
}

TEST(Display, SizesNoDisplayCanOpenEndInTheDisplayBox) {
    const std::vector<std::pair<int32_t, int32_t>> sizes = {
        {100000, 600}, {800, 100000}, {-5, 600}, {800, 0}, {0, 0},
        {2147483647, 2147483647}, {-2147483647 - 1, -2147483647 - 1}, {16385, 16385}};
    for (const auto& [width, height] : sizes) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        ExpectDisplayError(
            QuitAtIntro(Headless::Config{}, WithSettingsFile(SettingsText(width, height, 0, 1, 0))), 86);
        ExpectDisplayError(
            QuitAtIntro(Headless::Config{}, WithSettingsFile(SettingsText(width, height, 1, 0, 0))), 81);
    }
    // Values beyond 32 bits in the file.
    const RunResult run = QuitAtIntro(
        Headless::Config{},
        WithSettingsFile("[Screen]\r\nWidth = 99999999999999999999\r\nHeight = -99999999999999999999\r\n"
                         "Fullscreen = 0\r\n"));
    ExpectDisplayError(run, 86);
}
