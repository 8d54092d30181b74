// Thresholds, and why (the guide says the same to the lab):
// - a spread of the refresh intervals under 1 ms and a refresh within 10 % of
//   the mode's, over 300 presents: what vision-research toolkits demand
//   before they time anything;
// - missed refreshes: up to 1 % is a busy moment, over 5 % a computer that
//   cannot draw in time;
// - the blank and the wait within 5 ms of 400 and 100 ms: one or two timer
//   periods; beyond 20 ms the participant sees a different trial;
// - the clock: 1 ms steps and under 0.1 % drift (1 ms in a 1 s reaction time);
// - the keyboard: a release seen within 1 ms; a wait using over half a
//   processor competes with the display for it.
#include "app/check/analysis.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>

namespace TimingCheck {

std::string Fixed(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

namespace {

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
    return values[middle];
}

struct Spread {
    double mean = 0, sd = 0, largest = 0;
};
Spread SpreadOf(const std::vector<double>& values) {
    Spread s;
    if (values.empty()) return s;
    for (double v : values) s.mean += v;
    s.mean /= static_cast<double>(values.size());
    for (double v : values) s.sd += (v - s.mean) * (v - s.mean);
    s.sd = std::sqrt(s.sd / static_cast<double>(values.size()));
    s.largest = *std::max_element(values.begin(), values.end());
    return s;
}

double LargestOff(const std::vector<double>& values, double target) {
    double largest = 0;
    for (double v : values) largest = std::max(largest, std::fabs(v - target));
    return largest;
}

int32_t CountBackward(const std::vector<double>& series) {
    int32_t n = 0;
    for (size_t i = 1; i < series.size(); ++i) n += series[i] < series[i - 1];
    return n;
}

// The clock wraps after 2^32 ms: a step counts as signed 32-bit.
int32_t ClockStep(uint32_t from, uint32_t to) { return static_cast<int32_t>(to - from); }

Verdict Worst(Verdict a, Verdict b) { return a > b ? a : b; }

void AnalyseRetrace(const Recording& r, Analysis& a) {
    std::vector<double> intervals;
    for (size_t i = 1; i < r.presentReturns.size(); ++i)
        intervals.push_back(r.presentReturns[i] - r.presentReturns[i - 1]);
    a.intervals = static_cast<int32_t>(intervals.size());
    const Spread all = SpreadOf(intervals);
    a.meanMs = all.mean;
    a.sdMs = all.sd;
    a.largestMs = all.largest;
    a.periodMs = Median(intervals);

    const double tolerance = std::min(1.0, a.periodMs / 4);
    std::vector<double> single;
    int32_t onGrid = 0, multiple = 0;
    for (double d : intervals) {
        const double periods = a.periodMs > 0 ? std::round(d / a.periodMs) : 0;
        if (periods < 1 || std::fabs(d - periods * a.periodMs) > tolerance) continue;
        ++onGrid;
        if (periods == 1) single.push_back(d);
        else ++multiple;
    }
    a.onGridShare = intervals.empty() ? 0 : onGrid / static_cast<double>(intervals.size());
    a.jitterSdMs = SpreadOf(single).sd;
    a.locked = r.displayRetrace && a.onGridShare >= 0.95 && a.jitterSdMs < 1.0;
    a.missed = a.locked ? multiple : 0;

    const double frame = r.nominalHz > 0 ? 1000.0 / r.nominalHz : a.periodMs;
    if (!a.locked) {
        const std::string why = r.displayRetrace
                                    ? "their intervals do not fall on whole refresh periods"
                                    : "no vertical sync on this display";
        a.retrace = {a.meanMs > 50 ? Unsuitable : Caveat,
                     "No retrace lock: presents are not locked to the display's refresh (" + why +
                         "): word onsets are logged within \u00b1" +
                         Fixed(std::round(frame / 2), 0) +
                         " ms of when they appear instead of within 1 ms. Use full screen, or a "
                         "graphics driver with vertical sync." +
                         (a.meanMs > 50 ? " Presents took " + Fixed(a.meanMs, 0) +
                                              " ms on average: the display cannot keep up."
                                        : "")};
        return;
    }
    const double measuredHz = 1000.0 / a.periodMs;
    const double missedShare = a.missed / static_cast<double>(a.intervals);
    if (missedShare > 0.01) {
        a.retrace = {missedShare > 0.05 ? Unsuitable : Caveat,
                     std::to_string(a.missed) + " of " + std::to_string(a.intervals) +
                         " presents missed a refresh: a frame was not ready in time, so the "
                         "screen before a word can last a refresh longer than set. Close other "
                         "programs and run the check again."};
    } else if (r.nominalHz > 0 && std::fabs(measuredHz - r.nominalHz) > 0.1 * r.nominalHz) {
        a.retrace = {Caveat, "Presents are locked to a refresh of " + Fixed(measuredHz, 1) +
                                 " Hz although the display mode says " +
                                 std::to_string(r.nominalHz) +
                                 " Hz: onsets are right, but report the measured rate."};
    } else {
        a.retrace = {Good, "Presents are locked to the display's refresh (" + Fixed(measuredHz, 1) +
                               " Hz, spread " + Fixed(a.jitterSdMs, 2) +
                               " ms): each word onset is logged within 1 ms of the refresh that "
                               "shows it."};
    }
}

void AnalyseTrial(const Recording& r, Analysis& a) {
    std::vector<double> blank, draw, wait, present;
    for (const TrialTimes& t : r.trials) {
        blank.push_back(t.blankEnd - t.whiteShown);
        draw.push_back(t.wordDrawn - t.blankEnd);
        wait.push_back(t.waitEnd - t.wordDrawn);
        present.push_back(t.wordShown - t.waitEnd);
    }
    a.blankMeanMs = SpreadOf(blank).mean;
    a.blankLargestMs = LargestOff(blank, BlankMs);
    a.drawMeanMs = SpreadOf(draw).mean;
    a.waitMeanMs = SpreadOf(wait).mean;
    a.waitLargestMs = LargestOff(wait, WaitMs);
    a.presentMeanMs = SpreadOf(present).mean;
    a.presentLargestMs = SpreadOf(present).largest;

    // A present may wait up to one refresh for its retrace.
    const double frame = a.periodMs > 0 ? a.periodMs : 1000.0 / 60;
    const double off = std::max(a.blankLargestMs, a.waitLargestMs);
    if (off <= 5 && a.presentLargestMs <= frame + 2) {
        a.trial = {Good, "Each trial ran as set: the 400 ms blank took " + Fixed(a.blankMeanMs, 1) +
                             " ms on average, the 100 ms wait " + Fixed(a.waitMeanMs, 1) +
                             " ms, and the present returned within " +
                             Fixed(a.presentLargestMs, 1) + " ms."};
        return;
    }
    a.trial = {off > 20 || a.presentLargestMs > 3 * frame + 2 ? Unsuitable : Caveat,
               "The trial ran off its times: the 400 ms blank was up to " +
                   Fixed(a.blankLargestMs, 1) + " ms off, the 100 ms wait up to " +
                   Fixed(a.waitLargestMs, 1) + " ms, and the present took up to " +
                   Fixed(a.presentLargestMs, 1) +
                   " ms: the screen before a word lasts longer than set (reaction times still "
                   "start at the word). Close other programs."};
}

void AnalyseClock(const Recording& r, Analysis& a) {
    std::vector<double> positive;
    int32_t backward = 0;
    for (size_t i = 1; i < r.clockBurst.size(); ++i) {
        const int32_t step = ClockStep(r.clockBurst[i - 1], r.clockBurst[i]);
        if (step > 0) positive.push_back(step);
        backward += step < 0;
    }
    a.clockStepMs = Median(positive);
    a.counterStepMs = 0;
    for (size_t i = 1; i < r.counterBurst.size(); ++i) {
        const double step = r.counterBurst[i] - r.counterBurst[i - 1];
        if (step > 0 && (a.counterStepMs == 0 || step < a.counterStepMs)) a.counterStepMs = step;
    }
    std::vector<double> counter, along;
    for (size_t i = 0; i < r.clockSamples.size(); ++i) {
        counter.push_back(r.clockSamples[i].counterMs);
        if (i > 0) backward += ClockStep(r.clockSamples[i - 1].clockMs, r.clockSamples[i].clockMs) < 0;
    }
    for (const TrialTimes& t : r.trials)
        along.insert(along.end(), {t.whiteShown, t.blankEnd, t.wordDrawn, t.waitEnd, t.wordShown});
    backward += CountBackward(r.counterBurst) + CountBackward(counter) +
                CountBackward(r.presentReturns) + CountBackward(along);
    a.backwardSteps = backward;

    a.driftPpm = 0;
    if (r.clockSamples.size() >= 2) {
        const ClockSample& first = r.clockSamples.front();
        const ClockSample& last = r.clockSamples.back();
        const double span = last.counterMs - first.counterMs;
        if (span >= 1000)
            a.driftPpm = (ClockStep(first.clockMs, last.clockMs) - span) / span * 1e6;
    }

    const std::string drift = Fixed(std::fabs(a.driftPpm), 0) + " ppm (" +
                              Fixed(std::fabs(a.driftPpm) / 1000, 2) +
                              " ms in a 1 s reaction time)";
    if (a.backwardSteps > 0) {
        a.clock = {Unsuitable, "No monotonic clock: the clock went backwards " +
                                   std::to_string(a.backwardSteps) +
                                   " times during the check, so reaction times can come out "
                                   "wrong, even negative."};
    } else if (a.clockStepMs == 0 || a.clockStepMs > 4 || std::fabs(a.driftPpm) > 10000) {
        a.clock = {Unsuitable, "The millisecond clock moves in steps of " + Fixed(a.clockStepMs, 1) +
                                   " ms and drifts " + drift +
                                   ": reaction times are not measured to the millisecond."};
    } else if (a.clockStepMs > 1 || a.counterStepMs > 0.1 || std::fabs(a.driftPpm) > 1000) {
        a.clock = {Caveat, "The clock is coarse or runs off: steps of " + Fixed(a.clockStepMs, 1) +
                               " ms, a counter of " + Fixed(a.counterStepMs * 1000, 2) +
                               " us, drift " + drift + "."};
    } else {
        a.clock = {Good, "The clock counts whole milliseconds from a counter of " +
                             Fixed(a.counterStepMs * 1000, 2) +
                             " us resolution, never went backwards, and kept with it within " +
                             drift + "."};
    }
}

void AnalyseKeyboard(const Recording& r, Analysis& a) {
    a.processorPercent = r.waitMs > 0 ? 100 * r.waitProcessorMs / r.waitMs : 0;
    a.looksPerSecond = r.waitMs > 0 ? r.looks * 1000.0 / r.waitMs : 0;
    a.largestLookGapMs = r.largestLookGapMs;
    const std::string used = Fixed(a.processorPercent, 1) + " % of a processor";
    if (!r.waitWakesOnInput && a.largestLookGapMs > 1) {
        a.keyboard = {a.largestLookGapMs > 5 ? Unsuitable : Caveat,
                      "The keyboard went unread for up to " + Fixed(a.largestLookGapMs, 1) +
                          " ms while waiting (" + used +
                          "): a release can be logged that late. Close other programs."};
    } else if (a.processorPercent > 50) {
        a.keyboard = {Caveat, "The response wait keeps a processor busy (" + used +
                                  ", the keyboard read " + Fixed(a.looksPerSecond, 0) +
                                  " times a second): releases are seen at once, but other "
                                  "programs slow it down; close them."};
    } else if (r.waitWakesOnInput) {
        a.keyboard = {Good, "The response wait sleeps until a key changes and then reads the "
                            "keyboard at once (" + used + "): a release is seen within 1 ms."};
    } else {
        a.keyboard = {Good, "The keyboard is read at least every " + Fixed(a.largestLookGapMs, 2) +
                                " ms while waiting (" + used + "): a release is seen within 1 ms."};
    }
}

}  // namespace

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Good: return "good";
        case Caveat: return "usable with a caveat";
        default: return "not suitable";
    }
}

Analysis Analyse(const Recording& recording) {
    Analysis a{};
    AnalyseRetrace(recording, a);
    AnalyseTrial(recording, a);
    AnalyseClock(recording, a);
    AnalyseKeyboard(recording, a);
    const Verdict worst = Worst(Worst(a.retrace.verdict, a.trial.verdict),
                                Worst(a.clock.verdict, a.keyboard.verdict));
    const char* const sentences[] = {
        "Word onsets and reaction times can be trusted to the millisecond on this computer with "
        "these settings.",
        "Usable with the caveats above: state them with the methods.",
        "Not suitable as it stands: fix what is marked not suitable above, then run the check "
        "again."};
    a.overall = {worst, sentences[worst]};
    return a;
}

}  // namespace TimingCheck
