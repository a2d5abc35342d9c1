#include "platform/VDX_unit_Time.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace vdx {
namespace {

constexpr TFileTime kUnixEpochFileTime = 116444736000000000LL;

// Runs each test in a fixed time zone and restores the previous one after.
class TimeZoneTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        m_hadTz = tz != nullptr;
        if (tz)
            m_oldTz = tz;
    }
    void TearDown() override {
        if (m_hadTz)
            ::setenv("TZ", m_oldTz.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    static void Zone(const char* tz) {
        ::setenv("TZ", tz, 1);
        ::tzset();
    }

private:
    bool m_hadTz = false;
    std::string m_oldTz;
};

TCalendarTime Cal(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    TCalendarTime c;
    c.year = y;
    c.month = mo;
    c.day = d;
    c.hour = h;
    c.minute = mi;
    c.second = s;
    c.milliseconds = ms;
    return c;
}

void ExpectSameCalendar(const TCalendarTime& a, const TCalendarTime& b) {
    EXPECT_EQ(a.year, b.year);
    EXPECT_EQ(a.month, b.month);
    EXPECT_EQ(a.day, b.day);
    EXPECT_EQ(a.hour, b.hour);
    EXPECT_EQ(a.minute, b.minute);
    EXPECT_EQ(a.second, b.second);
    EXPECT_EQ(a.milliseconds, b.milliseconds);
}

TEST(FileTime, ConvertsToAndFromTimespec) {
    const struct {
        std::int64_t sec;
        long nsec;
        TFileTime ft;
    } cases[] = {
        {0, 0, kUnixEpochFileTime},
        {1, 123456789, kUnixEpochFileTime + 10000000 + 1234567},
        {-kUnixEpochOffsetSeconds, 0, 0},
        {-kUnixEpochOffsetSeconds - 1, 999999900, -1},
    };
    for (const auto& c : cases) {
        timespec ts{};
        ts.tv_sec = c.sec;
        ts.tv_nsec = c.nsec;
        EXPECT_EQ(FileTimeFromTimespec(ts), c.ft) << c.sec;
        const timespec back = TimespecFromFileTime(c.ft);
        EXPECT_EQ(back.tv_sec, c.sec);
        EXPECT_EQ(back.tv_nsec, c.nsec / 100 * 100);
    }
    timespec far{};
    far.tv_sec = std::numeric_limits<time_t>::max();
    EXPECT_EQ(FileTimeFromTimespec(far), std::numeric_limits<TFileTime>::max());
}

TEST(DateTime, ConvertsToCalendarAsDelphiDoes) {
    const double t140709 = (14 * 3600 + 7 * 60 + 9) / 86400.0;
    const struct {
        double dateTime;
        TCalendarTime cal;
        int dayOfWeek;
    } cases[] = {
        {0.0, Cal(1899, 12, 30), 6},
        {1.5, Cal(1899, 12, 31, 12), 0},
        {-1.25, Cal(1899, 12, 29, 6), 5},
        {-0.5, Cal(1899, 12, 30, 12), 6},
        {25569.0, Cal(1970, 1, 1), 4},
        {43529 + t140709, Cal(2019, 3, 5, 14, 7, 9), 2},
        {43529 + t140709 + 0.123 / 86400, Cal(2019, 3, 5, 14, 7, 9, 123), 2},
        {36585.0, Cal(2000, 2, 29), 2},
        {-693593.0, Cal(1, 1, 1), 1},
        {2958465 + 0.9999999, Cal(9999, 12, 31, 23, 59, 59, 991), 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dateTime);
        TCalendarTime got;
        ASSERT_TRUE(DateTimeToCalendar(c.dateTime, got));
        ExpectSameCalendar(got, c.cal);
        EXPECT_EQ(got.dayOfWeek, c.dayOfWeek);
        if (c.cal.milliseconds == 0 || c.cal.year != 9999) {
            TCalendarTime back;
            ASSERT_TRUE(DateTimeToCalendar(CalendarToDateTime(c.cal), back));
            ExpectSameCalendar(back, c.cal);
        }
    }
    TCalendarTime unused;
    for (const double bad : {2958466.0, -693594.0, std::nan(""), HUGE_VAL, 1e300})
        EXPECT_FALSE(DateTimeToCalendar(bad, unused)) << bad;
}

TEST(DateTime, CalendarRoundTripKeepsEveryMillisecond) {
    for (int ms = 0; ms < 86400000; ms += 997) {
        for (const int year : {1899, 1950, 2024}) {
            const TCalendarTime c =
                Cal(year, 6, 15, ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
            TCalendarTime back;
            ASSERT_TRUE(DateTimeToCalendar(CalendarToDateTime(c), back));
            ASSERT_EQ(back.hour * 3600000 + back.minute * 60000 + back.second * 1000 +
                          back.milliseconds,
                      ms)
                << year;
            ASSERT_EQ(back.day, 15);
        }
    }
}

TEST_F(TimeZoneTest, LocalConversionsFollowTheTimeZone) {
    // 2019-03-05 13:07:09.123 UTC and 2019-07-01 10:00:00 UTC.
    const TFileTime winter = kUnixEpochFileTime + 1551791229LL * 10000000 + 1230000;
    const TFileTime summer = kUnixEpochFileTime + 1561975200LL * 10000000;
    const struct {
        const char* tz;
        TFileTime ft;
        TCalendarTime local;
    } cases[] = {
        {"UTC0", winter, Cal(2019, 3, 5, 13, 7, 9, 123)},
        {"CET-1CEST,M3.5.0,M10.5.0/3", winter, Cal(2019, 3, 5, 14, 7, 9, 123)},
        {"CET-1CEST,M3.5.0,M10.5.0/3", summer, Cal(2019, 7, 1, 12)},
        {"EST5EDT,M3.2.0,M11.1.0", summer, Cal(2019, 7, 1, 6)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tz);
        Zone(c.tz);
        TCalendarTime local;
        ASSERT_TRUE(FileTimeToLocalCalendar(c.ft, local));
        ExpectSameCalendar(local, c.local);
        TFileTime back = 0;
        ASSERT_TRUE(LocalCalendarToFileTime(c.local, back));
        EXPECT_EQ(back, c.ft / 10000 * 10000);

        double dateTime = 0;
        ASSERT_TRUE(FileTimeToLocalDateTime(c.ft, dateTime));
        TCalendarTime fromDateTime;
        ASSERT_TRUE(DateTimeToCalendar(dateTime, fromDateTime));
        ExpectSameCalendar(fromDateTime, c.local);
        ASSERT_TRUE(LocalDateTimeToFileTime(dateTime, back));
        EXPECT_EQ(back, c.ft / 10000 * 10000);
    }
}

TEST_F(TimeZoneTest, RejectsWhatCannotBeConverted) {
    Zone("UTC0");
    TCalendarTime local;
    EXPECT_FALSE(FileTimeToLocalCalendar(-1, local));
    ASSERT_TRUE(FileTimeToLocalCalendar(0, local));
    ExpectSameCalendar(local, Cal(1601, 1, 1));

    TFileTime ft = 0;
    for (const TCalendarTime& bad :
         {Cal(2019, 13, 1), Cal(2019, 2, 29), Cal(2019, 1, 1, 24), Cal(2019, 1, 1, 0, 60),
          Cal(2019, 1, 1, 0, 0, 0, 1000), Cal(1600, 12, 31, 23, 59, 59)})
        EXPECT_FALSE(LocalCalendarToFileTime(bad, ft)) << bad.year << "-" << bad.month;
    EXPECT_TRUE(LocalCalendarToFileTime(Cal(2020, 2, 29), ft));
    // The second before 1970 is the one mktime reports as -1.
    ASSERT_TRUE(LocalCalendarToFileTime(Cal(1969, 12, 31, 23, 59, 59), ft));
    EXPECT_EQ(ft, kUnixEpochFileTime - 10000000);
}

TEST_F(TimeZoneTest, NowAgreesInEveryForm) {
    Zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const std::uint64_t tick = TickCountMs();
    const TFileTime nowFt = NowFileTime();
    const double nowDt = NowDateTime();
    double fromFt = 0;
    ASSERT_TRUE(FileTimeToLocalDateTime(nowFt, fromFt));
    EXPECT_NEAR(nowDt, fromFt, 60.0 / 86400);
    EXPECT_GE(TickCountMs(), tick);
}

} // namespace
} // namespace vdx
