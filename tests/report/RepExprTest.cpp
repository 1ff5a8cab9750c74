// The parser and the evaluator: literals, operators and their precedence,
// the pairing of operand kinds, compile-time errors, nesting limits, fields of
// datasets and aggregate passes.
#include "RepExprSupport.h"

#include "platform/dataset/Fields.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Format.h"

using namespace zorbel;
using namespace zorbel::test;

TEST(RepExprLiterals, NumbersStringsAndTheEmptyText)
{
    EXPECT_TRUE(IsString(Eval(""), " "));
    EXPECT_TRUE(IsInteger(Eval("42"), 42));
    EXPECT_TRUE(IsInteger(Eval("  7  "), 7));
    EXPECT_TRUE(IsInteger(Eval("2147483647"), 2147483647));
    // Past the 32-bit range an all-digit literal is a float.
    EXPECT_TRUE(IsFloat(Eval("2147483648"), 2147483648.0));
    // The point is the decimal point whatever the locale's separator is.
    EXPECT_TRUE(IsFloat(Eval("2.5"), 2.5));
    EXPECT_TRUE(IsFloat(Eval("1e5"), 100000));
    EXPECT_TRUE(IsFloat(Eval("1E2"), 100));
    // The minus of an exponent splits the text.
    EXPECT_EQ(Eval("1e-5").Kind, TRepEvKind::Error);
    EXPECT_TRUE(IsError(Eval("1.2.3"), "Illegal character in numeric contant \"1.2.3\""));
    EXPECT_TRUE(IsError(Eval("12ab"), "Illegal character in numeric contant \"12ab\""));
    EXPECT_TRUE(IsError(Eval("1e999"), "Illegal character in numeric contant \"1e999\""));
    EXPECT_TRUE(IsString(Eval("'abc'"), "abc"));
    EXPECT_TRUE(IsString(Eval("''"), ""));
    // A doubled quote inside stays two quote characters.
    EXPECT_TRUE(IsString(Eval("'it''s'"), "it''s"));
    EXPECT_TRUE(IsString(Eval("'Сумма: 5 < 6'"), "Сумма: 5 < 6"));
}

TEST(RepExprLiterals, StringsAreCutAt255CharactersCountingCyrillicAsOne)
{
    const QString cyr(300, QChar(0x0436)); // ж
    TRepEvValue v = Eval(u'\'' + cyr + u'\'');
    ASSERT_EQ(v.Kind, TRepEvKind::String);
    EXPECT_EQ(v.Text, QString(255, QChar(0x0436)));

    const QString half(200, QChar(0x044F)); // я
    v = Eval(u'\'' + half + QStringLiteral("' + '") + half + u'\'');
    ASSERT_EQ(v.Kind, TRepEvKind::String);
    EXPECT_EQ(v.Text.size(), 255);
    EXPECT_EQ(v.Text, QString(255, QChar(0x044F)));
    // A short Cyrillic text is never cut.
    EXPECT_TRUE(IsString(Eval("'Привет, ' + 'мир'"), "Привет, мир"));
}

TEST(RepExprOperators, PrecedenceAndGroupingLeftToRight)
{
    EXPECT_TRUE(IsInteger(Eval("10-4+3"), 9));
    EXPECT_TRUE(IsFloat(Eval("12/3*2"), 8));
    EXPECT_TRUE(IsInteger(Eval("2+3*4"), 14));
    EXPECT_TRUE(IsInteger(Eval("(2+3)*4"), 20));
    EXPECT_TRUE(IsInteger(Eval("20-5-3-2"), 10));
    EXPECT_TRUE(IsFloat(Eval("100/5/4"), 5));
    EXPECT_TRUE(IsFloat(Eval("1+2*3-4/2"), 5));
    EXPECT_TRUE(IsInteger(Eval("2 * 3 + 4 * 5 - 6"), 20));
    // A zero factor after a division multiplies, it does not divide.
    EXPECT_TRUE(IsFloat(Eval("12/3*0"), 0));
    // No intermediate result that the written order never forms.
    EXPECT_TRUE(IsInteger(Eval("2000000000-1000000000-1500000000"), -500000000));
    EXPECT_TRUE(IsInteger(Eval("-2*3"), -6));
    EXPECT_TRUE(IsInteger(Eval("+5"), 5));
    EXPECT_TRUE(IsInteger(Eval("5 - -3"), 8));
    EXPECT_TRUE(IsInteger(Eval("2+-3"), -1));
    EXPECT_TRUE(IsError(Eval("2*-3"), "Illegal character in numeric contant \"2*\""));
    EXPECT_TRUE(IsInteger(Eval("((((1))))+(((2)))"), 3));
}

TEST(RepExprOperators, OrAndAndTakeTheRestOfTheirLevelOnTheRight)
{
    // a-b or c computes a-(b or c).
    EXPECT_TRUE(IsInteger(Eval("6 - 2 or 1"), 3));
    EXPECT_TRUE(IsInteger(Eval("5 and 3 * 2"), 4));
    EXPECT_TRUE(IsInteger(Eval("4 or 1 + 2"), 7));   // 4 or (1+2)
    EXPECT_TRUE(IsInteger(Eval("8 - 4 - 2 or 1"), 1)); // (8-4) - (2 or 1)
    EXPECT_TRUE(IsInteger(Eval("1 + 8 or 2 - 1"), 10)); // 1 + (8 or (2-1))
    EXPECT_TRUE(IsFloat(Eval("12 / 2 and 3 * 2"), 6)); // 12 / (2 and (3*2))
    EXPECT_TRUE(IsInteger(Eval("3 * 7 and 6"), 18));     // 3 * (7 and 6)
    EXPECT_TRUE(IsInteger(Eval("6 and 3 or 8"), 10));    // (6 and 3) or 8
    EXPECT_TRUE(IsInteger(Eval("(6 - 2) or 1"), 5));
    EXPECT_TRUE(IsInteger(Eval("1 or 2 or 4 - 1"), 3)); // 1 or (2 or (4-1))
    EXPECT_TRUE(IsBoolean(Eval("1 + 1 = 2 or 0"), true));
    // A long chain of "or" stays within the nesting bound.
    EXPECT_TRUE(IsInteger(Eval(QStringLiteral("1 or ").repeated(100) + QStringLiteral("2")), 3));
    EXPECT_TRUE(IsError(Eval(QStringLiteral("1 or ").repeated(5000) + QStringLiteral("2")), "Expression too complex"));
}

TEST(RepExprOperators, Comparisons)
{
    EXPECT_TRUE(IsBoolean(Eval("1 < 2"), true));
    EXPECT_TRUE(IsBoolean(Eval("2 <= 2"), true));
    EXPECT_TRUE(IsBoolean(Eval("2 > 3"), false));
    EXPECT_TRUE(IsBoolean(Eval("3 >= 4"), false));
    EXPECT_TRUE(IsBoolean(Eval("3 = 3"), true));
    EXPECT_TRUE(IsBoolean(Eval("3 <> 3"), false));
    EXPECT_TRUE(IsBoolean(Eval("1+1 = 4/2"), true));
    EXPECT_TRUE(IsBoolean(Eval("(1 < 2) = TRUE"), true));
    // A second comparison outside parentheses lands in an operand.
    EXPECT_TRUE(IsError(Eval("1 < 2 < 3"), "Illegal character in numeric contant \"2 < 3\""));
    EXPECT_TRUE(IsBoolean(Eval("TRUE = TRUE"), true));
    EXPECT_TRUE(IsBoolean(Eval("TRUE <> FALSE"), true));
    EXPECT_TRUE(IsError(Eval("TRUE < FALSE"), "Operator < is not compatible with boolean expressions"));
    EXPECT_TRUE(IsError(Eval("TRUE >= FALSE"), "Operator >= is not compatible with boolean expressions"));
}

TEST(RepExprOperators, KindPairing)
{
    // Integer with float is a float on either side.
    EXPECT_TRUE(IsFloat(Eval("1 + 0.5"), 1.5));
    EXPECT_TRUE(IsFloat(Eval("0.5 * 4"), 2));
    EXPECT_TRUE(IsFloat(Eval("7/2"), 3.5));
    EXPECT_TRUE(IsBoolean(Eval("2 = 2.0"), true));
    // Every other pair of kinds compares and adds as text.
    EXPECT_TRUE(IsString(Eval("'a' + 1"), "a1"));
    EXPECT_TRUE(IsString(Eval("'x=' + 2.5"), "x=2,5"));
    EXPECT_TRUE(IsString(Eval("TRUE + 1"), "True1"));
    EXPECT_TRUE(IsString(Eval("'is ' + FALSE"), "is False"));
    EXPECT_TRUE(IsBoolean(Eval("5 = '5'"), true));
    EXPECT_TRUE(IsBoolean(Eval("TRUE = 'True'"), true));
    EXPECT_TRUE(IsError(Eval("'x' - 'y'"), "Cannot subtract string expressions"));
    EXPECT_TRUE(IsError(Eval("'x' * 2"), "Cannot multiply string expressions"));
    EXPECT_TRUE(IsError(Eval("'x' / 'y'"), "Cannot divide string expressions"));
    EXPECT_TRUE(IsError(Eval("TRUE * FALSE"), "Cannot multiply boolean expressions"));
    EXPECT_TRUE(IsError(Eval("TRUE + FALSE"), "Cannot add boolean expressions"));
    EXPECT_TRUE(IsError(Eval("TRUE - FALSE"), "Cannot subtract boolean expressions"));
    EXPECT_TRUE(IsError(Eval("TRUE / FALSE"), "Cannot divide boolean expressions"));
    EXPECT_TRUE(IsError(Eval("1.5 or 2"), "Operator OR is not compatible with numeric expressions"));
    EXPECT_TRUE(IsError(Eval("1.5 AND 2.5"), "Operator AND is not compatible with numeric expressions"));
    EXPECT_TRUE(IsError(Eval("'a' or 'b'"), "Operator OR is not compatible with string expressions"));
    EXPECT_TRUE(IsInteger(Eval("6 or 3"), 7));
    EXPECT_TRUE(IsInteger(Eval("6 AND 3"), 2));
    EXPECT_TRUE(IsBoolean(Eval("TRUE or FALSE"), true));
    EXPECT_TRUE(IsBoolean(Eval("TRUE and FALSE"), false));
    EXPECT_TRUE(IsBoolean(Eval("(1 < 2) and (3 > 4) or TRUE"), true));
    // "or" and "and" need blanks on both sides.
    EXPECT_EQ(Eval("TRUE or(FALSE)").Kind, TRepEvKind::Error);
}

TEST(RepExprOperators, StringsCompareByteWiseInTheCodePage)
{
    EXPECT_TRUE(IsBoolean(Eval("'abc' < 'abd'"), true));
    EXPECT_TRUE(IsBoolean(Eval("'b' > 'a'"), true));
    EXPECT_TRUE(IsBoolean(Eval("'a' = 'A'"), false));
    EXPECT_TRUE(IsBoolean(Eval("'B' < 'a'"), true));
    EXPECT_TRUE(IsBoolean(Eval("'ab' < 'abc'"), true));
    EXPECT_TRUE(IsBoolean(Eval("'abc' <= 'abc'"), true));
    EXPECT_TRUE(IsBoolean(Eval("'abc' <> 'abc '"), true));
    // Windows-1251 order: Latin before Cyrillic, capitals before small
    // letters, ё (0xB8) before а (0xE0) unlike the Unicode order.
    EXPECT_TRUE(IsBoolean(Eval("'z' < 'А'"), true));
    EXPECT_TRUE(IsBoolean(Eval("'Я' < 'а'"), true));
    EXPECT_TRUE(IsBoolean(Eval("'ё' < 'а'"), true));
    EXPECT_TRUE(IsBoolean(Eval("'Ёж' < 'Ель'"), true));
    EXPECT_TRUE(IsBoolean(Eval("'Б' = 'б'"), false));
    EXPECT_TRUE(IsBoolean(Eval("'Сумма' = 'Сумма'"), true));
}

TEST(RepExprOperators, ArithmeticFailuresAreValues)
{
    EXPECT_TRUE(IsError(Eval("7/0"), "Cannot divide by 0"));
    EXPECT_TRUE(IsError(Eval("7.5/0"), "Cannot divide by 0"));
    EXPECT_TRUE(IsError(Eval("7/0.0"), "Cannot divide by 0"));
    EXPECT_TRUE(IsError(Eval("2147483647 + 1"), "Integer overflow"));
    EXPECT_TRUE(IsError(Eval("65536 * 65536"), "Integer overflow"));
    EXPECT_TRUE(IsError(Eval("-2147483647 - 2"), "Integer overflow"));
    EXPECT_TRUE(IsInteger(Eval("-2147483647 - 1"), std::numeric_limits<int32_t>::min()));
    EXPECT_TRUE(IsError(Eval("1e308 * 10"), "Floating point overflow"));
    EXPECT_TRUE(IsError(Eval("1e308 / 0.001"), "Floating point overflow"));
    // The left error wins; an error wins over a kind mismatch.
    EXPECT_TRUE(IsError(Eval("(1/0) + ('a' - 'b')"), "Cannot divide by 0"));
    EXPECT_TRUE(IsError(Eval("('a' - 'b') + (1/0)"), "Cannot subtract string expressions"));
    EXPECT_TRUE(IsError(Eval("'x' + (1/0)"), "Cannot divide by 0"));
    EXPECT_TRUE(IsError(Eval("(1/0) = (1/0)"), "Cannot divide by 0"));
}

TEST(RepExprOperators, Negation)
{
    EXPECT_TRUE(IsBoolean(Eval("not TRUE"), false));
    EXPECT_TRUE(IsBoolean(Eval("NOT (1 > 2)"), true));
    EXPECT_TRUE(IsBoolean(Eval("notFALSE"), true));
    EXPECT_TRUE(IsBoolean(Eval("not not TRUE"), true));
    EXPECT_TRUE(IsError(Eval("not 1"), "Invalid use of NOT"));
    EXPECT_TRUE(IsError(Eval("not (1/0)"), "Invalid use of NOT"));
    EXPECT_TRUE(IsBoolean(Eval("TRUE and not FALSE"), true));
}

TEST(RepExprErrors, SyntaxAndNameErrorsCompileToErrorValues)
{
    EXPECT_TRUE(IsError(Eval("'abc"), "Missing '"));
    EXPECT_TRUE(IsError(Eval("'"), "Missing '"));
    EXPECT_TRUE(IsError(Eval("(1+2"), "Missing )"));
    EXPECT_TRUE(IsError(Eval("[abc"), "Missing ]"));
    EXPECT_TRUE(IsError(Eval("Foo(1)"), "Unknown function : FOO"));
    EXPECT_TRUE(IsError(Eval("foo"), "Unknown function : FOO"));
    EXPECT_TRUE(IsError(Eval("foo()"), "Unknown function : FOO"));
    EXPECT_TRUE(IsError(Eval("[foo]"), "Unknown function : foo"));
    EXPECT_TRUE(IsError(Eval("abs(1"), "Unknown function : "));
    EXPECT_TRUE(IsError(Eval("#"), "Error in expression : #"));
    EXPECT_TRUE(IsError(Eval("1+"), "Illegal character in numeric contant \"1+\""));
    EXPECT_TRUE(IsError(Eval("1 + "), "Error in expression : "));
    EXPECT_TRUE(IsError(Eval("1 + ()"), "Error in expression : "));
    EXPECT_TRUE(IsError(Eval("IF(, 1, 2)"), "Wrong arguments for IF"));
    EXPECT_TRUE(IsError(Eval("Сумма"), "Error in expression : Сумма"));
    // An error deep inside becomes the value of every operator above it.
    EXPECT_TRUE(IsError(Eval("1 + 2 * (3 - foo)"), "Unknown function : FOO"));
}

TEST(RepExprErrors, EvaluatingWithoutACompiledExpressionRaises)
{
    TRepEvaluator evaluator;
    EXPECT_THROW(evaluator.Evaluate(), ERepExprError);
    evaluator.Compile(QStringLiteral("1+1"));
    EXPECT_TRUE(evaluator.IsCompiled());
    EXPECT_TRUE(IsInteger(evaluator.Evaluate(), 2));
    EXPECT_TRUE(IsInteger(evaluator.Evaluate(), 2));
    evaluator.Discard();
    EXPECT_FALSE(evaluator.IsCompiled());
    try {
        evaluator.Evaluate();
        ADD_FAILURE() << "no exception";
    } catch (const ERepExprError &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Evaluator not prepared"));
    }
    // Compiling again replaces the previous expression.
    evaluator.Compile(QStringLiteral("'a'"));
    evaluator.Compile(QStringLiteral("3*3"));
    EXPECT_TRUE(IsInteger(evaluator.Evaluate(), 9));
}

TEST(RepExprErrors, DeepAndLongTextsFailCleanly)
{
    auto nested = [](int depth, const QString &open, const QString &inner, const QString &close) {
        return open.repeated(depth) + inner + close.repeated(depth);
    };
    EXPECT_TRUE(IsInteger(Eval(nested(60, QStringLiteral("("), QStringLiteral("1+2"), QStringLiteral(")"))), 3));
    EXPECT_TRUE(IsError(Eval(nested(5000, QStringLiteral("("), QStringLiteral("1"), QStringLiteral(")"))),
                "Expression too complex"));
    // Where the limit cuts a call or a negation, the error reaches the top
    // through the enclosing elements.
    EXPECT_TRUE(IsError(Eval(nested(3000, QStringLiteral("IF(TRUE, "), QStringLiteral("1"), QStringLiteral(", 0)"))),
                "Wrong arguments for IF"));
    EXPECT_TRUE(IsError(Eval(QStringLiteral("not ").repeated(5000) + QStringLiteral("TRUE")), "Invalid use of NOT"));
    EXPECT_TRUE(IsError(Eval(nested(3000, QStringLiteral("UPPER("), QStringLiteral("'a'"), QStringLiteral(")"))),
                "Expression too complex"));
    EXPECT_TRUE(IsError(Eval(QStringLiteral("-").repeated(5000) + QStringLiteral("1")), "Expression too complex"));
    // A long flat sum: a few hundred terms work, tens of thousands do not.
    QStringList terms;
    for (int i = 0; i < 300; ++i)
        terms << QString::number(i % 7);
    int expected = 0;
    for (int i = 0; i < 300; ++i)
        expected += i % 7;
    EXPECT_TRUE(IsInteger(Eval(terms.join(u'+')), expected));
    EXPECT_TRUE(IsError(Eval(QStringLiteral("1+").repeated(50000) + QStringLiteral("1")), "Expression too complex"));
    // A long literal is no error: it is cut.
    TRepEvValue v = Eval(u'\'' + QString(100000, u'x') + u'\'');
    ASSERT_EQ(v.Kind, TRepEvKind::String);
    EXPECT_EQ(v.Text.size(), 255);
}

// ---- fields ----

namespace {

void AddRow(TVemtMemTable &t, const QString &nm, double amt, int qty, bool ok, TDateTime d)
{
    t.Append();
    t.FieldByName(QStringLiteral("nm"))->SetAsString(nm);
    t.FieldByName(QStringLiteral("amt"))->SetAsFloat(amt);
    t.FieldByName(QStringLiteral("qty"))->SetAsInteger(qty);
    t.FieldByName(QStringLiteral("ok"))->SetAsBoolean(ok);
    t.FieldByName(QStringLiteral("d"))->SetAsDateTime(d);
    t.FieldByName(QStringLiteral("dt"))->SetAsDateTime(d + 0.5);
    t.FieldByName(QStringLiteral("Notes"))->SetAsString(QStringLiteral("n"));
    t.FieldByName(QStringLiteral("DATE"))->SetAsString(QStringLiteral("field"));
    t.Post();
}

struct FieldFixture : ::testing::Test {
    std::unique_ptr<TVemtMemTable> q1 = MakeTable(QStringLiteral("Q1"));
    std::unique_ptr<TVemtMemTable> q2 = MakeTable(QStringLiteral("Q2"));
    std::vector<TDataSet *> list{q1.get(), q2.get()};
    TRepEvaluator evaluator;

    void SetUp() override { evaluator.SetDataSetList(&list); }
    TRepEvValue Run(const char *text)
    {
        evaluator.Compile(S(text));
        return evaluator.Evaluate();
    }
};

} // namespace

TEST_F(FieldFixture, ValuesByFieldClass)
{
    AddRow(*q1, S("Хлеб"), 12.5, 3, true, EncodeDate(2026, 12, 8));
    EXPECT_TRUE(IsString(Run("nm"), "Хлеб"));
    EXPECT_TRUE(IsFloat(Run("amt"), 12.5));
    EXPECT_TRUE(IsInteger(Run("QTY"), 3));
    EXPECT_TRUE(IsBoolean(Run("ok"), true));
    // Dates are texts in the runtime's formats, so they compare as texts.
    EXPECT_TRUE(IsString(Run("d"), "08.12.2026"));
    EXPECT_TRUE(IsString(Run("dt"), "08.12.2026 12:00:00"));
    EXPECT_TRUE(IsBoolean(Run("d = '08.12.2026'"), true));
    EXPECT_TRUE(IsError(Run("big"), "Field big is of unknown type"));
    EXPECT_TRUE(IsFloat(Run("amt * qty"), 37.5));
    EXPECT_TRUE(IsString(Run("nm + ': ' + qty"), "Хлеб: 3"));
    EXPECT_TRUE(IsString(Run("[nm]"), "Хлеб"));
}

TEST_F(FieldFixture, NullsReadAsEmptyZeroAndFalse)
{
    q1->Append();
    q1->Post();
    EXPECT_TRUE(IsString(Run("nm"), ""));
    EXPECT_TRUE(IsFloat(Run("amt"), 0));
    EXPECT_TRUE(IsInteger(Run("qty"), 0));
    EXPECT_TRUE(IsBoolean(Run("ok"), false));
    EXPECT_TRUE(IsString(Run("d"), ""));
}

TEST_F(FieldFixture, NamesResolveInListOrderAndByQualifier)
{
    AddRow(*q1, QStringLiteral("first"), 1, 1, false, 0);
    AddRow(*q2, QStringLiteral("second"), 2, 2, false, 0);
    EXPECT_TRUE(IsFloat(Run("amt"), 1));
    EXPECT_TRUE(IsFloat(Run("Q2.amt"), 2));
    EXPECT_TRUE(IsFloat(Run("q2.AMT"), 2));
    EXPECT_TRUE(IsFloat(Run("[Q1.amt] + [q2.amt]"), 3));
    // A qualifier names one dataset only; an unknown one falls to variables.
    EXPECT_TRUE(IsError(Run("Q3.amt"), "Unknown function : Q3.AMT"));
    EXPECT_TRUE(IsError(Run("Q2.missing"), "Unknown function : Q2.MISSING"));
    // A field named like a function is reached only in brackets; one that
    // begins with "not" likewise.
    EXPECT_TRUE(IsString(Run("[DATE]"), "field"));
    EXPECT_EQ(Run("DATE").Text, DateToStr(Date()));
    EXPECT_TRUE(IsString(Run("[Notes]"), "n"));
    EXPECT_EQ(Run("Notes").Kind, TRepEvKind::Error);
    // Without a dataset list names are never fields.
    TRepEvaluator plain;
    EXPECT_TRUE(IsError(plain.EvaluateText(QStringLiteral("amt")), "Unknown function : AMT"));
}

TEST_F(FieldFixture, ReadsTheCurrentRecordAndSurvivesReopening)
{
    AddRow(*q1, QStringLiteral("a"), 1, 10, false, 0);
    AddRow(*q1, QStringLiteral("b"), 2, 20, false, 0);
    evaluator.Compile(QStringLiteral("qty + 1"));
    q1->First();
    EXPECT_TRUE(IsInteger(evaluator.Evaluate(), 11));
    q1->Next();
    EXPECT_TRUE(IsInteger(evaluator.Evaluate(), 21));
    // Default fields are made again when the dataset opens: the compiled
    // expression follows them, and reads nothing while the dataset is closed.
    q1->Close();
    EXPECT_EQ(evaluator.Evaluate().Kind, TRepEvKind::Error);
    q1->Open();
    AddRow(*q1, QStringLiteral("c"), 3, 30, false, 0);
    EXPECT_TRUE(IsInteger(evaluator.Evaluate(), 31));
}

TEST_F(FieldFixture, SumOverRecordsAndClearTotals)
{
    for (double v : {1.5, 2.0, 3.25})
        AddRow(*q1, QStringLiteral("x"), v, 1, false, 0);
    evaluator.Compile(QStringLiteral("Sum(amt)"));
    EXPECT_TRUE(evaluator.HasAggregates());
    evaluator.ClearTotals();
    for (q1->First(); !q1->Eof(); q1->Next())
        evaluator.Accumulate();
    EXPECT_TRUE(IsFloat(evaluator.Evaluate(), 6.75));
    // Plain evaluations report without adding.
    EXPECT_TRUE(IsFloat(evaluator.Evaluate(), 6.75));
    evaluator.ClearTotals();
    EXPECT_TRUE(IsInteger(evaluator.Evaluate(), 0));
    // Compiling starts the totals afresh.
    evaluator.Accumulate();
    evaluator.Compile(QStringLiteral("Sum(amt)"));
    EXPECT_TRUE(IsInteger(evaluator.Evaluate(), 0));
}

TEST_F(FieldFixture, AggregatesOverNullsAndMixedKinds)
{
    AddRow(*q1, QStringLiteral("x"), 2.5, 1, false, 0);
    q1->Append();
    q1->Post(); // all null
    AddRow(*q1, QStringLiteral("y"), 4.5, 2, true, 0);
    TRepEvaluator sum, count, average, mixed, maxName, minOk, strings;
    for (TRepEvaluator *e : {&sum, &count, &average, &mixed, &maxName, &minOk, &strings})
        e->SetDataSetList(&list);
    sum.Compile(QStringLiteral("SUM(amt) + SUM(qty)"));
    count.Compile(QStringLiteral("COUNT"));
    average.Compile(QStringLiteral("AVERAGE(amt)"));
    // Integers and floats in one total: every value counts.
    mixed.Compile(QStringLiteral("SUM(IF(qty = 1, amt, qty))"));
    maxName.Compile(QStringLiteral("MAX(nm)"));
    minOk.Compile(QStringLiteral("MIN(ok)"));
    strings.Compile(QStringLiteral("SUM(nm)"));
    for (q1->First(); !q1->Eof(); q1->Next())
        for (TRepEvaluator *e : {&sum, &count, &average, &mixed, &maxName, &minOk, &strings})
            e->Accumulate();
    EXPECT_TRUE(IsFloat(sum.Evaluate(), 10));
    EXPECT_TRUE(IsInteger(count.Evaluate(), 3));
    EXPECT_TRUE(IsFloat(average.Evaluate(), 7.0 / 3));
    EXPECT_TRUE(IsFloat(mixed.Evaluate(), 2.5 + 0 + 2));
    EXPECT_TRUE(IsString(maxName.Evaluate(), "y"));
    EXPECT_TRUE(IsBoolean(minOk.Evaluate(), false));
    EXPECT_TRUE(IsError(strings.Evaluate(), "Cannot add string expressions"));
}

TEST(RepExprAggregates, OnlyAggregatePassesAdd)
{
    TRepEvaluator e;
    e.Compile(QStringLiteral("COUNT + 0"));
    EXPECT_TRUE(e.HasAggregates());
    for (int i = 0; i < 5; ++i)
        e.Accumulate();
    e.Evaluate();
    EXPECT_TRUE(IsInteger(e.Evaluate(), 5));
    e.ClearTotals();
    EXPECT_TRUE(IsInteger(e.Evaluate(), 0));
    e.Compile(QStringLiteral("1 + 2"));
    EXPECT_FALSE(e.HasAggregates());
    // The aggregate flag is off again after a pass.
    e.Compile(QStringLiteral("COUNT"));
    e.Accumulate();
    EXPECT_FALSE(e.Queue()->AggregateMode);
    EXPECT_TRUE(IsInteger(e.Evaluate(), 1));
}

TEST(RepExprFields, PersistentFieldsOfAClosedDatasetReadAsNull)
{
    TVemtMemTable table;
    table.SetName(QStringLiteral("P"));
    table.FieldDefs().Add(QStringLiteral("amt"), ftFloat);
    table.FieldDefs().Add(QStringLiteral("nm"), ftString, 10);
    table.AddField<TFloatField>(QStringLiteral("amt"));
    table.AddField<TStringField>(QStringLiteral("nm"), fkData, 10);
    std::vector<TDataSet *> list{&table};
    TRepEvaluator e;
    e.SetDataSetList(&list);
    e.Compile(QStringLiteral("nm + amt"));
    // Compiled while closed: the persistent fields are there already.
    EXPECT_TRUE(IsString(e.Evaluate(), "0"));
    table.Open();
    table.Append();
    table.FieldByName(QStringLiteral("amt"))->SetAsFloat(2.5);
    table.FieldByName(QStringLiteral("nm"))->SetAsString(QStringLiteral("x"));
    table.Post();
    EXPECT_TRUE(IsString(e.Evaluate(), "x2,5"));
    table.Close();
    EXPECT_TRUE(IsString(e.Evaluate(), "0"));
}
