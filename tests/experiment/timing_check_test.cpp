// The whole timing check on the headless display and the virtual clock,
// whose presents land exactly on a 60 Hz retrace and whose typed keys arrive
// at once: everything but the display itself can be good, and the display,
// a test display, never is.
#include <gtest/gtest.h>

#include <filesystem>

#include "program/runtime.h"
#include "tests/support/harness.h"

using namespace Harness;

namespace {

// Presents back to back, two per trial, the clock's and the keyboard's
// screens, one per typed key, and the result.
constexpr int ResultPresent = 301 + 60 + 2 + 24 + 1;
const std::string ReportName = "timingcheck_20131217-140509.txt";

std::vector<std::string> Files(const RunResult& run) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(run.folder))
        names.push_back(std::filesystem::relative(entry.path(), run.folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

RunResult RunCheck(Headless::Config config, int escAfterPresent, const std::vector<SeedFile>& files) {
    Tap(config.script, escAfterPresent, 100000, ScanCode::Escape);
    return Finish(Start(config, files, {}, [] { Runtime::RunCheck("9.8.7"); }));
}

void ExpectLines(const std::string& text, const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        EXPECT_NE(text.find(line), std::string::npos) << line << " not in\n" << text;
}

TEST(TimingCheck, JudgesTheSettingsSurfaceAndWritesOnlyItsReportAndPlot) {
    // Lower-case keys, which a run would rewrite.
    const std::string settings = "[screen]\nfullscreen=0\nwidth=640\nheight=480\n";
    const RunResult run = RunCheck({}, ResultPresent, {{"data/settings.ini", settings}});
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_TRUE(run.Has("open-window 640 480 wordtap"));
    EXPECT_EQ(run.Count("present "), ResultPresent);
    EXPECT_EQ(run.Count("event key-up 17"), 24);
    EXPECT_EQ(run.Read("data/settings.ini"), settings);
    const std::string name = "timingcheck_20131217-140509";
    EXPECT_EQ(Files(run), (std::vector<std::string>{"data", "data/settings.ini", name + ".svg", name + ".txt"}));
    const std::string display = "Display: 640\u00d7480, 32 bits, 60 Hz nominal, in a window";
    std::string report = run.Read(ReportName);
    ExpectLines(report, {"wordtap 9.8.7 timing check, 2013-12-17 14:05:09\r\n" + display + "\r\n",
                         "Verdict: usable with a caveat\r\n", "1. Retrace lock: usable with a caveat\r\n",
                         "virtual (the headless test display)", "2. The trial: good (30 times)\r\n",
                         "3. Clock: good\r\n", "4. Keyboard: good\r\n", "400 ms blank: mean 400.000 ms",
                         "100 ms wait: mean 100.000 ms"});
    EXPECT_EQ(run.Read(name + ".svg").rfind("</svg>\r\n"), run.Read(name + ".svg").size() - 8);
    // The result screen in UTF-8, the report's methods sentence last.
    std::vector<std::string> shown;
    for (const std::string& line : run.trace)
        if (line.rfind("text ", 0) == 0) shown.push_back(DrawnText(line));
    EXPECT_NE(std::find(shown.begin(), shown.end(), display), shown.end());
    EXPECT_EQ(std::count_if(shown.begin(), shown.end(),
                            [](const std::string& s) { return s.find("\u00c3") != std::string::npos; }),
              0);
    std::string methods;
    for (const std::string& line : shown)
        methods = line.rfind("Methods: ", 0) == 0 ? line : methods.empty() ? "" : methods + " " + line;
    report = report.substr(report.find("Methods: Words were presented with wordtap 9.8.7, 640\u00d7480"));
    report = report.substr(0, report.find("\r\n\r\n"));
    for (size_t at; (at = report.find("\r\n")) != std::string::npos;) report.replace(at, 2, " ");
    EXPECT_EQ(methods, report);
}

TEST(TimingCheck, AKeyboardPathThatLosesATapOrTakesNoneIsNeverGood) {
    Headless::Config losing, refusing;
    losing.loseInjectedTap = 12;  // the one let go at once
    refusing.keyInjection = 0;
    for (const auto& [config, presents, verdict] :
         {std::tuple{losing, ResultPresent, "4. Keyboard: not suitable\r\n   1 of the 24 keys"},
          std::tuple{refusing, ResultPresent - 24, "4. Keyboard: not measured\r\n   Not measured: no key"}}) {
        const RunResult run = RunCheck(config, presents, {});
        ASSERT_TRUE(run.EndedNormally()) << run.Describe();
        ExpectLines(run.Read(ReportName), {verdict, "3. Clock: good\r\n"});
        EXPECT_EQ(run.Read(ReportName).find("Verdict: good"), std::string::npos);
    }
}

TEST(TimingCheck, EscMidwayEndsItWithoutWritingAnything) {
    const RunResult run = RunCheck({}, 100, {});
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();
    EXPECT_LT(run.Count("present "), 110);
    EXPECT_TRUE(Files(run).empty());
}

}  // namespace
