// Conversions between numbers, dates and text with the fixed Russian format
// settings (FormatSettings.h): integer and float text, the FormatFloat and
// FormatDateTime mask languages, date and time parsing in the short formats,
// and Format with printf-like directives. Failed strict conversions raise
// EConvertError; the Try forms return false instead and leave the output
// untouched.
#pragma once

#include "platform/rtl/DateTime.h"

#include <QString>
#include <cstdint>
#include <initializer_list>

namespace zorbel {

QString IntToStr(int64_t value);
// Decimal text: optional leading blanks, optional sign, digits; nothing else.
int StrToInt(const QString &text);
bool TryStrToInt(const QString &text, int &value);
int StrToIntDef(const QString &text, int defaultValue);
int64_t StrToInt64(const QString &text);
bool TryStrToInt64(const QString &text, int64_t &value);

// The shortest fixed text of at most 15 significant digits, or scientific
// ("1,5E-7", "1E20") when the value is below 0.0001 or has more than 15
// integer digits.
QString FloatToStr(double value);
// Strict: optional blanks around, sign, digits with the decimal separator,
// optional exponent "E[+-]digits". No thousands separators, no "inf", "nan"
// or hexadecimal, and the result must be finite.
double StrToFloat(const QString &text);
bool TryStrToFloat(const QString &text, double &value);
// A float rounded to four decimals (the Currency type) as the shortest text.
QString CurrToStr(double value);
// TryStrToFloat's grammar, the decimal text rounded to four decimals with
// ties to even (no double in between) and limited to the Currency range.
bool TryStrToCurr(const QString &text, double &value);
// The same text as a count of 1/10000 units.
bool TryStrToCurrUnits(const QString &text, int64_t &units);
double StrToCurr(const QString &text);

// Mask language: up to three sections "positive;negative;zero" (an absent or
// empty section uses the first one, an empty first section the general
// format; the negative section prints no sign of its own). In a section:
// "0" digit, "#" digit or nothing, "." decimal separator position, ","
// anywhere groups the integer part by thousands, "E+"/"E-"/"e+"/"e-"
// scientific with the exponent's minimum digits counted by the zeros after
// it (zero fills every integer place), '...' and "..." literal text, any
// other character literal. Rounding is half away from zero on the decimal
// digits; a value that rounds to zero is formatted by the zero section.
// An empty mask or a value of 1e18 and above gives FloatToStr's text.
QString FormatFloat(const QString &mask, double value);

// Format specifiers: d dd ddd dddd ddddd (short date) dddddd (long date),
// m mm mmm mmmm (minutes after h/hh), yy yyyy, h hh n nn s ss z zzz,
// c (short date, and the long time unless midnight), t tt (short and long
// time), am/pm and a/p (as written; an hour followed by one is on the
// 12-hour clock), "/" and ":" as the date and time separators, '...' and
// "..." literal. Month names are in the nominative.
QString FormatDateTime(const QString &format, TDateTime value);
QString DateToStr(TDateTime value);
QString TimeToStr(TDateTime value);
QString DateTimeToStr(TDateTime value);

// Dates in the short date format's day-month-year order with the date
// separator; a year of one or two digits is taken within the century window,
// a missing year is the current year. Blanks around the numbers are allowed.
TDateTime StrToDate(const QString &text);
bool TryStrToDate(const QString &text, TDateTime &value);
// Times "h[:m[:s[.z]]]" with the time separator.
TDateTime StrToTime(const QString &text);
bool TryStrToTime(const QString &text, TDateTime &value);
// A date, optionally followed by a blank and a time.
TDateTime StrToDateTime(const QString &text);
bool TryStrToDateTime(const QString &text, TDateTime &value);

// One argument of Format: an integer, a float or a text.
class FormatArg {
public:
    enum class Kind { Integer, Float, String };
    FormatArg(int value) : kind_(Kind::Integer), int_(value) {}
    FormatArg(unsigned value) : kind_(Kind::Integer), int_(value) {}
    FormatArg(long value) : kind_(Kind::Integer), int_(value) {}
    FormatArg(long long value) : kind_(Kind::Integer), int_(value) {}
    FormatArg(double value) : kind_(Kind::Float), float_(value) {}
    FormatArg(const QString &value) : kind_(Kind::String), string_(value) {}
    FormatArg(const char *value) : kind_(Kind::String), string_(QString::fromUtf8(value)) {}

    Kind kind() const { return kind_; }
    int64_t integer() const { return int_; }
    double floating() const { return float_; }
    const QString &string() const { return string_; }

private:
    Kind kind_;
    int64_t int_ = 0;
    double float_ = 0;
    QString string_;
};

// Directives "%" [index ":"] ["-"] [width] ["." precision] type, types
// d (precision = minimum digits), u, x, X (precision = minimum digits),
// f e g n (precision = decimals; n groups thousands), s (precision = maximum
// length); "%%" is a percent sign. Floats use the decimal separator. A
// directive whose argument is missing or of another kind raises
// EConvertError.
QString Format(const QString &format, std::initializer_list<FormatArg> args);

} // namespace zorbel
