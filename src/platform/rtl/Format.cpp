// Number and date text. Floats are turned into decimal digits once
// (DecimalDigits: 18 significant digits of the exact binary value, as the
// original's extended arithmetic produced them) and then rounded half away
// from zero on those digits, either to a count of significant digits or to a
// count of decimals. Every formatter below lays those digits out.
#include "platform/rtl/Format.h"

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/Money.h"

#include <QDate>
#include <QHash>
#include <algorithm>
#include <array>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <string>

namespace zorbel {

TFormatSettings &FormatSettings()
{
    static TFormatSettings settings;
    return settings;
}

namespace {

// A non-negative value as 0.d1d2d3... x 10^exponent; no trailing zeros in
// digits; zero has no digits.
struct DecimalDigits {
    std::string digits;
    int exponent = 0;
    bool IsZero() const { return digits.empty(); }
    char At(int i) const { return i >= 0 && i < static_cast<int>(digits.size()) ? digits[i] : '0'; }
};

constexpr int MaxDigits = 18;

DecimalDigits ToDigits(double value)
{
    DecimalDigits d;
    value = std::fabs(value);
    if (value == 0 || !std::isfinite(value))
        return d;
    // to_chars, unlike printf, ignores the C library's locale.
    char buffer[64];
    *std::to_chars(buffer, buffer + sizeof buffer - 1, value, std::chars_format::scientific, MaxDigits - 1).ptr = 0;
    // buffer: "d.ddddddddddddddddde[+-]xx"
    d.digits.push_back(buffer[0]);
    d.digits.append(buffer + 2, MaxDigits - 1);
    d.exponent = std::atoi(buffer + MaxDigits + 2) + 1;
    return d;
}

void StripTrailingZeros(DecimalDigits &d)
{
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    if (d.digits.empty())
        d.exponent = 0;
}

// Keeps the first count digits, rounding half away from zero on the next one.
void RoundToCount(DecimalDigits &d, int count)
{
    if (count >= static_cast<int>(d.digits.size())) {
        StripTrailingZeros(d);
        return;
    }
    if (count < 0) {
        d.digits.clear();
        d.exponent = 0;
        return;
    }
    const bool up = d.digits[count] >= '5';
    d.digits.resize(count);
    if (up) {
        int i = count - 1;
        while (i >= 0 && d.digits[i] == '9')
            d.digits[i--] = '0';
        if (i >= 0) {
            ++d.digits[i];
        } else {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        }
    }
    StripTrailingZeros(d);
}

DecimalDigits SignificantDigits(double value, int precision)
{
    DecimalDigits d = ToDigits(value);
    RoundToCount(d, precision);
    return d;
}

DecimalDigits FixedDigits(double value, int decimals)
{
    DecimalDigits d = ToDigits(value);
    if (!d.IsZero())
        RoundToCount(d, d.exponent + decimals);
    return d;
}

// The raising form of a Try conversion: "'text' is not a valid <what>".
template <typename T, typename TryFunction> T Strict(const QString &text, TryFunction tryParse, const char *what)
{
    T value{};
    if (!tryParse(text, value))
        throw EConvertError(QStringLiteral("'%1' is not a valid %2").arg(text, QLatin1String(what)));
    return value;
}

QString NonFiniteText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

// Integer digits of d ("0" when there are none), grouped when asked.
QString IntegerText(const DecimalDigits &d, bool group)
{
    QString text;
    for (int i = 0; i < d.exponent; ++i) {
        text += QLatin1Char(d.At(i));
        const int place = d.exponent - i;
        if (group && place > 1 && (place - 1) % 3 == 0)
            text += FormatSettings().ThousandSeparator;
    }
    if (text.isEmpty())
        text = QStringLiteral("0");
    return text;
}

QString FractionText(const DecimalDigits &d, int decimals)
{
    QString text;
    for (int i = 0; i < decimals; ++i)
        text += QLatin1Char(d.At(d.exponent + i));
    return text;
}

QString FixedText(double value, int decimals, bool group)
{
    const DecimalDigits d = FixedDigits(value, decimals);
    QString text = value < 0 && !d.IsZero() ? QStringLiteral("-") : QString();
    text += IntegerText(d, group);
    if (decimals > 0)
        text += FormatSettings().DecimalSeparator + FractionText(d, decimals);
    return text;
}

// "d,ddd...E+ddd" with precision significant digits and the exponent padded
// to expDigits.
QString ScientificText(const DecimalDigits &d, bool negative, int precision, int expDigits, bool trimZeros,
                       bool plusSign)
{
    QString text = negative ? QStringLiteral("-") : QString();
    text += QLatin1Char(d.At(0));
    QString fraction;
    for (int i = 1; i < precision; ++i)
        fraction += QLatin1Char(d.At(i));
    if (trimZeros)
        while (fraction.endsWith(QLatin1Char('0')))
            fraction.chop(1);
    if (!fraction.isEmpty())
        text += FormatSettings().DecimalSeparator + fraction;
    const int exponent = d.IsZero() ? 0 : d.exponent - 1;
    text += QLatin1Char('E');
    if (exponent < 0)
        text += QLatin1Char('-');
    else if (plusSign)
        text += QLatin1Char('+');
    text += QString::number(std::abs(exponent)).rightJustified(expDigits, QLatin1Char('0'));
    return text;
}

QString GeneralText(double value, int precision)
{
    if (!std::isfinite(value))
        return NonFiniteText(value);
    const DecimalDigits d = SignificantDigits(value, precision);
    if (d.IsZero())
        return QStringLiteral("0");
    const bool negative = value < 0;
    if (d.exponent > precision || d.exponent < -3)
        return ScientificText(d, negative, precision, 0, true, false);
    QString text = negative ? QStringLiteral("-") : QString();
    text += IntegerText(d, false);
    const int decimals = static_cast<int>(d.digits.size()) - d.exponent;
    if (decimals > 0)
        text += FormatSettings().DecimalSeparator + FractionText(d, decimals);
    return text;
}

// Moves pos past blanks (U+0020).
void SkipBlanks(const QString &s, int &pos)
{
    while (pos < s.size() && s[pos] == QLatin1Char(' '))
        ++pos;
}

bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

bool IsQuote(QChar c) { return c == QLatin1Char('"') || c == QLatin1Char('\''); }

// Index of the quote that closes the literal opening at i (s.size() when the
// literal runs to the end).
int LiteralEnd(const QString &s, int i)
{
    const int end = s.indexOf(s[i], i + 1);
    return end < 0 ? s.size() : end;
}

} // namespace

// ---- integers -------------------------------------------------------------

QString IntToStr(int64_t value) { return QString::number(value); }

bool TryStrToInt64(const QString &text, int64_t &value)
{
    int pos = 0;
    SkipBlanks(text, pos);
    bool negative = false;
    if (pos < text.size() && (text[pos] == QLatin1Char('-') || text[pos] == QLatin1Char('+')))
        negative = text[pos++] == QLatin1Char('-');
    if (pos >= text.size())
        return false;
    // Accumulate negatively so that the minimum value fits.
    int64_t result = 0;
    for (; pos < text.size(); ++pos) {
        if (!IsDigit(text[pos]))
            return false;
        const int digit = text[pos].unicode() - '0';
        if (result < (std::numeric_limits<int64_t>::min() + digit) / 10)
            return false;
        result = result * 10 - digit;
    }
    if (!negative) {
        if (result == std::numeric_limits<int64_t>::min())
            return false;
        result = -result;
    }
    value = result;
    return true;
}

bool TryStrToInt(const QString &text, int &value)
{
    int64_t wide;
    if (!TryStrToInt64(text, wide) || wide < std::numeric_limits<int>::min() || wide > std::numeric_limits<int>::max())
        return false;
    value = static_cast<int>(wide);
    return true;
}

int StrToInt(const QString &text) { return Strict<int>(text, TryStrToInt, "integer value"); }

int64_t StrToInt64(const QString &text) { return Strict<int64_t>(text, TryStrToInt64, "integer value"); }

int StrToIntDef(const QString &text, int defaultValue)
{
    int value;
    return TryStrToInt(text, value) ? value : defaultValue;
}

// ---- floats ----------------------------------------------------------------

namespace {

// The general format of a value whose shortest exact digits (those that read
// back as the value) number at most 15: rounding to 15 digits gives those
// very digits, as the value lies far closer to them than half a unit of the
// 15th. False (text untouched) for any other value.
bool ShortGeneralText(double value, QString &text)
{
    char buffer[40];
    char *const end =
        std::to_chars(buffer, buffer + sizeof buffer - 1, std::fabs(value), std::chars_format::scientific).ptr;
    *end = 0; // the exponent is read up to here
    // buffer: "d[.ddd]e[+-]xx"
    char digits[24];
    int n = 0;
    const char *p = buffer;
    for (; p < end && *p != 'e'; ++p)
        if (*p != '.') {
            if (n == 16)
                return false;
            digits[n++] = *p;
        }
    if (p == end || n > 15)
        return false;
    const int exponent = std::atoi(p + 1) + 1; // the value is 0.d1d2... times 10^exponent
    if (exponent > 15 || exponent < -3)
        return false;
    const auto digit = [&](int i) { return QLatin1Char(i >= 0 && i < n ? digits[i] : '0'); };
    text.clear();
    text.reserve(24);
    if (value < 0)
        text += QLatin1Char('-');
    if (exponent <= 0)
        text += QLatin1Char('0');
    for (int i = 0; i < exponent; ++i)
        text += digit(i);
    if (n > exponent) {
        text += FormatSettings().DecimalSeparator;
        for (int i = exponent; i < n; ++i)
            text += digit(i);
    }
    return true;
}

} // namespace

QString FloatToStr(double value)
{
    // A whole number below 10^15 shows all its digits in the general format.
    if (value == std::trunc(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<long long>(value));
    QString text;
    if (std::isfinite(value) && ShortGeneralText(value, text))
        return text;
    return GeneralText(value, 15);
}

namespace {

// A number's text as its grammar reads it: sign, the mantissa's digits with
// the count of those before the decimal separator, and the exponent
// (saturated far beyond any finite double's).
struct NumberText {
    bool negative = false;
    std::string digits;
    int integerDigits = 0;
    int exponent = 0;
};

// Strict: optional blanks around, sign, digits with the decimal separator,
// optional exponent "E[+-]digits"; nothing else.
bool ScanNumberText(const QString &text, NumberText &n)
{
    int pos = 0;
    SkipBlanks(text, pos);
    if (pos < text.size() && (text[pos] == QLatin1Char('-') || text[pos] == QLatin1Char('+')))
        n.negative = text[pos++] == QLatin1Char('-');
    for (; pos < text.size() && IsDigit(text[pos]); ++pos, ++n.integerDigits)
        n.digits += static_cast<char>(text[pos].unicode());
    if (pos < text.size() && text[pos] == FormatSettings().DecimalSeparator)
        for (++pos; pos < text.size() && IsDigit(text[pos]); ++pos)
            n.digits += static_cast<char>(text[pos].unicode());
    if (n.digits.empty())
        return false;
    if (pos < text.size() && (text[pos] == QLatin1Char('E') || text[pos] == QLatin1Char('e'))) {
        ++pos;
        bool negativeExponent = false;
        if (pos < text.size() && (text[pos] == QLatin1Char('-') || text[pos] == QLatin1Char('+')))
            negativeExponent = text[pos++] == QLatin1Char('-');
        const int start = pos;
        for (; pos < text.size() && IsDigit(text[pos]); ++pos)
            n.exponent = std::min(n.exponent * 10 + (text[pos].unicode() - '0'), 1000000);
        if (pos == start)
            return false;
        if (negativeExponent)
            n.exponent = -n.exponent;
    }
    SkipBlanks(text, pos);
    return pos == text.size();
}

} // namespace

bool TryStrToFloat(const QString &text, double &value)
{
    NumberText n;
    if (!ScanNumberText(text, n))
        return false;
    // strtod_l in the "C" locale converts the C form: the process's own
    // locale may want a decimal comma.
    std::string c = n.negative ? "-" : "";
    c += n.digits.substr(0, n.integerDigits) + '.' + n.digits.substr(n.integerDigits);
    c += 'e' + std::to_string(n.exponent);
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    const double result = strtod_l(c.c_str(), nullptr, cLocale);
    if (!std::isfinite(result))
        return false;
    value = result;
    return true;
}

double StrToFloat(const QString &text) { return Strict<double>(text, TryStrToFloat, "floating point value"); }

QString CurrToStr(double value)
{
    const int64_t units = MoneyToUnits(value);
    const uint64_t magnitude = units < 0 ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
    QString text = units < 0 ? QStringLiteral("-") : QString();
    text += QString::number(magnitude / MoneyScale);
    QString fraction = QString::number(magnitude % MoneyScale).rightJustified(4, QLatin1Char('0'));
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    if (!fraction.isEmpty())
        text += FormatSettings().DecimalSeparator + fraction;
    return text;
}

// Rounds the decimal text itself to units of 1/10000, ties to even, so that
// "0,00015" is 2 units and "0,00005" is 0: a double in between would already
// have moved the tie.
bool TryStrToCurrUnits(const QString &text, int64_t &units)
{
    NumberText n;
    if (!ScanNumberText(text, n))
        return false;
    // value = 0.digits x 10^point; its units have `point + 4` integer digits.
    const size_t first = n.digits.find_first_not_of('0');
    if (first == std::string::npos) {
        units = 0;
        return true;
    }
    const std::string digits = n.digits.substr(first);
    const int64_t point = static_cast<int64_t>(n.integerDigits) - static_cast<int64_t>(first) + n.exponent;
    const int64_t integerDigits = point + 4;
    // Below the limit of 922337203685477 whole units, as TryStrToFloat's
    // callers have always been.
    constexpr uint64_t Limit = 922337203685477ULL * MoneyScale;
    if (integerDigits > 19)
        return false;
    uint64_t magnitude = 0;
    for (int64_t i = 0; i < integerDigits; ++i)
        magnitude = magnitude * 10 + (i < static_cast<int64_t>(digits.size()) ? digits[i] - '0' : 0);
    if (integerDigits >= 0 && integerDigits < static_cast<int64_t>(digits.size())) {
        const char next = digits[integerDigits];
        const bool beyondTie = digits.find_first_not_of('0', integerDigits + 1) != std::string::npos;
        if (next > '5' || (next == '5' && (beyondTie || magnitude % 2 == 1)))
            ++magnitude;
    }
    if (magnitude >= Limit)
        return false;
    units = n.negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

bool TryStrToCurr(const QString &text, double &value)
{
    int64_t units;
    if (!TryStrToCurrUnits(text, units))
        return false;
    value = UnitsToMoney(units);
    return true;
}

double StrToCurr(const QString &text) { return Strict<double>(text, TryStrToCurr, "floating point value"); }

// ---- FormatFloat ---------------------------------------------------------

namespace {

// Splits a mask into its sections at ";" outside quotes.
QStringList MaskSections(const QString &mask)
{
    QStringList sections;
    QString current;
    QChar quote;
    for (const QChar c : mask) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (IsQuote(c)) {
            quote = c;
        } else if (c == QLatin1Char(';')) {
            sections << current;
            current.clear();
            continue;
        }
        current += c;
    }
    sections << current;
    return sections;
}

bool IsExponentAt(const QString &s, int i)
{
    return (s[i] == QLatin1Char('E') || s[i] == QLatin1Char('e')) && i + 1 < s.size() &&
           (s[i + 1] == QLatin1Char('+') || s[i + 1] == QLatin1Char('-'));
}

// What a section asks for, read in one pass over it.
struct SectionLayout {
    int integerPlaces = 0;   // "0"/"#" before the decimal point
    int requiredInteger = 0; // places from the first "0" to the decimal point
    int decimals = 0;        // "0"/"#" after the decimal point
    int requiredDecimals = 0;// places up to the last "0" after the point
    bool group = false;      // "," anywhere outside quotes
    bool scientific = false;
    bool hasPlaces() const { return integerPlaces + decimals > 0; }
};

SectionLayout ReadSection(const QString &s)
{
    SectionLayout layout;
    bool afterPoint = false;
    int firstZero = -1;
    for (int i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (IsQuote(c)) {
            i = LiteralEnd(s, i);
        } else if (c == QLatin1Char('0') || c == QLatin1Char('#')) {
            if (afterPoint) {
                ++layout.decimals;
                if (c == QLatin1Char('0'))
                    layout.requiredDecimals = layout.decimals;
            } else {
                if (c == QLatin1Char('0') && firstZero < 0)
                    firstZero = layout.integerPlaces;
                ++layout.integerPlaces;
            }
        } else if (c == QLatin1Char('.')) {
            afterPoint = true;
        } else if (c == QLatin1Char(',')) { // anywhere in the section
            layout.group = true;
        } else if (IsExponentAt(s, i)) {
            layout.scientific = true;
            // The exponent's zeros are not digit places.
            i += 1;
            while (i + 1 < s.size() && s[i + 1] == QLatin1Char('0'))
                ++i;
        }
    }
    if (firstZero >= 0)
        layout.requiredInteger = layout.integerPlaces - firstZero;
    return layout;
}

// Lays the digits of a value out over a section's places and literals.
QString ApplySection(const QString &s, const SectionLayout &layout, double magnitude)
{
    DecimalDigits d;
    int exponent = 0;
    if (layout.scientific) {
        const int places = std::max(1, layout.integerPlaces);
        d = SignificantDigits(magnitude, places + layout.decimals);
        if (!d.IsZero()) {
            exponent = d.exponent - places;
            d.exponent = places;
        }
    } else {
        d = FixedDigits(magnitude, layout.decimals);
    }
    // The integer digits with the required leading zeros.
    QString integer;
    for (int i = 0; i < d.exponent; ++i)
        integer += QLatin1Char(d.At(i));
    if (layout.scientific && d.IsZero()) // zero shows a digit in every integer place
        integer = QString(std::max(1, layout.integerPlaces), QLatin1Char('0'));
    else if (integer.size() < layout.requiredInteger)
        integer = integer.rightJustified(layout.requiredInteger, QLatin1Char('0'));
    QString fraction = FractionText(d, layout.decimals);
    while (fraction.size() > layout.requiredDecimals && fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);

    QString out;
    const auto putIntegerDigit = [&](int place) { // place counts from 1 at the point
        out += integer[integer.size() - place];
        if (layout.group && !layout.scientific && place > 1 && (place - 1) % 3 == 0)
            out += FormatSettings().ThousandSeparator;
    };
    int integerSeen = 0, decimalSeen = 0;
    bool afterPoint = false;
    for (int i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (IsQuote(c)) {
            const int end = LiteralEnd(s, i);
            out += s.mid(i + 1, end - i - 1);
            i = end;
        } else if (c == QLatin1Char('0') || c == QLatin1Char('#')) {
            if (afterPoint) {
                if (decimalSeen < fraction.size())
                    out += fraction[decimalSeen];
                ++decimalSeen;
                continue;
            }
            if (integerSeen == 0) // digits beyond the places go to the first one
                for (int place = integer.size(); place > layout.integerPlaces; --place)
                    putIntegerDigit(place);
            const int place = layout.integerPlaces - integerSeen;
            if (place <= integer.size())
                putIntegerDigit(place);
            ++integerSeen;
        } else if (c == QLatin1Char('.')) {
            if (!afterPoint) {
                if (integerSeen == 0) // no integer places: the digits still show
                    for (int place = integer.size(); place > 0; --place)
                        putIntegerDigit(place);
                if (!fraction.isEmpty())
                    out += FormatSettings().DecimalSeparator;
            }
            afterPoint = true;
        } else if (c == QLatin1Char(',')) {
            // grouping flag, already read
        } else if (IsExponentAt(s, i)) {
            int zeros = 0;
            const bool plus = s[i + 1] == QLatin1Char('+');
            int j = i + 2;
            for (; j < s.size() && s[j] == QLatin1Char('0'); ++j)
                ++zeros;
            out += c;
            if (exponent < 0)
                out += QLatin1Char('-');
            else if (plus)
                out += QLatin1Char('+');
            out += QString::number(std::abs(exponent)).rightJustified(std::min(zeros, 4), QLatin1Char('0'));
            i = j - 1;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

QString FormatFloat(const QString &mask, double value)
{
    if (!std::isfinite(value))
        return NonFiniteText(value);
    // An empty mask, or more integer digits than the digits the value
    // carries, falls back to the general format.
    if (mask.isEmpty() || std::fabs(value) >= 1e18)
        return FloatToStr(value);
    const QStringList sections = MaskSections(mask);
    const auto section = [&](int index) {
        return index < sections.size() && !sections[index].isEmpty() ? sections[index] : sections[0];
    };
    int index = value < 0 ? 1 : value == 0 ? 2 : 0;
    QString chosen = section(index);
    SectionLayout layout = ReadSection(chosen);
    if (index != 2 && layout.hasPlaces()) {
        // A value that rounds to zero in its section is shown by the zero section.
        const DecimalDigits probe = layout.scientific ? SignificantDigits(value, 1) : FixedDigits(value, layout.decimals);
        if (probe.IsZero()) {
            index = 2;
            chosen = section(2);
            layout = ReadSection(chosen);
        }
    }
    if (chosen.isEmpty()) // an empty first section stands for the general format
        return FloatToStr(value);
    const bool ownNegative = index == 1 && sections.size() > 1 && !sections[1].isEmpty();
    QString text = ApplySection(chosen, layout, std::fabs(value));
    if (index == 1 && !ownNegative)
        text.prepend(QLatin1Char('-'));
    return text;
}

// ---- FormatDateTime ------------------------------------------------------

namespace {

// n written with at least width digits, zeros in front (a sign goes before
// them only through the slow path, as QString::rightJustified put it).
void AppendPadded(QString &out, int n, int width)
{
    if (n < 0) {
        out += QString::number(n).rightJustified(width, QLatin1Char('0'));
        return;
    }
    // Written right to left into a buffer and appended at once.
    char16_t digits[16];
    char16_t *end = digits + 16, *at = end;
    do {
        *--at = char16_t(u'0' + n % 10);
        n /= 10;
    } while (n > 0);
    while (end - at < std::min(width, 16))
        *--at = u'0';
    out.append(reinterpret_cast<const QChar *>(at), end - at);
}

void AppendTwoDigits(QString &out, int n) { AppendPadded(out, n, 2); }

// The length of an am/pm marker ("am/pm" or "a/p", any case) at i, or 0.
int AmPmMarkerAt(const QString &f, int i)
{
    if (f[i] != u'a' && f[i] != u'A')
        return 0;
    const QStringView rest = QStringView(f).mid(i);
    if (rest.size() >= 5 && rest.first(5).compare(QLatin1String("am/pm"), Qt::CaseInsensitive) == 0)
        return 5;
    if (rest.size() >= 3 && rest.first(3).compare(QLatin1String("a/p"), Qt::CaseInsensitive) == 0)
        return 3;
    return 0;
}

// An hour ending at i is on the 12-hour clock when the first "a" that
// follows it outside quotes, before another hour, starts an am/pm marker.
bool TwelveHourClockAfter(const QString &f, int i)
{
    for (; i < f.size(); ++i) {
        const QChar c = f[i].toLower();
        if (IsQuote(c))
            i = LiteralEnd(f, i);
        else if (c == QLatin1Char('h'))
            return false;
        else if (c == QLatin1Char('a'))
            return AmPmMarkerAt(f, i) > 0;
    }
    return false;
}

// The parts of a date-time, each decoded when a format first asks for it
// (most formats show the date alone).
class DateParts {
public:
    explicit DateParts(TDateTime value) : value_(value) {}
    int Year() const { return Date().year; }
    int Month() const { return Date().month; }
    int Day() const { return Date().day; }
    // 1 = Sunday; 0 for a date outside the calendar.
    int DayOfWeekNo() const
    {
        if (dayOfWeek_ < 0)
            dayOfWeek_ = Date().valid ? DayOfWeek(value_) : 0;
        return dayOfWeek_;
    }
    int Hour() const { return Time().hour; }
    int Min() const { return Time().min; }
    int Sec() const { return Time().sec; }
    int MSec() const { return Time().msec; }

private:
    struct DatePart {
        bool valid;
        int year, month, day;
    };
    struct TimePart {
        int hour, min, sec, msec;
    };
    const DatePart &Date() const
    {
        if (!date_) {
            // A column shows the same day row after row: the last day's
            // parts are kept (per thread; the report run formats on its own).
            thread_local double lastDay = std::numeric_limits<double>::quiet_NaN();
            thread_local DatePart lastParts{};
            const double day = std::trunc(value_);
            if (day == lastDay && day == value_) {
                date_ = lastParts;
            } else {
                DatePart d{};
                d.valid = DecodeDate(value_, d.year, d.month, d.day);
                date_ = d;
                if (day == value_) {
                    lastDay = day;
                    lastParts = d;
                }
            }
        }
        return *date_;
    }
    const TimePart &Time() const
    {
        if (!time_) {
            TimePart t{};
            DecodeTime(value_, t.hour, t.min, t.sec, t.msec);
            time_ = t;
        }
        return *time_;
    }

    TDateTime value_;
    mutable std::optional<DatePart> date_;
    mutable std::optional<TimePart> time_;
    mutable int dayOfWeek_ = -1;
};

// A format read once into tokens (formats repeat for every value shown):
// literal text, the separators the settings supply, the am/pm marker, and
// runs of one letter with their length. Formats named by the settings
// ("ddddd", "t", "c") stay tokens and are read when shown, as the settings
// may change.
struct DateToken {
    enum class Kind : uint8_t {
        Literal,   // Text as written
        DateSep,   // "/": the date separator
        TimeSep,   // ":": the time separator
        AmPm,      // Text before noon, Text2 after
        Day,       // d, dd, ddd (short name), dddd (long name), ddddd/dddddd (date formats)
        Month,     // m, mm, mmm, mmmm
        Year,      // yy, yyyy
        Hour,      // h, hh; Twelve: on the 12-hour clock
        Minute,    // n, nn (an "m" run right after an hour)
        Second,    // s, ss
        MSecond,   // z, zzz
        TimeFmt,   // t, tt: short or long time format
        Whole,     // c: short date, then long time when not midnight
    };
    Kind kind;
    int count = 0;
    bool twelve = false;
    QString text, text2;
};

std::vector<DateToken> ReadDateFormat(const QString &f)
{
    using K = DateToken::Kind;
    std::vector<DateToken> tokens;
    const auto literal = [&](QString text) {
        if (!tokens.empty() && tokens.back().kind == K::Literal)
            tokens.back().text += text;
        else
            tokens.push_back({K::Literal, 0, false, std::move(text), {}});
    };
    QChar lastToken;
    for (int i = 0; i < f.size();) {
        const QChar c = f[i];
        if (IsQuote(c)) {
            const int end = LiteralEnd(f, i);
            literal(f.mid(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        if (c == QLatin1Char('/') || c == QLatin1Char(':')) {
            tokens.push_back({c == QLatin1Char('/') ? K::DateSep : K::TimeSep, 0, false, {}, {}});
            ++i;
            continue;
        }
        if (const int marker = AmPmMarkerAt(f, i)) {
            // "am/pm" shows its first or second half, "a/p" one letter, in
            // the case the format wrote them.
            const int half = marker == 5 ? 2 : 1;
            tokens.push_back({K::AmPm, 0, false, f.mid(i, half), f.mid(i + half + 1, half)});
            i += marker;
            continue;
        }
        QChar token = c.toUpper();
        if (token < QLatin1Char('A') || token > QLatin1Char('Z')) {
            literal(QString(c));
            ++i;
            continue;
        }
        int count = 1;
        while (i + count < f.size() && f[i + count].toUpper() == token)
            ++count;
        i += count;
        if (token == QLatin1Char('M') && lastToken == QLatin1Char('H'))
            token = QLatin1Char('N');
        lastToken = token;
        K kind;
        switch (token.unicode()) {
        case 'D': kind = K::Day; break;
        case 'M': kind = K::Month; break;
        case 'Y': kind = K::Year; break;
        case 'H': kind = K::Hour; break;
        case 'N': kind = K::Minute; break;
        case 'S': kind = K::Second; break;
        case 'Z': kind = K::MSecond; break;
        case 'T': kind = K::TimeFmt; break;
        case 'C': kind = K::Whole; break;
        default:
            literal(f.mid(i - count, count));
            continue;
        }
        tokens.push_back({kind, count, kind == K::Hour && TwelveHourClockAfter(f, i), {}, {}});
    }
    return tokens;
}

// The tokens of a format, read on first use (per thread: the report run
// formats on its own thread). Shared, so that a nested format read while
// the outer one is being shown cannot pull it away.
std::shared_ptr<const std::vector<DateToken>> DateFormatTokens(const QString &f)
{
    // The last few formats asked (a date-time asks three) are compared
    // before any hashing.
    struct Recent {
        QString format;
        std::shared_ptr<const std::vector<DateToken>> tokens;
    };
    thread_local std::array<Recent, 4> recent;
    thread_local size_t next = 0;
    for (const Recent &r : recent)
        if (r.tokens && r.format == f)
            return r.tokens;
    thread_local QHash<QString, std::shared_ptr<const std::vector<DateToken>>> known;
    const auto remember = [&](std::shared_ptr<const std::vector<DateToken>> tokens) {
        recent[next] = {f, tokens};
        next = (next + 1) % recent.size();
        return tokens;
    };
    if (const auto it = known.constFind(f); it != known.cend())
        return remember(*it);
    constexpr qsizetype MaxFormats = 64; // formats typed by a user stay few
    if (known.size() >= MaxFormats)
        known.clear();
    auto tokens = std::make_shared<const std::vector<DateToken>>(ReadDateFormat(f));
    known.insert(f, tokens);
    return remember(tokens);
}

void AppendFormatted(QString &out, const QString &f, const DateParts &p, int depth)
{
    using K = DateToken::Kind;
    if (depth > 2) // nested formats are expanded at most twice (c -> dd.mm.yyyy)
        return;
    const TFormatSettings &fs = FormatSettings();
    const auto tokens = DateFormatTokens(f);
    for (const DateToken &t : *tokens) {
        const int count = t.count;
        switch (t.kind) {
        case K::Literal: out += t.text; break;
        case K::DateSep: out += fs.DateSeparator; break;
        case K::TimeSep: out += fs.TimeSeparator; break;
        case K::AmPm: out += p.Hour() < 12 ? t.text : t.text2; break;
        case K::Day:
            if (count <= 2)
                AppendPadded(out, p.Day(), count);
            else if (count == 3)
                out += p.DayOfWeekNo() ? fs.ShortDayNames[p.DayOfWeekNo() - 1] : QString();
            else if (count == 4)
                out += p.DayOfWeekNo() ? fs.LongDayNames[p.DayOfWeekNo() - 1] : QString();
            else
                AppendFormatted(out, count == 5 ? fs.ShortDateFormat : fs.LongDateFormat, p, depth + 1);
            break;
        case K::Month:
            if (count <= 2)
                AppendPadded(out, p.Month(), count);
            else if (p.Month() >= 1)
                out += (count == 3 ? fs.ShortMonthNames : fs.LongMonthNames)[p.Month() - 1];
            break;
        case K::Year:
            if (count <= 2)
                AppendTwoDigits(out, p.Year() % 100);
            else
                AppendPadded(out, p.Year(), 4);
            break;
        case K::Hour: {
            int hour = p.Hour();
            if (t.twelve)
                hour = hour == 0 ? 12 : hour > 12 ? hour - 12 : hour;
            AppendPadded(out, hour, count == 1 ? 1 : 2);
            break;
        }
        case K::Minute: AppendPadded(out, p.Min(), count == 1 ? 1 : 2); break;
        case K::Second: AppendPadded(out, p.Sec(), count == 1 ? 1 : 2); break;
        case K::MSecond: AppendPadded(out, p.MSec(), count <= 2 ? 1 : 3); break;
        case K::TimeFmt:
            AppendFormatted(out, count == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, p, depth + 1);
            break;
        case K::Whole:
            AppendFormatted(out, fs.ShortDateFormat, p, depth + 1);
            if (p.Hour() || p.Min() || p.Sec()) {
                out += QLatin1Char(' ');
                AppendFormatted(out, fs.LongTimeFormat, p, depth + 1);
            }
            break;
        }
    }
}

} // namespace

QString FormatDateTime(const QString &format, TDateTime value)
{
    const DateParts p(value);
    QString out;
    out.reserve(format.size() + 16);
    AppendFormatted(out, format.isEmpty() ? QStringLiteral("c") : format, p, 0);
    return out;
}

QString DateToStr(TDateTime value) { return FormatDateTime(QStringLiteral("ddddd"), value); }
QString TimeToStr(TDateTime value) { return FormatDateTime(QStringLiteral("tt"), value); }
QString DateTimeToStr(TDateTime value) { return FormatDateTime(QStringLiteral("c"), value); }

// ---- date and time parsing -----------------------------------------------

namespace {

bool ScanNumber(const QString &s, int &pos, int &value, int &length)
{
    SkipBlanks(s, pos);
    const int start = pos;
    int n = 0;
    while (pos < s.size() && IsDigit(s[pos]) && pos - start < 4)
        n = n * 10 + (s[pos++].unicode() - '0');
    length = pos - start;
    if (length == 0 || (pos < s.size() && IsDigit(s[pos])))
        return false;
    value = n;
    return true;
}

bool ScanChar(const QString &s, int &pos, QChar c)
{
    SkipBlanks(s, pos);
    if (pos < s.size() && s[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

// The order of day, month and year in the short date format ("DMY").
QString DateOrder()
{
    QString order;
    for (const QChar c : FormatSettings().ShortDateFormat) {
        const QChar u = c.toUpper();
        if ((u == QLatin1Char('D') || u == QLatin1Char('M') || u == QLatin1Char('Y')) && !order.contains(u))
            order += u;
    }
    return order.size() == 3 ? order : QStringLiteral("DMY");
}

int ExpandYear(int year, int length)
{
    if (length > 2)
        return year;
    const int current = QDate::currentDate().year();
    const int base = current - FormatSettings().TwoDigitYearCenturyWindow;
    year += base / 100 * 100;
    if (FormatSettings().TwoDigitYearCenturyWindow > 0 && year < base)
        year += 100;
    return year;
}

bool ScanDate(const QString &s, int &pos, TDateTime &value)
{
    const QChar sep = FormatSettings().DateSeparator;
    int n1, n2, n3 = 0, l1, l2, l3 = 0;
    if (!ScanNumber(s, pos, n1, l1) || !ScanChar(s, pos, sep) || !ScanNumber(s, pos, n2, l2))
        return false;
    const QString order = DateOrder();
    int y, m, d;
    if (ScanChar(s, pos, sep)) {
        if (!ScanNumber(s, pos, n3, l3))
            return false;
        const int numbers[3] = {n1, n2, n3}, lengths[3] = {l1, l2, l3};
        const int yi = order.indexOf(QLatin1Char('Y'));
        y = ExpandYear(numbers[yi], lengths[yi]);
        m = numbers[order.indexOf(QLatin1Char('M'))];
        d = numbers[order.indexOf(QLatin1Char('D'))];
    } else {
        // Day and month in the format's order, the current year.
        y = QDate::currentDate().year();
        const bool dayFirst = order.indexOf(QLatin1Char('D')) < order.indexOf(QLatin1Char('M'));
        d = dayFirst ? n1 : n2;
        m = dayFirst ? n2 : n1;
    }
    return TryEncodeDate(y, m, d, value);
}

bool ScanTime(const QString &s, int &pos, TDateTime &value)
{
    const QChar sep = FormatSettings().TimeSeparator;
    int h, n = 0, sec = 0, ms = 0, len;
    if (!ScanNumber(s, pos, h, len))
        return false;
    if (ScanChar(s, pos, sep)) {
        if (!ScanNumber(s, pos, n, len))
            return false;
        if (ScanChar(s, pos, sep)) {
            if (!ScanNumber(s, pos, sec, len))
                return false;
            if (ScanChar(s, pos, FormatSettings().DecimalSeparator) && !ScanNumber(s, pos, ms, len))
                return false;
        }
    }
    return TryEncodeTime(h, n, sec, ms, value);
}

bool AtEnd(const QString &s, int pos)
{
    SkipBlanks(s, pos);
    return pos == s.size();
}

// Scans the whole text with one scanner; blanks may follow.
bool ScanWhole(const QString &text, TDateTime &value, bool (*scan)(const QString &, int &, TDateTime &))
{
    int pos = 0;
    TDateTime result;
    if (!scan(text, pos, result) || !AtEnd(text, pos))
        return false;
    value = result;
    return true;
}

} // namespace

bool TryStrToDate(const QString &text, TDateTime &value) { return ScanWhole(text, value, ScanDate); }

TDateTime StrToDate(const QString &text) { return Strict<TDateTime>(text, TryStrToDate, "date"); }

bool TryStrToTime(const QString &text, TDateTime &value) { return ScanWhole(text, value, ScanTime); }

TDateTime StrToTime(const QString &text) { return Strict<TDateTime>(text, TryStrToTime, "time"); }

bool TryStrToDateTime(const QString &text, TDateTime &value)
{
    int pos = 0;
    TDateTime date, time = 0;
    if (!ScanDate(text, pos, date)) {
        // No date: a time alone.
        return TryStrToTime(text, value);
    }
    if (!AtEnd(text, pos) && (!ScanTime(text, pos, time) || !AtEnd(text, pos)))
        return false;
    value = date < 0 ? date - time : date + time;
    return true;
}

TDateTime StrToDateTime(const QString &text) { return Strict<TDateTime>(text, TryStrToDateTime, "date and time"); }

// ---- Format ----------------------------------------------------------------

namespace {

[[noreturn]] void BadFormat(const QString &format)
{
    throw EConvertError(QStringLiteral("Format '%1' invalid or incompatible with argument").arg(format));
}

int ScanCount(const QString &f, int &i)
{
    int n = 0;
    while (i < f.size() && IsDigit(f[i]) && n < 10000)
        n = n * 10 + (f[i++].unicode() - '0');
    return n;
}

QString FormatOne(QChar type, const FormatArg &arg, int precision, const QString &format)
{
    const bool isInt = arg.kind() == FormatArg::Kind::Integer;
    const bool isFloat = arg.kind() == FormatArg::Kind::Float;
    switch (type.toLower().unicode()) {
    case 'd':
    case 'u': {
        if (!isInt)
            BadFormat(format);
        const int64_t v = arg.integer();
        QString digits = type.toLower() == QLatin1Char('u') ? QString::number(static_cast<uint32_t>(v))
                                                            : QString::number(v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v));
        if (precision >= 0 && digits.size() < precision)
            digits = digits.rightJustified(precision, QLatin1Char('0'));
        return type.toLower() == QLatin1Char('d') && v < 0 ? QLatin1Char('-') + digits : digits;
    }
    case 'x': {
        if (!isInt)
            BadFormat(format);
        // A negative 32-bit value prints as its 32-bit two's complement.
        const int64_t v = arg.integer();
        const quint64 bits = v < 0 && v >= INT32_MIN ? static_cast<uint32_t>(v) : static_cast<quint64>(v);
        QString digits = QString::number(bits, 16).toUpper();
        if (precision >= 0 && digits.size() < precision)
            digits = digits.rightJustified(precision, QLatin1Char('0'));
        return digits;
    }
    case 'f':
    case 'n':
        if (!isFloat)
            BadFormat(format);
        if (!std::isfinite(arg.floating()))
            return NonFiniteText(arg.floating());
        return FixedText(arg.floating(), precision < 0 ? 2 : std::min(precision, 18), type.toLower() == QLatin1Char('n'));
    case 'e': {
        if (!isFloat)
            BadFormat(format);
        const double v = arg.floating();
        if (!std::isfinite(v))
            return NonFiniteText(v);
        const int digits = precision < 0 ? 15 : std::clamp(precision, 1, 18);
        return ScientificText(SignificantDigits(v, digits), v < 0, digits, 3, false, true);
    }
    case 'g':
        if (!isFloat)
            BadFormat(format);
        return GeneralText(arg.floating(), precision < 0 ? 15 : std::clamp(precision, 1, 18));
    case 's':
        if (arg.kind() != FormatArg::Kind::String)
            BadFormat(format);
        return precision >= 0 ? arg.string().left(precision) : arg.string();
    default:
        BadFormat(format);
    }
}

} // namespace

QString Format(const QString &format, std::initializer_list<FormatArg> args)
{
    QString out;
    size_t next = 0;
    for (int i = 0; i < format.size();) {
        const QChar c = format[i++];
        if (c != QLatin1Char('%')) {
            out += c;
            continue;
        }
        if (i < format.size() && format[i] == QLatin1Char('%')) {
            out += QLatin1Char('%');
            ++i;
            continue;
        }
        int start = i;
        int number = ScanCount(format, i);
        if (i < format.size() && format[i] == QLatin1Char(':') && i > start) {
            next = number;
            ++i;
            start = i;
        } else {
            i = start;
        }
        bool left = false;
        if (i < format.size() && format[i] == QLatin1Char('-')) {
            left = true;
            ++i;
        }
        const int width = ScanCount(format, i);
        int precision = -1;
        if (i < format.size() && format[i] == QLatin1Char('.')) {
            ++i;
            precision = ScanCount(format, i);
        }
        if (i >= format.size() || next >= args.size())
            BadFormat(format);
        const QString text = FormatOne(format[i++], *(args.begin() + next++), precision, format);
        out += left ? text.leftJustified(width) : text.rightJustified(width);
    }
    return out;
}

} // namespace zorbel
