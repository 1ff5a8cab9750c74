// Windows-1251 and 866 conversions: every Cyrillic letter and byte round-trips.
#include "platform/rtl/CodePages.h"

#include <gtest/gtest.h>

using namespace zorbel;

namespace {
const QString kAlphabet = QStringLiteral("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя");
}

TEST(CodePages, EveryCyrillicLetterRoundTripsThroughBothCodePages)
{
    for (TCodePage cp : {TCodePage::Win1251, TCodePage::Cp866}) {
        const QByteArray bytes = UnicodeToCodePage(cp, kAlphabet);
        ASSERT_EQ(bytes.size(), kAlphabet.size());
        EXPECT_FALSE(bytes.contains('?'));
        EXPECT_EQ(CodePageToUnicode(cp, bytes), kAlphabet);
    }
}

TEST(CodePages, KnownBytePositions)
{
    // Windows-1251: А = C0, я = FF, Ё = A8, ё = B8, № = B9; 866: А = 80, п = AF,
    // р = E0, я = EF, Ё = F0, ё = F1.
    EXPECT_EQ(UnicodeToWin1251(QStringLiteral("АяЁё№")), QByteArray("\xC0\xFF\xA8\xB8\xB9"));
    EXPECT_EQ(UnicodeToCp866(QStringLiteral("АпряЁё")), QByteArray("\x80\xAF\xE0\xEF\xF0\xF1"));
}

TEST(CodePages, EveryByteRoundTripsAndUnmappedCharactersBecomeOneQuestionMark)
{
    for (TCodePage cp : {TCodePage::Win1251, TCodePage::Cp866}) {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(static_cast<char>(b));
        EXPECT_EQ(UnicodeToCodePage(cp, CodePageToUnicode(cp, all)), all);
    }
    // Chinese and an emoji (a surrogate pair) are outside both code pages.
    EXPECT_EQ(UnicodeToWin1251(QString::fromUtf8("a\xE4\xB8\xAD" "b\xF0\x9F\x98\x80" "c")), QByteArray("a?b?c"));
    // Box drawing exists only in 866; typographic quotes only in 1251.
    EXPECT_EQ(UnicodeToWin1251(QStringLiteral("╬")), QByteArray("?"));
    EXPECT_EQ(UnicodeToCp866(QStringLiteral("«")), QByteArray("?"));
}

TEST(CodePages, AnsiOemConversionOfEntryNames)
{
    const QByteArray ansi = UnicodeToWin1251(QStringLiteral("Отчёт 2024.db"));
    const QByteArray oem = CharToOem(ansi);
    EXPECT_EQ(oem, UnicodeToCp866(QStringLiteral("Отчёт 2024.db")));
    EXPECT_EQ(OemToChar(oem), ansi);
}
