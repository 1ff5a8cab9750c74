// The Russian collation: the one order of texts that the in-memory tables and
// the SQL tables share (the program ran with the Russian locale, and both its
// table engine and its locale-aware string comparison sorted this way).
//
// Order of characters, by group, each group before the next:
//   1. everything that is neither a letter nor an ASCII digit (space,
//      punctuation, symbols, controls), by code point — so a text " " sorts
//      before every text that begins with a letter or digit;
//   2. the digits 0-9;
//   3. the Latin letters a-z;
//   4. the Russian alphabet а б в г д е ж з и й к л м н о п р с т у ф х ц ч
//      ш щ ъ ы ь э ю я, with Ё weighed as Е, then the other Cyrillic letters
//      by code point;
//   5. every other letter, by code point.
// Three levels, as the system's locale comparison of the Russian locale works:
//   primary   — the letters above, case-blind and Ё as Е; a text that is a
//               prefix of another sorts first ("ёж" < "ель");
//   secondary — Ё after Е at the first place they differ ("еж" < "ёж");
//   tertiary  — only case-sensitively: the lower-case letter first at the
//               first place the case differs ("абв" < "Абв").
// So two texts are equal case-insensitively exactly when they are the same text
// apart from case, and case-sensitively only when identical.
#pragma once

#include <QStringView>
#include <cstdint>

namespace zorbel {

// Compares a with b in the Russian collation.
// On return: negative when a sorts first, 0 when equal, positive when b sorts
// first.
int CompareRussian(QStringView a, QStringView b, bool ignoreCase);

// The same for zero-terminated UTF-16 texts of at most maxA and maxB units,
// at any address (as they lie in record buffers); no length is needed first.
int CompareRussianText(const void *a, qsizetype maxA, const void *b, qsizetype maxB, bool ignoreCase);

// The primary level of the first RussianPrefixUnits characters of a
// zero-terminated UTF-16 text of at most maxUnits units, as one number below
// 2^60 that sorts lexicographically: 20 bits per character, the first
// character highest, 0 past the end of the text.
// On return: for texts a and b, RussianPrimaryPrefix(a) < RussianPrimaryPrefix(b)
// implies CompareRussianText(a, ..., b, ..., ignoreCase) < 0 for either
// ignoreCase; equal numbers tell nothing. Callers sort by the number and
// compare the texts only when it ties.
inline constexpr int RussianPrefixUnits = 3;
std::uint64_t RussianPrimaryPrefix(const void *text, qsizetype maxUnits);

} // namespace zorbel
