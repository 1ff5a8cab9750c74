// Date text: FormatDateTime and its short forms, and the strict readers of
// dates and times in the short date format.
#include "platform/rtl/Format.h"

#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/FormatUnit.h"
#include "platform/system/SysEnv.h"

#include <QDate>
#include <QHash>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace zorbel {

using namespace FormatUnit;

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
    bool afterDay = false; // the last token that was not text or a separator is a day number
    for (const DateToken &t : *tokens) {
        const int count = t.count;
        const bool dayNumber = t.kind == K::Day && count <= 2;
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
                // A day number before the long name takes the genitive, as in
                // the long date "11 декабря 2026 г."; alone it stays "Декабрь".
                out += (count == 3 ? fs.ShortMonthNames
                        : afterDay ? fs.GenitiveMonthNames
                                   : fs.LongMonthNames)[p.Month() - 1];
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
        if (t.kind != K::Literal && t.kind != K::DateSep)
            afterDay = dayNumber;
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
    const int current = TSysEnv::CurrentTime().date().year();
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
        y = TSysEnv::CurrentTime().date().year();
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

TDateTime StrToDate(const QString &text) { return Strict<TDateTime>(text, TryStrToDate, "не дата"); }

bool TryStrToTime(const QString &text, TDateTime &value) { return ScanWhole(text, value, ScanTime); }

TDateTime StrToTime(const QString &text) { return Strict<TDateTime>(text, TryStrToTime, "не время"); }

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

TDateTime StrToDateTime(const QString &text) { return Strict<TDateTime>(text, TryStrToDateTime, "не дата и время"); }

} // namespace zorbel
