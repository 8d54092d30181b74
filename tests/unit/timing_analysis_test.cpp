// The timing check's verdicts on made-up recordings: a computer that deserves
// "good", and the ways a recording can look right without being so.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/check/analysis.h"

using namespace TimingCheck;

namespace {

struct Series {
    const char* name;
    double hz = 60;            // presents every 1000 / hz ms
    int32_t nominalHz = 60, displayRetrace = 1, windowed = 0;
    const char* virtualDisplay = "";
    double jitterMs = 0.05;    // presents spread evenly this much either way
    int32_t stallAt = 0;       // this interval 90 ms long
    double sleepOverMs = 0.3;  // the 400 ms and 100 ms sleeps overrun by this
    double suspendedMs = 0;    // the clock read across suspensions this long
    int32_t stepBack = 0;      // one counter sample goes back 2 ms
    int32_t typed = 1, lostTap = -1;
    double seenMs = 0.2;       // a typed release to the look that sees it
    int32_t locked = 1;
    Verdict retrace = Good, trial = Good, clock = Good, keyboard = Good;
};

Recording Make(const Series& s) {
    Recording r;
    r.nominalHz = s.nominalHz;
    r.displayRetrace = s.displayRetrace;
    r.windowed = s.windowed;
    r.virtualDisplay = s.virtualDisplay;
    uint32_t noise = 12345;
    double at = 1000;
    for (int32_t i = 0; i < RetracePresents; ++i) {
        noise = noise * 1103515245u + 12345u;
        const double spread = ((noise >> 8) % 1001 / 500.0 - 1) * s.jitterMs;
        at += i == s.stallAt && i > 0 ? 90 : 1000 / s.hz;
        r.presentReturns.push_back(at + spread);
    }
    for (int32_t i = 0; i < Trials; ++i) {
        const double t = 10000 + i * 600.0, blankEnd = t + 400 + s.sleepOverMs, drawn = blankEnd + 0.4;
        const double waitEnd = drawn + 100 + s.sleepOverMs;
        r.trials.push_back({t, blankEnd, drawn, waitEnd, waitEnd + 0.94 * 1000 / s.hz});
    }
    // A clock of 1 ms read back to back, or only across suspensions.
    for (uint32_t k = 0; k < 25; ++k) {
        const double elapsed = s.suspendedMs > 0 ? s.suspendedMs + 0.01 * k : 0.0002;
        r.clockTicks.push_back({100 * k, 100 * k + (s.suspendedMs > 0 ? 4 + k % 2 : 1), elapsed});
    }
    for (int32_t k = 0; k < 100; ++k) r.counterBurst.push_back(5000 + k * 0.00005);
    r.counterHz = 1e9;
    for (int32_t k = 0; k <= 20; ++k)
        r.clockSamples.push_back({static_cast<uint32_t>(4000 + k * 1000),
                                  k * 1000.0 - (s.stepBack && k == 9 ? 1002 : 0), 7 + k * 1000.0});
    r.oneMsSleeps.assign(20, 1.06);
    r.keysTyped = s.typed;
    for (int32_t k = 0; s.typed && k < Taps; ++k)
        r.taps.push_back({k == ZeroLengthTap ? 0.0 : 20.0, k == s.lostTap ? -1 : s.seenMs});
    return r;
}

TEST(TimingAnalysis, OnlyATrustworthyRecordingIsGood) {
    const Series series[] = {
        {.name = "full screen, locked at 60 Hz"},
        {.name = "full screen, locked at 144 Hz", .hz = 144, .nominalHz = 144},
        {.name = "vertical sync forced off: 0.6 ms apart, rate unknown", .hz = 1667, .nominalHz = 0,
         .jitterMs = 0.01, .locked = 0, .retrace = Unsuitable},
        {.name = "vertical sync forced off, 60 Hz mode", .hz = 1667, .jitterMs = 0.01, .locked = 0,
         .retrace = Unsuitable},
        {.name = "two refreshes a present, rate unknown", .hz = 30, .nominalHz = 0, .locked = 0,
         .retrace = Caveat, .trial = Caveat},
        {.name = "two refreshes a present, 60 Hz mode", .hz = 30, .locked = 0, .retrace = Unsuitable,
         .trial = Caveat},
        {.name = "a window", .windowed = 1, .retrace = Caveat},
        {.name = "Wine", .virtualDisplay = "Wine 9.0", .locked = 0, .retrace = Caveat},
        {.name = "one 90 ms stall", .stallAt = 150, .retrace = Caveat},
        {.name = "locked, intervals spread (SD 0.4 ms)", .jitterMs = 0.5, .retrace = Caveat},
        {.name = "sleeps 30 ms long", .sleepOverMs = 30, .trial = Unsuitable},
        {.name = "a loaded clock: read across 4 ms suspensions", .suspendedMs = 4},
        {.name = "a clock that steps back", .stepBack = 1, .clock = Unsuitable},
        {.name = "a keyboard path that loses one tap", .lostTap = 5, .keyboard = Unsuitable},
        {.name = "the zero-length tap lost", .lostTap = ZeroLengthTap, .keyboard = Unsuitable},
        {.name = "releases seen 8 ms late", .seenMs = 8, .keyboard = Unsuitable},
        {.name = "no keys can be typed", .typed = 0, .keyboard = NotMeasured},
    };
    for (const Series& s : series) {
        SCOPED_TRACE(s.name);
        const Analysis a = Analyse(Make(s));
        EXPECT_EQ(a.retrace.verdict, s.retrace) << a.retrace.sentence;
        EXPECT_EQ(a.trial.verdict, s.trial) << a.trial.sentence;
        EXPECT_EQ(a.clock.verdict, s.clock) << a.clock.sentence;
        EXPECT_EQ(a.keyboard.verdict, s.keyboard) << a.keyboard.sentence;
        const Verdict worst = std::max({s.retrace, s.trial, s.clock, s.keyboard});
        EXPECT_EQ(a.overall.verdict, worst == NotMeasured ? Caveat : worst);
        EXPECT_EQ(a.locked, s.locked);
        EXPECT_EQ(a.intervals, RetracePresents - 1);
        const std::string methods = MethodsSentence(Make(s), a, ReportContext{});
        EXPECT_EQ(methods.find("vertical sync verified") != std::string::npos, s.locked == 1) << methods;
    }
    const Analysis stall = Analyse(Make(series[8]));
    EXPECT_EQ(stall.missed, 1);
    const Analysis good = Analyse(Make(series[0]));
    EXPECT_NEAR(good.whiteMeanMs, 516.667, 0.001);
    EXPECT_NE(good.trial.sentence.find("516.7 ms (31.0 refreshes)"), std::string::npos)
        << good.trial.sentence;
    EXPECT_EQ(good.clockStepMs, 1);
    EXPECT_EQ(Analyse(Make(series[12])).backwardSteps, 1);
    const std::string wine = Analyse(Make(series[7])).retrace.sentence;
    EXPECT_NE(wine.find("emulated or virtual (Wine 9.0)"), std::string::npos) << wine;
}

}  // namespace
