// Dates and times as the program computes with them: a TDateTime is a double
// counting days since 30 December 1899 (day 0); the fraction is the time of
// day. A negative value keeps its time as an absolute fraction, so -1.25 is
// 29 December 1899 06:00. Whole-day arithmetic (date + 1, date - 1) is plain
// addition; month stepping goes through IncMonth. Valid years are 1..9999.
#pragma once

#include <cstdint>

namespace zorbel {

using TDateTime = double;

constexpr int HoursPerDay = 24;
constexpr int MinsPerDay = HoursPerDay * 60;
constexpr int SecsPerDay = MinsPerDay * 60;
constexpr int MSecsPerDay = SecsPerDay * 1000;
// Days from 1 January 0001 (day 1) to 30 December 1899.
constexpr int DateDelta = 693594;

bool IsLeapYear(int year);
// Days of the month (1..12) in that year; 0 for an invalid month.
int DaysInAMonth(int year, int month);
// Days of the month that holds the date.
int DaysInMonth(TDateTime date);

// On return: result holds the date at midnight; false (result untouched)
// when year, month or day is out of range.
bool TryEncodeDate(int year, int month, int day, TDateTime &result);
// Raises EConvertError for an invalid date.
TDateTime EncodeDate(int year, int month, int day);
// Hour 0..23, min 0..59, sec 0..59, msec 0..999.
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime &result);
TDateTime EncodeTime(int hour, int min, int sec, int msec);

// A date outside 1..9999 decodes to year, month and day 0 (and returns false).
bool DecodeDate(TDateTime date, int &year, int &month, int &day);
void DecodeTime(TDateTime time, int &hour, int &min, int &sec, int &msec);

// Today at midnight, now and the current time of day, local time, to the
// millisecond.
TDateTime Date();
TDateTime Now();
TDateTime Time();

// The date part (towards zero) and the time-of-day part.
TDateTime DateOf(TDateTime value);
TDateTime TimeOf(TDateTime value);

// Moves the date by whole calendar months keeping the day, clamped to the
// last day of the target month (31 March - 1 month = 28/29 February); the
// time of day is kept.
TDateTime IncMonth(TDateTime date, int months = 1);
// 1 = Sunday .. 7 = Saturday.
int DayOfWeek(TDateTime date);

// The day number since 1 January 0001 (day 1) and the milliseconds since
// midnight of a date-time, rounded to the nearest millisecond.
struct TTimeStamp {
    int Time; // milliseconds since midnight
    int Date; // days since 1 January 0001, plus one
};
TTimeStamp DateTimeToTimeStamp(TDateTime value);
TDateTime TimeStampToDateTime(const TTimeStamp &stamp);
// Milliseconds since 1 January 0001 00:00 counted from day 1 (the stored
// form of date-time fields), and back.
double TimeStampToMSecs(const TTimeStamp &stamp);
TTimeStamp MSecsToTimeStamp(double msecs);

} // namespace zorbel
