// The timing check's judgement: figures and verdicts computed from the
// timestamps a check recorded, and nothing else, so that any recorded or
// made-up series can be judged the same way.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace TimingCheck {

constexpr int32_t RetracePresents = 301;  // 300 intervals
constexpr int32_t Trials = 30;
constexpr double BlankMs = 400.0, WaitMs = 100.0;

// Counter readings in milliseconds, each taken as the step it names ended.
struct TrialTimes {
    double whiteShown, blankEnd, wordDrawn, waitEnd, wordShown;
};
struct ClockSample {
    uint32_t clockMs;  // the millisecond clock
    double counterMs;  // the counter read right after it
};

struct Recording {
    int32_t nominalHz = 0;         // of the display mode; 0 unknown
    int32_t displayRetrace = 0;    // presents wait for the display's own retrace
    std::vector<double> presentReturns;  // back-to-back presents
    std::vector<TrialTimes> trials;
    std::vector<uint32_t> clockBurst;   // millisecond clock read back to back
    std::vector<double> counterBurst;   // counter read back to back
    std::vector<ClockSample> clockSamples;  // across the whole check, in order
    // The response wait, run with no key pressed.
    double waitMs = 0, waitProcessorMs = 0;
    int32_t looks = 0;
    double largestLookGapMs = 0;
    int32_t waitWakesOnInput = 0;
};

enum Verdict : int32_t { Good = 0, Caveat = 1, Unsuitable = 2 };
const char* VerdictName(Verdict verdict);  // "good", "usable with a caveat", "not suitable"

struct Item {
    Verdict verdict;
    std::string sentence;
};

struct Analysis {
    // Retrace lock.
    int32_t intervals;
    double meanMs, sdMs, largestMs;
    double periodMs;       // the commonest interval (median)
    double jitterSdMs;     // spread of the one-period intervals
    double onGridShare;    // intervals within 1 ms of a whole number of periods
    int32_t missed;        // intervals of two periods or more (when locked)
    int32_t locked;
    // The trial: means and the largest overrun of each step.
    double blankMeanMs, blankLargestMs, drawMeanMs, waitMeanMs, waitLargestMs;
    double presentMeanMs, presentLargestMs;
    // Clock.
    double clockStepMs, counterStepMs, driftPpm;
    int32_t backwardSteps;
    // Keyboard wait.
    double processorPercent, looksPerSecond, largestLookGapMs;
    Item retrace, trial, clock, keyboard, overall;
};

Analysis Analyse(const Recording& recording);

// The plain-text report and the plot (SVG) a lab can keep with its methods.
struct ReportContext {
    std::string when, computer, display, presents;
};
std::vector<std::string> ReportLines(const Recording& recording, const Analysis& analysis,
                                     const ReportContext& context);
std::vector<std::string> PlotSvg(const Recording& recording, const Analysis& analysis);
// Breaks a sentence at blanks into lines of at most `width` characters.
std::vector<std::string> Wrap(const std::string& text, size_t width);
// A figure with a fixed number of decimals, as the sentences and the report give it.
std::string Fixed(double value, int decimals);

}  // namespace TimingCheck
