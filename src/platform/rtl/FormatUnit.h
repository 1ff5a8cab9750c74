// Internal links between the number-text and date-text sources of Format
// (not for other units).
#pragma once

#include "platform/rtl/Exceptions.h"

#include <QString>

namespace zorbel::FormatUnit {

// The raising form of a Try conversion: "«text» — <what>" (what in UTF-8,
// "не число").
template <typename T, typename TryFunction> T Strict(const QString &text, TryFunction tryParse, const char *what)
{
    T value{};
    if (!tryParse(text, value))
        throw EConvertError(QStringLiteral("«%1» — %2").arg(text, QString::fromUtf8(what)));
    return value;
}

// Moves pos past blanks (U+0020).
inline void SkipBlanks(const QString &s, int &pos)
{
    while (pos < s.size() && s[pos] == QLatin1Char(' '))
        ++pos;
}

inline bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

inline bool IsQuote(QChar c) { return c == QLatin1Char('"') || c == QLatin1Char('\''); }

// Index of the quote that closes the literal opening at i (s.size() when the
// literal runs to the end).
inline int LiteralEnd(const QString &s, int i)
{
    const int end = s.indexOf(s[i], i + 1);
    return end < 0 ? s.size() : end;
}

} // namespace zorbel::FormatUnit
