// Millisecond clock, delays and local date/time stamps.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Seconds from 1970-01-01 00:00:00 of wall-clock fields read as UTC;
// valid up to 2038-01-18 23:59:59 (2147471999); -1 is invalid.
using Timestamp = int32_t;
constexpr Timestamp InvalidTimestamp = -1;

// Milliseconds from an arbitrary origin; subtract in unsigned 32-bit.
uint32_t MillisecondClock();
// The high-resolution counter behind the clock, in milliseconds at its full
// resolution (0 without one), and its ticks per second.
double CounterMilliseconds();
int64_t CounterFrequency();
// The system's tick count in milliseconds, as coarse as the system keeps it
// (up to 16 ms): for time-outs, never for a reaction time.
uint32_t TickMilliseconds();
// Processor time used by the process so far, in milliseconds.
double ProcessorMilliseconds();
// A clock apart from the counter, in milliseconds, to measure its drift.
double ReferenceMilliseconds();
const char* ReferenceClockName();
// 0 yields the rest of the time slice. The first call raises the system
// timer resolution to 1 ms where the platform has such a setting.
void SleepMs(uint32_t milliseconds);

Timestamp CurrentTimestamp();
Timestamp MakeTimestamp(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                        int32_t second);
// Fields by UTC rules; 0 for any negative value.
int32_t TimestampYear(Timestamp value);
int32_t TimestampMonth(Timestamp value);
int32_t TimestampDay(Timestamp value);
int32_t TimestampHour(Timestamp value);
int32_t TimestampMinute(Timestamp value);
int32_t TimestampSecond(Timestamp value);
// Tokens after "%" (any letter case): yyyy yy mm dd hh ii ss.
std::string FormatTimestamp(std::string_view mask, Timestamp value);
