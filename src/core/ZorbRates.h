// Currency rates kept on the operations: every operation row carries the
// rate of its account's currency on its date. These routines read and write
// those rates for the accounts of one currency, one date at a time, by hand
// or from a text file of "date; rate" lines.
#pragma once

#include "platform/rtl/DateTime.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace zorbel {

class TDm;

// A rate for one date.
struct TDayRate {
    TDateTime Date = 0;
    double Rate = 0;
};

// Reads a rate typed or imported as text: either decimal separator, blanks
// around. False unless it reads as a finite number above 0 (operations divide
// by their rate).
bool ReadRate(const QString &Text, double &Rate);

// The identifiers of the accounts in Currency (bound, so any name is safe).
std::vector<int> CurrencyAccounts(TDm &dm, const QString &Currency);
// "N счёт ", "N счёта " or "N счетов ": the rates window's account count.
QString AccountCountText(int Count);

// Writes Rate to every operation of the accounts Ids on Date; returns the
// number of operations changed.
int SetDayRate(TDm &dm, const std::vector<int> &Ids, TDateTime Date, double Rate);

// Reads one line of a rates text file: a date in the short date format, a
// separator that is not a letter, anything, and the rate at the end. False
// for lines to skip: empty, dates only, headers beginning with a word, a rate
// ending in a letter, an unreadable date or a rate that is not above 0.
bool ParseRateLine(const QString &Line, TDayRate &Day);

// Applies the rates of Days to the dates on which the accounts Ids have
// operations, all in one transaction; returns the number of dates changed
// (0 when nothing was changed or the transaction failed and was rolled back).
int ApplyRates(TDm &dm, const std::vector<int> &Ids, const std::vector<TDayRate> &Days);

// Reads a rates text file (UTF-8, or Windows-1251 when not valid UTF-8) and
// applies its readable lines; returns the number of dates changed. Error is
// set when the file cannot be read.
int ImportRatesText(TDm &dm, const std::vector<int> &Ids, const QString &FileName, QString &Error);

// Reads a dBASE table whose first field is a date (or date-time) and whose
// last field is a number (numeric, float, double or currency) and applies
// its records' rates; returns the number of dates changed. Blank dates, rates
// not above 0 and deleted records are skipped. A damaged file or one of
// another layout imports nothing and sets Error.
int ImportRatesDbf(TDm &dm, const std::vector<int> &Ids, const QString &FileName, QString &Error);

} // namespace zorbel
