// Wildcard matcher of the zip component: FilesList, ExcludeList and
// NoCompressList patterns and the masks of the directory walk.
//
// Grammar (both sides are lower-cased, A to Z only, before matching):
//   *        any run of characters, none included
//   ?        exactly one character
//   <set>    one character of the set; a leading "!" or "^" negates it; the
//            set holds single characters and ranges "a-c" (a range written
//            high to low matches nothing)
//   other    the character itself
// The whole pattern "*" matches everything.
#pragma once

#include <QString>

namespace zorbel {

// Result codes of Match.
enum TMatchResult : int {
    MatchValid = 1,        // pattern and text match
    MatchEnd = 2,          // the pattern ended before the text
    MatchAbort = 3,        // the text ended before the pattern
    MatchRange = 4,        // a set didn't match
    MatchLiteral = 5,      // a literal character didn't match
    MatchPattern = 6,      // malformed pattern: empty set, or ends inside a set or after "-"
};

int Match(const QString &Pattern, const QString &Text);
bool IsMatch(const QString &Pattern, const QString &Text);

} // namespace zorbel
