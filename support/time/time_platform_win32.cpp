// Windows clock over kernel32: the performance counter, the tick count, the
// local time and Sleep, whose granularity is the system timer's (15.6 ms by
// default) until winmm's timeBeginPeriod(1) asks for 1 ms.
#include "support/time/time_platform.h"

#include <windows.h>
#include <timeapi.h>

namespace TimePlatform {

int64_t CounterFrequency() {
    LARGE_INTEGER frequency;
    return QueryPerformanceFrequency(&frequency) ? frequency.QuadPart : 0;
}

int64_t CounterValue() {
    LARGE_INTEGER value;
    return QueryPerformanceCounter(&value) ? value.QuadPart : 0;
}

uint32_t TickCount() { return GetTickCount(); }

// Sleep(0) gives up the rest of the time slice, as the clock module expects.
void Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

// Never withdrawn: the request ends with the process.
void RaiseTimerResolution() { timeBeginPeriod(1); }

int64_t ProcessorMicros() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    // 100 ns units.
    const auto units = [](const FILETIME& t) {
        return (static_cast<int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return (units(kernel) + units(user)) / 10;
}

// The system time, kept by its own timer and the time service rather than
// the performance counter; the precise call from Windows 8 on.
int64_t ReferenceMicros() {
    using PreciseCall = void(WINAPI*)(FILETIME*);
    static const auto precise = reinterpret_cast<PreciseCall>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
    FILETIME now;
    if (precise)
        precise(&now);
    else
        GetSystemTimeAsFileTime(&now);
    return ((static_cast<int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10;
}

const char* ReferenceName() { return "the system time (GetSystemTimePreciseAsFileTime)"; }

LocalTime Now() {
    SYSTEMTIME local;
    GetLocalTime(&local);
    return LocalTime{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

uint32_t ThreadId() { return GetCurrentThreadId(); }

}  // namespace TimePlatform
