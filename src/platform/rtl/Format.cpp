// Number text. Floats are turned into decimal digits once
// (DecimalDigits: 18 significant digits of the exact binary value, enough to
// tell a value just below a half from the half itself: 1.005, stored as
// 1.00499999..., shows as "1,00") and then rounded half away from zero on
// those digits, either to a count of significant digits or to a
// count of decimals. Every formatter below lays those digits out. Date text
// is in FormatDate.cpp.
#include "platform/rtl/Format.h"

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/Money.h"
#include "platform/rtl/FormatUnit.h"

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

using namespace FormatUnit;

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

int StrToInt(const QString &text) { return Strict<int>(text, TryStrToInt, "не целое число"); }

int64_t StrToInt64(const QString &text) { return Strict<int64_t>(text, TryStrToInt64, "не целое число"); }

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

double StrToFloat(const QString &text) { return Strict<double>(text, TryStrToFloat, "не число"); }

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

double StrToCurr(const QString &text) { return Strict<double>(text, TryStrToCurr, "не число"); }

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

// ---- Format ----------------------------------------------------------------

namespace {

[[noreturn]] void BadFormat(const QString &format)
{
    throw EConvertError(QStringLiteral("Формат «%1» неверен или не подходит к значению").arg(format));
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
