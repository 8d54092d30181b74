#include <errno.h>
#include <sched.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include "support/time/time_platform.h"

namespace {

int64_t MonotonicNanoseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace

namespace TimePlatform {

int64_t CounterFrequency() { return 1000000000; }

int64_t CounterValue() { return MonotonicNanoseconds(); }

uint32_t TickCount() { return static_cast<uint32_t>(MonotonicNanoseconds() / 1000000); }

void Sleep(uint32_t milliseconds) {
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    // An absolute deadline, so that a signal in between does not stretch the delay.
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += milliseconds / 1000;
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000;
    if (deadline.tv_nsec >= 1000000000) {
        deadline.tv_nsec -= 1000000000;
        ++deadline.tv_sec;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

// The kernel lets a sleeping thread wake up to 50 us late by default, to
// batch wake-ups; a 1 ns slack keeps short delays precise.
void RaiseTimerResolution() { prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); }

int64_t ProcessorMicros() {
    timespec used;
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used) != 0) return 0;
    return static_cast<int64_t>(used.tv_sec) * 1000000 + used.tv_nsec / 1000;
}

// The oscillator as it runs: the time service slews the counter's clock
// (CLOCK_MONOTONIC), never this one.
int64_t ReferenceMicros() {
    timespec now;
    if (clock_gettime(CLOCK_MONOTONIC_RAW, &now) != 0) return 0;
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

const char* ReferenceName() { return "CLOCK_MONOTONIC_RAW"; }

LocalTime Now() {
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
}

uint32_t ThreadId() { return static_cast<uint32_t>(gettid()); }

}  // namespace TimePlatform
