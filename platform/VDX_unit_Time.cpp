#include "platform/VDX_unit_Time.h"

#include <cmath>
#include <limits>

namespace vdx {

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr std::int64_t kDateTimeEpochDays = -25569; // 1899-12-30 in days since 1970-01-01
// The date-time range of the calendar: 0001-01-01 .. 9999-12-31.
constexpr std::int64_t kMinDateTimeDay = -693593;
constexpr std::int64_t kMaxDateTimeDay = 2958465;

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

bool IsValidCalendar(const TCalendarTime& c) {
    return c.year >= 1 && c.year <= 9999 && c.month >= 1 && c.month <= 12 && c.day >= 1 &&
           c.day <= DaysInMonth(c.year, c.month) && c.hour >= 0 && c.hour <= 23 && c.minute >= 0 &&
           c.minute <= 59 && c.second >= 0 && c.second <= 59 && c.milliseconds >= 0 &&
           c.milliseconds <= 999;
}

} // namespace

TFileTime FileTimeFromTimespec(const timespec& ts) {
    constexpr std::int64_t kMaxSeconds =
        std::numeric_limits<std::int64_t>::max() / kTicksPerSecond - kUnixEpochOffsetSeconds - 1;
    constexpr std::int64_t kMinSeconds =
        std::numeric_limits<std::int64_t>::min() / kTicksPerSecond - kUnixEpochOffsetSeconds + 1;
    // Times beyond the range of a file time saturate instead of wrapping.
    if (ts.tv_sec > kMaxSeconds)
        return std::numeric_limits<TFileTime>::max();
    if (ts.tv_sec < kMinSeconds)
        return std::numeric_limits<TFileTime>::min();
    return (static_cast<std::int64_t>(ts.tv_sec) + kUnixEpochOffsetSeconds) * kTicksPerSecond +
           ts.tv_nsec / 100;
}

timespec TimespecFromFileTime(TFileTime ft) {
    std::int64_t seconds = ft / kTicksPerSecond;
    std::int64_t ticks = ft % kTicksPerSecond;
    if (ticks < 0) {
        ticks += kTicksPerSecond;
        --seconds;
    }
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(seconds - kUnixEpochOffsetSeconds);
    ts.tv_nsec = static_cast<long>(ticks * 100);
    return ts;
}

bool FileTimeToLocalCalendar(TFileTime ft, TCalendarTime& out) {
    // A file time is unsigned on the system that defined it; a negative one
    // is invalid there too.
    if (ft < 0)
        return false;
    const timespec ts = TimespecFromFileTime(ft);
    struct tm tm {};
    if (!::localtime_r(&ts.tv_sec, &tm))
        return false;
    out.year = tm.tm_year + 1900;
    out.month = tm.tm_mon + 1;
    out.day = tm.tm_mday;
    out.hour = tm.tm_hour;
    out.minute = tm.tm_min;
    // A leap second shows as the last second of its minute.
    out.second = tm.tm_sec > 59 ? 59 : tm.tm_sec;
    out.milliseconds = static_cast<int>(ts.tv_nsec / 1'000'000);
    out.dayOfWeek = tm.tm_wday;
    return true;
}

bool LocalCalendarToFileTime(const TCalendarTime& local, TFileTime& out) {
    if (!IsValidCalendar(local))
        return false;
    struct tm tm {};
    tm.tm_year = local.year - 1900;
    tm.tm_mon = local.month - 1;
    tm.tm_mday = local.day;
    tm.tm_hour = local.hour;
    tm.tm_min = local.minute;
    tm.tm_sec = local.second;
    tm.tm_isdst = -1;
    // mktime returns -1 both on failure and for one valid second; a failed
    // call leaves tm_wday untouched.
    tm.tm_wday = -1;
    const time_t t = ::mktime(&tm);
    if (t == static_cast<time_t>(-1) && tm.tm_wday == -1)
        return false;
    timespec ts{};
    ts.tv_sec = t;
    ts.tv_nsec = static_cast<long>(local.milliseconds) * 1'000'000;
    const TFileTime ft = FileTimeFromTimespec(ts);
    if (ft < 0)
        return false;
    out = ft;
    return true;
}

bool DateTimeToCalendar(double dateTime, TCalendarTime& out) {
    if (!std::isfinite(dateTime))
        return false;
    const double msTotal = std::round(dateTime * static_cast<double>(kMsPerDay));
    if (std::fabs(msTotal) > static_cast<double>((kMaxDateTimeDay + 1) * kMsPerDay) * 2)
        return false;
    const auto ms = static_cast<std::int64_t>(msTotal);
    // The integer part is the day (counting toward zero) and the fraction's
    // absolute value is the time of day, also for days before 1899-12-30.
    const std::int64_t days = ms / kMsPerDay;
    std::int64_t time = ms % kMsPerDay;
    if (time < 0)
        time = -time;
    if (days < kMinDateTimeDay || days > kMaxDateTimeDay)
        return false;
    const std::int64_t unixDays = days + kDateTimeEpochDays;
    CivilFromDays(unixDays, out.year, out.month, out.day);
    out.hour = static_cast<int>(time / 3'600'000);
    out.minute = static_cast<int>(time / 60'000 % 60);
    out.second = static_cast<int>(time / 1000 % 60);
    out.milliseconds = static_cast<int>(time % 1000);
    // 1970-01-01 was a Thursday.
    out.dayOfWeek = static_cast<int>(((unixDays + 4) % 7 + 7) % 7);
    return true;
}

double CalendarToDateTime(const TCalendarTime& c) {
    const std::int64_t days = DaysFromCivil(c.year, c.month, c.day) - kDateTimeEpochDays;
    const double time =
        static_cast<double>(((static_cast<std::int64_t>(c.hour) * 60 + c.minute) * 60 + c.second) *
                                1000 +
                            c.milliseconds) /
        static_cast<double>(kMsPerDay);
    return days < 0 ? static_cast<double>(days) - time : static_cast<double>(days) + time;
}

bool FileTimeToLocalDateTime(TFileTime ft, double& out) {
    TCalendarTime c;
    if (!FileTimeToLocalCalendar(ft, c) || !IsValidCalendar(c))
        return false;
    out = CalendarToDateTime(c);
    return true;
}

bool LocalDateTimeToFileTime(double dateTime, TFileTime& out) {
    TCalendarTime c;
    if (!DateTimeToCalendar(dateTime, c))
        return false;
    return LocalCalendarToFileTime(c, out);
}

double NowDateTime() {
    double out = 0;
    FileTimeToLocalDateTime(NowFileTime(), out);
    return out;
}

TFileTime NowFileTime() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return FileTimeFromTimespec(ts);
}

std::uint64_t TickCountMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
           static_cast<std::uint64_t>(ts.tv_nsec) / 1'000'000u;
}

} // namespace vdx
