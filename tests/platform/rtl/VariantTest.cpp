// Variant: kinds, conversions through the decimal comma, booleans, nulls and dates.
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Variant.h"

#include <gtest/gtest.h>

using namespace zorbel;
using R = TVariantRelationship;

TEST(Variant, KindsAndTypeCodes)
{
    EXPECT_EQ(VarType(Variant()), varEmpty);
    EXPECT_EQ(VarType(Variant::Null()), varNull);
    EXPECT_EQ(VarType(Variant(int16_t(5))), varSmallint);
    EXPECT_EQ(VarType(Variant(5)), varInteger);
    EXPECT_EQ(VarType(Variant(5LL)), varInt64);
    EXPECT_EQ(VarType(Variant(5.5)), varDouble);
    EXPECT_EQ(VarType(Variant::FromCurrency(5.5)), varCurrency);
    EXPECT_EQ(VarType(Variant::FromDate(5)), varDate);
    EXPECT_EQ(VarType(Variant(true)), varBoolean);
    EXPECT_EQ(VarType(Variant("x")), varString); // not a Boolean
    EXPECT_EQ(VarType(VarArrayOf({1, "a"})), varArray | varVariant);
    EXPECT_TRUE(VarIsEmpty(Variant()));
    EXPECT_FALSE(VarIsEmpty(Variant::Null()));
    EXPECT_TRUE(VarIsNull(Variant::Null()));
    EXPECT_FALSE(VarIsNull(Variant(0)));
    EXPECT_TRUE(VarIsArray(VarArrayOf({})));
    EXPECT_FALSE(VarIsArray(Variant("a")));
}

TEST(Variant, TextAndNumbersMeetThroughTheDecimalComma)
{
    EXPECT_DOUBLE_EQ(Variant("12,5").AsDouble(), 12.5);
    EXPECT_THROW(Variant("12.5").AsDouble(), EVariantError);
    EXPECT_THROW(Variant("abc").AsDouble(), EVariantError);
    EXPECT_THROW(Variant("").AsInteger(), EVariantError);
    EXPECT_EQ(Variant(12.5).AsString(), "12,5");
    EXPECT_EQ(Variant(-3).AsString(), "-3");
    EXPECT_EQ(Variant("42").AsInteger(), 42);
    EXPECT_EQ(Variant("2,5").AsInteger(), 2);   // rounds half to even
    EXPECT_EQ(Variant("3,5").AsInteger(), 4);
    EXPECT_EQ(Variant(-2.5).AsInteger(), -2);
    EXPECT_EQ(Variant::FromCurrency(1.2345).AsString(), "1,2345");
    EXPECT_EQ(Variant::FromCurrency(2.0).AsString(), "2");
    EXPECT_EQ(Variant("0,03125").AsCurrencyUnits(), 312); // 312.5 units, ties to even
    EXPECT_EQ(Variant("0,09375").AsCurrencyUnits(), 938);
    EXPECT_EQ(Variant("0,00015").AsCurrencyUnits(), 2); // from the decimal text, not a double
    EXPECT_EQ(Variant("0,00005").AsCurrencyUnits(), 0);
    EXPECT_EQ(Variant("-0,00025").AsCurrencyUnits(), -2);
}

TEST(Variant, BooleansEmptyAndNull)
{
    EXPECT_EQ(Variant(true).AsInteger(), -1);
    EXPECT_EQ(Variant(true).AsString(), "True");
    EXPECT_FALSE(Variant("false").AsBoolean());
    EXPECT_TRUE(Variant("TRUE").AsBoolean());
    EXPECT_TRUE(Variant(2.5).AsBoolean());
    EXPECT_THROW(Variant("ja").AsBoolean(), EVariantError);
    EXPECT_EQ(Variant().AsInteger(), 0);
    EXPECT_EQ(Variant().AsString(), "");
    EXPECT_FALSE(Variant().AsBoolean());
    EXPECT_THROW(Variant::Null().AsInteger(), EVariantError);
    EXPECT_THROW(Variant::Null().AsString(), EVariantError);
    EXPECT_EQ(VarToStr(Variant::Null()), "");
    try {
        Variant::Null().AsDouble();
        FAIL();
    } catch (const EVariantError &e) {
        EXPECT_EQ(e.Message(), QString::fromUtf8("Значение типа «пустое значение» нельзя преобразовать в тип «дробное число»"));
    }
}

TEST(Variant, DatesAreDaySerials)
{
    const TDateTime d = EncodeDate(2024, 2, 29);
    EXPECT_DOUBLE_EQ(Variant::FromDate(d).AsDouble(), d);
    EXPECT_DOUBLE_EQ(Variant(double(d)).AsDate(), d);
    EXPECT_EQ(Variant::FromDate(d).AsString(), "29.02.2024");
    EXPECT_EQ(Variant::FromDate(d + EncodeTime(9, 5, 7, 0)).AsString(), "29.02.2024 9:05:07");
    EXPECT_DOUBLE_EQ(Variant("29.02.2024").AsDate(), d);
    EXPECT_DOUBLE_EQ(Variant("29.02.2024 12:00").AsDate(), d + 0.5);
    EXPECT_THROW(Variant("30.02.2024").AsDate(), EVariantError);
}

TEST(Variant, IntegerRangesAreChecked)
{
    EXPECT_EQ(Variant(32767).AsSmallint(), 32767);
    EXPECT_THROW(Variant(32768).AsSmallint(), EVariantError);
    EXPECT_THROW(Variant(3e9).AsInteger(), EVariantError);
    EXPECT_EQ(Variant(3e9).AsInt64(), 3000000000LL);
    EXPECT_THROW(Variant(1e300).AsInt64(), EVariantError);
    EXPECT_EQ(Variant(int16_t(-7)).AsType(varString).AsString(), "-7");
    EXPECT_EQ(VarType(Variant("7").AsType(varSmallint)), varSmallint);
    EXPECT_EQ(Variant("7").AsType(varSmallint).AsInteger(), 7);
}

TEST(Variant, ArraysFromZero)
{
    Variant a = VarArrayOf({1, "два", Variant::Null()});
    EXPECT_EQ(VarArrayLowBound(a), 0);
    EXPECT_EQ(VarArrayHighBound(a), 2);
    EXPECT_EQ(a[1].AsString(), "два");
    EXPECT_TRUE(VarIsNull(a[2]));
    EXPECT_THROW(a[3], EVariantError);
    EXPECT_THROW(a[-1], EVariantError);
    EXPECT_THROW(VarArrayHighBound(Variant(1)), EVariantError);
    EXPECT_THROW(a.AsString(), EVariantError);
    Variant copy = a;
    copy[0] = 5;
    EXPECT_EQ(a[0].AsInteger(), 1); // arrays are values
}

TEST(Variant, Comparison)
{
    EXPECT_EQ(VarCompareValue(Variant(1), Variant(2)), R::vrLessThan);
    EXPECT_EQ(VarCompareValue(Variant(2.5), Variant(2)), R::vrGreaterThan);
    EXPECT_TRUE(Variant(int16_t(3)) == Variant(3LL));
    EXPECT_TRUE(Variant(3) == Variant(3.0));
    // Large integers compare exactly, not through double.
    EXPECT_EQ(VarCompareValue(Variant(9007199254740993LL), Variant(9007199254740992LL)), R::vrGreaterThan);
    EXPECT_TRUE(Variant::FromCurrency(0.1) == Variant::FromCurrencyUnits(1000));
    EXPECT_EQ(VarCompareValue(Variant::FromCurrency(1.5), Variant(1)), R::vrGreaterThan);
    // Text against a number reads the text as a number.
    EXPECT_TRUE(Variant("100") == Variant(100.0));
    EXPECT_EQ(VarCompareValue(Variant("100,5"), Variant(100.0)), R::vrGreaterThan);
    EXPECT_THROW(VarCompareValue(Variant("abc"), Variant(1)), EVariantError);
    // Text against a date reads the text as a date.
    EXPECT_TRUE(Variant("01.02.2004") == Variant::FromDate(EncodeDate(2004, 2, 1)));
    // Null and Empty equal only themselves.
    EXPECT_EQ(VarCompareValue(Variant::Null(), Variant::Null()), R::vrEqual);
    EXPECT_EQ(VarCompareValue(Variant::Null(), Variant(0)), R::vrNotEqual);
    EXPECT_EQ(VarCompareValue(Variant(), Variant::Null()), R::vrNotEqual);
    EXPECT_EQ(VarCompareValue(Variant(), Variant()), R::vrEqual);
    EXPECT_EQ(VarCompareValue(Variant(false), Variant(true)), R::vrLessThan);
    // Texts compare in the Russian alphabet, Ё after Е.
    EXPECT_EQ(VarCompareValue(Variant("ёж"), Variant("жук")), R::vrLessThan);
    EXPECT_EQ(VarCompareValue(Variant("еж"), Variant("ёж")), R::vrLessThan);
    EXPECT_EQ(VarCompareValue(Variant("ёж"), Variant("ель")), R::vrLessThan);
    EXPECT_EQ(VarCompareValue(Variant("b"), Variant("а")), R::vrLessThan);
    EXPECT_TRUE(VarArrayOf({1, "x"}) == VarArrayOf({1.0, "x"}));
    EXPECT_EQ(VarCompareValue(VarArrayOf({1}), VarArrayOf({2})), R::vrNotEqual);
}
