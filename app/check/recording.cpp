// The timing check: the experiment's own surface, present, sleeps, clock and
// response wait, timed on the lab's computer, judged, and written down.
// It writes its report and plot and nothing else: the settings are read
// without the rewrite, and no data folder, text or results file is made.
#include <algorithm>
#include <string>

#include "app/experiment.h"
#include "app/check/analysis.h"
#include "display/app_window.h"
#include "display/backend.h"
#include "display/desktop.h"
#include "display/keyboard.h"
#include "display/screen.h"
#include "display/text_painter.h"
#include "support/files/text_file.h"
#include "support/process/process.h"
#include "support/text/utf8.h"
#include "support/time/clock.h"

namespace {
using namespace TimingCheck;

constexpr double KeyboardWaitMs = 1000;
// Bounds the loops that wait for the counter to move, should it never move.
constexpr int32_t MaxReads = 1 << 26;
constexpr int32_t ReportFileNumber = 0;
constexpr int32_t FontNumber = 1;
constexpr const char* EscapeLine = "[Esc] ends the check.";
// The check's own texts are ASCII, the same in every code page.
constexpr int32_t CheckTextEncoding = Utf8::Legacy;

struct CheckState {
    Recording recording;
    std::string reportName, plotName;
};
CheckState check;

void Sample() {
    const uint32_t clock = MillisecondClock();
    check.recording.clockSamples.push_back({clock, CounterMilliseconds()});
}

// Esc, the window's close box or a stop request end the check on the spot;
// a report of half a check would be judged on too little.
void EndIfAsked() {
    KeyboardState::Poll();
    if (KeyboardState::WasReleased(ScanCode::Escape)) Process::End();
    if (AppWindow::Exists(0) && AppWindow::PollEvent() == AppWindow::CloseRequest) Process::End();
    Process::EndIfStopRequested();
}

void ShowProgress(const std::string& line) {
    Screen::Clear(ColourWhite);
    ShowText(0.5f, 0.5f, "Timing check, about 20 seconds\n\n" + line + "\n\n" + EscapeLine,
             CheckTextEncoding);
}

void RecordRetrace() {
    // Drawn once: redrawing between the presents would time the drawing.
    ShowProgress("1 of 4: presents back to back");
    for (int32_t i = 0; i < RetracePresents; ++i) {
        Screen::Present();
        check.recording.presentReturns.push_back(CounterMilliseconds());
        EndIfAsked();
    }
}

// The experiment's trial step by step, with the counter read after each.
void RecordTrials() {
    for (int32_t trial = 1; trial <= Trials; ++trial) {
        TrialTimes t{};
        Screen::Clear(ColourWhite);
        Screen::Present();
        t.whiteShown = CounterMilliseconds();
        SleepMs(400);
        t.blankEnd = CounterMilliseconds();
        Screen::Clear(ColourWhite);
        ShowText(0.5f, 0.5f, "2 of 4: trial " + std::to_string(trial) + " of " + std::to_string(Trials),
                 CheckTextEncoding);
        t.wordDrawn = CounterMilliseconds();
        SleepMs(100);
        t.waitEnd = CounterMilliseconds();
        Screen::Present();
        t.wordShown = CounterMilliseconds();
        check.recording.trials.push_back(t);
        Sample();
        EndIfAsked();
    }
}

// Back-to-back readings, with a yield every 64 so that a clock that only
// moves while the program waits still moves; a long step there does not
// shorten the steps the resolution is read from.
void RecordClock() {
    ShowProgress("3 of 4: the clock");
    Screen::Present();
    Recording& r = check.recording;
    uint32_t last = MillisecondClock();
    r.clockBurst.push_back(last);
    const double start = CounterMilliseconds();
    for (int32_t read = 1; r.clockBurst.size() <= 20 && read < MaxReads; ++read) {
        if (read % 64 == 0) {
            SleepMs(0);
            if (CounterMilliseconds() - start > 500) break;
        }
        const uint32_t now = MillisecondClock();
        if (now != last) r.clockBurst.push_back(last = now);
    }
    for (int32_t read = 0; read < 1000; ++read) {
        if (read % 64 == 63) SleepMs(0);
        r.counterBurst.push_back(CounterMilliseconds());
    }
    Sample();
    EndIfAsked();
}

// The experiment's response wait, turn by turn, with no key pressed.
void RecordKeyboardWait() {
    ShowProgress("4 of 4: the response wait (press no key)");
    Screen::Present();
    Recording& r = check.recording;
    r.waitWakesOnInput = AppWindow::WaitForInput(0) != 0;
    const double processor = ProcessorMilliseconds();
    const double start = CounterMilliseconds();
    double last = start;
    KeyboardState::BeginWait();
    while (last - start < KeyboardWaitMs && r.looks < MaxReads) {
        const Response response = CheckForResponse();
        const double now = CounterMilliseconds();
        ++r.looks;
        r.largestLookGapMs = std::max(r.largestLookGapMs, now - last);
        last = now;
        if (response == ResponseQuit) Process::End();
    }
    r.waitMs = last - start;
    r.waitProcessorMs = ProcessorMilliseconds() - processor;
    Sample();
}

std::string DisplayDescription() {
    std::string mode = Settings::Fullscreen == 0            ? "a window, "
                       : Settings::UseNativeResolution != 0 ? "full screen at the desktop's mode, "
                                                            : "full screen, switched to ";
    const ScreenState& screen = Screen::State();
    mode += std::to_string(DisplaySize::Width) + " x " + std::to_string(DisplaySize::Height) + ", " +
            std::to_string(screen.depth) + " bits, ";
    mode += check.recording.nominalHz > 0 ? std::to_string(check.recording.nominalHz) + " Hz"
                                          : "refresh unknown";
    return mode;
}

int32_t WriteLines(const std::string& name, const std::vector<std::string>& lines) {
    if (TextFile::Create(ReportFileNumber, name.c_str()) == 0) return 0;
    int32_t written = 1;
    for (const std::string& line : lines)
        if (TextFile::WriteLine(ReportFileNumber, line) == 0) written = 0;
    // A failed close may have lost the tail: the file is not what it says.
    return TextFile::Close(ReportFileNumber) != 0 && written;
}

void ShowResult(const Analysis& a, int32_t saved) {
    std::string text = std::string("Timing check: ") + VerdictName(a.overall.verdict) + "\n\n";
    const struct {
        const char* name;
        const Item& item;
    } items[] = {{"Retrace lock", a.retrace}, {"The trial", a.trial}, {"Clock", a.clock},
                 {"Keyboard wait", a.keyboard}};
    for (const auto& entry : items)
        text += std::string(entry.name) + ": " + VerdictName(entry.item.verdict) + "\n";
    // The verdicts and their reasons take more lines than the experiment's
    // texts: a smaller font, and about the characters that fit a line.
    const int32_t points = std::max(1, DisplaySize::Height / 54);
    if (FontHandle::Load(FontNumber, "Calibri", points, DisplayBackend::FontHighQuality) == 0)
        FontHandle::Load(FontNumber, "Arial", points, DisplayBackend::FontHighQuality);
    const size_t width = static_cast<size_t>(std::clamp(DisplaySize::Width * 100 / (points * 60), 30, 90));
    const auto add = [&](const std::string& sentence) {
        for (const std::string& line : Wrap(sentence, width)) text += line + "\n";
    };
    for (const auto& entry : items) {
        if (entry.item.verdict == Good) continue;
        text += "\n";
        add(entry.item.sentence);
    }
    text += "\n";
    add(a.overall.sentence);
    text += "\n";
    add(saved ? "The figures are in " + check.reportName + " and " + check.plotName + "."
              : std::string("The report could not be written in this folder."));
    text += "\nPress [Esc] to end.";
    Screen::Clear(ColourWhite);
    ShowText(0.5f, 0.5f, text, CheckTextEncoding);
    Screen::Present();
}
}  // namespace

void RunTimingCheck() {
    ReadSettings();
    InitDisplay();
    const Timestamp started = CurrentTimestamp();
    const std::string stamp = FormatTimestamp("%yyyy%mm%dd-%hh%ii%ss", started);
    check.reportName = "timingcheck_" + stamp + ".txt";
    check.plotName = "timingcheck_" + stamp + ".svg";

    Recording& r = check.recording;
    const DisplayBackend::PresentPacing pacing = DisplayBackend::DescribePresent();
    r.displayRetrace = pacing.displayRetrace;
    r.nominalHz = Screen::State().refreshRate;
    if (r.nominalHz <= 0 && DesktopInfo::Enumerate() > 0) r.nominalHz = DesktopInfo::RefreshHz(0);

    Sample();
    RecordRetrace();
    RecordTrials();
    RecordClock();
    RecordKeyboardWait();

    const Analysis analysis = Analyse(r);
    const ReportContext context{FormatTimestamp("%yyyy-%mm-%dd %hh:%ii:%ss", started),
                                Process::SystemDescription(), DisplayDescription(),
                                pacing.description};
    const int32_t saved = WriteLines(check.reportName, ReportLines(r, analysis, context)) &&
                          WriteLines(check.plotName, PlotSvg(r, analysis));
    ShowResult(analysis, saved);
    while (WaitForResponse() != ResponseQuit) {
    }
    Process::End();
}
