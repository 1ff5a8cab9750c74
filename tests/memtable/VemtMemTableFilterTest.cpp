// Filters of the memory table: the programs' own filters on TbRest and
// TabRes, then the evaluation rules case by case (nulls, comparison pairs,
// partial compares, LIKE masks, IN lists, arithmetic, functions), setting the
// text and the flag on open and closed tables, and the error texts.
#include "memtable/VemtMemTable.h"
#include "memtable/MemTableSupport.h"
#include "platform/rtl/DateTime.h"

#include <gtest/gtest.h>

namespace zorbel {
namespace {

using namespace test;

// Values of one row of the rules table by field name (null where not given).
using Row = std::vector<std::pair<const char *, Variant>>;

class FilterRules : public ::testing::Test {
protected:
    void SetUp() override
    {
        t.FieldDefs().Add(QStringLiteral("nm"), ftString, 20);
        t.FieldDefs().Add(QStringLiteral("x"), ftInteger);
        t.FieldDefs().Add(QStringLiteral("a"), ftFloat);
        t.FieldDefs().Add(QStringLiteral("b"), ftFloat);
        t.FieldDefs().Add(QStringLiteral("flag"), ftBoolean);
        t.FieldDefs().Add(QStringLiteral("d"), ftDate);
        t.FieldDefs().Add(QStringLiteral("cur"), ftCurrency);
        t.Open();
    }
    void Add(const char *nm, const Row &row = {})
    {
        t.Append();
        t.FieldByName(QStringLiteral("nm"))->SetAsString(QString::fromUtf8(nm));
        for (const auto &[name, value] : row)
            t.FieldByName(QString::fromLatin1(name))->SetAsVariant(value);
        t.Post();
    }
    // The names of the rows the filter shows.
    QString Shown(const QString &filter, TFilterOptions options = {})
    {
        t.SetFiltered(false);
        t.SetFilterOptions(options);
        t.SetFilter(filter);
        t.SetFiltered(true);
        return Column(t, QStringLiteral("nm")).join(u',');
    }

    TVemtMemTable t;
};

TEST(VemtMemTableFilter, YearFilterOfTbRestHidesNullsAndFollowsTheComboText)
{
    auto rest = MakeTbRest();
    rest->Open();
    for (int year : {2004, 2005, 2005, 2006, 2007, 0}) {
        rest->Append();
        if (year)
            rest->FieldByName(QStringLiteral("y"))->SetAsInteger(year);
        rest->FieldByName(QStringLiteral("Per"))->SetAsString(QString::number(year));
        rest->Post();
    }
    const std::pair<const char *, const char *> cases[] = {
        {"y > 2005", "2006,2007"}, {"y = 2005", "2005,2005"}, {"y < 2005", "2004"},
        {"y > 2004", "2005,2005,2006,2007"}, {"2005 < y", "2006,2007"}, {"", "2004,2005,2005,2006,2007,0"},
        {"not (y = 2005)", "2004,2006,2007,0"}, {"y is null", "0"}};
    for (const auto &[filter, shown] : cases) {
        rest->SetFilter(QString::fromLatin1(filter));
        EXPECT_EQ(Column(*rest, QStringLiteral("Per")).join(u','), QString::fromLatin1(shown)) << filter;
    }
    rest->SetFilter(QStringLiteral("y > 2005"));
    EXPECT_EQ(rest->RecordCount(), 2);
    // The export switches the filter off for a while: every year shows.
    rest->SetFiltered(false);
    EXPECT_EQ(rest->RecordCount(), 6);
    rest->SetFiltered(true);
    EXPECT_EQ(rest->RecordCount(), 2);
    // A blank filter with Filtered restricts nothing.
    rest->SetFilter(QStringLiteral("  "));
    EXPECT_FALSE(rest->IsFilterActive());
    EXPECT_EQ(rest->RecordCount(), 6);
}

TEST(VemtMemTableFilter, AmountLimitsOfTabResCompareFloatsWithQuotedNumbers)
{
    auto res = MakeTabRes();
    res->Open();
    AddRes(*res, 1, QStringLiteral("exact"), 100, 150);
    AddRes(*res, 2, QStringLiteral("above"), 100.5, 200);
    AddRes(*res, 3, QStringLiteral("income"), 300, 10);
    AddRes(*res, 4, QStringLiteral("small"), 5, 50);
    const std::pair<const char *, const char *> cases[] = {
        {"sdt>'100'", "above,income"},
        {"sdt>'100' and amt<'0'", "above"},
        {"sdt>='100' and amt<'0'", "exact,above"},
        {"sdt > '100,5'", "income"},
        {"sct<'100' and sdt>'1'", "income,small"},
        {"sdt>'100' and amt<'0' and sct>'150'", "above"}};
    for (const auto &[filter, shown] : cases) {
        res->SetFilter(QString::fromLatin1(filter));
        EXPECT_EQ(Column(*res, QStringLiteral("nm")).join(u','), QString::fromLatin1(shown)) << filter;
    }
    // The window's filter text survives refills and applies to them.
    res->SetFilter(QStringLiteral("sdt>'100'"));
    res->EmptyTable();
    AddRes(*res, 5, QStringLiteral("new"), 101, 0);
    AddRes(*res, 6, QStringLiteral("low"), 99, 0);
    EXPECT_EQ(Column(*res, QStringLiteral("nm")), QStringList({"new"}));
    EXPECT_EQ(res->RecordCount(), 1);
    // A threshold with a decimal point is no number here: the text is refused
    // when it is set (the window then clears the filter).
    EXPECT_NE(MessageOf([&] { res->SetFilter(QStringLiteral("sdt>'1.5'")); }), QStringLiteral("<no exception>"));
    EXPECT_FALSE(res->HasFilterTree());
}

TEST(VemtMemTableFilter, DynamicsFilterTextHidesNothingUntilFilteredModeIsOn)
{
    TVemtMemTable dyn;
    dyn.FieldDefs().Add(QStringLiteral("vr"), ftString, 15);
    dyn.FieldDefs().Add(QStringLiteral("rest"), ftFloat);
    dyn.FieldDefs().Add(QStringLiteral("dw"), ftWord);
    dyn.SetFilter(QStringLiteral("rest<>null and rest<>0"));
    dyn.Open();
    const std::pair<const char *, Variant> rows[] = {
        {"01.05", Variant(10.0)}, {"02.05", Variant::Null()}, {"03.05", Variant(0.0)}, {"04.05", Variant(-5.0)}};
    for (const auto &[vr, rest] : rows) {
        dyn.Append();
        dyn.FieldByName(QStringLiteral("vr"))->SetAsString(QString::fromLatin1(vr));
        dyn.FieldByName(QStringLiteral("rest"))->SetAsVariant(rest);
        dyn.Post();
    }
    EXPECT_TRUE(dyn.HasFilterTree());
    EXPECT_EQ(dyn.RecordCount(), 4);
    dyn.SetFiltered(true);
    EXPECT_EQ(Column(dyn, QStringLiteral("vr")), QStringList({"01.05", "04.05"}));
    // Emptied and closed by every rebuild: the text stays, the rows go.
    dyn.EmptyTable();
    dyn.Close();
    EXPECT_EQ(dyn.Filter(), QStringLiteral("rest<>null and rest<>0"));
    dyn.Open();
    EXPECT_TRUE(dyn.IsEmpty());
    EXPECT_TRUE(dyn.IsFilterActive());
}

TEST_F(FilterRules, NullsFollowThreeValuedLogic)
{
    Add("a_null", {{"a", Variant::Null()}, {"b", Variant(5.0)}});
    Add("both", {{"a", Variant(3.0)}, {"b", Variant(0.0)}});
    Add("none", {{"a", Variant(0.0)}, {"b", Variant(0.0)}});
    Add("all_null");
    // Comparisons with a null side are false.
    EXPECT_EQ(Shown("a > 1 or b > 1"), QStringLiteral("a_null,both"));
    EXPECT_EQ(Shown("a <> 1"), QStringLiteral("both,none"));
    EXPECT_EQ(Shown("not (a > 1)"), QStringLiteral("a_null,none,all_null"));
    // A null operand of and/or: "or" takes the known side, "and" is false
    // only when the known side is false; a null result hides the row.
    EXPECT_EQ(Shown("flag or b > 1"), QStringLiteral("a_null"));
    EXPECT_EQ(Shown("flag or b < 1"), QStringLiteral("both,none"));
    EXPECT_EQ(Shown("not (flag and b > 1)"), QStringLiteral("both,none,all_null"));
    EXPECT_EQ(Shown("flag"), QString());
    EXPECT_EQ(Shown("not flag"), QString());
    // Arithmetic with a null is null.
    EXPECT_EQ(Shown("a + b > 2"), QStringLiteral("both"));
    EXPECT_EQ(Shown("-a < 0"), QStringLiteral("both"));
    EXPECT_EQ(Shown("a is null"), QStringLiteral("a_null,all_null"));
    EXPECT_EQ(Shown("a is not null and b = 0"), QStringLiteral("both,none"));
}

TEST_F(FilterRules, ComparisonPairsAndArithmetic)
{
    Add("Abc", {{"x", Variant(2)}, {"a", Variant(2.5)}, {"flag", Variant(true)}, {"d", Variant::FromDate(EncodeDate(2005, 2, 1))}});
    Add("abc", {{"x", Variant(7)}, {"a", Variant(-1.0)}, {"flag", Variant(false)}, {"d", Variant::FromDate(EncodeDate(2006, 1, 1))}});
    Add("Ab", {{"x", Variant(3)}, {"a", Variant(7.0)}});
    // Strings compare case-sensitively; a prefix is the smaller.
    EXPECT_EQ(Shown("nm = 'abc'"), QStringLiteral("abc"));
    EXPECT_EQ(Shown("nm < 'Abc'"), QStringLiteral("Ab"));
    // Integer with real, boolean, date.
    EXPECT_EQ(Shown("x > a"), QStringLiteral("abc"));
    EXPECT_EQ(Shown("flag = 1"), QStringLiteral("Abc"));
    EXPECT_EQ(Shown("d > '01.06.2005'"), QStringLiteral("abc"));
    EXPECT_EQ(Shown("d = '01.02.2005'"), QStringLiteral("Abc"));
    // Arithmetic: integer, real and division; precedence of * over +.
    EXPECT_EQ(Shown("x + 2 * 3 > 8"), QStringLiteral("abc,Ab"));
    EXPECT_EQ(Shown("x - 5 > -5"), QStringLiteral("Abc,abc,Ab"));
    EXPECT_EQ(Shown("x / 2 = 1,5"), QStringLiteral("Ab"));
    EXPECT_EQ(Shown("a * 2 = 5"), QStringLiteral("Abc"));
    EXPECT_EQ(Shown("nm + 'x' = 'Abx'"), QStringLiteral("Ab"));
    // IN: a list of values, or a single value compared as its text.
    EXPECT_EQ(Shown("x in (1, 2, 3)"), QStringLiteral("Abc,Ab"));
    EXPECT_EQ(Shown("x in (7)"), QStringLiteral("abc"));
    EXPECT_EQ(Shown("nm in ('Ab', 'abc')"), QStringLiteral("abc,Ab"));
}

TEST_F(FilterRules, PartialComparesAndLikeMasks)
{
    for (const char *name : {"ab", "AB", "Ab", "aB", "abc", "AXC", "ab%", "*", "Абв", "абв", "a[b"})
        Add(name);
    // A trailing star makes a partial compare; a lone star is a character.
    EXPECT_EQ(Shown("nm = 'Ab*'"), QStringLiteral("Ab"));
    EXPECT_EQ(Shown("nm = 'ab*'"), QStringLiteral("ab,abc,ab%"));
    EXPECT_EQ(Shown("nm <> 'ab*'"), QStringLiteral("AB,Ab,aB,AXC,*,Абв,абв,a[b"));
    EXPECT_EQ(Shown("nm = '*'"), QStringLiteral("*"));
    EXPECT_EQ(Shown("nm = 'ab*'", {foNoPartialCompare}), QString());
    // Case-insensitive compares upper-case by the locale, Cyrillic included.
    EXPECT_EQ(Shown("nm = 'ab'", {foCaseInsensitive}), QStringLiteral("ab,AB,Ab,aB"));
    EXPECT_EQ(Shown("nm = 'абв'", {foCaseInsensitive}), QStringLiteral("Абв,абв"));
    // LIKE: % and _ are ordinary; Latin letters match either case, others only themselves.
    EXPECT_EQ(Shown("nm like 'ab%'"), QStringLiteral("ab%"));
    EXPECT_EQ(Shown("nm like 'a?c'"), QStringLiteral("abc,AXC"));
    EXPECT_EQ(Shown("nm like 'абв'"), QStringLiteral("абв"));
    EXPECT_EQ(Shown("nm like 'ab*'"), QStringLiteral("ab,AB,Ab,aB"));
    EXPECT_EQ(Shown("nm like '*b*c'"), QStringLiteral("abc"));
    EXPECT_EQ(Shown("nm like '[a-b]?'"), QStringLiteral("ab,AB,Ab,aB"));
    // The parser drops a final star of a LIKE mask as well.
    EXPECT_EQ(Shown("nm like '[!a]*'"), QStringLiteral("*"));
    EXPECT_EQ(Shown("nm like '[!a]?" "?'"), QStringLiteral("Абв,абв"));
    EXPECT_EQ(Shown("nm like 'a[[]b'"), QStringLiteral("a[b"));
    EXPECT_EQ(MessageOf([&] { Shown("nm like 'a[bc'"); }), QStringLiteral("'a[bc' is an invalid mask at (2)"));
    EXPECT_EQ(MessageOf([&] { Shown("nm like '[-z]'"); }), QStringLiteral("'[-z]' is an invalid mask at (2)"));
    const QString stars = QStringLiteral("a") + QString(31, u'*') + QStringLiteral("b");
    EXPECT_EQ(MessageOf([&] { Shown(QStringLiteral("nm like '%1'").arg(stars)); }),
              QStringLiteral("'%1' is an invalid mask at (32)").arg(stars));
}

TEST_F(FilterRules, Functions)
{
    Add("  Mixed Ёж ", {{"x", Variant(1)}, {"d", Variant::FromDate(EncodeDate(2005, 3, 14) + 0.75)}});
    Add("plain", {{"x", Variant(2)}, {"d", Variant::FromDate(EncodeDate(2006, 12, 1))}});
    EXPECT_EQ(Shown("upper(nm) = '  MIXED Ёж '"), QStringLiteral("  Mixed Ёж "));
    EXPECT_EQ(Shown("lower(nm) = 'plain'"), QStringLiteral("plain"));
    EXPECT_EQ(Shown("trim(nm) = 'Mixed Ёж'"), QStringLiteral("  Mixed Ёж "));
    EXPECT_EQ(Shown("trimleft(nm) = 'Mixed Ёж '"), QStringLiteral("  Mixed Ёж "));
    EXPECT_EQ(Shown("trimright(nm) = '  Mixed Ёж'"), QStringLiteral("  Mixed Ёж "));
    EXPECT_EQ(Shown("substring(nm, 2, 3) = 'lai'"), QStringLiteral("plain"));
    EXPECT_EQ(Shown("substring(nm, 3) = 'ain'"), QStringLiteral("plain"));
    EXPECT_EQ(Shown("year(d) = 2005 and month(d) = 3 and day(d) = 14"), QStringLiteral("  Mixed Ёж "));
    EXPECT_EQ(Shown("hour(d) = 0 and minute(d) = 0 and second(d) = 0"), QStringLiteral("  Mixed Ёж ,plain"));
    EXPECT_EQ(Shown("d < getdate()"), QStringLiteral("  Mixed Ёж ,plain"));
    EXPECT_EQ(Shown("date('2006.12.01', 'yyyy.mm.dd') = d"), QStringLiteral("plain"));
}

TEST_F(FilterRules, TextComparedWithADateFunctionIsReadAsADate)
{
    Add("one");
    // As text "01.01.2005" sorts after today's date text on most days; read
    // as a date it lies in the past whatever today is.
    EXPECT_EQ(Shown("getdate() > '01.01.2005'"), QStringLiteral("one"));
    EXPECT_EQ(Shown("'01.01.2005' < getdate()"), QStringLiteral("one"));
    EXPECT_EQ(Shown("getdate() < '31.12.2004'"), QString());
    EXPECT_EQ(Shown("date('2006.12.01', 'yyyy.mm.dd') = '01.12.2006'"), QStringLiteral("one"));
    EXPECT_EQ(Shown("time('10:30', 'hh:nn') > '09:15'"), QStringLiteral("one"));
    EXPECT_EQ(Shown("time('10:30', 'hh:nn') < '09:15'"), QString());
    EXPECT_THROW(Shown("getdate() > 'вчера'"), EDatabaseError);
    EXPECT_EQ(MessageOf([&] { Shown("substring(nm) = 'a'"); }),
              QStringLiteral("Invalid or missing parameter for function SUBSTRING"));
}

TEST_F(FilterRules, SettingTextAndFlag)
{
    Add("one", {{"x", Variant(1)}});
    Add("two", {{"x", Variant(2)}});
    // A malformed text raises on an open table and leaves no expression.
    t.SetFiltered(true);
    EXPECT_EQ(MessageOf([&] { t.SetFilter(QStringLiteral("x > ")); }),
              QStringLiteral("Expression expected but nothing found"));
    EXPECT_EQ(t.Filter(), QStringLiteral("x > "));
    EXPECT_FALSE(t.HasFilterTree());
    EXPECT_EQ(t.RecordCount(), 2);
    EXPECT_EQ(MessageOf([&] { t.SetFilter(QStringLiteral("zz = 1")); }), QStringLiteral("Field 'zz' not found"));

    // On a closed table the text is kept unchecked; opening parses it.
    t.Close();
    t.SetFilter(QStringLiteral("x = = 1"));
    EXPECT_FALSE(t.Active());
    EXPECT_NE(MessageOf([&] { t.Open(); }), QStringLiteral("<no exception>"));
    t.Close();
    t.SetFilter(QStringLiteral("x = 2"));
    t.Open();
    EXPECT_TRUE(t.HasFilterTree());
    Add("one", {{"x", Variant(1)}});
    Add("two", {{"x", Variant(2)}});
    EXPECT_EQ(Column(t, QStringLiteral("nm")), QStringList({"two"}));

    // OnFilterRecord and the expression both have to accept.
    t.SetOnFilterRecord([](TDataSet *ds, bool &accept) { accept = ds->FieldByName(QStringLiteral("nm"))->AsString() != QStringLiteral("two"); });
    EXPECT_EQ(t.RecordCount(), 0);
    t.SetFilter(QString());
    EXPECT_EQ(Column(t, QStringLiteral("nm")), QStringList({"one"}));
    t.SetFiltered(false);
    EXPECT_FALSE(t.IsFilterActive());
    EXPECT_EQ(t.RecordCount(), 2);
    // The record test can still be forced.
    t.First();
    EXPECT_TRUE(t.AcceptRecord(t.CurrentIndex()->Entry(0), true));
    EXPECT_FALSE(t.AcceptRecord(t.CurrentIndex()->Entry(1), true));
}

TEST_F(FilterRules, EvaluatorFailuresPropagateAndRestoreTheState)
{
    Add("x", {{"x", Variant(1)}});
    EXPECT_EQ(MessageOf([&] { Shown("nm + 1 > 5"); }), QString::fromUtf8("Значение типа «строка» нельзя преобразовать в тип «дробное число»"));
    EXPECT_EQ(t.State(), dsBrowse);
    EXPECT_FALSE(t.ControlsDisabled());
}

} // namespace
} // namespace zorbel
