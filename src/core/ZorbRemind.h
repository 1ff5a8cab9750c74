// Reminders: the near birthdays of people and their family members and the
// diary entries due today, gathered into the data module's memory table
// Tb_Rem. Window-free; the main window's reminder panel shows the table.
//
// The day window is decided here only. MakeReminderDays decodes the five days
// around today once; RemindedOn tells whether a (day, month) falls in the
// window, and both the reminder queries and the grid highlighting use it:
//   - a day that is the last of its month also takes the later days of that
//     month, so a birthday on 29 February is reminded on 28 February in a
//     common year (and on the 29th in a leap year), and a monthly diary entry
//     of the 29th, 30th or 31st comes on the last day of a shorter month.
//     Matching the day alone would let such a birthday pass unseen three
//     years in four and such an entry in every shorter month; taking 29
//     February as the 28th would remind the 28th's birthdays twice and miss
//     the 29th's on their own day.
//
// Tb_Rem, one row per reminder, in this order of fields:
//   Date_Rem     date          birth date, or the diary entry's Date_Remind
//   Rem          string(100)   the reminder text
//   id_person    smallint      person (kinds 1, 2) or the entry's person (3)
//   id_family    smallint      family member (kind 2)
//   Date_Create  date-time     the diary entry's key (kind 3)
//   Knd          word          1 person's birthday, 2 family member's, 3 diary
#pragma once

#include "platform/rtl/DateTime.h"

#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace zorbel {

class TDm;
class TDataSet;

// One day of the reminder days: its day and month, and the number of days of
// that month in that year (a later day of the month falls on the last one).
struct TDayMonth {
    uint16_t Day = 0;
    uint16_t Month = 0;
    uint16_t MonthDays = 31;
};

// The five reminder days: today, today+1, today+2, today-1, today-2.
using TReminderDays = std::array<TDayMonth, 5>;

TReminderDays MakeReminderDays(TDateTime Today);

// The days whose birthdays are listed: today, then today-1 (Day2 >= 1),
// today-2 (Day2 >= 2), today+1 (Day1 >= 1), today+2 (Day1 >= 2).
std::vector<TDayMonth> ReminderWindow(const TReminderDays &Days, int Day1, int Day2);

// True when the (Dy, Mn) of a row falls on one of the window's days.
bool RemindedOn(const std::vector<TDayMonth> &Window, int Dy, int Mn);

// True when a person or family member with the mark C and the birthday
// (Dy, Mn) is listed: C empty and the birthday in the window, or C equal to
// the non-empty RemFlag.
bool RemindedPerson(const std::vector<TDayMonth> &Window, const QString &C, const QString &RemFlag, int Dy, int Mn);

// What BuildReminders reads of the main window.
struct TReminderSettings {
    TReminderDays Days{};  // decoded once when the program started
    int Day1 = 0;          // days after today whose birthdays are listed
    int Day2 = 0;          // days before today whose birthdays are listed
    QString RemFlag;       // the mark that lists a row on every build
    TDateTime Today = 0;   // the date of this build (daily diary entries up to it)
};

struct TReminderCounts {
    int Persons = 0, Family = 0, Diary = 0;
    int Total() const { return Persons + Family + Diary; }
};

// The title of the text column: each count above 0 with its word.
QString ReminderTitle(const TReminderCounts &Counts);

// Rebuilds Dm.Tb_Rem: people, family members, then diary entries, each in the
// order of date and text. A source whose query fails is skipped; a row that
// fails to post is dropped. On return Tb_Rem is open on its first row when it
// holds rows, else closed.
TReminderCounts BuildReminders(TDm &Dm, const TReminderSettings &Settings);

} // namespace zorbel
