// The text screens as drawn, and the word lists as loaded, including input
// that an experimenter should not have given the program.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "experiment_helpers.h"

using namespace ExperimentTest;
using Harness::RunResult;
namespace fs = std::filesystem;

namespace {

// The text lines drawn before present `present`, after the one before it.
std::vector<std::string> DrawnBefore(const std::vector<std::string>& trace, int32_t present) {
    std::vector<std::string> drawn;
    for (const std::string& line : trace) {
        if (line == "present " + std::to_string(present)) return drawn;
        if (line.rfind("present ", 0) == 0) drawn.clear();
        if (line.rfind("text ", 0) == 0) drawn.push_back(line);
    }
    ADD_FAILURE() << "no present " << present;
    return drawn;
}

RunResult QuitAtIntroWith(const Harness::Prepare& prepare) {
    Script script;
    Tap(script, 1, 100000, ScanCode::Escape);
    return Harness::RunWordtap(WithScript(script), prepare);
}

RunResult IntroOf(const std::string& content) {
    return QuitAtIntroWith([&](const std::string& folder) {
        for (const auto& file : DataFiles({"w"})) Harness::WriteFile(folder, file.path, file.content);
        Harness::WriteFile(folder, "data/introduction.txt", content);
    });
}

// Answers every trial with [W] after 300 ms, then quits on the final screen.
RunResult AnswerAll(int32_t trials, const Harness::Prepare& prepare) {
    Script script;
    AnswerIntro(script);
    for (int32_t trial = 1; trial <= trials; ++trial) Answer(script, trial, 300000, ScanCode::W);
    Tap(script, 2 * trials + 2, 100000, ScanCode::Escape);
    return Harness::RunWordtap(WithScript(script), prepare);
}

std::vector<std::string> LoggedWords(const RunResult& run) {
    std::vector<std::string> words;
    const std::vector<std::string> lines = LogLines(run.Read(ResultsName));
    for (size_t i = 1; i < lines.size(); ++i) words.push_back(lines[i].substr(10));
    return words;
}

}  // namespace

// Desktop 1024 x 768: font 25 points, 33 pixels, a cell of 41 and an advance
// of 16; the line step is 49.2.
TEST(TextScreens, DefaultIntroductionIsLaidOutLineByLine) {
    const RunResult run = QuitAtIntroWith(nullptr);
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    // Eleven lines, 541.2 high: tops from 113.4; empty lines take their place.
    EXPECT_EQ(DrawnBefore(run.trace, 1),
              (std::vector<std::string>{
                  TextLine(344, 113, "data/introduction.txt"),
                  TextLine(216, 212, "Enter your introductionary text here."),
                  TextLine(96, 310, "The whole file will be displayed on program startup."),
                  TextLine(288, 409, "Press [W]   if it is a word."),
                  TextLine(256, 458, "Press [O]   if it is NOT a word."),
                  TextLine(288, 507, "Press [Esc] to quit anytime."),
                  TextLine(264, 605, "Press [W] or [O] to continue..."),
              }));
}

TEST(TextScreens, AnyLineEndsGiveTheSameScreen) {
    const std::vector<std::string> expected = {TextLine(488, 335, "one"), TextLine(488, 384, "two")};
    for (const char* content : {"one\r\ntwo\r\n", "one\ntwo", "one\rtwo\r", "one\r\ntwo"}) {
        const RunResult run = IntroOf(content);
        ASSERT_TRUE(run.EndedNormally()) << run.Describe();
        EXPECT_EQ(DrawnBefore(run.trace, 1), expected) << content;
    }
    // Alone, a line is centred by its own height, (768 - 41) / 2 = 363.5; an
    // empty line after it lifts it by 0.7 of a cell.
    EXPECT_EQ(DrawnBefore(IntroOf("one").trace, 1), (std::vector<std::string>{TextLine(488, 364, "one")}));
    EXPECT_EQ(DrawnBefore(IntroOf("one\r\n\r\n").trace, 1),
              (std::vector<std::string>{TextLine(488, 335, "one")}));
    // Blanks are drawn; only the empty line is skipped.
    EXPECT_EQ(DrawnBefore(IntroOf("   ").trace, 1), (std::vector<std::string>{TextLine(488, 364, "   ")}));
}

TEST(TextScreens, ExistingEmptyOrUnreadableTextsAreLeftAlone) {
    Script script;
    AnswerIntro(script);
    Tap(script, 2, 100000, ScanCode::Escape);
    const RunResult run = Harness::RunWordtap(WithScript(script), [](const std::string& folder) {
        Harness::WriteFile(folder, "data/finalscreen.txt", "");
        fs::create_directories(folder + "/data/introduction.txt");
        fs::create_directories(folder + "/data/words");
    });
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_EQ(run.Read("data/finalscreen.txt"), "");
    EXPECT_TRUE(fs::is_directory(run.folder + "/data/introduction.txt"));
    EXPECT_TRUE(DrawnBefore(run.trace, 1).empty());
    EXPECT_TRUE(DrawnBefore(run.trace, 2).empty());
    EXPECT_EQ(run.Read(ResultsName), Header + "\r\n");
}

TEST(TextScreens, TextsThatCannotBeCreatedEndTheRun) {
    // A dangling link into a missing folder: missing, and not creatable.
    const RunResult intro = QuitAtIntroWith([](const std::string& folder) {
        fs::create_directories(folder + "/data");
        fs::create_symlink("nowhere/intro.txt", folder + "/data/introduction.txt");
    });
    ASSERT_TRUE(intro.EndedNormally()) << intro.Describe();
    EXPECT_EQ(intro.errorOutput, "Error124: assertion failed!\n");
    EXPECT_TRUE(HasLine(intro.trace, Box(124, ": assertion failed!")));

    const RunResult final = QuitAtIntroWith([](const std::string& folder) {
        fs::create_directories(folder + "/data");
        fs::create_symlink("nowhere/final.txt", folder + "/data/finalscreen.txt");
    });
    ASSERT_TRUE(final.EndedNormally()) << final.Describe();
    EXPECT_EQ(final.errorOutput, "Error153: assertion failed!\n");
}

TEST(WordLists, WordsAreTakenByteForByteFileByFile) {
    const RunResult run = AnswerAll(8, [](const std::string& folder) {
        for (const auto& file : DataFiles({})) Harness::WriteFile(folder, file.path, file.content);
        fs::remove(folder + "/data/words/list.txt");
        Harness::WriteFile(folder, "data/words/a.txt", "cat\r\n\r\n dog \r\n");
        Harness::WriteFile(folder, "data/words/B.txt", "\xEF\xBB\xBF" "bom\r\nx\ry\rz");
        Harness::WriteFile(folder, "data/words/c.txt", std::string("ab\0cd\n", 6));
        Harness::WriteFile(folder, "data/words/notes.csv", "csv\r\n");
        Harness::WriteFile(folder, "data/words/sub.txt/inner.txt", "inner\r\n");
        fs::create_symlink("missing.txt", folder + "/data/words/broken.txt");
    });
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_EQ(LoggedWords(run), (std::vector<std::string>{"cat", " dog ", "\xEF\xBB\xBF" "bom", "x",
                                                          "y", "z", "ab", "cd"}));
}

TEST(WordLists, FirstRunWritesTheExampleOnlyWithTheDirectory) {
    // data/words as a file: the directory cannot be made.
    const RunResult blocked = QuitAtIntroWith([](const std::string& folder) {
        Harness::WriteFile(folder, "data/words", "a file");
    });
    ASSERT_TRUE(blocked.EndedNormally()) << blocked.Describe();
    EXPECT_EQ(blocked.errorOutput, "Error176: assertion failed!\n");
    EXPECT_EQ(blocked.Read("data/words"), "a file");
}

TEST(WordLists, RandomOrderIsAPermutation) {
    std::vector<std::string> words;
    for (int32_t i = 0; i < 20; ++i) words.push_back("w" + std::to_string(i));
    words.push_back("w3");  // listed twice, shown twice
    const RunResult run = AnswerAll(21, [&](const std::string& folder) {
        for (const auto& file : DataFiles(words, SettingsText(800, 600, 1, 1, 7)))
            Harness::WriteFile(folder, file.path, file.content);
    });
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    std::vector<std::string> shown = LoggedWords(run);
    EXPECT_NE(shown, words);
    std::sort(shown.begin(), shown.end());
    std::sort(words.begin(), words.end());
    EXPECT_EQ(shown, words);
}

TEST(WordLists, AMegabyteWordIsShownAndLoggedWhole) {
    const std::string word(1000000, 'm');
    const RunResult run = AnswerAll(1, [&](const std::string& folder) {
        for (const auto& file : DataFiles({word})) Harness::WriteFile(folder, file.path, file.content);
    });
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_EQ(run.Read(ResultsName), Header + "\r\n  0.300\tW\t" + word + "\r\n");
    // 16,000,000 pixels wide on 1024: centred far beyond the left edge.
    EXPECT_TRUE(HasLine(run.trace, TextLine(-7999488, 364, word)));
}

TEST(WordLists, HundredThousandListFiles) {
    auto started = std::chrono::steady_clock::now();
    Script script;
    AnswerIntro(script);
    Answer(script, 1, 300000, ScanCode::W);
    Answer(script, 2, 100000, ScanCode::Escape);
    const RunResult run = Harness::RunWordtap(WithScript(script), [&](const std::string& folder) {
        for (const auto& file : DataFiles({}, SettingsText(800, 600, 1, 1, 0)))
            Harness::WriteFile(folder, file.path, file.content);
        const std::string words = folder + "/data/words/";
        char name[32];
        for (int32_t i = 0; i < 100000; ++i) {
            std::snprintf(name, sizeof name, "%06d.txt", i);
            const int fd = open((words + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ASSERT_GE(fd, 0);
            const char* word = i == 0 ? "first\r\n" : "w\r\n";
            ASSERT_EQ(write(fd, word, std::strlen(word)), static_cast<ssize_t>(std::strlen(word)));
            close(fd);
        }
        started = std::chrono::steady_clock::now();
    }, 240);
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_EQ(run.Read(ResultsName), Header + "\r\n  0.300\tW\tfirst\r\n");
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started).count();
    EXPECT_LT(millis, 60000);
    std::printf("run over 100,000 list files: %lld ms\n", static_cast<long long>(millis));
}

// Opening a named pipe for reading would wait for a writer.
TEST(WordLists, ANamedPipeDoesNotHoldTheRunUp) {
    const RunResult run = AnswerAll(1, [](const std::string& folder) {
        for (const auto& file : DataFiles({"a"})) Harness::WriteFile(folder, file.path, file.content);
        ASSERT_EQ(mkfifo((folder + "/data/words/pipe.txt").c_str(), 0644), 0);
    });
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_EQ(LoggedWords(run), (std::vector<std::string>{"a"}));
}
