// The timing check: the experiment's own surface, present, sleeps, clock and
// response wait, timed on the lab's computer, judged, and written down.
// It writes its report and plot and nothing else: the settings are read
// without the rewrite, and no data folder, text or results file is made.
#include <algorithm>
#include <string>

#include "app/check/analysis.h"
#include "app/check/timing_check.h"
#include "app/experiment.h"
#include "display/app_window.h"
#include "display/backend.h"
#include "display/desktop.h"
#include "display/display_types.h"
#include "display/keyboard.h"
#include "display/probe.h"
#include "display/screen.h"
#include "display/text_painter.h"
#include "support/files/text_file.h"
#include "support/process/process.h"
#include "support/text/utf8.h"
#include "support/time/clock.h"

namespace {
using namespace TimingCheck;

// Bounds the loops that wait for a clock to move, should it never move.
constexpr int32_t MaxReads = 1 << 26;
constexpr int32_t CounterReads = 10000, ClockChanges = 25, OneMsSleeps = 20;
// Held between press and release, in turn; the zero-length tap aside.
constexpr double HoldsMs[] = {5, 20, 40, 80};
constexpr double TapTimeoutMs = 1000;
constexpr int32_t ReportFileNumber = 0;
constexpr int32_t FontNumber = 1;
// The check's texts are UTF-8 whatever the system's code page.
constexpr int32_t CheckTextEncoding = Utf8::Unicode;

struct CheckState {
    Recording recording;
    std::string reportName, plotName;
};
CheckState check;

void Sample() {
    const uint32_t clock = MillisecondClock();
    check.recording.clockSamples.push_back({clock, CounterMilliseconds(), ReferenceMilliseconds()});
}

// Esc, the window's close box or a stop request end the check on the spot;
// a report of half a check would be judged on too little.
void EndIfAsked() {
    KeyboardState::Poll();
    if (KeyboardState::WasReleased(ScanCode::Escape)) Process::End();
    if (AppWindow::Exists(0) && AppWindow::PollEvent() == AppWindow::CloseRequest) Process::End();
    Process::EndIfStopRequested();
}

// The part, and its count where drawing does not disturb what is timed, at
// the top of every frame the check presents bar the words of its trials, so
// that it never looks stuck.
void DrawProgress(const std::string& part) {
    Screen::Clear(ColourWhite);
    ShowText(0.5f, 0.1f, "Timing check " + part + ". [Esc] ends it.", CheckTextEncoding);
}

std::string OfTotal(int32_t done, int32_t total) {
    return std::to_string(done) + " of " + std::to_string(total);
}

void RecordRetrace() {
    // Drawn once: redrawing between the presents would time the drawing.
    DrawProgress("1 of 4, " + std::to_string(RetracePresents) + " presents back to back");
    for (int32_t i = 1; i <= RetracePresents; ++i) {
        Screen::Present();
        check.recording.presentReturns.push_back(CounterMilliseconds());
        EndIfAsked();
    }
}

// The experiment's trial step by step, with the counter read after each.
void RecordTrials() {
    for (int32_t trial = 1; trial <= Trials; ++trial) {
        TrialTimes t{};
        DrawProgress("2 of 4, trials as in the experiment: " + OfTotal(trial, Trials));
        Screen::Present();
        t.whiteShown = CounterMilliseconds();
        SleepMs(400);
        t.blankEnd = CounterMilliseconds();
        Screen::Clear(ColourWhite);
        ShowText(0.5f, 0.5f, "word", CheckTextEncoding);
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

void RecordClock() {
    DrawProgress("3 of 4, the clock");
    Screen::Present();
    Recording& r = check.recording;
    r.counterHz = static_cast<double>(CounterFrequency());
    r.referenceName = ReferenceClockName();
    // The counter's resolution: read back to back, nothing in between.
    r.counterBurst.resize(CounterReads);
    for (double& reading : r.counterBurst) reading = CounterMilliseconds();
    // The millisecond clock until it has changed often enough. A yield now
    // and then lets a clock that moves only while the program waits move;
    // the counter says how long each change took to come.
    // A reading counts only when the counter brackets it closely.
    uint32_t last = 0, now = 0;
    double lastAt = -1, at = 0;
    const auto read = [](uint32_t* clock, double* when) {
        const double before = CounterMilliseconds();
        *clock = MillisecondClock();
        *when = CounterMilliseconds();
        return *when - before <= 0.05;
    };
    const double start = CounterMilliseconds();
    for (int32_t reads = 1; r.clockTicks.size() < ClockChanges && reads < MaxReads; ++reads) {
        if (reads % 16 == 0) {
            SleepMs(0);
            if (CounterMilliseconds() - start > 1000) break;
        }
        if (!read(&now, &at)) continue;
        if (lastAt >= 0 && now != last) r.clockTicks.push_back({last, now, at - lastAt});
        last = now;
        lastAt = at;
    }
    // The system's timer, which sets how long the blank and the wait last.
    for (int32_t i = 0; i < OneMsSleeps; ++i) {
        const double before = CounterMilliseconds();
        SleepMs(1);
        r.oneMsSleeps.push_back(CounterMilliseconds() - before);
    }
    Sample();
    EndIfAsked();
}

// An answer key typed into the program's window and let go after `holdMs`
// (0: at once, before any look), through the experiment's response wait:
// how long after the release was typed the wait reported it, below zero
// when it never did.
double TypeTap(double* holdMs) {
    KeyboardState::BeginWait();
    if (!DisplayProbe::TypeKey(ScanCode::W, 1)) return -2;
    const double pressed = CounterMilliseconds();
    int32_t early = 0;
    while (*holdMs > 0 && CounterMilliseconds() - pressed < *holdMs) {
        const Response response = CheckForResponse();
        if (response == ResponseQuit) Process::End();
        early |= response == ResponseWord;
    }
    // A release goes through whichever window has the focus: never held back.
    DisplayProbe::TypeKey(ScanCode::W, 0);
    const double released = CounterMilliseconds();
    if (*holdMs > 0) *holdMs = released - pressed;
    for (;;) {
        const Response response = CheckForResponse();
        const double now = CounterMilliseconds();
        if (response == ResponseQuit) Process::End();
        if (response == ResponseWord) return early ? -1 : now - released;
        if (now - released > TapTimeoutMs) return -1;
    }
}

void RecordKeyboard() {
    DrawProgress("4 of 4, the keyboard");
    Screen::Present();
    Recording& r = check.recording;
    r.keysTyped = DisplayProbe::OpenKeyInjection(&r.noTyping);
    r.keyboardMs = r.keyboardProcessorMs = 0;
    for (int32_t k = 0; r.keysTyped && k < Taps; ++k) {
        DrawProgress("4 of 4, keys typed by the check (press none): " + OfTotal(k + 1, Taps));
        Screen::Present();
        double hold = k == ZeroLengthTap ? 0 : HoldsMs[k % 4];
        // Only the wait is charged: drawing the progress line is not.
        const double processor = ProcessorMilliseconds(), start = CounterMilliseconds();
        const double seen = TypeTap(&hold);
        r.keyboardProcessorMs += ProcessorMilliseconds() - processor;
        r.keyboardMs += CounterMilliseconds() - start;
        if (seen == -2) {
            // Typed elsewhere it would reach another program.
            r.keysTyped = 0;
            r.noTyping = "the program's window did not have the keyboard focus";
            r.taps.clear();
            break;
        }
        r.taps.push_back({hold, seen});
    }
    DisplayProbe::CloseKeyInjection();
    Sample();
}

std::string DisplayLine(const Recording& r) {
    const ScreenState& screen = Screen::State();
    std::string line = std::to_string(DisplaySize::Width) + "\u00d7" + std::to_string(DisplaySize::Height) +
                       ", " + std::to_string(screen.depth) + " bits, ";
    line += r.nominalHz > 0 ? std::to_string(r.nominalHz) + " Hz nominal, " : "refresh rate not reported, ";
    return line + (Settings::Fullscreen == 0            ? "in a window"
                   : Settings::UseNativeResolution != 0 ? "full screen at the desktop's mode"
                                                        : "full screen, switched to this mode");
}

std::string CompositorText(int32_t compositor, int32_t windowed) {
    if (compositor < 0) return "not known";
    if (compositor == 0) return "none between the program and the display";
    return windowed ? "active: it puts the window on the screen"
                    : "active; asked to leave the full screen alone, which the check cannot see";
}

int32_t WriteLines(const std::string& name, const std::vector<std::string>& lines) {
    if (TextFile::Create(ReportFileNumber, name.c_str()) == 0) return 0;
    int32_t written = 1;
    for (const std::string& line : lines)
        if (TextFile::WriteLine(ReportFileNumber, line) == 0) written = 0;
    // A failed close may have lost the tail: the file is not what it says.
    return TextFile::Close(ReportFileNumber) != 0 && written;
}

void ShowResult(const Analysis& a, const ReportContext& context, const std::string& methods, int32_t saved) {
    std::string text = std::string("Timing check: ") + VerdictName(a.overall.verdict) +
                       "\nDisplay: " + context.display + "\n[Esc] ends the check.\n\n";
    const struct {
        const char* name;
        const Item& item;
    } items[] = {
        {"Retrace lock", a.retrace}, {"The trial", a.trial}, {"Clock", a.clock}, {"Keyboard", a.keyboard}};
    for (const auto& entry : items)
        text += std::string(entry.name) + ": " + VerdictName(entry.item.verdict) + "\n";
    // The verdicts and their reasons take more lines than the experiment's
    // texts: a smaller font, and about the characters that fit a line.
    const int32_t points = std::max(1, DisplaySize::Height / 60);
    if (FontHandle::Load(FontNumber, "Calibri", points, DisplayBackend::FontHighQuality) == 0)
        FontHandle::Load(FontNumber, "Arial", points, DisplayBackend::FontHighQuality);
    const size_t width = static_cast<size_t>(std::clamp(DisplaySize::Width * 100 / (points * 60), 30, 120));
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
    add(saved ? "The figures are in " + check.reportName + " and " + check.plotName + "."
              : std::string("The report could not be written in this folder."));
    text += "\n";
    add("Methods: " + methods);
    Screen::Clear(ColourWhite);
    ShowText(0.5f, 0.5f, text, CheckTextEncoding);
    Screen::Present();
}
}  // namespace

void RunTimingCheck(const char* version) {
    ReadSettings();
    InitDisplay();
    const Timestamp started = CurrentTimestamp();
    const std::string stamp = FormatTimestamp("%yyyy%mm%dd-%hh%ii%ss", started);
    check.reportName = "timingcheck_" + stamp + ".txt";
    check.plotName = "timingcheck_" + stamp + ".svg";

    Recording& r = check.recording;
    r.nominalHz = Screen::State().refreshRate;
    if (r.nominalHz <= 0 && DesktopInfo::Enumerate() > 0) r.nominalHz = DesktopInfo::RefreshHz(0);
    r.windowed = Screen::State().windowed;

    Sample();
    RecordRetrace();
    // Asked once the renderer has drawn: its context is then the current one.
    const DisplayProbe::Facts facts = DisplayProbe::Describe();
    r.displayRetrace = facts.displayRetrace;
    r.virtualDisplay = facts.virtualDisplay;
    RecordTrials();
    RecordClock();
    RecordKeyboard();

    const Analysis analysis = Analyse(r);
    ReportContext context;
    context.when = FormatTimestamp("%yyyy-%mm-%dd %hh:%ii:%ss", started);
    context.version = version;
    context.computer = Process::SystemDescription();
    context.display = DisplayLine(r);
    context.width = DisplaySize::Width;
    context.height = DisplaySize::Height;
    context.graphics = facts.graphics;
    context.driver = facts.driver;
    context.renderer = facts.renderer;
    context.videoDriver = facts.videoDriver;
    context.windowSystem = facts.windowSystem;
    context.compositor = CompositorText(facts.compositor, r.windowed);
    context.presents = facts.presents;
    const int32_t saved = WriteLines(check.reportName, ReportLines(r, analysis, context)) &&
                          WriteLines(check.plotName, PlotSvg(r, analysis));
    ShowResult(analysis, context, MethodsSentence(r, analysis, context), saved);
    while (WaitForResponse() != ResponseQuit) {
    }
    Process::End();
}
