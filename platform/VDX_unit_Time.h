#pragma once
// Time in the program's three forms: file times (100 ns ticks since
// 1601-01-01 UTC), calendar times (broken down, local or UTC) and date-times
// (days since 1899-12-30 in local time, the fraction is the time of day).

#include <cstdint>
#include <ctime>

namespace vdx {

using TFileTime = std::int64_t;

// Seconds between 1601-01-01 and 1970-01-01.
inline constexpr std::int64_t kUnixEpochOffsetSeconds = 11644473600LL;

struct TCalendarTime {
    int year = 0;   // four digits
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0; // 0..59
    int second = 0; // 0..59
    int milliseconds = 0;
    int dayOfWeek = 0; // 0 Sunday .. 6 Saturday
};

TFileTime FileTimeFromTimespec(const timespec& ts);
timespec TimespecFromFileTime(TFileTime ft);

// Local calendar time of a file time; false when it cannot be represented.
bool FileTimeToLocalCalendar(TFileTime ft, TCalendarTime& out);
// File time of a local calendar time; false when it is invalid.
bool LocalCalendarToFileTime(const TCalendarTime& local, TFileTime& out);

// Date-time <-> calendar time, without any time-zone shift.
bool DateTimeToCalendar(double dateTime, TCalendarTime& out);
double CalendarToDateTime(const TCalendarTime& c);

// The local date-time of a file time and back; false when not convertible.
bool FileTimeToLocalDateTime(TFileTime ft, double& out);
bool LocalDateTimeToFileTime(double dateTime, TFileTime& out);

// The current moment as a local date-time and as a file time.
double NowDateTime();
TFileTime NowFileTime();

// Milliseconds of a monotonic clock, for measuring durations.
std::uint64_t TickCountMs();

} // namespace vdx
