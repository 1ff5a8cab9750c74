// Reading of import files: fields, dates, amounts, category paths, the
// remembered layout and the decoding of the file's bytes.
#include "analysis/ZorbImpParse.h"
#include "core/ZorbText.h"

#include "platform/rtl/CodePages.h"

#include <gtest/gtest.h>

namespace zorbel {
namespace {


TEST(ImportFieldTest, FieldsAreNumberedFromOneAndEmptyBeyondTheLine)
{
    const QString line = QStringLiteral("a;b;;d");
    EXPECT_EQ(SplitImportField(1, line, u';'), QStringLiteral("a"));
    EXPECT_EQ(SplitImportField(3, line, u';'), QString());
    EXPECT_EQ(SplitImportField(4, line, u';'), QStringLiteral("d"));
    EXPECT_EQ(SplitImportField(5, QStringLiteral("x;y"), u';'), QString());
    EXPECT_EQ(SplitImportField(1, line, QChar()), QString()); // no separator: empty
    std::vector<QString> fields;
    SplitImportFields(QStringLiteral("a;b;"), u';', fields);
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[2], QString());
}

TEST(ImportFieldTest, TheLetterTStandsForTab)
{
    const TImportFormat f = TImportFormat::FromTexts(QStringLiteral("t"), QString(), QString(), 7, QString());
    EXPECT_EQ(f.FieldSep, QChar(u'\t'));
    EXPECT_TRUE(f.DecimalChar.isNull());
    EXPECT_EQ(f.DateOrder, 0); // an order out of range falls back to day month year
    EXPECT_EQ(SplitImportField(2, QStringLiteral("01.02.2024\tЕда\t5"), f.FieldSep), U("Еда"));
}

TEST(ImportFieldTest, QuotedFieldsKeepTheirSeparatorsAndLoseTheirQuotes)
{
    const QString line = U("\"31.12.2024\";\"Иванов; Петров\";\"1 234,50\";\"say \"\"hi\"\"\";plain \"q\"");
    std::vector<QString> fields;
    SplitImportFields(line, u';', fields);
    ASSERT_EQ(fields.size(), 5u);
    EXPECT_EQ(fields[0], QStringLiteral("31.12.2024"));
    EXPECT_EQ(fields[1], U("Иванов; Петров"));
    EXPECT_EQ(fields[2], U("1 234,50"));
    EXPECT_EQ(fields[3], QStringLiteral("say \"hi\""));
    EXPECT_EQ(fields[4], QStringLiteral("plain \"q\"")); // quotes inside a plain field stay
    // An unclosed quote runs to the line's end.
    SplitImportFields(QStringLiteral("\"open;x"), u';', fields);
    ASSERT_EQ(fields.size(), 1u);
    EXPECT_EQ(fields[0], QStringLiteral("open;x"));
}

TEST(ImportDateTest, DayMonthYearWithShortAndLongYears)
{
    bool bad = true;
    EXPECT_EQ(ParseImportDate(QStringLiteral("31.12.05"), u'.', 0, &bad), EncodeDate(2005, 12, 31));
    EXPECT_FALSE(bad);
    EXPECT_EQ(ParseImportDate(QStringLiteral("01.02.2024"), u'.', 0), EncodeDate(2024, 2, 1));
    EXPECT_EQ(ParseImportDate(QStringLiteral(" 01.02.2024 "), u'.', 0), EncodeDate(2024, 2, 1));
    EXPECT_EQ(ParseImportDate(QStringLiteral("2005.12.31"), u'.', 1), EncodeDate(2005, 12, 31));
    EXPECT_EQ(ParseImportDate(QStringLiteral("12/31/2005"), u'/', 2), EncodeDate(2005, 12, 31));
}

TEST(ImportDateTest, MissingOrExtraPartsAreUnreadableNotTheYear2000)
{
    for (const char *text : {"01.02.", "01.02.2005.", "01.02", "31.02.2005", "32.01.2005", "01.13.2005", "x.1.2005",
                             "2024-01-05", "01.02.2024 10:15"}) {
        bool bad = false;
        EXPECT_EQ(ParseImportDate(QString::fromLatin1(text), u'.', 0, &bad), 0) << text;
        EXPECT_TRUE(bad) << text;
    }
    bool bad = true;
    EXPECT_EQ(ParseImportDate(QString(), u'.', 0, &bad), 0);
    EXPECT_FALSE(bad); // an empty field is no date, not a bad one
    EXPECT_EQ(ParseImportDate(QStringLiteral("01.02.2024"), QChar(), 0, &bad), 0);
    EXPECT_TRUE(bad);
}

TEST(ImportAmountTest, SignsSpacesAndThousandsSeparatorsAreDropped)
{
    bool bad = true;
    EXPECT_DOUBLE_EQ(ParseImportAmount(U("-1 234,50"), u',', &bad), 1234.50);
    EXPECT_FALSE(bad);
    EXPECT_DOUBLE_EQ(ParseImportAmount(U("1.234,50"), u',', &bad), 1234.50);
    EXPECT_DOUBLE_EQ(ParseImportAmount(U("1.234.567,5 руб."), u',', &bad), 1234567.5);
    EXPECT_FALSE(bad);
    EXPECT_DOUBLE_EQ(ParseImportAmount(U("1,234.50"), u'.', &bad), 1234.50);
    EXPECT_DOUBLE_EQ(ParseImportAmount(U("\u00a012\u00a0345,00"), u',', &bad), 12345.0);
    EXPECT_DOUBLE_EQ(ParseImportAmount(U("12"), u',', &bad), 12.0);
    EXPECT_EQ(ParseImportAmount(QString(), u',', &bad), 0);
    EXPECT_FALSE(bad);
    EXPECT_EQ(ParseImportAmount(QStringLiteral("12"), QChar(), &bad), 0);
    EXPECT_EQ(ParseImportAmount(QStringLiteral("n/a"), u',', &bad), 0);
    EXPECT_FALSE(bad);

    // The amount comes back unsigned; a minus before the first digit (a
    // hyphen or the minus sign, blanks and currency signs between) says
    // that the figure was negative, so the caller can tell a refund.
    const struct {
        const char *Text;
        double Value;
        bool Negative;
    } signs[] = {
        {"-9 876 543 210,98", 9876543210.98, true}, {"\u2212" "12,00", 12.0, true},
        {"- 5,50", 5.5, true},                       {"$-7", 7.0, true},
        {"12-00", 1200.0, false},                    {"12,00-", 12.0, false},
        {"+3,00", 3.0, false},                       {"4,00", 4.0, false},
        {"-", 0.0, false},                           {"-0,00", 0.0, true},
    };
    for (const auto &s : signs) {
        bool negative = !s.Negative;
        EXPECT_DOUBLE_EQ(ParseImportAmount(U(s.Text), u',', &bad, &negative), s.Value) << s.Text;
        EXPECT_EQ(negative, s.Negative) << s.Text;
    }
}

TEST(ImportAmountTest, APointThatIsNoThousandsSeparatorIsUnreadable)
{
    // Dropping the point would read 12.50 as 1250, a hundred times too much.
    for (const char *text : {"12.50", "0.5", "1,234.50", "1,2,3", "1.2345,00", "99999999999999"}) {
        bool bad = false;
        EXPECT_EQ(ParseImportAmount(QString::fromLatin1(text), u',', &bad), 0) << text;
        EXPECT_TRUE(bad) << text;
    }
    bool bad = false;
    EXPECT_EQ(ParseImportAmount(QStringLiteral("1,5"), u'.', &bad), 0);
    EXPECT_TRUE(bad);
}

TEST(ImportItemPathTest, OneNameWithSeparatorsFillsTheLevels)
{
    std::array<QString, 3> names{QString(), U("Еда:Хлеб:Белый:Нарезка"), QString()};
    SplitItemPath(names, u':');
    EXPECT_EQ(names[0], U("Еда"));
    EXPECT_EQ(names[1], U("Хлеб"));
    EXPECT_EQ(names[2], U("Белый:Нарезка"));

    names = {U(":Еда:Хлеб"), QString(), QString()}; // one leading separator is ignored
    SplitItemPath(names, u':');
    EXPECT_EQ(names[0], U("Еда"));
    EXPECT_EQ(names[1], U("Хлеб"));
    EXPECT_EQ(names[2], QString());

    names = {U(":Еда"), QString(), QString()}; // no separator after it: unchanged
    SplitItemPath(names, u':');
    EXPECT_EQ(names[0], U(":Еда"));

    names = {U("Еда:Хлеб"), QString(), QString()};
    SplitItemPath(names, QChar()); // no level separator: one name
    EXPECT_EQ(names[0], U("Еда:Хлеб"));

    names = {U("Еда:Хлеб"), U("Молоко"), QString()}; // two names: nothing to split
    SplitItemPath(names, u':');
    EXPECT_EQ(names[0], U("Еда:Хлеб"));
}

TEST(ImportLayoutTest, RememberedListKeepsItsNamesFirst)
{
    const QStringList names = ImportListNames(QStringLiteral("12;99;x;0"));
    ASSERT_EQ(names.size(), 13);
    EXPECT_EQ(names[0], U("Курс"));
    EXPECT_EQ(names[1], U("Дата"));
    EXPECT_EQ(names[2], U("Статья1"));
    EXPECT_EQ(names[12], U("Где"));
    EXPECT_EQ(ImportListNames(QString()), ImportListNames(QStringLiteral("0;1;2;3;4;5;6;7;8;9;10;11;12")));

    const QStringList skips = ImportListNames(QStringLiteral("0;13;5;13;1"));
    EXPECT_EQ(skips.mid(0, 5), (QStringList{U("Дата"), U("---"), U("Расход"), U("---"), U("Статья1")}));
    EXPECT_EQ(ImportListText(skips).left(12), QStringLiteral("0;13;5;13;1;"));
    EXPECT_EQ(ImportListText({U("Дата"), QStringLiteral("unknown"), U("---")}), QStringLiteral("0;13"));
    EXPECT_EQ(FindColumnPosition(skips, U("Расход")), 2);
    EXPECT_EQ(FindColumnPosition(skips, QStringLiteral("none")), -1);
}

TEST(ImportLayoutTest, DelimsRoundTripAndEmptyKeepsDefaults)
{
    TImportDelims d;
    ParseImportDelims(QString(), d);
    EXPECT_EQ(d.Num, QStringLiteral(","));
    EXPECT_EQ(d.Itm, QStringLiteral(":"));

    TImportDelims saved{QStringLiteral("."), QStringLiteral("/"), 2, QStringLiteral("\\")};
    TImportDelims back;
    ParseImportDelims(ImportDelimsText(saved), back);
    EXPECT_EQ(back.Num, QStringLiteral("."));
    EXPECT_EQ(back.Date, QStringLiteral("/"));
    EXPECT_EQ(back.DateOrder, 2);
    EXPECT_EQ(back.Itm, QStringLiteral("\\"));

    TImportDelims bad;
    ParseImportDelims(QStringLiteral(",") + QChar(1) + QStringLiteral(".") + QChar(1) + QStringLiteral("7"), bad);
    EXPECT_EQ(bad.DateOrder, 0); // not a valid index: the default stays
    EXPECT_EQ(bad.Itm, QStringLiteral(":"));
}

TEST(ImportDecodeTest, Windows1251AndUtf8WithOrWithoutMark)
{
    const QString text = U("Дата;Статья\r\n01.02.2024;Еда\r\n");
    const TImportText ansi = DecodeImportFile(UnicodeToWin1251(text));
    EXPECT_EQ(ansi.Encoding, TImportEncoding::Win1251);
    EXPECT_EQ(ansi.Lines, (QStringList{U("Дата;Статья"), U("01.02.2024;Еда")}));

    const TImportText utf8 = DecodeImportFile(text.toUtf8());
    EXPECT_EQ(utf8.Encoding, TImportEncoding::Utf8);
    EXPECT_EQ(utf8.Lines, ansi.Lines);

    const TImportText marked = DecodeImportFile(QByteArray("\xEF\xBB\xBF") + text.toUtf8());
    EXPECT_EQ(marked.Lines, ansi.Lines);

    // Lines end at LF, CR LF or CR; an empty line inside stays.
    EXPECT_EQ(DecodeImportFile("a\rb\n\nc").Lines, (QStringList{"a", "b", "", "c"}));
}

// A spreadsheet's "Unicode text" is UTF-16 with its mark, in either byte order.
TEST(ImportDecodeTest, Utf16WithAMarkInEitherByteOrder)
{
    const QString text = U("Дата\tСтатья\tРасход\r\n01.02.2024\tЕда\t1 234,50\r\n");
    const QStringList lines{U("Дата\tСтатья\tРасход"), U("01.02.2024\tЕда\t1 234,50")};
    QByteArray le("\xFF\xFE"), be("\xFE\xFF");
    for (QChar c : text) {
        const char lo = char(c.unicode() & 0xFF), hi = char(c.unicode() >> 8);
        le += lo;
        le += hi;
        be += hi;
        be += lo;
    }
    for (const QByteArray &bytes : {le, be}) {
        const TImportText decoded = DecodeImportFile(bytes);
        EXPECT_TRUE(decoded.Error.isEmpty()) << decoded.Error.toStdString();
        EXPECT_EQ(decoded.Encoding, TImportEncoding::Utf16);
        EXPECT_EQ(decoded.Lines, lines);
        EXPECT_EQ(decoded.Damaged, 0);
    }
    // Without its mark UTF-16 is not read as text.
    EXPECT_FALSE(DecodeImportFile(le.mid(2)).Error.isEmpty());
    // A lone surrogate damages its line only.
    QByteArray broken = le;
    broken += QByteArray("\x00\xD8" "x\x00\r\x00\n\x00" "1\x00", 10);
    const TImportText decoded = DecodeImportFile(broken);
    ASSERT_EQ(decoded.Lines.size(), 4);
    EXPECT_EQ(decoded.Lines.mid(0, 2), lines);
    EXPECT_TRUE(decoded.Lines[2].contains(QChar(ImportDamageMark)));
    EXPECT_EQ(decoded.Lines[3], QStringLiteral("1"));
    EXPECT_EQ(decoded.Damaged, 1);
}

// A damaged line keeps its place, its damage shown by the mark; lines of
// nothing but blanks and control characters are blank; the rest reads.
TEST(ImportDecodeTest, DamagedLinesAreKeptAndMarked)
{
    const QByteArray good = UnicodeToWin1251(U("01.02.2024;Еда;10,00\r\n02.02.2024;Хлеб;2,00\r\n"));
    const TImportText text =
        DecodeImportFile(good + QByteArray("03.02\0\0.2024;\x01\x7f;5\r\n\0\0\0\x1a\r\n", 24) + good);
    EXPECT_TRUE(text.Error.isEmpty()) << text.Error.toStdString();
    ASSERT_EQ(text.Lines.size(), 6);
    const QChar m(ImportDamageMark);
    EXPECT_EQ(text.Lines[2], QStringLiteral("03.02") + m + m + QStringLiteral(".2024;") + m + m + QStringLiteral(";5"));
    EXPECT_EQ(text.Lines[3], QString());
    EXPECT_EQ(text.Lines[5], U("02.02.2024;Хлеб;2,00"));
    EXPECT_EQ(text.Damaged, 1);
    // A zeroed block in a long file is one damaged line, not a refusal.
    QByteArray zeroed;
    for (int i = 0; i < 200; ++i)
        zeroed += good;
    zeroed.insert(zeroed.size() / 2, QByteArray(4096, '\0'));
    const TImportText block = DecodeImportFile(zeroed);
    EXPECT_TRUE(block.Error.isEmpty());
    EXPECT_EQ(block.Damaged, 1);
    EXPECT_EQ(block.Lines.size(), 400);
}

TEST(ImportDecodeTest, BinaryAndOverlongFilesAreRefusedWithAReason)
{
    const TImportText binary = DecodeImportFile(QByteArray("PK\x03\x04\0\0\x14", 7));
    EXPECT_TRUE(binary.Lines.isEmpty());
    EXPECT_TRUE(binary.Error.contains(U("не текстовый")));

    QByteArray huge = "1;2\n";
    huge += QByteArray(MaxImportLineLength + 1, 'x');
    const TImportText overlong = DecodeImportFile(huge);
    EXPECT_TRUE(overlong.Lines.isEmpty());
    EXPECT_TRUE(overlong.Error.startsWith(U("Строка 2 "))) << overlong.Error.toStdString();
}

} // namespace
} // namespace zorbel
