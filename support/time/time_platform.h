// What the clock module needs from the operating system. One implementation
// per platform (time_platform_posix.cpp, time_platform_win32.cpp); tests may
// link a virtual clock instead.
#pragma once
#include <cstdint>

namespace TimePlatform {
// Ticks per second of the monotonic counter; 0 when there is none.
int64_t CounterFrequency();
int64_t CounterValue();
// Milliseconds since system start, 32 bits.
uint32_t TickCount();
// 0 yields; otherwise suspends for about that many milliseconds.
void Sleep(uint32_t milliseconds);
void RaiseTimerResolution();
// Processor time (user and system) used by the process.
int64_t ProcessorMicros();
// A second clock, not the counter, to measure the counter's drift against:
// microseconds from an arbitrary origin, and what it is, for reports.
int64_t ReferenceMicros();
const char* ReferenceName();
struct LocalTime {
    int32_t year, month, day, hour, minute, second;
};
LocalTime Now();
uint32_t ThreadId();
}  // namespace TimePlatform
