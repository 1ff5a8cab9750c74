// FormatFloat, FormatDateTime and number parsing with the program's fixed Russian settings.
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/Money.h"
#include "support/FaultEnv.h"

#include <QDate>
#include <clocale>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>

using namespace zorbel;

namespace {

// Grouped numbers use the no-break space; tests write it as "_".
QString G(const char *s) { return QString::fromUtf8(s).replace(u'_', QChar(0x00A0)); }

} // namespace

TEST(FormatFloat, GroupedMoneyMasks)
{
    EXPECT_EQ(FormatFloat("#,##0.00", 1234567.891), G("1_234_567,89"));
    EXPECT_EQ(FormatFloat("#,##0.00", -1234.5), G("-1_234,50"));
    EXPECT_EQ(FormatFloat("#,##0.00", 0), "0,00");
    EXPECT_EQ(FormatFloat("#,##0.00", 0.5), "0,50");
    EXPECT_EQ(FormatFloat("#,##0.00", 999.995), G("1_000,00"));
    EXPECT_EQ(FormatFloat("#,##0.00", 100), "100,00");
    EXPECT_EQ(FormatFloat("#,##0.00", 1000), G("1_000,00"));
    EXPECT_EQ(FormatFloat("#,###,###,##0.00", 1234567890.12), G("1_234_567_890,12"));
    EXPECT_EQ(FormatFloat("#,###,###,##0.00", 12345678901234.5), G("12_345_678_901_234,50"));
    EXPECT_EQ(FormatFloat("#,###,###,##0.00", -7), "-7,00");
    EXPECT_EQ(FormatFloat("#,##0", 1234.5), G("1_235"));
    EXPECT_EQ(FormatFloat("#,##0", 0), "0");
}

TEST(FormatFloat, RoundsHalfAwayFromZeroOnTheDecimalDigits)
{
    EXPECT_EQ(FormatFloat("0.00", 0.125), "0,13");
    EXPECT_EQ(FormatFloat("0.00", -0.125), "-0,13");
    EXPECT_EQ(FormatFloat("0.00", 0.005), "0,01");
    EXPECT_EQ(FormatFloat("0.00", 2.675), "2,67"); // 2.67499999... in binary
    EXPECT_EQ(FormatFloat("0.00", 1.005), "1,00");
    EXPECT_EQ(FormatFloat("0", 2.5), "3");
    EXPECT_EQ(FormatFloat("0", -2.5), "-3");
    EXPECT_EQ(FormatFloat("0.00", 0.1 + 0.2), "0,30");
    // A value that rounds to zero takes the zero section, without a sign.
    EXPECT_EQ(FormatFloat("0.00", -0.001), "0,00");
    EXPECT_EQ(FormatFloat("0.00;(0.00);nil", 0.001), "nil");
}

TEST(FormatFloat, DecimalMasksOfTheSettings)
{
    EXPECT_EQ(FormatFloat("0.0000", 0.1), "0,1000");
    EXPECT_EQ(FormatFloat("0.000", 2), "2,000");
    EXPECT_EQ(FormatFloat("0.00", 1234.5), "1234,50");
    EXPECT_EQ(FormatFloat("0.0", 1.25), "1,3");
    EXPECT_EQ(FormatFloat("0", 1.4), "1");
    EXPECT_EQ(FormatFloat("0.####", 1.5), "1,5");
    EXPECT_EQ(FormatFloat("0.####", 2), "2");
    EXPECT_EQ(FormatFloat("0.####", 1.23456), "1,2346");
    EXPECT_EQ(FormatFloat("0.####", 0.00004), "0");
}

TEST(FormatFloat, OptionalThirdDecimal)
{
    EXPECT_EQ(FormatFloat("#,##0.00#", 1.5), "1,50");
    EXPECT_EQ(FormatFloat("#,##0.00#", 1.2346), "1,235");
    EXPECT_EQ(FormatFloat("#,##0.00#", 1.2345), "1,234"); // 1.23449999... in binary
    EXPECT_EQ(FormatFloat("#,##0.00#", 1.2344), "1,234");
    EXPECT_EQ(FormatFloat("#,##0.00#", 1234.5), G("1_234,50"));
    EXPECT_EQ(FormatFloat("#,###,###,##0.00#", -1234567.125), G("-1_234_567,125"));
}

TEST(FormatFloat, PercentHashAndLiterals)
{
    EXPECT_EQ(FormatFloat("##0%", 45.6), "46%");
    EXPECT_EQ(FormatFloat("##0%", 0), "0%");
    EXPECT_EQ(FormatFloat("0%", 7), "7%");
    EXPECT_EQ(FormatFloat("#", 12.6), "13");
    EXPECT_EQ(FormatFloat("#", 0), "");
    EXPECT_EQ(FormatFloat("#.00", 0.5), ",50");
    EXPECT_EQ(FormatFloat(".00", 12.5), "12,50");
    // Spaces between the places are printed as written.
    EXPECT_EQ(FormatFloat("# ### ### ##0.00", 1234567.5), " 1 234 567,50");
    EXPECT_EQ(FormatFloat("# ### ### ##0.00", 5), "   5,00");
    EXPECT_EQ(FormatFloat("# ### ### ##0.00", 1234567890.5), "1 234 567 890,50");
    EXPECT_EQ(FormatFloat("\"Итого: \"#,##0.00' р.'", 5), "Итого: 5,00 р.");
    EXPECT_EQ(FormatFloat("0.00 \"#;0\"", 5), "5,00 #;0");
    EXPECT_EQ(FormatFloat("", 2.5), "2,5");
    EXPECT_EQ(FormatFloat("#,##0.00", 1e20), "1E20");
}

TEST(FormatFloat, Sections)
{
    EXPECT_EQ(FormatFloat("0.00;(0.00);Ноль", -5), "(5,00)");
    EXPECT_EQ(FormatFloat("0.00;(0.00);Ноль", 0), "Ноль");
    EXPECT_EQ(FormatFloat("0.00;(0.00);Ноль", 5), "5,00");
    EXPECT_EQ(FormatFloat("0.00;;Ноль", -5), "-5,00");
    EXPECT_EQ(FormatFloat("0.00;(0.00)", 0), "0,00");
    EXPECT_EQ(FormatFloat("0.00;\"минус \"0", -2.5), "минус 3");
}

TEST(FormatFloat, Scientific)
{
    EXPECT_EQ(FormatFloat("0.00E+00", 12345), "1,23E+04");
    EXPECT_EQ(FormatFloat("0.00E+00", 0.00012345), "1,23E-04");
    EXPECT_EQ(FormatFloat("0.00E-00", 12345), "1,23E04");
    EXPECT_EQ(FormatFloat("0.00E-0", -0.05), "-5,00E-2");
    EXPECT_EQ(FormatFloat("00.0e+0", 12345), "12,3e+3");
    EXPECT_EQ(FormatFloat("0.0E+00", 0), "0,0E+00");
}

TEST(FormatFloat, ScientificZeroFillsEveryIntegerPlace)
{
    EXPECT_EQ(FormatFloat("#.###E-0", 0), "0E0");
    EXPECT_EQ(FormatFloat("##0.0E-0", 0), "000,0E0");
    EXPECT_EQ(FormatFloat("##0.0E-0;;#.###E-0", 0), "0E0"); // the zero section's places
    EXPECT_EQ(FormatFloat("#.###E-0", 1.5), "1,5E0");
}

TEST(FormatFloat, CommaAnywhereGroups)
{
    EXPECT_EQ(FormatFloat("0.00,", 1234567.5), G("1_234_567,50"));
    EXPECT_EQ(FormatFloat("#0,", 1234), G("1_234"));
    EXPECT_EQ(FormatFloat("0.0;0.0,", -1234), G("1_234,0"));
    EXPECT_EQ(FormatFloat("'1,2' 0", 1234), "1,2 1234"); // a quoted comma is text
}

TEST(FormatFloat, EmptyFirstSectionIsTheGeneralFormat)
{
    EXPECT_EQ(FormatFloat(";(0.00)", 2.5), "2,5");
    EXPECT_EQ(FormatFloat(";(0.00)", -2.5), "(2,50)");
    EXPECT_EQ(FormatFloat(";;", -2.5), "-2,5");
    EXPECT_EQ(FormatFloat(";(0.00)", 0), "0");
    EXPECT_EQ(FormatFloat(";(0.00);Ноль", 0), "Ноль");
}

TEST(FormatFloat, NonFiniteValues)
{
    EXPECT_EQ(FormatFloat("0.00", std::numeric_limits<double>::infinity()), "INF");
    EXPECT_EQ(FormatFloat("0.00", -std::numeric_limits<double>::infinity()), "-INF");
    EXPECT_EQ(FormatFloat("0.00", std::nan("")), "NAN");
}

TEST(FloatToStr, ShortDigitsAgreeWithTheGeneralFormat)
{
    // Whole numbers and values with few exact digits take a short way; the
    // general format of Format("%g") is the reference for all of them.
    std::mt19937_64 random(7);
    std::uniform_int_distribution<int64_t> cents(-10'000'000'000LL, 10'000'000'000LL);
    std::uniform_real_distribution<double> any(-1e6, 1e6);
    std::uniform_int_distribution<int> scale(-20, 20);
    for (int i = 0; i < 200000; ++i) {
        const double values[] = {double(cents(random)) / 100, double(cents(random)) / 10000, any(random),
                                 any(random) * std::pow(10.0, scale(random)), double(cents(random) * 1000)};
        for (double v : values)
            ASSERT_EQ(FloatToStr(v), Format(QStringLiteral("%g"), {v})) << v;
    }
    for (double v : {0.1, 0.0001, 0.00012345, 0.001, 1e15, 999999999999999.0, 123456789012345.6, 1e-4, 9.999e-5,
                     0.30000000000000004, 1.0 / 3, -2.5, 5e-324, 1.7976931348623157e308, -0.0})
        EXPECT_EQ(FloatToStr(v), Format(QStringLiteral("%g"), {v})) << v;
}

TEST(FloatToStr, FifteenSignificantDigits)
{
    EXPECT_EQ(FloatToStr(0), "0");
    EXPECT_EQ(FloatToStr(100), "100");
    EXPECT_EQ(FloatToStr(-2.5), "-2,5");
    EXPECT_EQ(FloatToStr(0.1), "0,1");
    EXPECT_EQ(FloatToStr(0.1 + 0.2), "0,3");
    EXPECT_EQ(FloatToStr(1.0 / 3), "0,333333333333333");
    EXPECT_EQ(FloatToStr(2.0 / 3), "0,666666666666667");
    EXPECT_EQ(FloatToStr(999999999999999.0), "999999999999999");
    EXPECT_EQ(FloatToStr(1e15), "1E15");
    EXPECT_EQ(FloatToStr(123456789012345678.0), "1,23456789012346E17");
    EXPECT_EQ(FloatToStr(0.0001), "0,0001");
    EXPECT_EQ(FloatToStr(0.00001), "1E-5");
    EXPECT_EQ(FloatToStr(1.5e-7), "1,5E-7");
    EXPECT_EQ(FloatToStr(1e20), "1E20");
    EXPECT_EQ(FloatToStr(12345.678), "12345,678");
}

// The program runs on desktops whose C library locale has a decimal comma;
// number text must read and print the same there. Needs such a locale
// installed (ru_RU, de_DE, ...); skipped where there is none.
TEST(StrToFloat, DoesNotDependOnTheProcessLocale)
{
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    const char *found = nullptr;
    for (const char *name : {"ru_RU.UTF-8", "ru_RU.utf8", "de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "uk_UA.UTF-8"})
        if (std::setlocale(LC_NUMERIC, name)) {
            found = name;
            break;
        }
    if (!found)
        GTEST_SKIP() << "no locale with a decimal comma installed";
    struct Restore {
        std::string name;
        ~Restore() { std::setlocale(LC_NUMERIC, name.c_str()); }
    } restore{saved};
    EXPECT_DOUBLE_EQ(StrToFloat("12,5"), 12.5) << found;
    EXPECT_DOUBLE_EQ(StrToFloat("-1,5E3"), -1500) << found;
    EXPECT_DOUBLE_EQ(StrToFloat("0,0001"), 0.0001) << found;
    EXPECT_EQ(FloatToStr(1234.5678), "1234,5678") << found;
    EXPECT_EQ(FormatFloat("#,##0.00", 1234.5), G("1_234,50")) << found;
    double v = 0;
    EXPECT_TRUE(TryStrToCurr("12,34567", v));
    EXPECT_DOUBLE_EQ(v, 12.3457);
}

TEST(StrToFloat, StrictWithTheDecimalComma)
{
    EXPECT_DOUBLE_EQ(StrToFloat("12,5"), 12.5);
    EXPECT_DOUBLE_EQ(StrToFloat(" 12,5 "), 12.5);
    EXPECT_DOUBLE_EQ(StrToFloat("-1,5E3"), -1500);
    EXPECT_DOUBLE_EQ(StrToFloat("+,5"), 0.5);
    EXPECT_DOUBLE_EQ(StrToFloat("7,"), 7);
    EXPECT_DOUBLE_EQ(StrToFloat("1e-2"), 0.01);
    EXPECT_DOUBLE_EQ(StrToFloat("0,1"), 0.1); // exact nearest double
    for (const char *bad : {"", " ", ",", "-", "1 234,5", "1.5", "inf", "INF", "nan", "0x10", "1e", "1e+",
                            "12,5abc", "1e400", "--1", "1,2,3", "Infinity"}) {
        double v = 42;
        EXPECT_FALSE(TryStrToFloat(QString::fromUtf8(bad), v)) << bad;
        EXPECT_EQ(v, 42) << bad;
    }
    double v;
    EXPECT_FALSE(TryStrToFloat(G("1_234"), v));
    try {
        StrToFloat("1.5");
        FAIL();
    } catch (const EConvertError &e) {
        EXPECT_EQ(e.Message(), QString::fromUtf8("«1.5» — не число"));
    }
}

TEST(StrToInt, DecimalOnlyWithRange)
{
    EXPECT_EQ(StrToInt("42"), 42);
    EXPECT_EQ(StrToInt(" -42"), -42);
    EXPECT_EQ(StrToInt("+7"), 7);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
    EXPECT_THROW(StrToInt("2147483648"), EConvertError);
    EXPECT_THROW(StrToInt("12a"), EConvertError);
    EXPECT_THROW(StrToInt("1,5"), EConvertError);
    EXPECT_THROW(StrToInt(""), EConvertError);
    EXPECT_THROW(StrToInt("-"), EConvertError);
    EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
    EXPECT_EQ(StrToIntDef("x", 20), 20);
    EXPECT_EQ(StrToIntDef("-5", 20), -5);
    EXPECT_EQ(IntToStr(-1234567), "-1234567");
}

TEST(CurrToStr, FourDecimalsAtMost)
{
    EXPECT_EQ(CurrToStr(1.5), "1,5");
    EXPECT_EQ(CurrToStr(2), "2");
    EXPECT_EQ(CurrToStr(0), "0");
    EXPECT_EQ(CurrToStr(-0.0001), "-0,0001");
    EXPECT_EQ(CurrToStr(1234567.891), "1234567,891");
    EXPECT_EQ(CurrToStr(0.12346), "0,1235");
    double v = 0;
    EXPECT_TRUE(TryStrToCurr("12,34567", v));
    EXPECT_DOUBLE_EQ(v, 12.3457);
    EXPECT_FALSE(TryStrToCurr("1e300", v));
    EXPECT_FALSE(TryStrToCurr("12.5", v));
}

TEST(TryStrToCurr, RoundsTheDecimalTextTiesToEven)
{
    const struct {
        const char *text;
        int64_t units;
    } cases[] = {
        {"0,00015", 2},   // a tie rounds up to the even unit
        {"0,00005", 0},   // and down to it
        {"0,00025", 2},
        {"-0,00015", -2},
        {"0,000150001", 2},
        {"0,000050001", 1}, // above the tie
        {"1,00004999", 10000},
        {"2,5E-4", 2},
        {"15E-5", 2},
        {"0,1", 1000},
        {"1234567,891", 12345678910},
        {"922337203685476,9999", 9223372036854769999},
    };
    for (const auto &c : cases) {
        double v = 42;
        ASSERT_TRUE(TryStrToCurr(QString::fromUtf8(c.text), v)) << c.text;
        EXPECT_EQ(v, UnitsToMoney(c.units)) << c.text;
        int64_t units = 42;
        ASSERT_TRUE(TryStrToCurrUnits(QString::fromUtf8(c.text), units)) << c.text;
        EXPECT_EQ(units, c.units) << c.text;
    }
    double v = 42;
    for (const char *bad : {"922337203685478", "1e300", "", "1,2,3", "abc", "1e99999999999"}) {
        EXPECT_FALSE(TryStrToCurr(QString::fromUtf8(bad), v)) << bad;
        EXPECT_EQ(v, 42) << bad;
    }
    EXPECT_DOUBLE_EQ(StrToCurr("0,00015"), 0.0002);
    EXPECT_THROW(StrToCurr("x"), EConvertError);
}

namespace {

// Tuesday, 5 March 2024, 09:07:03.045.
const TDateTime Sample = EncodeDate(2024, 3, 5) + EncodeTime(9, 7, 3, 45);

} // namespace

TEST(FormatDateTime, MasksOfTheProgram)
{
    EXPECT_EQ(FormatDateTime("dd.mm.yy", Sample), "05.03.24");
    EXPECT_EQ(FormatDateTime("dd.mm.yyyy", Sample), "05.03.2024");
    EXPECT_EQ(FormatDateTime("dd.mm.yy ddd", Sample), "05.03.24 Вт");
    EXPECT_EQ(FormatDateTime("dd mmm yyyy  dddd", Sample), "05 мар 2024  вторник");
    EXPECT_EQ(FormatDateTime("dd.mmm.yyyy ddd", Sample), "05.мар.2024 Вт");
    EXPECT_EQ(FormatDateTime("dd mmm yyyy", Sample), "05 мар 2024");
    EXPECT_EQ(FormatDateTime("dd-mmmm-yyyy", Sample), "05-марта-2024");
    EXPECT_EQ(FormatDateTime("dd/mm/yy", Sample), "05.03.24");
    EXPECT_EQ(FormatDateTime("c", Sample), "05.03.2024 9:07:03");
    EXPECT_EQ(FormatDateTime("c", EncodeDate(2024, 3, 5)), "05.03.2024");
    EXPECT_EQ(FormatDateTime("", EncodeDate(2024, 3, 5)), "05.03.2024");
    EXPECT_EQ(FormatDateTime("t", Sample), "9:07");
    EXPECT_EQ(FormatDateTime("tt", Sample), "9:07:03");
}

TEST(FormatDateTime, Specifiers)
{
    EXPECT_EQ(FormatDateTime("d.m.yy", EncodeDate(2005, 1, 9)), "9.1.05");
    EXPECT_EQ(FormatDateTime("dddd", EncodeDate(2024, 3, 3)), "воскресенье");
    EXPECT_EQ(FormatDateTime("ddd", EncodeDate(2024, 3, 9)), "Сб");
    EXPECT_EQ(FormatDateTime("mmmm", Sample), "Март");
    EXPECT_EQ(FormatDateTime("mmmm yyyy", EncodeDate(2024, 5, 1)), "Май 2024");
    EXPECT_EQ(FormatDateTime("d mmmm", EncodeDate(2024, 5, 1)), "1 мая");
    // The genitive only after a day number: not after a day name or a year.
    EXPECT_EQ(FormatDateTime("dddd mmmm", EncodeDate(2024, 5, 1)), "среда Май");
    EXPECT_EQ(FormatDateTime("yyyy mmmm d", EncodeDate(2024, 5, 1)), "2024 Май 1");
    EXPECT_EQ(FormatDateTime("d.mm mmmm", EncodeDate(2024, 5, 1)), "1.05 Май");
    EXPECT_EQ(FormatDateTime("dddddd", Sample), "5 марта 2024 г.");
    EXPECT_EQ(FormatDateTime("dddddd", EncodeDate(2026, 12, 11)), "11 декабря 2026 г.");
    EXPECT_EQ(FormatDateTime("ddddd", Sample), "05.03.2024");
    EXPECT_EQ(FormatDateTime("hh:nn:ss.zzz", Sample), "09:07:03.045");
    EXPECT_EQ(FormatDateTime("h:n:s z", Sample), "9:7:3 45");
    // m right after an hour means minutes, even across literals.
    EXPECT_EQ(FormatDateTime("h:mm", Sample), "9:07");
    EXPECT_EQ(FormatDateTime("hh 'ч' mm", Sample), "09 ч 07");
    EXPECT_EQ(FormatDateTime("hh dd mm", Sample), "09 05 03");
    EXPECT_EQ(FormatDateTime("\"Дата:\" yyyy", Sample), "Дата: 2024");
    EXPECT_EQ(FormatDateTime("yyyy", EncodeDate(33, 1, 1)), "0033");
}

TEST(FormatDateTime, EveryMonthAndDayName)
{
    const char *longNames[] = {"Январь", "Февраль", "Март", "Апрель", "Май", "Июнь",
                               "Июль", "Август", "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};
    const char *genitive[] = {"января", "февраля", "марта",    "апреля",  "мая",    "июня",
                              "июля",   "августа", "сентября", "октября", "ноября", "декабря"};
    const char *shortNames[] = {"янв", "фев", "мар", "апр", "май", "июн", "июл", "авг", "сен", "окт", "ноя", "дек"};
    for (int m = 1; m <= 12; ++m) {
        const TDateTime d = EncodeDate(2023, m, 1);
        EXPECT_EQ(FormatDateTime("d mmmm", d), QStringLiteral("1 ") + QString::fromUtf8(genitive[m - 1]));
        EXPECT_EQ(FormatDateTime("mmmm", d), QString::fromUtf8(longNames[m - 1]));
        EXPECT_EQ(FormatDateTime("mmm", d), QString::fromUtf8(shortNames[m - 1]));
    }
    const char *days[] = {"Пн", "Вт", "Ср", "Чт", "Пт", "Сб", "Вс"};
    for (int i = 0; i < 7; ++i) // 4 March 2024 is a Monday
        EXPECT_EQ(FormatDateTime("ddd", EncodeDate(2024, 3, 4 + i)), QString::fromUtf8(days[i]));
}

TEST(FormatDateTime, AmPmMarkersUseTheTwelveHourClock)
{
    const TDateTime morning = EncodeDate(2024, 3, 5) + EncodeTime(9, 7, 3, 0);
    const TDateTime evening = EncodeDate(2024, 3, 5) + EncodeTime(21, 7, 3, 0);
    const TDateTime midnight = EncodeDate(2024, 3, 5);
    const TDateTime noon = EncodeDate(2024, 3, 5) + EncodeTime(12, 30, 0, 0);
    EXPECT_EQ(FormatDateTime("h:nn am/pm", morning), "9:07 am");
    EXPECT_EQ(FormatDateTime("h:nn am/pm", evening), "9:07 pm");
    EXPECT_EQ(FormatDateTime("hh:mm AM/PM", evening), "09:07 PM"); // m after h stays minutes
    EXPECT_EQ(FormatDateTime("h:nn Am/Pm", midnight), "12:00 Am");
    EXPECT_EQ(FormatDateTime("h:nn a/p", noon), "12:30 p");
    EXPECT_EQ(FormatDateTime("h:nn A/P", morning), "9:07 A");
    // Without a marker after it the hour keeps the 24-hour clock.
    EXPECT_EQ(FormatDateTime("h:nn", evening), "21:07");
    EXPECT_EQ(FormatDateTime("am/pm h", evening), "pm 21");
    EXPECT_EQ(FormatDateTime("h 'am/pm'", evening), "21 am/pm");
    // A lone "a" is still text.
    EXPECT_EQ(FormatDateTime("h a", evening), "21 a");
}

TEST(FormatDateTime, FormatsShownAgainFollowChangedSettings)
{
    // Formats are read once and kept; what the settings name is read when
    // shown, so a changed setting shows at once.
    TFormatSettings &fs = FormatSettings();
    const TFormatSettings saved = fs;
    EXPECT_EQ(FormatDateTime("c", Sample), "05.03.2024 9:07:03");
    EXPECT_EQ(FormatDateTime("dd/mm hh:nn", Sample), "05.03 09:07");
    fs.ShortDateFormat = QStringLiteral("yyyy-mm-dd");
    fs.DateSeparator = u'-';
    fs.TimeSeparator = u'.';
    EXPECT_EQ(FormatDateTime("c", Sample), "2024-03-05 9.07.03");
    EXPECT_EQ(FormatDateTime("dd/mm hh:nn", Sample), "05-03 09.07");
    fs = saved;
    EXPECT_EQ(FormatDateTime("c", Sample), "05.03.2024 9:07:03");
    // Many distinct formats (more than are kept) still format correctly.
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(FormatDateTime(QStringLiteral("'%1' yyyy").arg(i), Sample), QStringLiteral("%1 2024").arg(i));
}

TEST(FormatDateTime, InvalidSerialsFormatWithoutFailing)
{
    EXPECT_EQ(FormatDateTime("dd.mm.yyyy ddd mmm", -1000000), "00.00.0000  ");
}

TEST(StrToDate, ShortDateFormat)
{
    EXPECT_EQ(StrToDate("29.02.2024"), EncodeDate(2024, 2, 29));
    EXPECT_EQ(StrToDate("1.2.2004"), EncodeDate(2004, 2, 1));
    EXPECT_EQ(StrToDate(" 01 . 02 . 2004 "), EncodeDate(2004, 2, 1));
    EXPECT_EQ(StrToDate("01.02.04"), EncodeDate(2004, 2, 1));
    EXPECT_EQ(StrToDate("01.02.99"), EncodeDate(1999, 2, 1));
    EXPECT_EQ(StrToDate("15.6"), EncodeDate(QDate::currentDate().year(), 6, 15));
    TDateTime v = 7;
    for (const char *bad : {"", "29.02.2023", "31.04.2024", "2024-02-29", "01.02.2004x", "01/02/2004", "1..2004",
                            "01.02.", "123456.01.2004", "0.1.2004"}) {
        EXPECT_FALSE(TryStrToDate(QString::fromUtf8(bad), v)) << bad;
        EXPECT_EQ(v, 7) << bad;
    }
    try {
        StrToDate("30.02.2024");
        FAIL();
    } catch (const EConvertError &e) {
        EXPECT_EQ(e.Message(), QString::fromUtf8("«30.02.2024» — не дата"));
    }
}

TEST(StrToDate, TheYearsLeftOutFollowTheClockOfTheSystemServices)
{
    test::TFaultEnv env;
    env.SetNow(QDateTime(QDate(2081, 6, 1), QTime(12, 0)));
    TSysEnvScope scope(env);
    // A date without its year takes today's; two digits fall in the hundred
    // years from fifty before today's year.
    EXPECT_EQ(StrToDate("15.6"), EncodeDate(2081, 6, 15));
    EXPECT_EQ(StrToDate("01.02.30"), EncodeDate(2130, 2, 1));
    EXPECT_EQ(StrToDate("01.02.31"), EncodeDate(2031, 2, 1));
    EXPECT_EQ(StrToDateTime("15.6 9:07"), EncodeDate(2081, 6, 15) + EncodeTime(9, 7, 0, 0));
}

TEST(StrToDate, TimesAndDateTimesRoundTrip)
{
    EXPECT_DOUBLE_EQ(StrToTime("9:07"), EncodeTime(9, 7, 0, 0));
    EXPECT_DOUBLE_EQ(StrToTime("23:59:58"), EncodeTime(23, 59, 58, 0));
    EXPECT_DOUBLE_EQ(StrToTime("1:02:03,004"), EncodeTime(1, 2, 3, 4));
    EXPECT_THROW(StrToTime("24:00"), EConvertError);
    EXPECT_THROW(StrToTime("9:"), EConvertError);
    EXPECT_DOUBLE_EQ(StrToDateTime(DateTimeToStr(Sample)), EncodeDate(2024, 3, 5) + EncodeTime(9, 7, 3, 0));
    EXPECT_DOUBLE_EQ(StrToDateTime(DateToStr(Sample)), EncodeDate(2024, 3, 5));
    EXPECT_DOUBLE_EQ(StrToDateTime("12:00"), 0.5);
    EXPECT_THROW(StrToDateTime("05.03.2024 x"), EConvertError);
    EXPECT_EQ(TimeToStr(Sample), "9:07:03");
}

TEST(Format, DirectivesOfTheProgram)
{
    EXPECT_EQ(Format("where id_account=%d", {5}), "where id_account=5");
    EXPECT_EQ(Format(" (Dy=%d and Mn=%d )", {8, 12}), " (Dy=8 and Mn=12 )");
    EXPECT_EQ(Format("%-2.2d", {5}), "05");
    EXPECT_EQ(Format("%3.3d", {7}), "007");
    EXPECT_EQ(Format("%3.3d", {-7}), "-007");
    EXPECT_EQ(Format("%-10.10d", {42}), "0000000042");
    EXPECT_EQ(Format("%.1d", {7}), "7");
    EXPECT_EQ(Format("[%-d]", {5}), "[5]");
    EXPECT_EQ(Format("[%4d][%-4d]", {5, 6}), "[   5][6   ]");
    EXPECT_EQ(Format("%.8X", {255}), "000000FF");
    EXPECT_EQ(Format("%.8X", {-1}), "FFFFFFFF");
    EXPECT_EQ(Format("%6.6x", {0x00AB12}), "00AB12");
    EXPECT_EQ(Format("%2.0f", {3.5}), " 4");
    EXPECT_EQ(Format("%6.1f", {12.34}), "  12,3");
    EXPECT_EQ(Format("%4.2f", {1.5}), "1,50");
    EXPECT_EQ(Format("%f", {-1.005}), "-1,00");
    EXPECT_EQ(Format("%n", {1234567.5}), G("1_234_567,50"));
    EXPECT_EQ(Format("%e", {1.5}), "1,50000000000000E+000");
    EXPECT_EQ(Format("%g", {0.5}), "0,5");
    EXPECT_EQ(Format("%d.%d.%d.%d", {1, 2, 3, 4}), "1.2.3.4");
    EXPECT_EQ(Format("Надо удалить %d записей со статьёй \"%s\" !", {3, "Перевод"}),
              "Надо удалить 3 записей со статьёй \"Перевод\" !");
    EXPECT_EQ(Format("%.3s|%s", {"abcdef", QStringLiteral("я")}), "abc|я");
    EXPECT_EQ(Format("%1:s %0:s %s", {"a", "b"}), "b a b");
    EXPECT_EQ(Format("100%%", {}), "100%");
    EXPECT_THROW(Format("%d", {"x"}), EConvertError);
    EXPECT_THROW(Format("%s", {1}), EConvertError);
    EXPECT_THROW(Format("%d %d", {1}), EConvertError);
    EXPECT_THROW(Format("%", {1}), EConvertError);
    EXPECT_THROW(Format("%q", {1}), EConvertError);
}
