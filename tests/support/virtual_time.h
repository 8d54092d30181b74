// A virtual clock that stands in for the operating system's in the
// experiment tests: sleeps advance it, yields advance it a little, and the
// headless display can advance it to the next retrace. Deterministic and fast.
#pragma once
#include <cstdint>

#include "support/time/time_platform.h"

namespace VirtualTime {
constexpr int64_t Frequency = 1000000;  // counter ticks per second: microseconds

void Reset(int64_t startMicros = 1000000000);
int64_t NowMicros();
void Advance(int64_t micros);
// Moves to the next multiple of 1/hz seconds (a retrace), for the headless
// display's waitForRetrace.
void AdvanceToNextRetrace();
void SetRetraceHz(int32_t hz);        // default 60
void SetYieldMicros(int64_t micros);  // default 50: one turn of a polling loop
void SetLocalTime(const TimePlatform::LocalTime& now);  // default 2013-12-17 14:05:09
// With tracing on (the default), "sleep <ms>" for every sleep above 0 and
// "clock" for every counter read go to Headless::Trace.
void SetTracing(bool on);
int64_t SleepCount();
}  // namespace VirtualTime
