// String routines: Cyrillic case, trimming, quoting, replacing and one-based positions.
#include "platform/rtl/StrUtils.h"

#include <gtest/gtest.h>

using namespace zorbel;

TEST(StrUtils, CaseOfEveryCyrillicLetter)
{
    const QString upper = QStringLiteral("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ");
    const QString lower = QStringLiteral("абвгдеёжзийклмнопрстуфхцчшщъыьэюя");
    EXPECT_EQ(AnsiUpperCase(lower), upper);
    EXPECT_EQ(AnsiLowerCase(upper), lower);
    EXPECT_EQ(AnsiLowerCase("Ёлка ABC 1%"), "ёлка abc 1%");
    EXPECT_EQ(AnsiUpperCase("straße").size(), 6); // letter by letter, length kept
    EXPECT_EQ(UpperCase("abc абв"), "ABC абв");
    EXPECT_EQ(LowerCase("ABC АБВ"), "abc АБВ");
}

TEST(StrUtils, CaseMapsEveryCharacterAsTheUnicodeTables)
{
    // The inline Latin and Cyrillic paths agree with the tables everywhere.
    for (char32_t u = 1; u < 0x10000; ++u) {
        const QChar c(char16_t(u & 0xFFFF));
        if (c.isSurrogate())
            continue;
        ASSERT_EQ(AnsiLowerCase(QString(c)), QString(c.toLower())) << int(u);
        ASSERT_EQ(AnsiUpperCase(QString(c)), QString(c.toUpper())) << int(u);
    }
}

TEST(StrUtils, TrimAndQuote)
{
    EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a "), "  a");
    EXPECT_EQ(Trim(QString(QChar(0x00A0)) + "a"), QString(QChar(0x00A0)) + "a"); // only <= U+0020
    EXPECT_EQ(QuotedStr("it's"), "'it''s'");
    EXPECT_EQ(AnsiQuotedStr("%д'Артаньян%", u'\''), "'%д''Артаньян%'");
    EXPECT_EQ(AnsiQuotedStr("a\"b", u'"'), "\"a\"\"b\"");
}

TEST(StrUtils, StringReplaceFlags)
{
    EXPECT_EQ(StringReplace("a%b%c", "%", "^%", 0), "a^%b%c");
    EXPECT_EQ(StringReplace("a%b%c", "%", "^%", rfReplaceAll), "a^%b^%c");
    EXPECT_EQ(StringReplace("Перевод перевод", "ПЕРЕВОД", "x", rfReplaceAll | rfIgnoreCase), "x x");
    EXPECT_EQ(StringReplace("Перевод", "ПЕРЕВОД", "x", rfReplaceAll), "Перевод");
    EXPECT_EQ(StringReplace("aaa", "a", "aa", rfReplaceAll), "aaaaaa");
    EXPECT_EQ(StringReplace("abc", "", "x", rfReplaceAll), "abc");
}

TEST(StrUtils, PosAndCopyFromOne)
{
    EXPECT_EQ(Pos("b", "abc"), 2);
    EXPECT_EQ(Pos("x", "abc"), 0);
    EXPECT_EQ(Pos("", "abc"), 0);
    EXPECT_EQ(Copy("abcdef", 2, 3), "bcd");
    EXPECT_EQ(Copy("abcdef", 5, 10), "ef");
    EXPECT_EQ(Copy("abcdef", 0, 2), "ab");
    EXPECT_EQ(Copy("abcdef", 7, 1), "");
    EXPECT_EQ(Copy("abcdef", 2, -1), "");
}

TEST(StrUtils, RussianOrder)
{
    // The alphabet in order, capitals and small letters interleaved.
    const QString alphabet = QStringLiteral("аАбБвВгГдДеЕёЁжЖзЗиИйЙкКлЛмМнНоОпПрРсСтТуУфФхХцЦчЧшШщЩъЪыЫьЬэЭюЮяЯ");
    for (int i = 0; i + 1 < alphabet.size(); ++i)
        EXPECT_LT(AnsiCompareStr(alphabet.mid(i, 1), alphabet.mid(i + 1, 1)), 0) << i;
    EXPECT_EQ(AnsiCompareText("ёж", "ЁЖ"), 0);
    EXPECT_LT(AnsiCompareText("еж", "ёж"), 0);
    EXPECT_LT(AnsiCompareText("ёж", "ель"), 0); // Ё is a variant of Е first
    EXPECT_LT(AnsiCompareStr("z", "а"), 0);     // Latin before Cyrillic
    EXPECT_LT(AnsiCompareStr("9", "a"), 0);
    EXPECT_LT(AnsiCompareStr("-", "0"), 0);
    EXPECT_LT(AnsiCompareStr("Дом", "дома"), 0); // length before case
    EXPECT_GT(AnsiCompareStr("Дом", "дом"), 0);
    EXPECT_TRUE(AnsiSameText("Привет", "пРИВЕТ"));
    EXPECT_FALSE(SameText("Привет", "пРИВЕТ")); // ASCII folding only
    EXPECT_TRUE(SameText("File.ZIP", "file.zip"));
    EXPECT_LT(CompareText("a", "B"), 0);
    EXPECT_GT(CompareStr("a", "B"), 0);
    // The plain order is the Windows-1251 byte order: Ё, ё, then А..я.
    EXPECT_LT(CompareStr("Ё", "ё"), 0);
    EXPECT_LT(CompareStr("ё", "А"), 0);
    EXPECT_LT(CompareStr("Я", "а"), 0);
    EXPECT_LT(CompareStr("№", "А"), 0);
    EXPECT_GT(CompareStr("я", "€x"), 0); // € is 0x88 in 1251, above U+044F in Unicode
    EXPECT_LT(CompareStr("я", "\u4E2D"), 0);
    EXPECT_NE(CompareStr("\u4E2D", "?"), 0);
    EXPECT_EQ(CompareText("Файл.ZIP", "Файл.zip"), 0);
    EXPECT_NE(CompareText("Файл", "файл"), 0);
}

// Every count the program shows with a noun takes the noun's Russian form:
// the last two digits decide (11-14 many), then the last digit.
TEST(StrUtils, PluralFormFollowsTheLastDigitsOfTheCount)
{
    const auto form = [](qint64 n) { return PluralForm(n, "связь", "связи", "связей"); };
    for (qint64 n : {1, 21, 31, 101, 121, 1001, 1000001, -1, -21})
        EXPECT_EQ(form(n), QStringLiteral("связь")) << n;
    for (qint64 n : {2, 3, 4, 22, 23, 24, 32, 102, 104, 1002, -2, -24})
        EXPECT_EQ(form(n), QStringLiteral("связи")) << n;
    for (qint64 n : {0, 5, 6, 9, 10, 11, 12, 13, 14, 15, 19, 20, 25, 30, 100, 111, 112, 114, 211, 1000, -11, -5})
        EXPECT_EQ(form(n), QStringLiteral("связей")) << n;
    EXPECT_EQ(CountText(2, "связь", "связи", "связей"), QStringLiteral("2 связи"));
    EXPECT_EQ(CountText(11, "день", "дня", "дней"), QStringLiteral("11 дней"));
    EXPECT_EQ(CountText(21, "строка", "строки", "строк"), QStringLiteral("21 строка"));
}
