// Day serials, calendar rules, times to the millisecond, and the clock through the system seam.
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Exceptions.h"
#include "support/FaultEnv.h"

#include <QDate>
#include <QDateTime>
#include <gtest/gtest.h>

using namespace zorbel;

namespace {

struct Ymd {
    int y, m, d;
};

Ymd Decode(TDateTime t)
{
    Ymd r{};
    DecodeDate(t, r.y, r.m, r.d);
    return r;
}

#define EXPECT_YMD(t, Y, M, D)                                                                     \
    do {                                                                                           \
        const Ymd r_ = Decode(t);                                                                  \
        EXPECT_EQ(r_.y, Y);                                                                        \
        EXPECT_EQ(r_.m, M);                                                                        \
        EXPECT_EQ(r_.d, D);                                                                        \
    } while (0)

} // namespace

TEST(DateTime, SerialsMatchTheRuntimeEpoch)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465);
}

TEST(DateTime, EveryDayOfFourHundredYearsRoundTripsAgainstQDate)
{
    // The Gregorian cycle from 1900 covers every leap-year rule.
    const QDate epoch(1899, 12, 30);
    for (int serial = EncodeDate(1900, 1, 1); serial <= EncodeDate(2300, 1, 1); ++serial) {
        const QDate q = epoch.addDays(serial);
        int y, m, d;
        ASSERT_TRUE(DecodeDate(serial, y, m, d));
        ASSERT_EQ(QDate(y, m, d), q) << serial;
        ASSERT_EQ(EncodeDate(q.year(), q.month(), q.day()), serial);
        ASSERT_EQ(DayOfWeek(serial), q.dayOfWeek() % 7 + 1) << serial; // 1 = Sunday
    }
}

TEST(DateTime, InvalidDatesAreRefused)
{
    TDateTime t = 7;
    EXPECT_FALSE(TryEncodeDate(2023, 2, 29, t));
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, t));
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29, t));
    EXPECT_FALSE(TryEncodeDate(2024, 13, 1, t));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, t));
    EXPECT_FALSE(TryEncodeDate(10000, 1, 1, t));
    EXPECT_FALSE(TryEncodeDate(2024, 4, 31, t));
    EXPECT_THROW(EncodeDate(2024, 0, 1), EConvertError);
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
    EXPECT_THROW(EncodeTime(0, 60, 0, 0), EConvertError);
}

TEST(DateTime, LeapYearsAndMonthLengths)
{
    EXPECT_TRUE(IsLeapYear(2024));
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_FALSE(IsLeapYear(2023));
    EXPECT_EQ(DaysInAMonth(2024, 2), 29);
    EXPECT_EQ(DaysInAMonth(2023, 2), 28);
    EXPECT_EQ(DaysInAMonth(2023, 12), 31);
    EXPECT_EQ(DaysInAMonth(2023, 4), 30);
    EXPECT_EQ(DaysInMonth(EncodeDate(2100, 2, 10)), 28);
}

TEST(DateTime, TimeOfDayToTheMillisecond)
{
    const TDateTime t = EncodeDate(2024, 3, 5) + EncodeTime(23, 59, 59, 999);
    int h, n, s, ms;
    DecodeTime(t, h, n, s, ms);
    EXPECT_EQ(h, 23);
    EXPECT_EQ(n, 59);
    EXPECT_EQ(s, 59);
    EXPECT_EQ(ms, 999);
    EXPECT_YMD(t, 2024, 3, 5);
    EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_DOUBLE_EQ(EncodeTime(6, 0, 0, 0), 0.25);
}

TEST(DateTime, NegativeSerialsKeepTheirTimeAsAbsoluteFraction)
{
    // -1.25 is 29 Dec 1899 06:00, not 28 Dec 18:00.
    EXPECT_YMD(-1.25, 1899, 12, 29);
    int h, n, s, ms;
    DecodeTime(-1.25, h, n, s, ms);
    EXPECT_EQ(h, 6);
    EXPECT_EQ(DateOf(-1.25), -1);
    EXPECT_DOUBLE_EQ(TimeOf(-1.25), 0.25);
    EXPECT_DOUBLE_EQ(IncMonth(-1.25, 1), EncodeDate(1900, 1, 29) + 0.25);
}

TEST(DateTime, SentinelsDecodeToZeroWithoutFailing)
{
    int y = 1, m = 1, d = 1;
    EXPECT_FALSE(DecodeDate(-1000000, y, m, d));
    EXPECT_EQ(y + m + d, 0);
    EXPECT_FALSE(DecodeDate(1e300, y, m, d));
    EXPECT_THROW(IncMonth(-1000000, 1), EConvertError);
}

TEST(DateTime, IncMonthClampsTheDayAcrossMonthEnds)
{
    EXPECT_YMD(IncMonth(EncodeDate(2024, 1, 31), 1), 2024, 2, 29);
    EXPECT_YMD(IncMonth(EncodeDate(2023, 1, 31), 1), 2023, 2, 28);
    EXPECT_YMD(IncMonth(EncodeDate(2024, 3, 31), -1), 2024, 2, 29);
    EXPECT_YMD(IncMonth(EncodeDate(2023, 3, 31), -1), 2023, 2, 28);
    EXPECT_YMD(IncMonth(EncodeDate(2024, 2, 29), 12), 2025, 2, 28);
    EXPECT_YMD(IncMonth(EncodeDate(2024, 2, 29), -48), 2020, 2, 29);
    EXPECT_YMD(IncMonth(EncodeDate(2024, 12, 15), 1), 2025, 1, 15);
    EXPECT_YMD(IncMonth(EncodeDate(2024, 1, 15), -1), 2023, 12, 15);
    EXPECT_YMD(IncMonth(EncodeDate(2024, 5, 31), -3), 2024, 2, 29);
    EXPECT_YMD(IncMonth(EncodeDate(2024, 10, 31), 1), 2024, 11, 30);
    EXPECT_YMD(IncMonth(EncodeDate(2024, 1, 1), -25), 2021, 12, 1);
    // The time of day stays.
    const TDateTime noon = EncodeDate(2024, 1, 31) + 0.5;
    EXPECT_DOUBLE_EQ(IncMonth(noon, 1), EncodeDate(2024, 2, 29) + 0.5);
    EXPECT_THROW(IncMonth(EncodeDate(9999, 12, 1), 1), EConvertError);
    EXPECT_THROW(IncMonth(EncodeDate(1, 1, 1), -1), EConvertError);
    EXPECT_THROW(IncMonth(EncodeDate(2024, 1, 1), INT32_MIN), EConvertError);
    EXPECT_THROW(IncMonth(EncodeDate(2024, 1, 1), INT32_MAX), EConvertError);
}

TEST(DateTime, NowIsTheLocalClockToTheMillisecond)
{
    const QDateTime before = QDateTime::currentDateTime();
    const TDateTime now = Now();
    const QDateTime after = QDateTime::currentDateTime();
    const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0));
    const auto toSerial = [&](const QDateTime &q) {
        return epoch.date().daysTo(q.date()) + q.time().msecsSinceStartOfDay() / double(MSecsPerDay);
    };
    EXPECT_GE(now, toSerial(before) - 1e-9);
    EXPECT_LE(now, toSerial(after) + 1e-9);
    EXPECT_EQ(Date(), DateOf(Date()));
    EXPECT_GE(Time(), 0);
    EXPECT_LT(Time(), 1);
}

TEST(DateTime, AFixedClockGivesTodayNowAndTimeOfItsMoment)
{
    test::TFaultEnv env;
    env.SetNow(QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59, 999)));
    TSysEnvScope scope(env);
    EXPECT_EQ(Date(), EncodeDate(2024, 2, 29));
    EXPECT_DOUBLE_EQ(Time(), EncodeTime(23, 59, 59, 999));
    EXPECT_DOUBLE_EQ(Now(), EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 59, 999));
    env.SetNow(QDateTime());
    EXPECT_GT(Date(), EncodeDate(2025, 1, 1)); // the real clock again
}

TEST(DateTime, TimeStampsCountMillisecondsFromYearOne)
{
    const TDateTime t = EncodeDate(2024, 3, 5) + EncodeTime(9, 7, 3, 45);
    const TTimeStamp stamp = DateTimeToTimeStamp(t);
    EXPECT_EQ(stamp.Date, DateDelta + 45356);
    EXPECT_EQ(stamp.Time, ((9 * 60 + 7) * 60 + 3) * 1000 + 45);
    const double ms = TimeStampToMSecs(stamp);
    EXPECT_EQ(ms, double(stamp.Date) * MSecsPerDay + stamp.Time);
    const TTimeStamp back = MSecsToTimeStamp(ms);
    EXPECT_EQ(back.Date, stamp.Date);
    EXPECT_EQ(back.Time, stamp.Time);
    EXPECT_DOUBLE_EQ(TimeStampToDateTime(back), t);
    EXPECT_EQ(DateTimeToTimeStamp(EncodeDate(1, 1, 1)).Date, 1);
    EXPECT_EQ(MSecsToTimeStamp(-5).Date, 0); // garbage does not wrap
}
