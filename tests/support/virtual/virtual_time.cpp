// The operating system's clock replaced by a counter that only sleeps,
// yields and retrace waits move.
#include "tests/support/virtual_time.h"

#include <string>

#include "display/backends/headless/headless.h"

namespace {

constexpr TimePlatform::LocalTime DefaultLocalTime{2013, 12, 17, 14, 5, 9};

struct VirtualClock {
    int64_t now = 1000000000;
    int32_t retraceHz = 60;
    int64_t yieldMicros = 50;
    TimePlatform::LocalTime localTime = DefaultLocalTime;
    bool tracing = true;
    int64_t sleeps = 0;
};

VirtualClock& Clock() {
    static VirtualClock clock;
    return clock;
}

}  // namespace

namespace VirtualTime {

void Reset(int64_t startMicros) {
    Clock() = VirtualClock{};
    Clock().now = startMicros;
}

int64_t NowMicros() { return Clock().now; }

void Advance(int64_t micros) {
    if (micros > 0) Clock().now += micros;
}

void AdvanceToNextRetrace() {
    VirtualClock& c = Clock();
    int64_t hz = c.retraceHz > 0 ? c.retraceHz : 60;
    // Retrace k happens at ceil(k / hz seconds); move strictly past now.
    int64_t k = c.now * hz / Frequency + 1;
    int64_t at = (k * Frequency + hz - 1) / hz;
    if (at <= c.now) at = ((k + 1) * Frequency + hz - 1) / hz;
    c.now = at;
}

void SetRetraceHz(int32_t hz) { Clock().retraceHz = hz; }
void SetYieldMicros(int64_t micros) { Clock().yieldMicros = micros; }
void SetLocalTime(const TimePlatform::LocalTime& now) { Clock().localTime = now; }
void SetTracing(bool on) { Clock().tracing = on; }
int64_t SleepCount() { return Clock().sleeps; }

}  // namespace VirtualTime

namespace TimePlatform {

int64_t CounterFrequency() { return VirtualTime::Frequency; }

int64_t CounterValue() {
    if (Clock().tracing) Headless::Trace("clock");
    return Clock().now;
}

uint32_t TickCount() { return static_cast<uint32_t>(Clock().now / 1000); }

void Sleep(uint32_t milliseconds) {
    VirtualClock& c = Clock();
    ++c.sleeps;
    if (milliseconds == 0) {
        c.now += c.yieldMicros;
        return;
    }
    c.now += static_cast<int64_t>(milliseconds) * 1000;
    if (c.tracing) Headless::Trace("sleep " + std::to_string(milliseconds));
}

void RaiseTimerResolution() {}

LocalTime Now() { return Clock().localTime; }

uint32_t ThreadId() { return 4242; }

}  // namespace TimePlatform
