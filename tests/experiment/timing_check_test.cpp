// The whole timing check on the headless display and the virtual clock,
// whose presents land exactly on a 60 Hz retrace: every item must pass.
#include <gtest/gtest.h>

#include <filesystem>

#include "program/runtime.h"
#include "tests/support/harness.h"

using namespace Harness;

namespace {

// Presents back to back, two per trial, the clock's and the wait's screens.
constexpr int ResultPresent = 301 + 60 + 2 + 1;

std::vector<std::string> Files(const RunResult& run) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(run.folder))
        names.push_back(std::filesystem::relative(entry.path(), run.folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

RunResult RunCheck(int escAfterPresent, const std::vector<SeedFile>& files) {
    Script script;
    Tap(script, escAfterPresent, 100000, ScanCode::Escape);
    return Finish(Start(WithScript(script), files, {}, [] { Runtime::RunCheck(); }));
}

TEST(TimingCheck, JudgesTheSettingsSurfaceAndWritesOnlyItsReportAndPlot) {
    // Lower-case keys, which a run would rewrite.
    const std::string settings = "[screen]\nfullscreen=0\nwidth=640\nheight=480\n";
    const RunResult run = RunCheck(ResultPresent, {{"data/settings.ini", settings}});
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_TRUE(run.Has("open-window 640 480 wordtap"));
    EXPECT_EQ(run.Count("present "), ResultPresent);
    EXPECT_EQ(run.Read("data/settings.ini"), settings);
    const std::string name = "timingcheck_20131217-140509";
    EXPECT_EQ(Files(run), (std::vector<std::string>{"data", "data/settings.ini", name + ".svg", name + ".txt"}));
    const std::string report = run.Read(name + ".txt");
    for (const char* line : {"Verdict: good\r\n", "1. Retrace lock: good\r\n", "2. The trial: good (30 times)\r\n",
                             "3. Clock: good\r\n", "4. Keyboard wait: good\r\n", "a window, 640 x 480, 32 bits, 60 Hz",
                             "400 ms blank: mean 400.000 ms", "100 ms wait: mean 100.000 ms"})
        EXPECT_NE(report.find(line), std::string::npos) << line << " not in\n" << report;
    EXPECT_EQ(run.Read(name + ".svg").rfind("</svg>\r\n"), run.Read(name + ".svg").size() - 8);
}

TEST(TimingCheck, EscMidwayEndsItWithoutWritingAnything) {
    const RunResult run = RunCheck(100, {});
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_LT(run.Count("present "), 110);
    EXPECT_TRUE(Files(run).empty());
}

}  // namespace
