// Thresholds, and why (the guide says the same to the lab, and
// docs/timing-check.md sets them beside vision-research practice):
// - a retrace lock is believed only from a backend that waits for the
//   display's own retrace, in full screen, on a physical display, at a rate
//   within 10 % of the mode's (23 to 360 Hz where the mode does not say),
//   with nine intervals in ten on whole refresh periods;
// - a steady lock keeps the SD of all 300 intervals under 0.2 ms; an
//   interval over a period and 4 ms is a missed refresh, over 5 % of them is
//   a computer that cannot draw in time;
// - the blank and the wait within 5 ms of 400 and 100 ms: one or two timer
//   periods; beyond 20 ms the participant sees a different trial;
// - the clock: 1 ms steps, a counter finer than 0.1 ms, and drift under
//   500 ppm (half the 1 ms a reaction time is logged in, over a 1 s time);
// - the keyboard: every typed key counted, a release seen within 1 ms
//   (median) and 2 ms (largest); beyond 5 ms reaction times grow by that.
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

constexpr double MissMarginMs = 4, SteadySdMs = 0.2;
constexpr double LowestHz = 23, HighestHz = 360;

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
    return values[middle];
}

struct Spread {
    double mean = 0, sd = 0, smallest = 0, largest = 0;
};
Spread SpreadOf(const std::vector<double>& values) {
    Spread s;
    if (values.empty()) return s;
    for (double v : values) s.mean += v;
    s.mean /= static_cast<double>(values.size());
    for (double v : values) s.sd += (v - s.mean) * (v - s.mean);
    s.sd = std::sqrt(s.sd / static_cast<double>(values.size()));
    s.smallest = *std::min_element(values.begin(), values.end());
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

std::string Count(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// How late a word can appear after its logged onset without a lock.
std::string LateBy(int32_t nominalHz) {
    const std::string refresh = nominalHz > 0 ? "one refresh (" + Fixed(1000.0 / nominalHz, 1) + " ms at " +
                                                    std::to_string(nominalHz) + " Hz)"
                                              : "one refresh of the display (whose rate is not reported)";
    return "a word can appear up to " + refresh + " after its logged onset, never before it";
}

void AnalyseRetrace(const Recording& r, Analysis& a) {
    std::vector<double> intervals;
    for (size_t i = 1; i < r.presentReturns.size(); ++i)
        intervals.push_back(r.presentReturns[i] - r.presentReturns[i - 1]);
    a.intervals = static_cast<int32_t>(intervals.size());
    const Spread all = SpreadOf(intervals);
    a.meanMs = all.mean;
    a.sdMs = all.sd;
    a.smallestMs = all.smallest;
    a.largestMs = all.largest;
    a.medianMs = Median(intervals);
    a.measuredHz = a.medianMs > 0 ? 1000.0 / a.medianMs : 0;
    a.periodMs = r.nominalHz > 0 ? 1000.0 / r.nominalHz : a.medianMs;

    int32_t onGrid = 0;
    for (double d : intervals) {
        a.missed += d > a.periodMs + MissMarginMs;
        a.early += d < a.periodMs - MissMarginMs;
        const double periods = a.periodMs > 0 ? std::round(d / a.periodMs) : 0;
        onGrid += periods >= 1 && std::fabs(d - periods * a.periodMs) <= 1.0;
    }
    a.onGridShare = intervals.empty() ? 0 : onGrid / static_cast<double>(intervals.size());
    a.plausible = a.measuredHz >= LowestHz && a.measuredHz <= HighestHz;
    const bool nominalKept = r.nominalHz <= 0 || std::fabs(a.measuredHz - r.nominalHz) <= 0.1 * r.nominalHz;
    // Without the mode's rate, a regular series at 30 Hz may be a 60 Hz
    // display that takes two refreshes a present: never shown locked.
    a.locked = r.displayRetrace && r.virtualDisplay.empty() && a.plausible && r.nominalHz > 0 &&
               nominalKept && a.onGridShare >= 0.9;

    const std::string n = std::to_string(a.intervals);
    const std::string measured = Fixed(a.medianMs, 2) + " ms (" + Fixed(a.measuredHz, 1) + " Hz)";
    const double missedShare = a.intervals > 0 ? a.missed / static_cast<double>(a.intervals) : 1;
    const std::string missedText = Count(static_cast<size_t>(a.missed), "present", "presents") + " of " + n +
                                   " took longer than a refresh and 4 ms (the longest " +
                                   Fixed(a.largestMs, 1) + " ms)";
    if (!r.virtualDisplay.empty()) {
        a.retrace = {a.meanMs > 50 ? Unsuitable : Caveat,
                     "This display is emulated or virtual (" + r.virtualDisplay +
                         "): the check cannot see when a word appears on a screen here. Run the check on the "
                         "lab's own computer and display, set up as for the experiment."};
    } else if (!r.displayRetrace) {
        a.retrace = {Caveat,
                     "Presents do not wait for the display's own retrace here, so " + LateBy(r.nominalHz) +
                         ". Use the graphics card maker's driver, which offers vertical sync, and run "
                         "the check again."};
    } else if (!a.plausible && a.medianMs < 1000.0 / HighestHz) {
        a.retrace = {Unsuitable,
                     "Vertical sync was asked for, but presents came every " + measured +
                         ", faster than any display refreshes: the graphics driver does not wait for "
                         "the retrace. Set vertical sync to on or application-controlled in the "
                         "driver's settings and run the check again."};
    } else if (!a.plausible) {
        a.retrace = {Unsuitable,
                     "Presents came every " + measured +
                         ", slower than any display refreshes: the computer cannot show this screen in "
                         "time. Close other programs or choose a smaller screen, and run the check again."};
    } else if (!nominalKept) {
        const double k = std::round(r.nominalHz / a.measuredHz);
        if (k >= 2 && std::fabs(a.measuredHz * k - r.nominalHz) <= 0.1 * r.nominalHz)
            a.retrace = {
                Unsuitable,
                "Each present took " + Fixed(k, 0) + " refreshes (" + Fixed(a.measuredHz, 1) +
                    " Hz measured, " + std::to_string(r.nominalHz) +
                    " Hz nominal): frames are not ready within a refresh, so a word can come a refresh "
                    "later than set. Close other programs or choose a smaller screen, and run the check "
                    "again."};
        else
            a.retrace = {
                Caveat, "Presents keep to " + Fixed(a.measuredHz, 1) + " Hz although the display mode says " +
                            std::to_string(r.nominalHz) +
                            " Hz: the check cannot tell which is right. Set the display to its own rate "
                            "and run the check again, or report the measured rate."};
    } else if (a.onGridShare < 0.9) {
        a.retrace = {missedShare > 0.05 ? Unsuitable : Caveat,
                     "Presents did not keep to the refresh: only " + Fixed(100 * a.onGridShare, 0) +
                         " % of the intervals fell on whole refresh periods (SD " + Fixed(a.sdMs, 2) +
                         " ms), so " + LateBy(r.nominalHz) +
                         ". Close other programs and run the check again."};
    } else if (missedShare > 0.05) {
        a.retrace = {Unsuitable, missedText +
                                     ": the computer cannot draw in time, and the screen before a word lasts "
                                     "longer than set. Close other programs or choose a smaller screen."};
    } else if (a.missed > 0) {
        a.retrace = {Caveat, missedText +
                                 ": a busy moment held a frame back, which makes the screen before a word a "
                                 "refresh longer. Close other programs and run the check again."};
    } else if (r.nominalHz <= 0) {
        a.retrace = {Caveat,
                     "Presents keep to " + measured +
                         ", but the display does not report its refresh rate, so the check cannot tell "
                         "such a display from one that takes two refreshes a present. Look the rate up in "
                         "the display's settings: if it is " +
                         Fixed(a.measuredHz, 0) + " Hz, the lock is right."};
    } else if (r.windowed) {
        a.retrace = {Caveat,
                     "Presents keep to the display's " + Fixed(a.measuredHz, 1) +
                         " Hz, but in a window the desktop's compositor may show a frame a refresh or more "
                         "after the retrace the present waited for, which the check cannot see. Use full "
                         "screen (Fullscreen = 1) for the experiment."};
    } else if (a.sdMs > SteadySdMs) {
        a.retrace = {Caveat, "Presents keep to the display's " + Fixed(a.measuredHz, 1) +
                                 " Hz, but their intervals spread (SD " + Fixed(a.sdMs, 2) +
                                 " ms, over the " + Fixed(SteadySdMs, 1) +
                                 " ms of a steady lock): an onset can be logged up to " +
                                 Fixed(std::max(a.largestMs - a.periodMs, a.periodMs - a.smallestMs), 1) +
                                 " ms off its retrace. Close other programs and run the check again."};
    } else {
        a.retrace = {
            Good, "Presents wait for the display's retrace, shown over " + n +
                      " presents: " + Fixed(a.measuredHz, 2) + " Hz measured (" +
                      std::to_string(r.nominalHz) + " Hz nominal), interval SD " + Fixed(a.sdMs, 3) +
                      " ms, none missed. Each word's clock starts just after the retrace that begins to show "
                      "it; the middle of the screen, where the word is, is drawn about half a refresh (" +
                      Fixed(a.periodMs / 2, 1) + " ms) later on most displays, the same in every trial."};
    }
}

void AnalyseTrial(const Recording& r, Analysis& a) {
    std::vector<double> blank, draw, wait, present, white;
    for (const TrialTimes& t : r.trials) {
        blank.push_back(t.blankEnd - t.whiteShown);
        draw.push_back(t.wordDrawn - t.blankEnd);
        wait.push_back(t.waitEnd - t.wordDrawn);
        present.push_back(t.wordShown - t.waitEnd);
        white.push_back(t.wordShown - t.whiteShown);
    }
    a.blankMeanMs = SpreadOf(blank).mean;
    a.blankLargestMs = LargestOff(blank, BlankMs);
    a.drawMeanMs = SpreadOf(draw).mean;
    a.waitMeanMs = SpreadOf(wait).mean;
    a.waitLargestMs = LargestOff(wait, WaitMs);
    a.presentMeanMs = SpreadOf(present).mean;
    a.presentLargestMs = SpreadOf(present).largest;
    const Spread whiteSpread = SpreadOf(white);
    a.whiteMeanMs = whiteSpread.mean;
    a.whiteSmallestMs = whiteSpread.smallest;
    a.whiteLargestMs = whiteSpread.largest;
    // Refreshes are counted only where the display reports their period.
    a.framePeriodMs = r.nominalHz > 0 ? 1000.0 / r.nominalHz : 0;

    // A present waits up to one refresh for its retrace; 60 Hz where no
    // period is known.
    const double frame = a.framePeriodMs > 0 ? a.framePeriodMs : 1000.0 / 60;
    const double off = std::max(a.blankLargestMs, a.waitLargestMs);
    const std::string frames =
        a.framePeriodMs > 0 ? " (" + Fixed(a.whiteMeanMs / a.framePeriodMs, 1) + " refreshes)" : "";
    if (off <= 5 && a.presentLargestMs <= frame + 2) {
        a.trial = {Good, "Each trial ran as set: the white screen before each word lasted " +
                             Fixed(a.whiteMeanMs, 1) + " ms" + frames + ", the 400 ms blank (" +
                             Fixed(a.blankMeanMs, 1) + " ms measured), drawing the word, the 100 ms wait (" +
                             Fixed(a.waitMeanMs, 1) + " ms) and the present's wait for the next refresh."};
        return;
    }
    // What to do depends on what ran long: the sleeps wait for the processor.
    const std::string advice =
        off > 5 ? "Close other programs and run the check again."
        : !r.virtualDisplay.empty()
            ? "Presents are slow on this emulated or virtual display: run the check on the "
              "lab's own computer."
            : "The computer cannot show a word within a refresh: close other programs or "
              "choose a smaller screen, and run the check again.";
    a.trial = {off > 20 || a.presentLargestMs > 3 * frame + 2 ? Unsuitable : Caveat,
               "The trial ran off its times: the 400 ms blank was up to " + Fixed(a.blankLargestMs, 1) +
                   " ms off, the 100 ms wait up to " + Fixed(a.waitLargestMs, 1) +
                   " ms, and the present took up to " + Fixed(a.presentLargestMs, 1) + " ms (a refresh is " +
                   Fixed(frame, 1) + " ms), so the white screen before a word lasted " +
                   Fixed(a.whiteMeanMs, 1) + " ms" + frames + " and up to " + Fixed(a.whiteLargestMs, 1) +
                   " ms (reaction times still start at the word). " + advice};
}

void AnalyseClock(const Recording& r, Analysis& a) {
    // A clock of steps g read e apart changes by at most e + g: the largest
    // change less the time between its readings is the step, however long
    // the thread was suspended between them. Its readings are whole
    // milliseconds, and so is the step; 0.1 ms is left for the readings'
    // own timing.
    int32_t backward = 0;
    double largest = -1;
    for (const ClockTick& tick : r.clockTicks) {
        const int32_t step = ClockStep(tick.fromMs, tick.toMs);
        backward += step < 0;
        if (step > 0) largest = std::max(largest, step - tick.elapsedMs);
    }
    a.clockStepMs = largest < 0 ? 0 : std::max(1.0, std::ceil(largest - 0.1));
    a.counterStepMs = 0;
    for (size_t i = 1; i < r.counterBurst.size(); ++i) {
        const double step = r.counterBurst[i] - r.counterBurst[i - 1];
        if (step > 0 && (a.counterStepMs == 0 || step < a.counterStepMs)) a.counterStepMs = step;
    }
    // A counter faster than the reads never shows a step: its period then.
    a.counterStepSeen = a.counterStepMs > 0;
    if (!a.counterStepSeen && r.counterHz > 0) a.counterStepMs = 1000.0 / r.counterHz;

    std::vector<double> counter, reference, along;
    for (size_t i = 0; i < r.clockSamples.size(); ++i) {
        counter.push_back(r.clockSamples[i].counterMs);
        reference.push_back(r.clockSamples[i].referenceMs);
        if (i > 0) backward += ClockStep(r.clockSamples[i - 1].clockMs, r.clockSamples[i].clockMs) < 0;
    }
    for (const TrialTimes& t : r.trials)
        along.insert(along.end(), {t.whiteShown, t.blankEnd, t.wordDrawn, t.waitEnd, t.wordShown});
    backward += CountBackward(r.counterBurst) + CountBackward(counter) + CountBackward(reference) +
                CountBackward(r.presentReturns) + CountBackward(along);
    a.backwardSteps = backward;

    a.driftPpm = a.counterDriftPpm = a.driftSpanMs = 0;
    if (r.clockSamples.size() >= 2) {
        const ClockSample& first = r.clockSamples.front();
        const ClockSample& last = r.clockSamples.back();
        const double span = last.referenceMs - first.referenceMs;
        if (span >= 1000) {
            a.driftSpanMs = span;
            a.driftPpm = (ClockStep(first.clockMs, last.clockMs) - span) / span * 1e6;
            a.counterDriftPpm = (last.counterMs - first.counterMs - span) / span * 1e6;
        }
    }
    a.sleepMedianMs = Median(r.oneMsSleeps);
    a.sleepLargestMs = SpreadOf(r.oneMsSleeps).largest;

    const double drift = std::fabs(a.driftPpm);
    const std::string against = a.driftSpanMs > 0
                                    ? "kept with " + r.referenceName + " within " + Fixed(drift, 0) +
                                          " ppm over " + Fixed(a.driftSpanMs / 1000, 0) + " s (" +
                                          Fixed(drift / 1000, 2) + " ms in a 1 s reaction time)"
                                    : "was not compared with a second clock (the check was too short)";
    if (a.backwardSteps > 0) {
        a.clock = {Unsuitable,
                   "The clock went backwards " +
                       Count(static_cast<size_t>(a.backwardSteps), "time", "times") +
                       " during the check, so reaction times can come out wrong, even negative. Run "
                       "the check on another computer."};
    } else if (a.clockStepMs <= 0 || a.clockStepMs > 4 || drift > 5000 || a.counterStepMs > 1) {
        a.clock = {Unsuitable,
                   "The millisecond clock moves in steps of " + Fixed(a.clockStepMs, 1) +
                       " ms, from a counter of " + Fixed(a.counterStepMs * 1000, 2) + " \u00b5s, and " +
                       against +
                       ": reaction times are not measured to the millisecond. Run the check on another "
                       "computer."};
    } else if (a.clockStepMs > 1.5 || a.counterStepMs > 0.1 || drift > 500) {
        a.clock = {Caveat, "The clock is coarse or runs off: steps of " + Fixed(a.clockStepMs, 1) +
                               " ms, a counter of " + Fixed(a.counterStepMs * 1000, 2) + " \u00b5s, and it " +
                               against + ". Report it with the methods."};
    } else {
        a.clock = {Good, "The millisecond clock steps by 1 ms from a counter of " +
                             Fixed(a.counterStepMs * 1000, 2) + " \u00b5s, never went backwards, and " +
                             against + "."};
    }
}

void AnalyseKeyboard(const Recording& r, Analysis& a) {
    a.processorPercent = r.keyboardMs > 0 ? 100 * r.keyboardProcessorMs / r.keyboardMs : 0;
    std::vector<double> seen;
    int32_t zeroLength = 0;
    for (const Tap& tap : r.taps) {
        zeroLength += tap.heldMs == 0;
        if (tap.seenAfterMs < 0) continue;
        seen.push_back(tap.seenAfterMs);
        a.zeroLengthCounted += tap.heldMs == 0;
    }
    a.tapsCounted = static_cast<int32_t>(seen.size());
    a.seenMedianMs = Median(seen);
    a.seenLargestMs = SpreadOf(seen).largest;
    const std::string typed = Count(r.taps.size(), "key", "keys") + " typed by the check";
    const std::string notMeasured =
        " A lab times the keyboard itself with a key-press robot or a photodiode and a microphone (see the "
        "guide).";
    if (!r.keysTyped) {
        a.keyboard = {NotMeasured, "Not measured: no key could be typed into the program's window (" +
                                       r.noTyping + ")." + notMeasured};
        return;
    }
    if (a.tapsCounted == 0) {
        a.keyboard = {NotMeasured,
                      "Not measured: none of the " + typed +
                          " reached the program, so the way keys reach it here could not be timed." +
                          notMeasured};
        return;
    }
    const size_t lost = r.taps.size() - seen.size();
    const std::string times = "a release was seen " + Fixed(a.seenMedianMs, 2) +
                              " ms after it was typed (median; at most " + Fixed(a.seenLargestMs, 2) + " ms)";
    if (lost > 0) {
        a.keyboard = {
            Unsuitable,
            std::to_string(lost) + " of the " + typed + " went uncounted" +
                (a.zeroLengthCounted < zeroLength ? ", the one let go as soon as it was pressed among them"
                                                  : "") +
                ": a participant's quick tap can be lost the same way. Do not test with this "
                "computer and this wordtap as they are; tell wordtap's developers."};
    } else if (a.seenLargestMs > 5 || a.seenMedianMs > 2) {
        a.keyboard = {Unsuitable,
                      "Every key was counted, but " + times +
                          ": reaction times come out that much long. Close other programs and run the "
                          "check again."};
    } else if (a.seenLargestMs > 2 || a.seenMedianMs > 1) {
        a.keyboard = {Caveat,
                      "Every key was counted, but " + times +
                          ": a reaction time can be logged that much long. Close other programs and run the "
                          "check again."};
    } else {
        a.keyboard = {Good,
                      "All " + typed + " were counted" +
                          (zeroLength ? ", the one let go as soon as it was pressed among them; " : "; ") +
                          times +
                          ". Not measured here: the keyboard's own delay (its scanning and USB polling, 1 to "
                          "8 ms or more)." +
                          notMeasured};
    }
}

}  // namespace

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Good: return "good";
        case NotMeasured: return "not measured";
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
    const Verdict worst = std::max({a.retrace.verdict, a.trial.verdict, a.clock.verdict, a.keyboard.verdict});
    if (worst == Good)
        a.overall = {
            Good,
            "Good: presents wait for the display's retrace, the trial runs as set, and the clock and "
            "the way keys reach wordtap are sound. Nothing physical was measured: the display's own "
            "delay and the keyboard's can be measured once with a photodiode and a key-press robot "
            "(see the guide)."};
    else if (worst == Unsuitable)
        a.overall = {Unsuitable,
                     "Not suitable as it stands: fix what is marked not suitable above, then run the "
                     "check again."};
    else
        a.overall = {Caveat,
                     "Usable with the caveats above: state them with the methods, and measure what the "
                     "check could not another way."};
    return a;
}

}  // namespace TimingCheck
