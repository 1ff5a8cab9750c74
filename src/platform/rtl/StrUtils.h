// String routines of the runtime. The "Ansi" routines follow the Russian
// locale (Cyrillic letters including Ё/ё change case and sort in the
// alphabet); the plain ones (UpperCase, CompareText, CompareStr) touch only
// ASCII letters and compare in Windows-1251 byte order, the same on every
// machine whatever its locale. Positions are 1-based where the names are the runtime's
// (Pos, Copy).
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

namespace zorbel {

// The program's own texts, written in the sources as UTF-8 literals, as
// QString ("Ошибка копирования" and the like).
inline QString U(const char *Text)
{
    return QString::fromUtf8(Text);
}

// Hash of a text for the program's own small lookup tables (field names,
// formats, keys): FNV-1a over the UTF-16 units. The library's seeded string
// hash costs over 100 ns for a short name, which a walk asking a few names
// per record pays many times over.
struct TTextHash {
    size_t operator()(const QString &s) const noexcept
    {
        uint64_t h = 14695981039346656037ull;
        for (const QChar c : s) {
            h ^= c.unicode();
            h *= 1099511628211ull;
        }
        return size_t(h);
    }
};

// Case mapping letter by letter (the length never changes).
QString AnsiUpperCase(const QString &s);
QString AnsiLowerCase(const QString &s);
// ASCII letters only.
QString UpperCase(const QString &s);
QString LowerCase(const QString &s);

// Remove leading and/or trailing blanks and control characters (<= U+0020).
QString Trim(const QString &s);
QString TrimLeft(const QString &s);
QString TrimRight(const QString &s);

// The text between quote characters with each inner quote doubled.
QString AnsiQuotedStr(const QString &s, QChar quote);
QString QuotedStr(const QString &s); // with "'"

enum TReplaceFlag { rfReplaceAll = 1, rfIgnoreCase = 2 };
// Replaces the first (or with rfReplaceAll every) occurrence of oldPattern;
// rfIgnoreCase matches by AnsiUpperCase. An empty pattern changes nothing.
QString StringReplace(const QString &s, const QString &oldPattern, const QString &newPattern, int flags);

// 1-based position of sub in s, 0 when absent (or sub is empty).
int Pos(const QString &sub, const QString &s);
// count characters from the 1-based index; out-of-range parts are cut.
QString Copy(const QString &s, int index, int count);

// Locale comparisons in the Russian collation (Collation.h): AnsiCompareText
// ignores case, AnsiCompareStr puts a lower-case letter before its capital.
// Results are < 0, 0 or > 0.
int AnsiCompareStr(const QString &a, const QString &b);
int AnsiCompareText(const QString &a, const QString &b);
bool AnsiSameText(const QString &a, const QString &b);
// Plain comparison in Windows-1251 byte order (Ё < ё < А..я after all
// Latin); CompareText folds ASCII letters first.
int CompareStr(const QString &a, const QString &b);
int CompareText(const QString &a, const QString &b);
bool SameText(const QString &a, const QString &b);

// The Russian noun form that goes with a count: One after 1, 21, 101...
// (not 11), Few after 2-4, 22-24... (not 12-14), Many after the rest
// (0, 5-20, 25-30, 111...): PluralForm(2, "связь", "связи", "связей").
QString PluralForm(qint64 count, const QString &one, const QString &few, const QString &many);
// The count, a blank and its noun form: CountText(2, ...) gives "2 связи".
QString CountText(qint64 count, const QString &one, const QString &few, const QString &many);

} // namespace zorbel
