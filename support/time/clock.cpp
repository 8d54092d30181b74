#include "support/time/clock.h"

#include "support/time/step_trace.h"
#include "support/time/time_platform.h"
#include "support/text/conversions.h"

namespace {

struct ClockState {
    int32_t timerResolutionRaised;
    int64_t ticksPerMillisecond;
};
ClockState gClock;

constexpr int64_t kSecondsPerDay = 86400;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2;
    int64_t era = (year >= 0 ? year : year - 399) / 400;
    int64_t yearOfEra = year - era * 400;
    int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct Fields {
    int32_t year, month, day, hour, minute, second;
};

// Fields of a non-negative value by UTC rules; all zero for a negative one.
Fields Decompose(Timestamp value) {
    if (value < 0) return Fields{0, 0, 0, 0, 0, 0};
    int64_t days = value / kSecondsPerDay;
    int64_t rest = value % kSecondsPerDay;
    int64_t z = days + 719468;
    int64_t era = z / 146097;
    int64_t dayOfEra = z - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t mp = (5 * dayOfYear + 2) / 153;
    int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    int64_t month = mp < 10 ? mp + 3 : mp - 9;
    int64_t year = yearOfEra + era * 400 + (month <= 2);
    return Fields{static_cast<int32_t>(year),         static_cast<int32_t>(month),
                  static_cast<int32_t>(day),          static_cast<int32_t>(rest / 3600),
                  static_cast<int32_t>(rest / 60 % 60), static_cast<int32_t>(rest % 60)};
}

bool IsLeapYear(int32_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

void AppendTwoDigits(std::string& out, int32_t value) {
    if (value < 10) out += '0';
    out += std::to_string(value);
}

bool TokenAt(std::string_view mask, size_t at, std::string_view token) {
    return mask.size() - at >= token.size() &&
           EqualIgnoringAsciiCase(mask.substr(at, token.size()), token);
}

}  // namespace

uint32_t MillisecondClock() {
    if (gClock.ticksPerMillisecond == 0) {
        int64_t frequency = TimePlatform::CounterFrequency();
        if (frequency > 0) gClock.ticksPerMillisecond = frequency / 1000;
    }
    if (gClock.ticksPerMillisecond == 0) return TimePlatform::TickCount();
    const auto now =
        static_cast<uint32_t>(TimePlatform::CounterValue() / gClock.ticksPerMillisecond);
    StepTrace::Mark(StepTrace::ClockRead, now);
    return now;
}

uint32_t TickMilliseconds() { return TimePlatform::TickCount(); }

double CounterMilliseconds() {
    const int64_t frequency = TimePlatform::CounterFrequency();
    return frequency > 0 ? static_cast<double>(TimePlatform::CounterValue()) * 1000.0 /
                               static_cast<double>(frequency)
                         : 0.0;
}

int64_t CounterFrequency() { return TimePlatform::CounterFrequency(); }

double ProcessorMilliseconds() { return static_cast<double>(TimePlatform::ProcessorMicros()) / 1000.0; }

double ReferenceMilliseconds() { return static_cast<double>(TimePlatform::ReferenceMicros()) / 1000.0; }

const char* ReferenceClockName() { return TimePlatform::ReferenceName(); }

void SleepMs(uint32_t milliseconds) {
    if (!gClock.timerResolutionRaised) {
        TimePlatform::RaiseTimerResolution();
        gClock.timerResolutionRaised = 1;
    }
    TimePlatform::Sleep(milliseconds);
}

Timestamp CurrentTimestamp() {
    TimePlatform::LocalTime now = TimePlatform::Now();
    return MakeTimestamp(now.year, now.month, now.day, now.hour, now.minute, now.second);
}

Timestamp MakeTimestamp(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                        int32_t second) {
    if (year < 1970 || year > 2038) return InvalidTimestamp;
    if (year == 2038 && (month > 1 || day > 18)) return InvalidTimestamp;
    if (day == 31 && (month == 4 || month == 6 || month == 9 || month == 11)) return InvalidTimestamp;
    if (month == 2 && (day > 29 || (day == 29 && !IsLeapYear(year)))) return InvalidTimestamp;
    if (static_cast<uint32_t>(second) > 59 || static_cast<uint32_t>(minute) > 59 ||
        static_cast<uint32_t>(hour) > 23 || static_cast<uint32_t>(day - 1) > 30 ||
        static_cast<uint32_t>(month - 1) > 11)
        return InvalidTimestamp;
    int64_t seconds = DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
    return static_cast<Timestamp>(seconds);
}

int32_t TimestampYear(Timestamp value) { return Decompose(value).year; }
int32_t TimestampMonth(Timestamp value) { return Decompose(value).month; }
int32_t TimestampDay(Timestamp value) { return Decompose(value).day; }
int32_t TimestampHour(Timestamp value) { return Decompose(value).hour; }
int32_t TimestampMinute(Timestamp value) { return Decompose(value).minute; }
int32_t TimestampSecond(Timestamp value) { return Decompose(value).second; }

std::string FormatTimestamp(std::string_view mask, Timestamp value) {
    Fields fields = Decompose(value);
    std::string out;
    out.reserve(mask.size() + 8);
    for (size_t at = 0; at < mask.size();) {
        if (mask[at] != '%') {
            out += mask[at++];
            continue;
        }
        const size_t token = at + 1;
        if (TokenAt(mask, token, "yyyy")) {
            out += fields.year == 0 ? std::string("0000") : std::to_string(fields.year);
            at = token + 4;
            continue;
        }
        // The two-digit tokens, in the order they are tried.
        const struct {
            const char* name;
            int32_t value;
        } twoDigits[] = {{"yy", fields.year % 100}, {"mm", fields.month},  {"dd", fields.day},
                         {"hh", fields.hour},       {"ii", fields.minute}, {"ss", fields.second}};
        at = token;
        for (const auto& t : twoDigits) {
            if (TokenAt(mask, token, t.name)) {
                AppendTwoDigits(out, t.value);
                at = token + 2;
                break;
            }
        }
        // No token: the percent sign stands for itself.
        if (at == token) out += '%';
    }
    return out;
}
