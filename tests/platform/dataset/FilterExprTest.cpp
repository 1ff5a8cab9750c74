// The filter-expression parser: the program's filters as trees, rewrites and error messages.
#include "DataSetTestSupport.h"

#include "platform/dataset/FilterExpr.h"
#include "platform/rtl/DateTime.h"

using namespace zorbel;
using namespace zorbel::test;

namespace {

// Fields named as in the program's filters.
class Filterable : public TVectorDataSet {
public:
    Filterable()
    {
        FieldDefs().Add(QStringLiteral("id_person"), ftSmallint);
        FieldDefs().Add(QStringLiteral("c"), ftString, 1);
        FieldDefs().Add(QStringLiteral("sdt"), ftFloat);
        FieldDefs().Add(QStringLiteral("amt"), ftFloat);
        FieldDefs().Add(QStringLiteral("y"), ftSmallint);
        FieldDefs().Add(QStringLiteral("rest"), ftFloat);
        FieldDefs().Add(QStringLiteral("nm"), ftString, 20);
        FieldDefs().Add(QStringLiteral("x"), ftInteger);
        FieldDefs().Add(QStringLiteral("d"), ftDate);
        FieldDefs().Add(QStringLiteral("memo"), ftMemo);
        FieldDefs().Add(QStringLiteral("my field"), ftCurrency);
        FieldDefs().Add(QStringLiteral("Сумма_1"), ftFloat);
        Open();
    }
};

QString Tree(TDataSet *ds, const QString &text, TFilterOptions options = {})
{
    TExprParser parser(ds, text, options);
    return ExprNodeToString(parser.Root());
}

} // namespace

TEST(FilterExpr, TreesOfTheProgramsFilters)
{
    Filterable ds;
    const std::pair<const char *, const char *> cases[] = {
        {"id_person='5'", "(id_person = 5:SmallInt)"},
        {"id_person=null", "isblank(id_person)"},
        {"id_person <> NULL", "notblank(id_person)"},
        {"c<>'-'", "(c <> '-':String)"},
        {"sdt>'100' and amt<'0'", "((sdt > 100:Float) and (amt < 0:Float))"},
        {"y > 2004", "(y > 2004:SmallInt)"},
        {"y = 2005", "(y = 2005:SmallInt)"},
        {"rest<>null and rest<>0", "(notblank(rest) and (rest <> 0:Float))"},
        {"sdt > '100,5'", "(sdt > 100,5:Float)"},
    };
    for (const auto &[text, tree] : cases)
        EXPECT_EQ(Tree(&ds, QString::fromUtf8(text)).toStdString(), tree) << text;
}

TEST(FilterExpr, RewritesConstantsNullsAndPartialCompares)
{
    Filterable ds;
    const std::pair<const char *, const char *> cases[] = {
        // A constant on the left is mirrored to the right.
        {"2005 < y", "(y > 2005:SmallInt)"},
        {"'5' >= id_person", "(id_person <= 5:SmallInt)"},
        {"NULL = y", "isblank(y)"},
        {"y is null or y IS NOT null", "(isblank(y) or notblank(y))"},
        // A trailing star makes a partial compare; a lone star is a character.
        {"nm = 'Ab*'", "compare[ci=0,len=2](nm = 'Ab':String)"},
        {"nm = '*'", "(nm = '*':String)"},
        {"nm like 'ab*'", "compare[ci=0,len=2](nm like 'ab':String)"},
        {"nm like 'a?c'", "(nm like 'a?c':String)"},
        {"nm = 'it''s'", "(nm = 'it's':String)"},
        {"x in (1, 2, 3)", "(x in [1:Integer, 2:Integer, 3:Integer])"},
        {"x in (5)", "(x in [5:Integer])"},
        {"not (y = 2005)", "not((y = 2005:SmallInt))"},
        {"y=1 or y=2 and c='a'", "((y = 1:SmallInt) or ((y = 2:SmallInt) and (c = 'a':String)))"},
        {"x + 2 * 3 > 7", "((x + (2:Integer * 3:Integer)) > 7:Integer)"},
        {"x-5 > -5", "((x - 5:Integer) > -5:Integer)"},
        {"-x < 0", "(-(x) < 0:Integer)"},
        {"sdt > 1,5", "(sdt > 1,5:Float)"},
        {"upper(nm) = 'AB'", "(UPPER[nm] = 'AB':String)"},
        {"substring(nm, 1, 2) = 'Ab' and year(d) = 2005",
         "((SUBSTRING[nm, 1:Integer, 2:Integer] = 'Ab':String) and (YEAR[d] = 2005:Integer))"},
        {"d < getdate()", "(d < GETDATE[])"},
        {"getdate() > '01.01.2005'", "(GETDATE[] > 01.01.2005:DateTime)"},
        {"'01.01.2005' <= getdate()", "(01.01.2005:DateTime <= GETDATE[])"},
        {"date(nm, 'yyyy') = '01.01.2005'", "(DATE[nm, 'yyyy':String] = 01.01.2005:Date)"},
        {"upper(nm) = '01.01.2005'", "(UPPER[nm] = '01.01.2005':String)"},
        {"[my field] = 1 /* comment */", "(my field = 1:Currency)"},
        {"Y > 2004", "(y > 2004:SmallInt)"},
        {"сумма_1>='10'", "(Сумма_1 >= 10:Float)"},
        {"memo like 'a*'", "compare[ci=0,len=1](memo like 'a':String)"},
    };
    for (const auto &[text, tree] : cases)
        EXPECT_EQ(Tree(&ds, QString::fromUtf8(text)).toStdString(), tree) << text;

    EXPECT_EQ(Tree(&ds, QStringLiteral("nm = 'ab'"), {foCaseInsensitive}),
              QStringLiteral("compare[ci=1,len=0](nm = 'ab':String)"));
    EXPECT_EQ(Tree(&ds, QStringLiteral("nm <> 'ab*'"), {foCaseInsensitive}),
              QStringLiteral("compare[ci=1,len=2](nm <> 'ab':String)"));
    EXPECT_EQ(Tree(&ds, QStringLiteral("nm = 'Ab*'"), {foNoPartialCompare}),
              QStringLiteral("(nm = 'Ab*':String)"));

    TExprParser dated(&ds, QStringLiteral("d > '01.02.2005'"));
    const TExprNode *constant = dated.Root()->Right.get();
    EXPECT_EQ(constant->DataType, ftDate);
    EXPECT_EQ(constant->Value.AsDate(), EncodeDate(2005, 2, 1));
    EXPECT_EQ(dated.Root()->Left->FieldNo, 9);
}

TEST(FilterExpr, TypeMapAppliesToFieldsAndConstants)
{
    Filterable ds;
    TExprParser parser(&ds, QStringLiteral("[my field] = 2"), {}, {poExtSyntax},
                       [](TFieldType t) { return t == ftCurrency ? ftFloat : t; });
    EXPECT_EQ(parser.Root()->Left->DataType, ftFloat);
    EXPECT_EQ(parser.Root()->Right->DataType, ftFloat);
    EXPECT_EQ(parser.Root()->Right->Value.AsDouble(), 2.0);
}

TEST(FilterExpr, MalformedTextsRaiseClearMessages)
{
    Filterable ds;
    const std::pair<const char *, const char *> cases[] = {
        {"y < null", "NULL only allowed with '=' and '<>'"},
        {"memo = 'x'", "Type mismatch in expression"},
        {"x in ()", "IN predicate list may not be empty"},
        {"nm = 'abc", "Unterminated string constant"},
        {"[nm = 1", "Unterminated field name"},
        {"x = 1 # 2", "Invalid filter expression character: '#'"},
        {"x in 1", "'(' expected but '1' found"},
        {"(x = 1", "')' expected but nothing found"},
        {"x in (1 2)", "')' or ',' expected but '2' found"},
        {"x = ", "Expression expected but nothing found"},
        {"x = 1)", "Filter expression incorrectly terminated"},
        {"x is 5", "Invalid use of keyword"},
        {"null", "Incorrectly formed filter expression"},
        {"x + null = 1", "Incorrectly formed filter expression"},
        {"zz = 1", "Field 'zz' not found"},
        {"y > 'abc'", "Константа не того типа: SmallInt"},
        {"y > 70000", "Константа не того типа: SmallInt"},
    };
    for (const auto &[text, message] : cases)
        EXPECT_RAISES(TExprParser p(&ds, QString::fromUtf8(text)), EDatabaseError, message);
}

TEST(FilterExpr, ParsesWithoutADataSetLeavingNamesUntyped)
{
    TExprParser parser(nullptr, QStringLiteral("a = '5'"));
    EXPECT_EQ(ExprNodeToString(parser.Root()), QStringLiteral("(a = '5':String)"));
    EXPECT_EQ(parser.Root()->Left->DataType, ftUnknown);
}
