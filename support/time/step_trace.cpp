#include "support/time/step_trace.h"

#if defined(WORDTAP_STEP_TRACE)
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

struct Entry {
    int64_t nanos;
    int64_t value;
    int32_t step;
};

// A bench run of a few hundred trials marks some tens of thousands of steps;
// what does not fit is dropped rather than grown into inside a trial.
constexpr int32_t Capacity = 1 << 18;
Entry entries[Capacity];
int32_t used;
bool dumpRegistered;
// A spinning wait takes a key snapshot every few microseconds: only the
// snapshots that differ from the one before are kept.
int64_t lastSnapshot = -1;

// Steady clock nanoseconds: CLOCK_MONOTONIC, the probe's clock.
int64_t NowNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Dump() {
    const char* path = std::getenv("WORDTAP_STEP_TRACE");
    if (!path || !*path) return;
    FILE* out = std::fopen(path, "w");
    if (!out) return;
    for (int32_t i = 0; i < used; i++)
        std::fprintf(out, "%d %lld %lld\n", entries[i].step,
                     static_cast<long long>(entries[i].nanos),
                     static_cast<long long>(entries[i].value));
    std::fclose(out);
}

}  // namespace

namespace StepTrace {

void Mark(Step step, int64_t value) {
    const int64_t now = NowNanos();
    // The first mark comes at start-up, long before any timed interval.
    if (step == SnapshotPumped) {
        if (value == lastSnapshot) return;
        lastSnapshot = value;
    }
    if (!dumpRegistered) {
        dumpRegistered = true;
        std::atexit(Dump);
    }
    if (used < Capacity) entries[used++] = Entry{now, value, step};
}

}  // namespace StepTrace
#endif
