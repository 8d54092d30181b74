// The timing check's verdicts on made-up series of timestamps.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/check/analysis.h"

using namespace TimingCheck;

namespace {

struct Series {
    const char* name;
    double hz;
    int32_t nominalHz, displayRetrace;
    double jitterMs;        // presents spread uniformly over this much either side
    int32_t missEvery;      // every n-th interval two periods long
    double blankOverMs;     // the 400 ms and 100 ms sleeps overrun by this
    uint32_t clockStepMs;   // of the millisecond clock
    int32_t stepBack;       // one counter reading goes back 2 ms
    double lookGapMs;       // a polling wait (0: one that wakes on keys)
    Verdict retrace, trial, clock, keyboard;
    int32_t missed;
};

Recording Make(const Series& s) {
    Recording r;
    r.nominalHz = s.nominalHz;
    r.displayRetrace = s.displayRetrace;
    uint32_t noise = 12345;
    for (int32_t i = 0; i < RetracePresents; ++i) {
        noise = noise * 1103515245u + 12345u;
        const double spread = ((noise >> 8) % 1001 / 500.0 - 1) * s.jitterMs;
        const int32_t frames = i + (s.missEvery ? i / s.missEvery : 0);
        r.presentReturns.push_back(1000 + frames * 1000.0 / s.hz + spread + s.jitterMs);
    }
    for (int32_t i = 0; i < Trials; ++i) {
        const double t = 10000 + i * 600.0;
        const double blankEnd = t + 400.3 + s.blankOverMs, drawn = blankEnd + 0.4;
        const double waitEnd = drawn + 100.2 + s.blankOverMs;
        r.trials.push_back({t, blankEnd, drawn, waitEnd, waitEnd + 500 / s.hz});
    }
    for (uint32_t k = 0; k <= 20; ++k) r.clockBurst.push_back(7 + k * s.clockStepMs);
    for (int32_t k = 0; k < 100; ++k) r.counterBurst.push_back(5000 + k * 0.0001);
    for (int32_t k = 0; k <= 20; ++k)
        r.clockSamples.push_back({static_cast<uint32_t>(4000 + k * 1000), k * 1000.0 - (s.stepBack && k == 9 ? 1002 : 0)});
    r.waitMs = 1000;
    r.waitProcessorMs = s.lookGapMs > 0 ? 990 : 3;
    r.looks = s.lookGapMs > 0 ? static_cast<int32_t>(1000 / s.lookGapMs) : 100;
    r.largestLookGapMs = s.lookGapMs > 0 ? s.lookGapMs : 10;
    r.waitWakesOnInput = s.lookGapMs == 0;
    return r;
}

TEST(TimingAnalysis, VerdictsOnSyntheticSeries) {
    const Series series[] = {
        {"locked at 60 Hz", 60, 60, 1, 0.2, 0, 0, 1, 0, 0, Good, Good, Good, Good, 0},
        {"locked at 144 Hz", 144, 144, 1, 0.2, 0, 0, 1, 0, 0, Good, Good, Good, Good, 0},
        {"a missed frame every second", 60, 60, 1, 0.2, 59, 0, 1, 0, 0, Caveat, Good, Good, Good, 5},
        {"a missed frame in ten", 60, 60, 1, 0.2, 9, 0, 1, 0, 0, Unsuitable, Good, Good, Good, 33},
        {"75 Hz where the mode says 60", 75, 60, 1, 0.2, 0, 0, 1, 0, 0, Caveat, Good, Good, Good, 0},
        {"no lock, 8 ms either way", 60, 60, 1, 8, 0, 0, 1, 0, 0, Caveat, Good, Good, Good, 0},
        {"steady but paced without the display", 60, 60, 0, 0.2, 0, 0, 1, 0, 0, Caveat, Good, Good, Good, 0},
        {"sleeps 30 ms long", 60, 60, 1, 0.2, 0, 30, 1, 0, 0, Good, Unsuitable, Good, Good, 0},
        {"a clock that steps back", 60, 60, 1, 0.2, 0, 0, 1, 1, 0, Good, Good, Unsuitable, Good, 0},
        {"a 16 ms tick clock", 60, 60, 1, 0.2, 0, 0, 16, 0, 0, Good, Good, Unsuitable, Good, 0},
        {"a busy poll, 0.01 ms apart", 60, 60, 1, 0.2, 0, 0, 1, 0, 0.01, Good, Good, Good, Caveat, 0},
        {"a poll that looks every 8 ms", 60, 60, 1, 0.2, 0, 0, 1, 0, 8, Good, Good, Good, Unsuitable, 0},
    };
    for (const Series& s : series) {
        SCOPED_TRACE(s.name);
        const Analysis a = Analyse(Make(s));
        EXPECT_EQ(a.retrace.verdict, s.retrace) << a.retrace.sentence;
        EXPECT_EQ(a.trial.verdict, s.trial) << a.trial.sentence;
        EXPECT_EQ(a.clock.verdict, s.clock) << a.clock.sentence;
        EXPECT_EQ(a.keyboard.verdict, s.keyboard) << a.keyboard.sentence;
        EXPECT_EQ(a.overall.verdict, std::max({s.retrace, s.trial, s.clock, s.keyboard}));
        EXPECT_EQ(a.missed, s.missed);
        EXPECT_EQ(a.intervals, RetracePresents - 1);
        if (a.locked) {
            EXPECT_NEAR(a.periodMs, 1000 / s.hz, 0.3);
        }
        EXPECT_EQ(a.retrace.sentence.rfind("No retrace lock", 0) == 0, !a.locked);
    }
    const Analysis stepped = Analyse(Make(series[8]));
    EXPECT_EQ(stepped.backwardSteps, 1);
    EXPECT_NEAR(Analyse(Make(series[0])).blankMeanMs, 400.3, 1e-9);
    EXPECT_NE(Analyse(Make(series[5])).retrace.sentence.find("\u00b18 ms"), std::string::npos);
}

}  // namespace
