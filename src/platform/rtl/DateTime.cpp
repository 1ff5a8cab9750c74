// Calendar arithmetic on day serials. Dates are counted in the proleptic
// Gregorian calendar from 1 January 0001; the serial used everywhere else is
// that count minus DateDelta. Times are rounded to whole milliseconds.
#include "platform/rtl/DateTime.h"

#include "platform/rtl/Exceptions.h"
#include "platform/system/SysEnv.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

namespace zorbel {

namespace {

// Days of each month in a common year, January first.
constexpr int MonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Days from 1 January 0001 (day 1) to the given valid date.
int DayNumber(int year, int month, int day)
{
    for (int m = 1; m < month; ++m)
        day += DaysInAMonth(year, m);
    const int y = year - 1;
    return y * 365 + y / 4 - y / 100 + y / 400 + day;
}

// Days since 1 January 0001 (day 1) back to a date; false outside 1..9999.
bool DayNumberToDate(int number, int &year, int &month, int &day)
{
    if (number <= 0 || number > DayNumber(9999, 12, 31))
        return false;
    constexpr int D1 = 365, D4 = D1 * 4 + 1, D100 = D4 * 25 - 1, D400 = D100 * 4 + 1;
    int t = number - 1;
    int y = 1;
    y += (t / D400) * 400;
    t %= D400;
    int i = t / D100;
    if (i == 4) // the last day of a 400-year cycle
        i = 3;
    y += i * 100;
    t -= i * D100;
    y += (t / D4) * 4;
    t %= D4;
    i = t / D1;
    if (i == 4) // 31 December of a leap year
        i = 3;
    y += i;
    t -= i * D1;
    int m = 1;
    while (t >= DaysInAMonth(y, m)) {
        t -= DaysInAMonth(y, m);
        ++m;
    }
    year = y;
    month = m;
    day = t + 1;
    return true;
}

TDateTime CurrentTimeStamp(bool withDate, bool withTime)
{
    const QDateTime now = TSysEnv::CurrentTime();
    const QDate d = now.date();
    const QTime t = now.time();
    TDateTime result = 0;
    if (withDate)
        result = EncodeDate(d.year(), d.month(), d.day());
    if (withTime)
        result += EncodeTime(t.hour(), t.minute(), t.second(), t.msec());
    return result;
}

} // namespace

bool IsLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInAMonth(int year, int month)
{
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeapYear(year) ? 29 : MonthDays[month - 1];
}

int DaysInMonth(TDateTime date)
{
    int y, m, d;
    DecodeDate(date, y, m, d);
    return DaysInAMonth(y, m);
}

bool TryEncodeDate(int year, int month, int day, TDateTime &result)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInAMonth(year, month))
        return false;
    result = DayNumber(year, month, day) - DateDelta;
    return true;
}

TDateTime EncodeDate(int year, int month, int day)
{
    TDateTime result;
    if (!TryEncodeDate(year, month, day, result))
        throw EConvertError(QStringLiteral("Недопустимая дата"));
    return result;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime &result)
{
    if (hour < 0 || hour >= 24 || min < 0 || min >= 60 || sec < 0 || sec >= 60 || msec < 0 || msec >= 1000)
        return false;
    result = (hour * 3600000.0 + min * 60000.0 + sec * 1000.0 + msec) / MSecsPerDay;
    return true;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec)
{
    TDateTime result;
    if (!TryEncodeTime(hour, min, sec, msec, result))
        throw EConvertError(QStringLiteral("Недопустимое время"));
    return result;
}

TTimeStamp DateTimeToTimeStamp(TDateTime value)
{
    // Beyond this range the serial cannot be a date of years 1..9999; clamping
    // keeps the integer arithmetic defined for sentinels and garbage.
    if (!(value > -800000.0 && value < 3000000.0))
        return {0, value > 0 ? 4000000 : -4000000};
    const int64_t ms = std::llrint(static_cast<long double>(value) * MSecsPerDay); // ties to even
    const auto days = ms / MSecsPerDay; // towards zero
    const auto time = (ms < 0 ? -ms : ms) % MSecsPerDay;
    return {static_cast<int>(time), static_cast<int>(days + DateDelta)};
}

TDateTime TimeStampToDateTime(const TTimeStamp &stamp)
{
    const double days = stamp.Date - DateDelta;
    const double time = static_cast<double>(stamp.Time) / MSecsPerDay;
    return days < 0 ? days - time : days + time;
}

double TimeStampToMSecs(const TTimeStamp &stamp)
{
    return static_cast<double>(stamp.Date) * MSecsPerDay + stamp.Time;
}

TTimeStamp MSecsToTimeStamp(double msecs)
{
    if (!(msecs >= 0 && msecs < 1e15)) // beyond year 9999 or garbage
        return {0, 0};
    const auto ms = static_cast<int64_t>(msecs);
    return {static_cast<int>(ms % MSecsPerDay), static_cast<int>(ms / MSecsPerDay)};
}

bool DecodeDate(TDateTime date, int &year, int &month, int &day)
{
    if (!DayNumberToDate(DateTimeToTimeStamp(date).Date, year, month, day)) {
        year = month = day = 0;
        return false;
    }
    return true;
}

void DecodeTime(TDateTime time, int &hour, int &min, int &sec, int &msec)
{
    int ms = DateTimeToTimeStamp(time).Time;
    hour = ms / 3600000;
    ms %= 3600000;
    min = ms / 60000;
    ms %= 60000;
    sec = ms / 1000;
    msec = ms % 1000;
}

TDateTime Date() { return CurrentTimeStamp(true, false); }
TDateTime Now() { return CurrentTimeStamp(true, true); }
TDateTime Time() { return CurrentTimeStamp(false, true); }

TDateTime DateOf(TDateTime value) { return std::trunc(value); }

TDateTime TimeOf(TDateTime value) { return std::fabs(value - std::trunc(value)); }

TDateTime IncMonth(TDateTime date, int months)
{
    int y, m, d;
    if (!DecodeDate(date, y, m, d))
        throw EConvertError(QStringLiteral("Недопустимая дата"));
    const int64_t total = int64_t(y) * 12 + (m - 1) + months;
    if (total < 12 || total >= 10000 * 12) // outside years 1..9999
        throw EConvertError(QStringLiteral("Недопустимая дата"));
    y = static_cast<int>(total / 12);
    m = static_cast<int>(total % 12) + 1;
    d = std::min(d, DaysInAMonth(y, m));
    const TDateTime day = EncodeDate(y, m, d);
    const TDateTime time = TimeOf(date);
    return day >= 0 ? day + time : day - time;
}

int DayOfWeek(TDateTime date)
{
    const int day = DateTimeToTimeStamp(date).Date;
    return (day % 7 + 7) % 7 + 1;
}

} // namespace zorbel
