// The run of one experiment, the results log and the single failure path.
#include <string>

#include "app/experiment.h"
#include "display/app_window.h"
#include "display/error_box.h"
#include "display/keyboard.h"
#include "display/screen.h"
#include "support/process/process.h"
#include "support/files/directory.h"
#include "support/files/file_failure.h"
#include "support/files/text_file.h"
#include "support/text/conversions.h"
#include "support/text/string_list.h"
#include "support/time/clock.h"

namespace Settings {
int32_t Width;
int32_t Height;
int32_t Fullscreen;
int32_t UseNativeResolution;
int32_t RandomizeOrder;
}  // namespace Settings

namespace DisplaySize {
int32_t Width;
int32_t Height;
}  // namespace DisplaySize

const char* const AssertionSuffix = ": assertion failed!";
const char* const DisplaySuffix = ": Couldn't initialize display!";

namespace {
// The run's state lives at module level: the shutdown ends the process from
// inside RunExperiment, and everything must stay reachable until then.
struct RunState {
    StringList* wordList;
    ScreenText introText;
    ScreenText finalText;
};
RunState run;

const char* const ResultsHeader = "time\tkey\tword";
constexpr uint32_t LostSurfaceRetryMs = 10;

// Each line goes to the disk before the next word's blank, outside the timed
// interval: a kill, a crash or a power cut must not take answered trials with
// it, and the 4096-byte buffer would hold back dozens of them.
int32_t WriteResultsLine(std::string_view line) {
    if (TextFile::WriteLine(ResultsFileNumber, line) == 0) return 0;
    return TextFile::Sync(ResultsFileNumber);
}

void OpenResultsLog() {
    std::string name = "results_";
    name += FormatTimestamp("%yyyy%mm%dd-%hh%ii%ss", CurrentTimestamp());
    name += ".txt";
    // Never over an earlier file: the clock may have been set back, an hour
    // repeats in autumn, and folders gather files from several computers.
    if (TextFile::CreateNew(ResultsFileNumber, name.c_str()) == 0) AssertOrDie(300, AssertionSuffix);
    if (WriteResultsLine(ResultsHeader) == 0) AssertOrDie(301, AssertionSuffix);
}

// While the surface is lost (a locked screen, a secure desktop, a changed
// display mode, a device that never comes back) or the full screen is in the
// background, the word is not on the display, and its clock must not start.
// Esc, the close box and stop requests still end the run meanwhile, as in a
// trial; [W] and [O] answer nothing before the word is shown.
void PresentUntilShown() {
    Screen::Present();
    if (Screen::LastPresentShown()) return;
    KeyboardState::BeginWait();
    for (;;) {
        Process::EndIfStopRequested();
        KeyboardState::Poll();
        if (KeyboardState::WasReleased(ScanCode::Escape)) Process::End();
        while (AppWindow::Exists(0)) {
            const int32_t event = AppWindow::PollEvent();
            if (event == AppWindow::CloseRequest) Process::End();
            if (event == 0) break;
        }
        SleepMs(LostSurfaceRetryMs);
        Screen::Present();
        if (Screen::LastPresentShown()) return;
    }
}

void RunTrial(const std::string& word, int32_t encoding) {
    Screen::Clear(ColourWhite);
    Screen::Present();
    SleepMs(400);
    Screen::Clear(ColourWhite);
    ShowText(0.5f, 0.5f, word, encoding);
    SleepMs(100);
    PresentUntilShown();
    // Nothing but the response wait between the two readings.
    const uint32_t start = MillisecondClock();
    const Response response = WaitForResponse();
    const uint32_t end = MillisecondClock();
    if (response == ResponseQuit) Process::End();

    // Unsigned, so that a wrap of the counter between the readings does no harm.
    const int64_t elapsed = static_cast<uint32_t>(end - start);
    std::string line = ReactionTimeText(elapsed);
    line += response == ResponseWord ? "\tW\t" : "\tO\t";
    line += word;
    if (WriteResultsLine(line) == 0) AssertOrDie(361, AssertionSuffix);
}
}  // namespace

std::string ReactionTimeText(int64_t milliseconds) {
    std::string seconds = NumberToText(milliseconds / 1000);
    // A fixed three-wide field would cut 1000 s and more to their first digits.
    if (seconds.size() < 3) seconds = PadLeft(seconds, 3);
    int64_t fraction = milliseconds % 1000;
    if (fraction < 0) fraction = -fraction;
    return seconds + "." + PadLeft(NumberToText(fraction), 3, "0");
}

void AssertOrDie(int32_t line, const char* suffix) {
    std::string text = "Error";
    text += NumberToText(line);
    text += suffix;
    // Every ordinary check follows a file operation, which noted why it
    // failed; the display's checks have no such reason.
    const std::string reason = suffix == AssertionSuffix ? FileFailure::Describe() : std::string();
    ShowErrorBox("wordtap", text.c_str(), reason);
    Process::End();
}

void RunExperiment() {
    run.wordList = StringList::New();

    if (PathSize("data") != PathSizeDirectory && MakeDirectory("data") == 0)
        AssertOrDie(285, AssertionSuffix);

    LoadSettings();
    InitDisplay();
    run.introText = LoadIntroText();
    run.finalText = LoadFinalText();
    LoadWordList(run.wordList);

    Screen::Clear(ColourWhite);
    ShowText(0.5f, 0.5f, run.introText.text, run.introText.encoding);
    Screen::Present();

    OpenResultsLog();

    // Either answer starts the trials; which one is not recorded.
    if (WaitForResponse() == ResponseQuit) Process::End();

    if (run.wordList != nullptr) {
        StringList::Reset(run.wordList);
        while (const std::string* word = StringList::Next(run.wordList))
            RunTrial(*word, run.wordList->current->encoding);
    }

    TextFile::Close(ResultsFileNumber);
    Screen::Clear(ColourWhite);
    ShowText(0.5f, 0.5f, run.finalText.text, run.finalText.encoding);
    Screen::Present();
    // Answers are taken and ignored here; only a quit ends the program.
    while (WaitForResponse() != ResponseQuit) {
    }
    Process::End();
}
