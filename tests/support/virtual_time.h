// A virtual clock that stands in for the operating system's in the
// experiment tests: sleeps advance it, yields advance it by 50 us (one turn of
// a polling loop), and the headless display advances it to the next retrace.
// Every sleep above 0 ms is traced as "sleep <ms>", every counter read as
// "clock". The local time is 2013-12-17 14:05:09.
#pragma once
#include <cstdint>

#include "support/time/time_platform.h"

namespace VirtualTime {
void Reset();
int64_t NowMicros();
// Moves strictly past now to the next multiple of 1/hz seconds.
void AdvanceToNextRetrace();
void SetRetraceHz(int32_t hz);  // default 60
}  // namespace VirtualTime
