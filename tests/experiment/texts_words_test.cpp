// The text screens as drawn, and the word lists as loaded, including input
// that an experimenter should not have given the program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/harness.h"

using namespace Harness;
namespace fs = std::filesystem;

namespace {

// The text lines drawn for the introduction (before the first present).
std::vector<std::string> IntroLines(const RunResult& run) {
    std::vector<std::string> drawn;
    for (auto it = run.trace.begin(); it != run.trace.end() && *it != "present 1"; ++it)
        if (it->rfind("text ", 0) == 0) drawn.push_back(*it);
    return drawn;
}

RunResult QuitAtIntro(const std::vector<SeedFile>& files, const Prepare& extra = {}) {
    Script script;
    Tap(script, 1, 100000, ScanCode::Escape);
    return RunWordtap(WithScript(script), files, extra);
}

// Answers every trial with [W] after 300 ms, then quits on the final screen.
RunResult AnswerAll(int trials, const std::vector<SeedFile>& files, const Prepare& extra = {}) {
    Script script;
    AnswerIntro(script);
    for (int trial = 1; trial <= trials; ++trial) Answer(script, trial, 300000, ScanCode::W);
    Tap(script, 2 * trials + 2, 100000, ScanCode::Escape);
    return RunWordtap(WithScript(script), files, extra);
}

}  // namespace

// Desktop 1024 x 768: font 25 points, 33 pixels, a cell of 41 and an advance
// of 16; the line step is 49.2.
TEST(TextScreens, DefaultIntroductionIsLaidOutLineByLine) {
    const RunResult run = QuitAtIntro({});
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    // Eleven lines, 541.2 high: tops from 113.4; empty lines take their place.
    EXPECT_EQ(IntroLines(run), (std::vector<std::string>{
                                   TextLine(344, 113, "data/introduction.txt"),
                                   TextLine(216, 212, "Enter your introductionary text here."),
                                   TextLine(96, 310, "The whole file will be displayed on program startup."),
                                   TextLine(288, 409, "Press [W]   if it is a word."),
                                   TextLine(256, 458, "Press [O]   if it is NOT a word."),
                                   TextLine(288, 507, "Press [Esc] to quit anytime."),
                                   TextLine(264, 605, "Press [W] or [O] to continue..."),
                               }));
}

TEST(TextScreens, ExistingTextsAreLeftAloneAndMissingOnesMustBeCreatable) {
    // An empty final screen and an introduction that is a folder.
    Script script;
    AnswerIntro(script);
    Tap(script, 2, 100000, ScanCode::Escape);
    const RunResult run = RunWordtap(WithScript(script), {{"data/finalscreen.txt", ""}}, [](const std::string& folder) {
        fs::create_directories(folder + "/data/introduction.txt");
        fs::create_directories(folder + "/data/words");
    });
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_EQ(run.Read("data/finalscreen.txt"), "");
    EXPECT_TRUE(fs::is_directory(run.folder + "/data/introduction.txt"));
    EXPECT_EQ(run.Count("text "), 0);
    EXPECT_EQ(run.Read(ResultsName), Header);
    // An existing words folder, even an empty one, gets no example and no trials.
    EXPECT_FALSE(run.Exists("data/words/example.txt"));
    EXPECT_EQ(run.Count("present "), 2);

    // A dangling link into a missing folder: missing, and not creatable.
    for (const auto& [name, error, reason] :
         {std::tuple{"introduction.txt", "Error124", "No such file or directory"},
          {"finalscreen.txt", "Error153", "No such file or directory"}, {"words", "Error176", "File exists"}}) {
        const RunResult failed = QuitAtIntro({}, [name = std::string(name)](const std::string& folder) {
            fs::create_directories(folder + "/data");
            fs::create_symlink("nowhere/" + name, folder + "/data/" + name);
        });
        ASSERT_TRUE(failed.EndedNormally()) << failed.Describe();
        EXPECT_EQ(failed.errorOutput, std::string(error) + ": assertion failed! (data/" + name + ": " + reason + ")\n");
        EXPECT_TRUE(failed.Has("box wordtap|" + std::string(error) + ": assertion failed!"));
    }
}

TEST(WordLists, WordsAreTakenByteForByteFileByFile) {
    std::vector<SeedFile> files = DataFiles({});
    files.pop_back();
    files.insert(files.end(), {{"data/words/a.txt", "cat\r\n\r\n dog \r\n"},
                               {"data/words/B.txt", "\xEF\xBB\xBF" "bom\r\nx\ry\rz"},
                               {"data/words/c.txt", std::string("ab\0cd\n", 6)},
                               {"data/words/d.txt", "\r\r\r"},
                               {"data/words/e.TXT", std::string(1000000, 'm')},
                               {"data/words/notes.csv", "csv\r\n"},
                               {"data/words/sub.txt/inner.txt", "inner\r\n"}});
    const RunResult run = AnswerAll(9, files, [](const std::string& folder) {
        fs::create_symlink("missing.txt", folder + "/data/words/broken.txt");
        // Opening a named pipe for reading would wait for a writer.
        ASSERT_EQ(mkfifo((folder + "/data/words/pipe.txt").c_str(), 0644), 0);
    });
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_EQ(LoggedWords(run.Read(ResultsName)),
              (std::vector<std::string>{"cat", " dog ", "bom", "x", "y", "z", "ab", "cd", std::string(1000000, 'm')}));
    EXPECT_TRUE(run.Has(TextLine(472, 364, " dog ")));  // blanks are drawn and count for the centring
    // Far wider than the screen: centred beyond its left edge.
    EXPECT_TRUE(run.Has(TextLine(-7999488, 364, std::string(1000000, 'm'))));
}

