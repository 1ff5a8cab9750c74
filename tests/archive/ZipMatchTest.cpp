// File-name masks of the zip component: stars, sets, ranges and result codes.
#include "archive/ZipMatch.h"

#include <gtest/gtest.h>

using namespace zorbel;

TEST(ZipMatch, CaseInsensitiveStarAndExtension)
{
    EXPECT_TRUE(IsMatch("*.lck", "DATA.LCK"));
    EXPECT_FALSE(IsMatch("*.ini", "a.ini.bak"));
    EXPECT_TRUE(IsMatch("*", ""));
    EXPECT_TRUE(IsMatch("*.*", "noext."));
    EXPECT_TRUE(IsMatch("a*b*c", "aXXbYYbc"));
    EXPECT_TRUE(IsMatch("*b", "abcb"));
    // Only A to Z are folded.
    EXPECT_FALSE(IsMatch("я", "Я"));
}

TEST(ZipMatch, SetsAndRanges)
{
    EXPECT_TRUE(IsMatch("<a-c>*", "beta"));
    EXPECT_FALSE(IsMatch("<!a-c>*", "beta"));
    EXPECT_TRUE(IsMatch("<^a-c>*", "delta"));
    EXPECT_TRUE(IsMatch("x<abz>y", "xzy"));
    EXPECT_FALSE(IsMatch("<c-a>", "b")); // a range written high to low matches nothing
    EXPECT_TRUE(IsMatch("*<0-9>.txt", "report7.txt"));
    EXPECT_FALSE(IsMatch("*<0-9>.txt", "report.txt"));
}

TEST(ZipMatch, ResultCodes)
{
    EXPECT_EQ(Match("abc", "abc"), MatchValid);
    EXPECT_EQ(Match("ab", "abc"), MatchEnd);
    EXPECT_EQ(Match("abcd", "abc"), MatchAbort);
    EXPECT_EQ(Match("abc*", "abc"), MatchValid); // a lone trailing star still matches
    EXPECT_EQ(Match("*??", "a"), MatchAbort);    // stars' "?" need characters
    EXPECT_EQ(Match("<xy>", "a"), MatchRange);
    EXPECT_EQ(Match("abd", "abc"), MatchLiteral);
    EXPECT_EQ(Match("<>*", "abc"), MatchPattern);
    EXPECT_EQ(Match("<ab", "a"), MatchPattern);
    EXPECT_EQ(Match("<a-", "a"), MatchPattern);
    EXPECT_EQ(Match("*<>", "abc"), MatchPattern);
    EXPECT_EQ(Match("*.txt", "a.doc"), MatchAbort);
}
