// String routines: case mapping, trimming, quoting, replacing and the
// locale comparisons (the Russian collation).
#include "platform/rtl/StrUtils.h"

#include "platform/rtl/CodePages.h"
#include "platform/rtl/Collation.h"

namespace zorbel {

namespace {


QString MapChars(const QString &s, QChar (*map)(QChar))
{
    QString result = s;
    for (QChar &c : result)
        c = map(c);
    return result;
}

// Latin and Russian letters mapped inline (what nearly every text holds);
// everything else by the Unicode tables.
QChar UpperChar(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return u >= u'a' && u <= u'z' ? QChar(u - 32) : c;
    if (u >= 0x430 && u <= 0x44F)
        return QChar(u - 0x20);
    if (u >= 0x450 && u <= 0x45F)
        return QChar(u - 0x50);
    return c.toUpper();
}

QChar LowerChar(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return u >= u'A' && u <= u'Z' ? QChar(u + 32) : c;
    if (u >= 0x410 && u <= 0x42F)
        return QChar(u + 0x20);
    if (u >= 0x400 && u <= 0x40F)
        return QChar(u + 0x50);
    return c.toLower();
}
QChar AsciiUpper(QChar c) { return c >= u'a' && c <= u'z' ? QChar(c.unicode() - 32) : c; }
QChar AsciiLower(QChar c) { return c >= u'A' && c <= u'Z' ? QChar(c.unicode() + 32) : c; }

int CompareBy(const QString &a, const QString &b, int (*key)(QChar))
{
    const int n = std::min(a.size(), b.size());
    for (int i = 0; i < n; ++i) {
        const int d = key(a[i]) - key(b[i]);
        if (d != 0)
            return d < 0 ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// Order of the plain comparison: the Windows-1251 byte of a character (the
// code page the program's texts and files are in, so the order does not
// depend on the machine's locale), characters outside 1251 after all of them
// by code. Injective, so equal keys mean equal characters.
int PlainKey(QChar c)
{
    const unsigned char byte = UnicodeCharToCodePage(TCodePage::Win1251, c.unicode());
    return byte != '?' || c == u'?' ? byte : 0x100 + c.unicode();
}

int PlainFoldedKey(QChar c) { return PlainKey(AsciiUpper(c)); }

} // namespace

QString AnsiUpperCase(const QString &s) { return MapChars(s, UpperChar); }
QString AnsiLowerCase(const QString &s) { return MapChars(s, LowerChar); }
QString UpperCase(const QString &s) { return MapChars(s, AsciiUpper); }
QString LowerCase(const QString &s) { return MapChars(s, AsciiLower); }

QString TrimLeft(const QString &s)
{
    int i = 0;
    while (i < s.size() && s[i] <= u' ')
        ++i;
    return s.mid(i);
}

QString TrimRight(const QString &s)
{
    int n = s.size();
    while (n > 0 && s[n - 1] <= u' ')
        --n;
    return s.left(n);
}

QString Trim(const QString &s) { return TrimLeft(TrimRight(s)); }

QString AnsiQuotedStr(const QString &s, QChar quote)
{
    QString result = s;
    result.replace(quote, QString(2, quote));
    return quote + result + quote;
}

QString QuotedStr(const QString &s) { return AnsiQuotedStr(s, u'\''); }

QString StringReplace(const QString &s, const QString &oldPattern, const QString &newPattern, int flags)
{
    if (oldPattern.isEmpty())
        return s;
    const bool ignoreCase = flags & rfIgnoreCase;
    const QString haystack = ignoreCase ? AnsiUpperCase(s) : s;
    const QString needle = ignoreCase ? AnsiUpperCase(oldPattern) : oldPattern;
    QString result;
    int from = 0;
    while (from <= s.size()) {
        const int at = haystack.indexOf(needle, from);
        if (at < 0)
            break;
        result += QStringView(s).mid(from, at - from);
        result += newPattern;
        from = at + needle.size();
        if (!(flags & rfReplaceAll))
            break;
    }
    result += QStringView(s).mid(from);
    return result;
}

int Pos(const QString &sub, const QString &s) { return sub.isEmpty() ? 0 : s.indexOf(sub) + 1; }

QString Copy(const QString &s, int index, int count)
{
    if (index < 1)
        index = 1;
    if (count <= 0 || index > s.size())
        return QString();
    return s.mid(index - 1, count);
}

int AnsiCompareStr(const QString &a, const QString &b) { return CompareRussian(a, b, false); }
int AnsiCompareText(const QString &a, const QString &b) { return CompareRussian(a, b, true); }
bool AnsiSameText(const QString &a, const QString &b) { return AnsiCompareText(a, b) == 0; }

int CompareStr(const QString &a, const QString &b) { return CompareBy(a, b, PlainKey); }
int CompareText(const QString &a, const QString &b) { return CompareBy(a, b, PlainFoldedKey); }
bool SameText(const QString &a, const QString &b) { return CompareText(a, b) == 0; }

QString PluralForm(qint64 count, const QString &one, const QString &few, const QString &many)
{
    const qint64 n = count < 0 ? -(count % 100) : count % 100;
    if (n >= 11 && n <= 14)
        return many;
    switch (n % 10) {
    case 1: return one;
    case 2:
    case 3:
    case 4: return few;
    default: return many;
    }
}

QString CountText(qint64 count, const QString &one, const QString &few, const QString &many)
{
    return QString::number(count) + u' ' + PluralForm(count, one, few, many);
}

} // namespace zorbel
