// The timing check's judgement: figures and verdicts computed from what a
// check recorded and nothing else, so that any recorded or made-up series is
// judged the same way.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace TimingCheck {

constexpr int32_t RetracePresents = 301;  // 300 intervals
constexpr int32_t Trials = 30;
constexpr int32_t Taps = 24;           // keys typed by the check
constexpr int32_t ZeroLengthTap = 11;  // the one let go as soon as it is pressed
constexpr double BlankMs = 400.0, WaitMs = 100.0;

// Counter readings in milliseconds, each taken as the step it names ended.
struct TrialTimes {
    double whiteShown, blankEnd, wordDrawn, waitEnd, wordShown;
};
// The millisecond clock, the counter and the reference clock read together.
struct ClockSample {
    uint32_t clockMs;
    double counterMs, referenceMs;
};
// A change of the millisecond clock between two readings that the counter
// puts `elapsedMs` apart (the thread may have been suspended between them).
struct ClockTick {
    uint32_t fromMs, toMs;
    double elapsedMs;
};
// A key typed by the check: held this long, its release seen so long after
// it was typed; never seen: below zero.
struct Tap {
    double heldMs, seenAfterMs;
};

struct Recording {
    // The display as the platform describes it.
    int32_t nominalHz = 0;       // of the display mode; 0 unknown
    int32_t displayRetrace = 0;  // the backend's presents wait for the display's own retrace
    int32_t windowed = 0;
    std::string virtualDisplay;          // why this is no physical display; empty for one
    std::vector<double> presentReturns;  // back-to-back presents
    std::vector<TrialTimes> trials;
    // The clock: changes of the millisecond clock, the counter read back to
    // back without a yield, its frequency, samples across the whole check,
    // and what 1 ms sleeps took (the system's timer, not the clock).
    std::vector<ClockTick> clockTicks;
    std::vector<double> counterBurst;
    double counterHz = 0;
    std::vector<ClockSample> clockSamples;
    std::string referenceName;
    std::vector<double> oneMsSleeps;
    // The keyboard: keys typed into the program's own window through the
    // response wait, or why none could be typed.
    int32_t keysTyped = 0;
    std::string noTyping;
    std::vector<Tap> taps;
    double keyboardMs = 0, keyboardProcessorMs = 0;
};

// Ordered by how much they hold a run back; "not measured" is never good.
enum Verdict : int32_t { Good = 0, NotMeasured = 1, Caveat = 2, Unsuitable = 3 };
const char* VerdictName(Verdict verdict);

struct Item {
    Verdict verdict;
    std::string sentence;
};

struct Analysis {
    // Retrace lock.
    int32_t intervals;
    double meanMs, sdMs, smallestMs, largestMs, medianMs, measuredHz;
    double periodMs;     // the nominal refresh period, or the median where it is unknown
    double onGridShare;  // intervals within 1 ms of a whole number of periods
    int32_t missed;      // intervals over a period and 4 ms
    int32_t early;       // intervals under a period less 4 ms
    int32_t plausible;   // the median is a display's rate, 23 to 360 Hz
    int32_t locked;      // presents shown to wait for the display's retrace
    // The trial: means and the largest overrun of each step, and the white
    // screen before each word, also in refresh periods where one is known.
    double blankMeanMs, blankLargestMs, drawMeanMs, waitMeanMs, waitLargestMs;
    double presentMeanMs, presentLargestMs;
    double whiteMeanMs, whiteSmallestMs, whiteLargestMs, framePeriodMs;
    // Clock.
    double clockStepMs, counterStepMs, driftPpm, counterDriftPpm, driftSpanMs;
    double sleepMedianMs, sleepLargestMs;
    int32_t counterStepSeen, backwardSteps;
    // Keyboard.
    int32_t tapsCounted, zeroLengthCounted;
    double seenMedianMs, seenLargestMs, processorPercent;
    Item retrace, trial, clock, keyboard, overall;
};

Analysis Analyse(const Recording& recording);

// What the report says of the computer beside the figures.
struct ReportContext {
    std::string when, version, computer;
    std::string display;  // size, depth, nominal refresh and surface in one line
    int32_t width = 0, height = 0;
    std::string graphics, driver, renderer, videoDriver, windowSystem, compositor, presents;
};
// The plain-text report and the plot (SVG) a lab can keep with its methods.
std::vector<std::string> ReportLines(const Recording& recording, const Analysis& analysis,
                                     const ReportContext& context);
std::vector<std::string> PlotSvg(const Recording& recording, const Analysis& analysis);
// One sentence for a paper's methods section: only what was measured.
std::string MethodsSentence(const Recording& recording, const Analysis& analysis,
                            const ReportContext& context);
// Breaks a sentence at blanks into lines of at most `width` characters.
std::vector<std::string> Wrap(const std::string& text, size_t width);
// A figure with a fixed number of decimals, as the sentences and the report give it.
std::string Fixed(double value, int decimals);

}  // namespace TimingCheck
