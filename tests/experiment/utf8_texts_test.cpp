// Texts saved as UTF-8 by current editors, as Windows-1252 by older ones and
// as UTF-16 by Notepad's "Unicode" and Excel look alike, each file read in one
// encoding; words keep their bytes in the results, UTF-16 ones as UTF-8.
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

// UTF-16 texts and lists in either byte order, with or without the mark,
// show and log exactly as the same files in UTF-8: Latin with accents,
// Arabic, and a character beyond U+FFFF (a surrogate pair).
TEST(Utf16Texts, EveryByteOrderWithOrWithoutMarkGivesTheUtf8Screens) {
    const std::u16string texts[] = {u"Stra\u00DFe\r\n\u0643\u062A\u0627\u0628 [W]\r\n", u"\u0627\u0644\u0646\u0647\u0627\u064A\u0629\r\n",
                                    u"na\u00EFve\r\n\u0643\u062A\u0627\u0628\r\n\U0001D538x\r\n"};
    const std::string utf8[] = {"Stra\u00DFe\r\n\u0643\u062A\u0627\u0628 [W]\r\n", "\u0627\u0644\u0646\u0647\u0627\u064A\u0629\r\n",
                                "na\u00EFve\r\n\u0643\u062A\u0627\u0628\r\n\U0001D538x\r\n"};
    Script script;
    AnswerIntro(script);
    for (int trial = 1; trial <= 3; ++trial) Answer(script, trial, 300000, ScanCode::W);
    Tap(script, WordPresent(3) + 1, 100000, ScanCode::Escape);
    auto screensAndWords = [&script](const std::string (&content)[3]) {
        std::vector<SeedFile> files = DataFiles({});
        for (int i = 0; i < 3; ++i) files[i + 1].content = content[i];
        const RunResult run = RunWordtap(WithScript(script), files);
        EXPECT_TRUE(run.EndedNormally()) << run.Describe();
        std::vector<std::string> shown;
        for (const std::string& line : run.trace)
            if (line.rfind("text ", 0) == 0) shown.push_back(line);
        return std::pair(shown, LoggedWords(run.Read(ResultsName)));
    };
    const auto expected = screensAndWords(utf8);
    ASSERT_EQ(expected.first.size(), 6u);
    ASSERT_EQ(expected.second, (std::vector<std::string>{"na\u00EFve", "\u0643\u062A\u0627\u0628", "\U0001D538x"}));
    for (const bool big : {false, true}) {
        for (const bool mark : {true, false}) {
            SCOPED_TRACE(std::string(big ? "big" : "little") + "-endian" + (mark ? " with its mark" : ""));
            std::string content[3];
            for (int i = 0; i < 3; ++i)
                for (const char16_t unit : (mark ? u"\uFEFF" : u"") + texts[i])
                    content[i] += big ? std::string{char(unit >> 8), char(unit)} : std::string{char(unit), char(unit >> 8)};
            EXPECT_EQ(screensAndWords(content), expected);
        }
    }
}
