// Whole runs: the order of a run, the results log, the ways out.
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "app/experiment.h"
#include "experiment_helpers.h"
#include "support/files/text_file.h"

using namespace ExperimentTest;
using Harness::RunResult;

namespace {

const std::string DefaultSettings =
    "[Screen]\r\nWidth = 800\r\nHeight = 600\r\nFullscreen = 1\r\nUseNativeResolution = 1\r\n"
    "\r\n[Words]\r\nRandomizeOrder = 1\r\n";

const std::string DefaultIntro =
    "data/introduction.txt\r\n\r\nEnter your introductionary text here.\r\n\r\n"
    "The whole file will be displayed on program startup.\r\n\r\n"
    "Press [W]   if it is a word.\r\nPress [O]   if it is NOT a word.\r\n"
    "Press [Esc] to quit anytime.\r\n\r\nPress [W] or [O] to continue...\r\n";

const std::string DefaultFinal =
    "data/finalscreen.txt\r\n\r\nThis is the end.\r\n\r\nPress [Esc] to quit...\r\n";

// Trial k: white screen, 400 ms, the word drawn, 100 ms, the word presented,
// the clock read at once, nothing but key events until the second reading.
void ExpectTrialOrder(const std::vector<std::string>& trace, int32_t trial,
                      const std::string& word) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    auto it = std::find(trace.begin(), trace.end(), "present " + std::to_string(2 * trial));
    ASSERT_NE(it, trace.end());
    const std::vector<std::string> expected = {"sleep 400", "", "sleep 100",
                                               "present " + std::to_string(2 * trial + 1),
                                               "clock"};
    for (const std::string& want : expected) {
        ++it;
        ASSERT_NE(it, trace.end());
        if (want.empty()) {
            EXPECT_EQ(it->rfind("text ", 0), 0u) << *it;
            EXPECT_EQ(DrawnText(*it), word);
        } else {
            EXPECT_EQ(*it, want);
        }
    }
    for (++it; it != trace.end() && *it != "clock"; ++it)
        EXPECT_EQ(it->rfind("event ", 0), 0u) << "inside the timed interval: " << *it;
    EXPECT_NE(it, trace.end()) << "no second clock reading";
}

}  // namespace

TEST(Run, FirstRunCreatesEverythingAndLogsEveryAnswer) {
    Script script;
    AnswerIntro(script);
    for (int32_t trial = 1; trial <= 4; ++trial)
        Answer(script, trial, 300000 + trial * 1000, trial % 2 ? ScanCode::W : ScanCode::O);
    Tap(script, Harness::WordPresent(4) + 1, 100000, ScanCode::Escape);
    const RunResult run = Harness::RunWordtap(WithScript(script));
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();

    EXPECT_EQ(run.Read("data/settings.ini"), DefaultSettings);
    EXPECT_EQ(run.Read("data/introduction.txt"), DefaultIntro);
    EXPECT_EQ(DefaultIntro.size(), 251u);
    EXPECT_EQ(run.Read("data/finalscreen.txt"), DefaultFinal);
    EXPECT_EQ(DefaultFinal.size(), 68u);
    EXPECT_EQ(run.Read("data/words/example.txt"), "your\r\nwords\r\ngo\r\nhere\r\n");
    EXPECT_TRUE(HasLine(run.trace, "open-full 1024 768 32 60"));

    // Shuffled by default: every example word once, in the order shown.
    const std::vector<std::string> lines = LogLines(run.Read(ResultsName));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], Header);
    std::vector<std::string> shown;
    for (int32_t trial = 1; trial <= 4; ++trial) {
        const std::string time = "  0.30" + std::to_string(trial);
        const std::string key = trial % 2 ? "W" : "O";
        const std::string& line = lines[static_cast<size_t>(trial)];
        ASSERT_EQ(line.rfind(time + "\t" + key + "\t", 0), 0u) << line;
        shown.push_back(line.substr(10));
        ExpectTrialOrder(run.trace, trial, shown.back());
    }
    std::vector<std::string> sorted = shown;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::string>{"go", "here", "words", "your"}));
}

TEST(Run, WordsInFileOrderWithoutRandomOrder) {
    Script script;
    AnswerIntro(script);
    for (int32_t trial = 1; trial <= 4; ++trial) Answer(script, trial, 400000, ScanCode::W);
    Tap(script, 10, 100000, ScanCode::Escape);
    const RunResult run = Harness::RunWordtap(WithScript(script), [](const std::string& folder) {
        Harness::WriteFile(folder, "data/settings.ini", "[Words]\r\nRandomizeOrder=0\r\n");
    });
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_EQ(run.Read(ResultsName),
              "time\tkey\tword\r\n  0.400\tW\tyour\r\n  0.400\tW\twords\r\n"
              "  0.400\tW\tgo\r\n  0.400\tW\there\r\n");
}

TEST(Run, ReactionTimesToTheMillisecond) {
    // 0 ms: down before the word, up one poll after it appeared. 45 ms: held
    // since the white screen, so before the wait began.
    Script script;
    AnswerIntro(script);
    script.push_back({ScriptEvent::KeyDown, 2, 0, ScanCode::W});
    script.push_back({ScriptEvent::KeyUp, 3, 1, ScanCode::W});
    script.push_back({ScriptEvent::KeyDown, 4, 0, ScanCode::O});
    script.push_back({ScriptEvent::KeyUp, 5, 45000, ScanCode::O});
    const int64_t times[] = {523000, 1000000, 1045000, 12003000, 61234000};
    for (int32_t i = 0; i < 5; ++i) Answer(script, 3 + i, times[i], ScanCode::W);
    // [W] and [O] let go between the same two polls: [W] wins.
    script.push_back({ScriptEvent::KeyDown, 17, 100000, ScanCode::O});
    script.push_back({ScriptEvent::KeyDown, 17, 100000, ScanCode::W});
    script.push_back({ScriptEvent::KeyUp, 17, 250000, ScanCode::O});
    script.push_back({ScriptEvent::KeyUp, 17, 250000, ScanCode::W});
    Tap(script, 18, 100000, ScanCode::Escape);

    const RunResult run = Harness::RunWordtap(
        WithScript(script), DataFiles({"w0", "w45", "w523", "w1000", "w1045", "w12003", "w61234",
                                   "both"}));
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_EQ(run.Read(ResultsName),
              "time\tkey\tword\r\n"
              "  0.000\tW\tw0\r\n"
              "  0.045\tO\tw45\r\n"
              "  0.523\tW\tw523\r\n"
              "  1.000\tW\tw1000\r\n"
              "  1.045\tW\tw1045\r\n"
              " 12.003\tW\tw12003\r\n"
              " 61.234\tW\tw61234\r\n"
              "  0.250\tW\tboth\r\n");
}

TEST(Run, ReactionTimeText) {
    EXPECT_EQ(ReactionTimeText(0), "  0.000");
    EXPECT_EQ(ReactionTimeText(45), "  0.045");
    EXPECT_EQ(ReactionTimeText(523), "  0.523");
    EXPECT_EQ(ReactionTimeText(61234), " 61.234");
    EXPECT_EQ(ReactionTimeText(999999), "999.999");
    // Beyond the field: widened, not cut to "100.000".
    EXPECT_EQ(ReactionTimeText(1000000), "1000.000");
}

TEST(Run, EscapeAtTheIntroductionLeavesTheHeaderOnly) {
    Script script;
    Tap(script, 1, 100000, ScanCode::Escape);
    const RunResult run = Harness::RunWordtap(WithScript(script), DataFiles({"a", "b"}));
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_EQ(run.Read(ResultsName), "time\tkey\tword\r\n");
    EXPECT_FALSE(HasLine(run.trace, "present 2"));
}

TEST(Run, EscapeInATrialKeepsEveryEarlierAnswer) {
    Script script;
    AnswerIntro(script);
    Answer(script, 1, 500000, ScanCode::W);
    Answer(script, 2, 600000, ScanCode::O);
    Answer(script, 3, 700000, ScanCode::Escape);
    const RunResult run = Harness::RunWordtap(WithScript(script), DataFiles({"a", "b", "c", "d"}));
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_EQ(run.Read(ResultsName), "time\tkey\tword\r\n  0.500\tW\ta\r\n  0.600\tO\tb\r\n");
    EXPECT_FALSE(HasLine(run.trace, "present 8"));
}

TEST(Run, FinalScreenIgnoresAnswersUntilEscape) {
    Script script;
    AnswerIntro(script);
    Answer(script, 1, 300000, ScanCode::O);
    Tap(script, 4, 100000, ScanCode::W);
    Tap(script, 4, 300000, ScanCode::O);
    Tap(script, 4, 500000, ScanCode::W);
    // Full screen: a close request is not a way out.
    script.push_back({ScriptEvent::CloseRequest, 4, 600000, 0});
    Tap(script, 4, 900000, ScanCode::Escape);
    const RunResult run = Harness::RunWordtap(WithScript(script), DataFiles({"only"}));
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_EQ(run.Read(ResultsName), "time\tkey\tword\r\n  0.300\tO\tonly\r\n");
    EXPECT_EQ(CountPrefix(run.trace, "present "), 4);
    EXPECT_EQ(std::count(run.trace.begin(), run.trace.end(), "event key-up 1"), 1);
    EXPECT_EQ(CountPrefix(run.trace, "event key-up"), 6);
    EXPECT_EQ(DrawnText(TextLinesOfTrace(run.trace).back()), "final");
}

TEST(Run, WindowCloseQuitsWhenWindowed) {
    const std::string windowed = SettingsText(800, 600, 0, 1, 0);
    {
        SCOPED_TRACE("in a trial");
        Script script;
        AnswerIntro(script);
        Answer(script, 1, 300000, ScanCode::W);
        script.push_back({ScriptEvent::CloseRequest, 5, 200000, 0});
        const RunResult run =
            Harness::RunWordtap(WithScript(script), DataFiles({"a", "b", "c"}, windowed));
        ASSERT_TRUE(run.EndedNormally()) << run.Describe();
        EXPECT_EQ(run.Read(ResultsName), "time\tkey\tword\r\n  0.300\tW\ta\r\n");
        EXPECT_TRUE(HasLine(run.trace, "close-window"));
        EXPECT_FALSE(HasLine(run.trace, "present 6"));
    }
    {
        SCOPED_TRACE("on the final screen");
        Script script;
        AnswerIntro(script);
        script.push_back({ScriptEvent::CloseRequest, 2, 100000, 0});
        const RunResult run = Harness::RunWordtap(WithScript(script), [&](const std::string& f) {
            Harness::WriteFile(f, "data/settings.ini", windowed);
            std::filesystem::create_directories(f + "/data/words");
        });
        ASSERT_TRUE(run.EndedNormally()) << run.Describe();
        EXPECT_EQ(run.Read(ResultsName), "time\tkey\tword\r\n");
        EXPECT_EQ(CountPrefix(run.trace, "present "), 2);
    }
    {
        SCOPED_TRACE("full screen: ignored at the introduction");
        Script script;
        script.push_back({ScriptEvent::CloseRequest, 1, 100000, 0});
        AnswerIntro(script);
        Answer(script, 1, 300000, ScanCode::W);
        Tap(script, 4, 100000, ScanCode::Escape);
        const RunResult run = Harness::RunWordtap(WithScript(script), DataFiles({"a"}));
        ASSERT_TRUE(run.EndedNormally()) << run.Describe();
        EXPECT_EQ(run.Read(ResultsName), "time\tkey\tword\r\n  0.300\tW\ta\r\n");
    }
}

TEST(Run, EmptyWordListGoesStraightToTheFinalScreen) {
    Script script;
    AnswerIntro(script);
    Tap(script, 2, 100000, ScanCode::Escape);
    const RunResult run = Harness::RunWordtap(WithScript(script), [](const std::string& folder) {
        std::filesystem::create_directories(folder + "/data/words");
    });
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_FALSE(run.Exists("data/words/example.txt"));
    EXPECT_EQ(run.Read(ResultsName), "time\tkey\tword\r\n");
    EXPECT_EQ(CountPrefix(run.trace, "present "), 2);
    EXPECT_EQ(DrawnText(TextLinesOfTrace(run.trace).back()), "Press [Esc] to quit...");
    EXPECT_EQ(CountPrefix(run.trace, "sleep"), 0);
}

TEST(Run, DataThatIsAFileShowsTheBoxBeforeAnyDisplay) {
    const RunResult run = Harness::RunWordtap(Headless::Config{}, {{"data", "not a folder"}});
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_EQ(run.trace, (std::vector<std::string>{Box(285, ": assertion failed!")}));
    EXPECT_EQ(run.errorOutput, "Error285: assertion failed!\n");
    EXPECT_EQ(run.Read("data"), "not a folder");
    EXPECT_FALSE(run.Exists(ResultsName));
}

TEST(Run, ResultsFileHeldByAnotherRun) {
    // Another run created the same name in the same second and still has it
    // open: its lock keeps this run out.
    TextFile::Startup();
    Script script;
    AnswerIntro(script);
    const RunResult held = Harness::RunWordtap(WithScript(script), [](const std::string& folder) {
        for (const auto& file : DataFiles({"a"})) Harness::WriteFile(folder, file.path, file.content);
        ASSERT_NE(TextFile::Create(0, (folder + "/" + ResultsName).c_str()), 0);
    });
    TextFile::Close(0);
    ASSERT_TRUE(held.EndedNormally()) << held.Describe();
    EXPECT_TRUE(HasLine(held.trace, Box(300, ": assertion failed!")));
    EXPECT_EQ(held.errorOutput, "Error300: assertion failed!\n");
    EXPECT_EQ(held.Read(ResultsName), "");

    // Once it has ended, the name is free and the old content goes.
    std::vector<Harness::SeedFile> files = DataFiles({"a"});
    files.push_back({ResultsName, "an earlier run's results\r\n"});
    Script quit;
    Tap(quit, 1, 300000, ScanCode::Escape);
    const RunResult after = Harness::RunWordtap(WithScript(quit), files);
    ASSERT_TRUE(after.EndedNormally()) << after.Describe();
    EXPECT_EQ(after.Read(ResultsName), "time\tkey\tword\r\n");
}

TEST(Run, FailedTrialLineWriteShowsTheBoxAndKeepsTheRest) {
    // A file size limit lets the header through but not the long trial line.
    const std::string word(60, 'x');
    Script script;
    AnswerIntro(script);
    Answer(script, 1, 300000, ScanCode::W);
    Tap(script, 4, 100000, ScanCode::Escape);  // reached only if the failure went unnoticed
    Harness::RunningWordtap child = Harness::StartWordtap(
        WithScript(script),
        [&](const std::string& folder) {
            for (const auto& file : DataFiles({word})) Harness::WriteFile(folder, file.path, file.content);
        },
        [] {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = {40, 40};
            setrlimit(RLIMIT_FSIZE, &limit);
        });
    const RunResult run = Harness::Finish(child);
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_EQ(run.errorOutput, "Error361: assertion failed!\n");
    EXPECT_EQ(run.Read(ResultsName).substr(0, 15), "time\tkey\tword\r\n");
}

TEST(Run, KilledRunKeepsEveryAnsweredLine) {
    // Thirty short lines stay far below one 4096-byte buffer: without a flush
    // per line a kill would leave an empty file.
    std::vector<std::string> words;
    for (int32_t i = 1; i <= 40; ++i) words.push_back("word" + std::to_string(i));
    Script script;
    AnswerIntro(script);
    for (int32_t trial = 1; trial <= 30; ++trial) Answer(script, trial, 250000, ScanCode::O);
    Harness::RunningWordtap child = Harness::StartWordtap(
        WithScript(script), [&](const std::string& folder) {
            for (const auto& file : DataFiles(words)) Harness::WriteFile(folder, file.path, file.content);
        });
    // Trial 31 waits for an answer that never comes.
    ASSERT_TRUE(Harness::WaitForTraceLine(child, "present " + std::to_string(Harness::WordPresent(31))));
    Harness::SendSignal(child, SIGKILL);
    const RunResult run = Harness::Finish(child);
    EXPECT_EQ(run.signal, SIGKILL) << run.Describe();

    const std::vector<std::string> lines = LogLines(run.Read(ResultsName));
    ASSERT_EQ(lines.size(), 31u);
    EXPECT_EQ(lines[0], Header);
    for (int32_t trial = 1; trial <= 30; ++trial)
        EXPECT_EQ(lines[static_cast<size_t>(trial)], "  0.250\tO\tword" + std::to_string(trial));
}

TEST(Run, TerminationSignalEndsTheRunNormally) {
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE("signal " + std::to_string(signalNumber));
        Script script;
        AnswerIntro(script);
        for (int32_t trial = 1; trial <= 3; ++trial) Answer(script, trial, 250000, ScanCode::W);
        Harness::RunningWordtap child = Harness::StartWordtap(
            WithScript(script), [](const std::string& folder) {
                for (const auto& file : DataFiles({"a", "b", "c", "d", "e"}))
                    Harness::WriteFile(folder, file.path, file.content);
            });
        ASSERT_TRUE(Harness::WaitForTraceLine(child, "present 9"));
        Harness::SendSignal(child, signalNumber);
        const RunResult run = Harness::Finish(child);
        ASSERT_TRUE(run.EndedNormally()) << run.Describe();
        EXPECT_EQ(run.Read(ResultsName),
                  "time\tkey\tword\r\n  0.250\tW\ta\r\n  0.250\tW\tb\r\n  0.250\tW\tc\r\n");
        EXPECT_TRUE(HasLine(run.trace, "close-surface"));
        EXPECT_EQ(CountPrefix(run.trace, "box"), 0);
    }
}
