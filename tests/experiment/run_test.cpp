// Whole runs: the order of a run, the results log, the ways out.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

#include "app/experiment.h"
#include "tests/support/harness.h"

using namespace Harness;

namespace {

// Trial k: white screen, 400 ms, the word drawn, 100 ms, the word presented,
// the clock read at once, nothing but key events until the second reading.
// Returns the word drawn.
std::string ExpectTrialOrder(const std::vector<std::string>& trace, int trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    auto it = std::find(trace.begin(), trace.end(), "present " + std::to_string(2 * trial));
    EXPECT_GE(trace.end() - it, 7) << "trace ends early";
    if (trace.end() - it < 7) return "";
    EXPECT_EQ(it[1], "sleep 400");
    EXPECT_EQ(it[2].rfind("text ", 0), 0u) << it[2];
    EXPECT_EQ(it[3], "sleep 100");
    EXPECT_EQ(it[4], "present " + std::to_string(2 * trial + 1));
    EXPECT_EQ(it[5], "clock");
    const std::string word = DrawnText(it[2]);
    for (it += 6; it != trace.end() && *it != "clock"; ++it)
        EXPECT_EQ(it->rfind("event ", 0), 0u) << "inside the timed interval: " << *it;
    EXPECT_NE(it, trace.end()) << "no second clock reading";
    return word;
}

}  // namespace

TEST(Run, FirstRunCreatesEverythingAndLogsEveryAnswer) {
    Script script;
    AnswerIntro(script);
    for (int trial = 1; trial <= 4; ++trial)
        Answer(script, trial, 300000 + trial * 1000, trial % 2 ? ScanCode::W : ScanCode::O);
    Tap(script, WordPresent(4) + 1, 100000, ScanCode::Escape);
    const RunResult run = RunWordtap(WithScript(script));
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();

    const std::string intro =
        "data/introduction.txt\r\n\r\nEnter your introductionary text here.\r\n\r\n"
        "The whole file will be displayed on program startup.\r\n\r\n"
        "Press [W]   if it is a word.\r\nPress [O]   if it is NOT a word.\r\n"
        "Press [Esc] to quit anytime.\r\n\r\nPress [W] or [O] to continue...\r\n";
    const std::string final = "data/finalscreen.txt\r\n\r\nThis is the end.\r\n\r\nPress [Esc] to quit...\r\n";
    EXPECT_EQ(run.Read("data/introduction.txt"), intro);
    EXPECT_EQ(run.Read("data/finalscreen.txt"), final);
    EXPECT_EQ(run.Read("data/settings.ini"), SettingsText(800, 600, 1, 1, 1));
    EXPECT_EQ(run.Read("data/words/example.txt"), "your\r\nwords\r\ngo\r\nhere\r\n");
    EXPECT_TRUE(run.Has("open-full 1024 768 32 60"));

    // Shuffled by default; the virtual clock and thread id fix the order.
    const std::string results = Header + "  0.301\tW\tgo\r\n  0.302\tO\tyour\r\n  0.303\tW\there\r\n  0.304\tO\twords\r\n";
    EXPECT_EQ(run.Read(ResultsName), results);
    for (int trial = 1; trial <= 4; ++trial)
        EXPECT_EQ(ExpectTrialOrder(run.trace, trial), LoggedWords(results)[trial - 1]);
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
    // 523 ms: [W] went down and up between two looks; [O] tapped in the blank before is no answer.
    Tap(script, WordPresent(3) - 1, 200000, ScanCode::O);
    script.push_back({ScriptEvent::KeyDown, WordPresent(3), 523000, ScanCode::W});
    script.push_back({ScriptEvent::KeyUp, WordPresent(3), 523000, ScanCode::W});
    // 1000 ms: [W] let go while the window lost the keyboard counts once it has it again;
    // [O] typed meanwhile does not.
    script.push_back({ScriptEvent::KeyDown, WordPresent(4), 500000, ScanCode::W});
    script.push_back({ScriptEvent::FocusLost, WordPresent(4), 600000, 0});
    script.push_back({ScriptEvent::KeyDown, WordPresent(4), 700000, ScanCode::O});
    script.push_back({ScriptEvent::KeyUp, WordPresent(4), 750000, ScanCode::O});
    script.push_back({ScriptEvent::KeyUp, WordPresent(4), 800000, ScanCode::W});
    script.push_back({ScriptEvent::FocusGained, WordPresent(4), 1000000, 0});
    const int64_t times[] = {1045000, 12003000, 61234000};
    for (int i = 0; i < 3; ++i) Answer(script, 5 + i, times[i], ScanCode::W);
    // [O] and then [W] let go between the same two polls: the first one let go answers.
    script.push_back({ScriptEvent::KeyDown, 17, 100000, ScanCode::O});
    script.push_back({ScriptEvent::KeyDown, 17, 100000, ScanCode::W});
    script.push_back({ScriptEvent::KeyUp, 17, 250000, ScanCode::O});
    script.push_back({ScriptEvent::KeyUp, 17, 250000, ScanCode::W});
    Tap(script, 18, 100000, ScanCode::Escape);
    const RunResult run = RunWordtap(WithScript(script), DataFiles({"w0", "w45", "w523", "w1000", "w1045",
                                                             "w12003", "w61234", "both"}));
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_EQ(run.Read(ResultsName), Header +
                                         "  0.000\tW\tw0\r\n  0.045\tO\tw45\r\n  0.523\tW\tw523\r\n"
                                         "  1.000\tW\tw1000\r\n  1.045\tW\tw1045\r\n 12.003\tW\tw12003\r\n"
                                         " 61.234\tW\tw61234\r\n  0.250\tO\tboth\r\n");
}

TEST(Run, ReactionTimeText) {
    const struct { int64_t millis; const char* text; } rows[] = {
        {0, "  0.000"}, {45, "  0.045"}, {523, "  0.523"}, {61234, " 61.234"}, {999999, "999.999"},
        {1000000, "1000.000"}};  // beyond the field: widened, not cut
    for (const auto& row : rows) EXPECT_EQ(ReactionTimeText(row.millis), row.text) << row.millis;
}

TEST(Run, WaysOutKeepExactlyTheAnswersGiven) {
    Script atIntro, inTrial, atFinal, closeInTrial, closeAtFinal;
    Tap(atIntro, 1, 100000, ScanCode::Escape);
    AnswerIntro(inTrial);
    Answer(inTrial, 1, 500000, ScanCode::W);
    Answer(inTrial, 2, 600000, ScanCode::O);
    Answer(inTrial, 3, 700000, ScanCode::Escape);
    // Neither answers nor a close request in full screen end the final screen.
    atFinal.push_back({ScriptEvent::CloseRequest, 1, 100000, 0});
    AnswerIntro(atFinal);
    Answer(atFinal, 1, 300000, ScanCode::O);
    Tap(atFinal, 4, 100000, ScanCode::W);
    Tap(atFinal, 4, 300000, ScanCode::O);
    atFinal.push_back({ScriptEvent::CloseRequest, 4, 600000, 0});
    Tap(atFinal, 4, 900000, ScanCode::Escape);
    AnswerIntro(closeInTrial);
    Answer(closeInTrial, 1, 300000, ScanCode::W);
    closeInTrial.push_back({ScriptEvent::CloseRequest, 5, 200000, 0});
    AnswerIntro(closeAtFinal);
    closeAtFinal.push_back({ScriptEvent::CloseRequest, 2, 100000, 0});
    const std::string full = SettingsText(800, 600, 1, 1, 0), windowed = SettingsText(800, 600, 0, 1, 0);
    const struct { const char* name; const Script& script; std::vector<std::string> words;
                   const std::string& settings; std::string results; int presents; } rows[] = {
        {"Esc at the introduction", atIntro, {"a", "b"}, full, Header, 1},
        {"Esc in a trial", inTrial, {"a", "b", "c", "d"}, full, Header + "  0.500\tW\ta\r\n  0.600\tO\tb\r\n", 7},
        {"Esc on the final screen", atFinal, {"only"}, full, Header + "  0.300\tO\tonly\r\n", 4},
        {"window closed in a trial", closeInTrial, {"a", "b", "c"}, windowed, Header + "  0.300\tW\ta\r\n", 5},
        {"window closed on the final screen", closeAtFinal, {}, windowed, Header, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const RunResult run = RunWordtap(WithScript(row.script), DataFiles(row.words, row.settings));
        ASSERT_TRUE(run.EndedNormally()) << run.Describe();
        EXPECT_EQ(run.Read(ResultsName), row.results);
        EXPECT_EQ(run.Count("present "), row.presents);
        // Every scripted event was delivered: the way out came last.
        EXPECT_EQ(run.Count("event "), static_cast<int>(row.script.size()));
    }
}

// A surface lost (full screen) or failing (window) from before a word's
// present until 2 s after its blank: the clock starts at the present that
// shows the word, and the next trial presents as usual. A close request or a
// termination while the word waits ends the run with no line for it.
TEST(Run, AWordIsTimedFromThePresentThatShowsIt) {
    using E = ScriptEvent;
    // While the word cannot be shown, a quit still ends the run: Esc (let go) too.
    const struct { E::Kind loss, after; int fullscreen; bool answered; } rows[] = {{E::SurfaceLost, E::SurfaceBack, 1, true},
        {E::SurfaceFails, E::SurfaceBack, 0, true}, {E::SurfaceFails, E::CloseRequest, 0, false}, {E::SurfaceLost, E::Terminate, 1, false},
        {E::SurfaceLost, E::KeyUp, 1, false}, {E::SurfaceFails, E::KeyUp, 0, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        Script script;
        AnswerIntro(script);
        script.push_back({row.loss, 2, 450000, 0});
        if (row.after == E::KeyUp) script.push_back({E::KeyDown, 2, 1900000, ScanCode::Escape});
        script.push_back({row.after, 2, 2000000, ScanCode::Escape});
        Answer(script, 1, 300000, ScanCode::W);
        Answer(script, 2, 400000, ScanCode::O);
        Tap(script, 6, 100000, ScanCode::Escape);
        const RunResult run = RunWordtap(WithScript(script), DataFiles({"a", "b"}, SettingsText(800, 600, row.fullscreen, 1, 0)), {}, 10);
        ASSERT_TRUE(run.EndedNormally()) << run.Describe();
        EXPECT_EQ(run.Read(ResultsName), Header + (row.answered ? "  0.300\tW\ta\r\n  0.400\tO\tb\r\n" : ""));
        EXPECT_EQ(run.Count("present "), row.answered ? 6 : 2);
        EXPECT_TRUE(run.Has("close-surface"));
    }
}

TEST(Run, FailuresAfterTheSettingsShowTheirBoxAndEndNormally) {
    // "data" as a file: no folder for anything, nothing drawn.
    const RunResult data = RunWordtap(Headless::Config{}, {{"data", "not a folder"}});
    ASSERT_TRUE(data.EndedNormally()) << data.Describe();
    EXPECT_EQ(data.trace, (std::vector<std::string>{"box wordtap|Error285: assertion failed!"}));
    // Standard error adds the system's reason and the path; the box keeps its words.
    EXPECT_EQ(data.errorOutput, "Error285: assertion failed! (data: File exists)\n");
    EXPECT_EQ(data.Read("data"), "not a folder");

    // An earlier file of that name (a clock set back, files gathered from
    // several computers, a run of the same second) keeps its bytes and time.
    Script script;
    AnswerIntro(script);
    const std::string earlier = Header + "  0.523\tW\thouse\r\n";
    std::vector<SeedFile> files = DataFiles({"a"});
    files.push_back({ResultsName, earlier});
    const RunResult kept = RunWordtap(WithScript(script), files, [](const std::string& folder) {
        const struct timespec epoch[2] = {{1, 0}, {1, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, (folder + "/" + ResultsName).c_str(), epoch, 0), 0);
    });
    ASSERT_TRUE(kept.EndedNormally()) << kept.Describe();
    EXPECT_EQ(kept.errorOutput, "Error300: assertion failed! (" + std::string(ResultsName) + ": File exists)\n");
    EXPECT_EQ(kept.Read(ResultsName), earlier);
    struct stat after = {};
    EXPECT_TRUE(stat((kept.folder + "/" + ResultsName).c_str(), &after) == 0 && after.st_mtime == 1);

    // A file size limit lets the header through but not the long trial line.
    Answer(script, 1, 300000, ScanCode::W);
    Tap(script, 4, 100000, ScanCode::Escape);  // reached only if the failure went unnoticed
    files = DataFiles({std::string(60, 'x')});
    const RunResult full = Finish(Start(WithScript(script), files, {}, [] {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {40, 40};
        setrlimit(RLIMIT_FSIZE, &limit);
    }));
    ASSERT_TRUE(full.EndedNormally()) << full.Describe();
    // (The trace file is under the same limit, so only standard error shows the box's text, cut short.)
    EXPECT_EQ(full.errorOutput.rfind("Error361: assertion failed! (results_", 0), 0u) << full.errorOutput;
    EXPECT_EQ(full.Read(ResultsName).substr(0, 15), Header);

    // A folder the user may not write to (Program Files, a protected folder).
    // Root writes anywhere unless it gives up passing over permissions.
    const RunResult denied = Finish(Start(WithScript(script), DataFiles({"a"}),
        [](const std::string& folder) { chmod(folder.c_str(), 0555); }, [] {
            __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
            __user_cap_data_struct data[2] = {};
            if (syscall(SYS_capget, &header, data) != 0) return;
            data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
            syscall(SYS_capset, &header, data);
        }));
    chmod(denied.folder.c_str(), 0755);
    ASSERT_TRUE(denied.EndedNormally()) << denied.Describe();
    EXPECT_TRUE(denied.Has("box wordtap|Error300: assertion failed!")) << denied.Describe();
    EXPECT_EQ(denied.errorOutput, "Error300: assertion failed! (" + std::string(ResultsName) + ": Permission denied)\n");
}

// Thirty short lines stay far below one 4096-byte buffer: without a flush per
// line a kill would leave an empty file. The other signals end the run
// through the ordinary shutdown.
TEST(Run, SignalsKeepEveryAnsweredLine) {
    std::vector<std::string> words;
    std::string expected = Header;
    Script script;
    AnswerIntro(script);
    for (int trial = 1; trial <= 30; ++trial) {
        words.push_back("word" + std::to_string(trial));
        Answer(script, trial, 250000, ScanCode::O);
        expected += "  0.250\tO\tword" + std::to_string(trial) + "\r\n";
    }
    words.push_back("unanswered");
    for (int signalNumber : {SIGKILL, SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE("signal " + std::to_string(signalNumber));
        const Running child = Start(WithScript(script), DataFiles(words));
        ASSERT_TRUE(WaitForTraceLine(child, "present " + std::to_string(WordPresent(31))));
        kill(child.pid, signalNumber);
        const RunResult run = Finish(child);
        EXPECT_EQ(run.Read(ResultsName), expected);
        const bool shutDown = signalNumber != SIGKILL;
        EXPECT_EQ(run.signal, shutDown ? 0 : SIGKILL) << run.Describe();
        EXPECT_EQ(run.EndedNormally(), shutDown);
        EXPECT_EQ(run.Has("close-surface"), shutDown);
        EXPECT_EQ(run.Count("box"), 0);
    }
}
