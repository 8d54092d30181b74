// Texts saved as UTF-8 by current editors and as Windows-1252 by older ones
// look alike, each file read in one encoding, and words keep their bytes in
// the results.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/harness.h"

using namespace Harness;

// Desktop 1024 x 768: an advance of 16 and a cell of 41, so a four-letter
// line is drawn at x 480. A file mixing both is not UTF-8 as a whole.
TEST(Utf8Texts, BothEncodingsGiveTheSameScreensAndTheMarkIsDropped) {
    std::vector<SeedFile> files = DataFiles({});
    files[1].content = "caf\xC3\xA9\r\ncaf\xE9\r\n";
    files.back() = {"data/words/a.txt", "\xEF\xBB\xBF" "na\xC3\xAFve\r\nStra\xC3\x9F" "e\r\n"};
    files.push_back({"data/words/b.txt", "na\xEFve\r\nStra\xDF" "e\r\n"});
    Script script;
    AnswerIntro(script);
    for (int trial = 1; trial <= 4; ++trial) Answer(script, trial, 300000, ScanCode::W);
    Tap(script, 10, 100000, ScanCode::Escape);
    Headless::Config config = WithScript(script);
    config.frameDirectory = ".";
    const RunResult run = RunWordtap(config, files);
    ASSERT_TRUE(run.EndedNormally()) << run.Describe();

    std::vector<std::string> intro;
    for (auto line = run.trace.begin(); line != run.trace.end() && *line != "present 1"; ++line)
        if (line->rfind("text", 0) == 0) intro.push_back(*line);
    EXPECT_EQ(intro, (std::vector<std::string>{TextLine(472, 335, "caf\xC3\x83\xC2\xA9"),
                                               TextLine(480, 384, "caf\xC3\xA9")}));
    EXPECT_EQ(LoggedWords(run.Read(ResultsName)),
              (std::vector<std::string>{"na\xC3\xAFve", "Stra\xC3\x9F" "e", "na\xEFve", "Stra\xDF" "e"}));
    // Each word's screen, pixel for pixel, in both encodings.
    const std::string naive = run.Read("frame-0003.ppm"), strasse = run.Read("frame-0005.ppm");
    EXPECT_TRUE(!naive.empty() && naive != strasse);
    EXPECT_TRUE(run.Read("frame-0007.ppm") == naive) << "na\xC3\xAFve";
    EXPECT_TRUE(run.Read("frame-0009.ppm") == strasse) << "Stra\xC3\x9F" "e";
}
