// The operating system's clock replaced by a counter that only sleeps,
// yields and retrace waits move.
#include "tests/support/virtual_time.h"

#include <string>

#include "display/backends/headless/headless.h"

namespace {
constexpr int64_t Frequency = 1000000;  // microseconds
int64_t now = 1000000000;
int64_t retraceHz = 60;
}  // namespace

namespace VirtualTime {

void Reset() {
    now = 1000000000;
    retraceHz = 60;
}

int64_t NowMicros() { return now; }

void AdvanceToNextRetrace() {
    // Retrace k happens at ceil(k / hz seconds).
    const int64_t k = now * retraceHz / Frequency + 1;
    int64_t at = (k * Frequency + retraceHz - 1) / retraceHz;
    if (at <= now) at = ((k + 1) * Frequency + retraceHz - 1) / retraceHz;
    now = at;
}

void SetRetraceHz(int32_t hz) { retraceHz = hz > 0 ? hz : 60; }

}  // namespace VirtualTime

namespace TimePlatform {

int64_t CounterFrequency() { return Frequency; }

int64_t CounterValue() {
    Headless::Trace("clock");
    return now;
}

uint32_t TickCount() { return static_cast<uint32_t>(now / 1000); }

void Sleep(uint32_t milliseconds) {
    if (milliseconds == 0) {
        now += 50;
        return;
    }
    now += static_cast<int64_t>(milliseconds) * 1000;
    Headless::Trace("sleep " + std::to_string(milliseconds));
}

void RaiseTimerResolution() {}

int64_t ProcessorMicros() { return 0; }

int64_t ReferenceMicros() { return now; }

const char* ReferenceName() { return "the virtual clock"; }

LocalTime Now() { return {2013, 12, 17, 14, 5, 9}; }

uint32_t ThreadId() { return 4242; }

}  // namespace TimePlatform
