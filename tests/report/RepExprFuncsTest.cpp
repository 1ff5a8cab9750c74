// The function library: registration, descriptions, and every function with
// its cases and failures.
#include "RepExprSupport.h"
#include "support/FaultEnv.h"

#include "platform/rtl/DateTime.h"
#include "platform/rtl/Format.h"

#include <QRegularExpression>
#include <cmath>

using namespace zorbel;
using namespace zorbel::test;

TEST(RepExprLibrary, RegistersTheFunctionsInOrderWithTheirTexts)
{
    const char *const names[] = {"IF",  "STR",   "UPPER", "LOWER", "PRETTY",  "TIME", "DATE",          "COPY",
                                 "SUM", "COUNT", "MAX",   "MIN",   "AVERAGE", "TRUE", "FALSE",         "INT",
                                 "FRAC", "SQRT", "DIV",   "TYPEOF", "FORMATNUMERIC", "ARCCOS", "COS", "SIN",
                                 "TAN", "COTAN"};
    const TRepFunctionLibrary &library = FunctionLibrary();
    ASSERT_EQ(library.Count(), 26);
    for (int i = 0; i < 26; ++i)
        EXPECT_EQ(library.GetEntry(i).Name, S(names[i])) << i;
    EXPECT_EQ(library.IndexOf(QStringLiteral("average")), 12);
    EXPECT_EQ(library.IndexOf(QStringLiteral("ABS")), -1);

    const TRepLibraryEntry &sum = library.GetEntry(library.IndexOf(QStringLiteral("SUM")));
    EXPECT_EQ(sum.Description, QStringLiteral("SUM(<X>)|Sums the numeric <X>"));
    EXPECT_EQ(sum.ArgumentSpec, QStringLiteral("3N"));
    EXPECT_EQ(library.GetEntry(library.IndexOf(QStringLiteral("IF"))).ArgumentSpec, QStringLiteral("5BVV"));
    EXPECT_EQ(library.GetEntry(library.IndexOf(QStringLiteral("MIN"))).Description,
              QStringLiteral("MIN( <V>) | Returns the lowest <X>"));
    EXPECT_EQ(library.GetEntry(library.IndexOf(QStringLiteral("SIN"))).Description,
              QStringLiteral("SIN(<X>)Returns the sine of the given angle"));
    EXPECT_EQ(library.GetEntry(library.IndexOf(QStringLiteral("COPY"))).ArgumentSpec, QStringLiteral("7SNN"));

    // Every entry makes an element of its own class, named as the entry.
    for (int i = 0; i < library.Count(); ++i) {
        const auto element = library.GetEntry(i).ElementClass();
        EXPECT_EQ(element->GetFunctionName(), library.GetEntry(i).Name);
    }
    std::unique_ptr<TRepEvElement> unknown = library.CreateElement(QStringLiteral("NOPE"));
    TRepFiFo queue;
    EXPECT_TRUE(IsError(unknown->ComputeValue(queue), "Unknown function : NOPE"));
    // Only the aggregates are marked.
    for (const char *name : {"SUM", "COUNT", "MAX", "MIN", "AVERAGE"})
        EXPECT_TRUE(library.CreateElement(S(name))->IsAggregate) << name;
    EXPECT_FALSE(library.CreateElement(QStringLiteral("IF"))->IsAggregate);
}

TEST(RepExprFunctions, If)
{
    EXPECT_TRUE(IsString(Eval("IF(1 > 0, 'yes', 5)"), "yes"));
    EXPECT_TRUE(IsInteger(Eval("if(1 < 0, 'yes', 5)"), 5));
    EXPECT_TRUE(IsError(Eval("IF(1, 2, 3)"), "Wrong arguments for IF"));
    EXPECT_TRUE(IsError(Eval("IF(TRUE, 1)"), "Wrong arguments for IF"));
    // The branch not taken may be an error.
    EXPECT_TRUE(IsInteger(Eval("IF(TRUE, 1, 1/0)"), 1));
    EXPECT_TRUE(IsError(Eval("IF(FALSE, 1, 1/0)"), "Cannot divide by 0"));
    EXPECT_TRUE(IsString(Eval("IF('a' = 'a', 'x, y', 'z')"), "x, y"));
    EXPECT_TRUE(IsInteger(Eval("IF(IF(TRUE, FALSE, TRUE), 1, IF(TRUE, 2, 3))"), 2));
}

TEST(RepExprFunctions, StrUpperLowerPretty)
{
    EXPECT_TRUE(IsString(Eval("STR(2.5)"), "2,5"));
    EXPECT_TRUE(IsString(Eval("STR(-42)"), "-42"));
    EXPECT_TRUE(IsString(Eval("STR(TRUE)"), "True"));
    EXPECT_TRUE(IsString(Eval("STR(1/3)"), "0,333333333333333"));
    EXPECT_TRUE(IsError(Eval("STR('a')"), "Conversion error"));
    EXPECT_TRUE(IsError(Eval("STR(1/0)"), "Conversion error"));
    EXPECT_TRUE(IsError(Eval("STR(1, 2)"), "Conversion error"));

    EXPECT_TRUE(IsString(Eval("UPPER('abc')"), "ABC"));
    EXPECT_TRUE(IsString(Eval("UPPER('ёлка Жук')"), "ЁЛКА ЖУК"));
    EXPECT_TRUE(IsError(Eval("UPPER()"), "Missing argument for UPPER"));
    EXPECT_TRUE(IsError(Eval("UPPER('a', 'b')"), "Missing argument for UPPER"));
    EXPECT_TRUE(IsError(Eval("UPPER(1/0)"), "Cannot divide by 0"));
    EXPECT_TRUE(IsError(Eval("UPPER(1)"), "Wrong arguments for UPPER"));
    EXPECT_TRUE(IsString(Eval("LOWER('ABC Ёж')"), "abc ёж"));
    EXPECT_TRUE(IsError(Eval("LOWER()"), "Missing argument for LOWER"));
    EXPECT_TRUE(IsString(Eval("PRETTY('hELLO wORLD')"), "Hello world"));
    EXPECT_TRUE(IsString(Eval("PRETTY('иВАНОВ')"), "Иванов"));
    EXPECT_TRUE(IsString(Eval("PRETTY('')"), ""));
    EXPECT_TRUE(IsError(Eval("PRETTY(TRUE)"), "Wrong arguments for PRETTY"));
}

TEST(RepExprFunctions, TimeAndDateInTheRuntimeFormats)
{
    const QString before = DateToStr(Date());
    const TRepEvValue date = Eval("DATE");
    const QString after = DateToStr(Date());
    ASSERT_EQ(date.Kind, TRepEvKind::String);
    EXPECT_TRUE(date.Text == before || date.Text == after) << date.Text.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4}$")).match(date.Text).hasMatch());
    const TRepEvValue time = Eval("TIME()");
    ASSERT_EQ(time.Kind, TRepEvKind::String);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{1,2}:\\d\\d:\\d\\d$")).match(time.Text).hasMatch())
        << time.Text.toStdString();
    EXPECT_TRUE(IsError(Eval("DATE(1)"), "Wrong arguments for DATE"));

    // With the clock fixed: the short date and the long time formats.
    TFaultEnv env;
    env.SetNow(QDateTime(QDate(2026, 3, 7), QTime(9, 5, 4)));
    TSysEnvScope scope(env);
    EXPECT_TRUE(IsString(Eval("DATE"), "07.03.2026"));
    EXPECT_TRUE(IsString(Eval("TIME"), "9:05:04"));
    EXPECT_TRUE(IsString(Eval("'Отчёт от ' + DATE"), "Отчёт от 07.03.2026"));
    EXPECT_TRUE(IsError(Eval("TIME('x')"), "Wrong arguments for TIME"));
}

TEST(RepExprFunctions, Copy)
{
    EXPECT_TRUE(IsString(Eval("COPY('abcdef', 2, 3)"), "bcd"));
    EXPECT_TRUE(IsString(Eval("COPY('abcdef', 0, 2)"), "ab"));
    EXPECT_TRUE(IsString(Eval("COPY('abcdef', 5, 100)"), "ef"));
    EXPECT_TRUE(IsString(Eval("COPY('abcdef', 7, 1)"), ""));
    EXPECT_TRUE(IsString(Eval("COPY('abcdef', 2, -1)"), ""));
    EXPECT_TRUE(IsString(Eval("COPY('Привет', 2, 3)"), "рив"));
    EXPECT_EQ(Eval("COPY('abcdef', 2.0, 3)").Kind, TRepEvKind::Error);
    EXPECT_EQ(Eval("COPY('abcdef', 2)").Kind, TRepEvKind::Error);
    EXPECT_EQ(Eval("COPY(12345, 2, 3)").Kind, TRepEvKind::Error);
    // Never half of a surrogate pair.
    TRepEvaluator e;
    const QString pair = QString::fromUcs4(U"a\U0001F600b");
    EXPECT_TRUE(IsString(e.EvaluateText(QStringLiteral("COPY('%1', 3, 2)").arg(pair)), "b"));
    EXPECT_TRUE(IsString(e.EvaluateText(QStringLiteral("COPY('%1', 1, 2)").arg(pair)), "a"));
}

TEST(RepExprFunctions, ConstantsAndNumbers)
{
    EXPECT_TRUE(IsBoolean(Eval("TRUE"), true));
    EXPECT_TRUE(IsBoolean(Eval("false()"), false));
    EXPECT_TRUE(IsError(Eval("TRUE(1)"), "Too many arguments"));
    EXPECT_TRUE(IsError(Eval("FALSE(1)"), "Too many arguments"));

    EXPECT_TRUE(IsInteger(Eval("INT(-2.7)"), -2));
    EXPECT_TRUE(IsInteger(Eval("INT(2.7)"), 2));
    EXPECT_TRUE(IsInteger(Eval("INT(5)"), 5));
    EXPECT_TRUE(IsError(Eval("INT('5')"), "Wrong arguments for INT"));
    EXPECT_TRUE(IsError(Eval("INT(1e10)"), "Integer overflow"));

    EXPECT_TRUE(IsFloat(Eval("FRAC(-2.75)"), -0.75));
    EXPECT_TRUE(IsFloat(Eval("FRAC(3)"), 0));
    EXPECT_EQ(Eval("FRAC('x')").Kind, TRepEvKind::Error);

    EXPECT_TRUE(IsFloat(Eval("SQRT(9)"), 3));
    EXPECT_TRUE(IsFloat(Eval("SQRT(2.25)"), 1.5));
    EXPECT_TRUE(IsError(Eval("SQRT(-1)"), "Invalid argument to SQRT function"));
    EXPECT_TRUE(IsError(Eval("SQRT('9')"), "Invalid argument to SQRT function"));
    EXPECT_TRUE(IsError(Eval("SQRT(1, 2)"), "Invalid argument to SQRT function"));

    EXPECT_TRUE(IsInteger(Eval("DIV(7, 2)"), 3));
    EXPECT_TRUE(IsInteger(Eval("DIV(-7, 2)"), -3));
    EXPECT_TRUE(IsInteger(Eval("DIV(7.5, 2)"), 4));
    EXPECT_TRUE(IsInteger(Eval("DIV(2.5, 1)"), 2));
    EXPECT_TRUE(IsError(Eval("DIV(1, 0)"), "Division by Zero"));
    EXPECT_TRUE(IsError(Eval("DIV(1, 0.4)"), "Division by Zero"));
    EXPECT_TRUE(IsError(Eval("DIV(1)"), "Wrong arguments for DIV"));
    EXPECT_TRUE(IsError(Eval("DIV('a', 1)"), "Wrong arguments for DIV"));
    EXPECT_TRUE(IsError(Eval("DIV(1e12, 1)"), "Integer overflow"));
    EXPECT_TRUE(IsError(Eval("DIV(1e300, 1)"), "Integer overflow"));
    EXPECT_TRUE(IsError(Eval("DIV(-2147483647-1, -1)"), "Integer overflow"));

    EXPECT_TRUE(IsString(Eval("TYPEOF(1)"), "INTEGER"));
    EXPECT_TRUE(IsString(Eval("TYPEOF(1.0)"), "FLOAT"));
    EXPECT_TRUE(IsString(Eval("TYPEOF('a')"), "STRING"));
    EXPECT_TRUE(IsString(Eval("TYPEOF(1 < 2)"), "BOOLEAN"));
    EXPECT_TRUE(IsString(Eval("TYPEOF(1/0)"), "ERROR"));
    EXPECT_TRUE(IsError(Eval("TYPEOF()"), "Wrong arguments for TypeOf"));
    EXPECT_TRUE(IsError(Eval("TYPEOF(1, 2)"), "Wrong arguments for TypeOf"));
}

TEST(RepExprFunctions, FormatNumericUsesTheNumberMasks)
{
    EXPECT_TRUE(IsString(Eval("FORMATNUMERIC('#,##0.00', 1234567.891)"), "1\u00A0234\u00A0567,89"));
    EXPECT_TRUE(IsString(Eval("FORMATNUMERIC('0.0', 7)"), "7,0"));
    EXPECT_TRUE(IsString(Eval("FORMATNUMERIC('', 2.5)"), "2,5"));
    EXPECT_TRUE(IsString(Eval("FORMATNUMERIC('0;(0)', -3)"), "(3)"));
    EXPECT_EQ(Eval("FORMATNUMERIC(1, 2)").Kind, TRepEvKind::Error);
    EXPECT_EQ(Eval("FORMATNUMERIC('0', 'x')").Kind, TRepEvKind::Error);
    EXPECT_EQ(Eval("FORMATNUMERIC('0')").Kind, TRepEvKind::Error);
}

TEST(RepExprFunctions, Trigonometry)
{
    const double pi = std::acos(-1.0);
    EXPECT_TRUE(IsFloat(Eval("ARCCOS(1)"), 0));
    EXPECT_TRUE(IsFloat(Eval("ARCCOS(-1)"), pi));
    EXPECT_TRUE(IsFloat(Eval("COS(0)"), 1));
    EXPECT_TRUE(IsFloat(Eval("SIN(0)"), 0));
    EXPECT_TRUE(IsFloat(Eval("TAN(0)"), 0));
    const TRepEvValue cot = Eval("COTAN(0.5)");
    ASSERT_EQ(cot.Kind, TRepEvKind::Float);
    EXPECT_DOUBLE_EQ(cot.FloatValue, 1 / std::tan(0.5));
    EXPECT_NEAR(Eval("SIN(ARCCOS(0))").FloatValue, 1.0, 1e-15);
    // Outside the domain: error values, not exceptions.
    EXPECT_TRUE(IsError(Eval("ARCCOS(2)"), "Invalid argument to ARCCOS function"));
    EXPECT_TRUE(IsError(Eval("COTAN(0)"), "Division by Zero"));
    for (const char *bad : {"COS('x')", "SIN()", "TAN(1, 2)", "COTAN(TRUE)", "ARCCOS(1/0)"})
        EXPECT_EQ(Eval(bad).Kind, TRepEvKind::Error) << bad;
}

namespace {

// Runs expression over the values: each aggregate pass sees the variable V
// (a literal patched in place) holding the next value.
TRepEvValue Aggregate(const char *expression, const std::vector<TRepEvValue> &values)
{
    TRepEvEnvironment env;
    env.DefineVariable(QStringLiteral("V"), QStringLiteral("0"));
    env.CompileAll();
    TRepEvElement *v = env.GetVariableElement(QStringLiteral("V"));
    TRepEvaluator e;
    e.LocalEnvironment = &env;
    e.Compile(S(expression));
    e.ClearTotals();
    for (const TRepEvValue &value : values) {
        TRepEvEnvironment::SetConstantResult(v, value);
        e.Accumulate();
    }
    const TRepEvValue result = e.Evaluate();
    e.Discard();
    env.DiscardAll();
    return result;
}

TRepEvValue I(int v) { return TRepEvValue::Integer(v); }
TRepEvValue F(double v) { return TRepEvValue::Float(v); }
TRepEvValue T(const char *v) { return TRepEvValue::String(S(v)); }
TRepEvValue B(bool v) { return TRepEvValue::Boolean(v); }

} // namespace

TEST(RepExprAggregates, EmptyTotals)
{
    EXPECT_TRUE(IsInteger(Aggregate("SUM(V)", {}), 0));
    EXPECT_TRUE(IsInteger(Aggregate("MAX(V)", {}), 0));
    EXPECT_TRUE(IsInteger(Aggregate("MIN(V)", {}), 0));
    EXPECT_TRUE(IsInteger(Aggregate("COUNT", {}), 0));
    EXPECT_TRUE(IsFloat(Aggregate("AVERAGE(V)", {}), 0));
    EXPECT_TRUE(IsError(Eval("COUNT(1)"), "COUNT - Too many arguments"));
    EXPECT_TRUE(IsError(Aggregate("COUNT(V)", {I(1)}), "COUNT - Too many arguments"));
}

TEST(RepExprAggregates, SumAndAverage)
{
    EXPECT_TRUE(IsInteger(Aggregate("SUM(V)", {I(1), I(2), I(3)}), 6));
    EXPECT_TRUE(IsFloat(Aggregate("SUM(V)", {F(1.5), F(2), F(3.25)}), 6.75));
    // Both numeric kinds count, whichever comes first.
    EXPECT_TRUE(IsFloat(Aggregate("SUM(V)", {I(1), F(2.5), I(2)}), 5.5));
    EXPECT_TRUE(IsFloat(Aggregate("SUM(V)", {F(2.5), I(1)}), 3.5));
    // An integer total that leaves the 32-bit range goes on as a float.
    EXPECT_TRUE(IsFloat(Aggregate("SUM(V)", {I(2000000000), I(2000000000)}), 4e9));
    // Texts, booleans and errors do not silently drop out of a total.
    EXPECT_TRUE(IsError(Aggregate("SUM(V)", {T("a")}), "Cannot add string expressions"));
    EXPECT_TRUE(IsError(Aggregate("SUM(V)", {I(1), T("a"), I(2)}), "Cannot add string expressions"));
    EXPECT_TRUE(IsError(Aggregate("SUM(V)", {I(1), B(true)}), "Cannot add boolean expressions"));
    EXPECT_TRUE(IsError(Aggregate("SUM(V)", {I(1), TRepEvValue::Error(S("bad")), I(2)}), "bad"));
    EXPECT_TRUE(IsError(Aggregate("SUM(V, 1)", {I(1)}), "Wrong arguments for SUM"));

    EXPECT_TRUE(IsFloat(Aggregate("AVERAGE(V)", {F(1), F(2), F(6)}), 3));
    EXPECT_TRUE(IsFloat(Aggregate("AVERAGE(V)", {I(1), I(2)}), 1.5));
    EXPECT_TRUE(IsFloat(Aggregate("AVERAGE(V)", {I(1), F(2.5), I(0)}), 3.5 / 3));
    EXPECT_TRUE(IsError(Aggregate("AVERAGE(V)", {F(1), T("x")}), "Cannot add string expressions"));
    EXPECT_TRUE(IsError(Aggregate("AVERAGE()", {F(1)}), "Wrong arguments for AVERAGE"));
}

TEST(RepExprAggregates, MaxMinAndCount)
{
    EXPECT_TRUE(IsString(Aggregate("MAX(V)", {T("b"), T("a"), T("c")}), "c"));
    EXPECT_TRUE(IsString(Aggregate("MIN(V)", {T("b"), T("a"), T("c")}), "a"));
    EXPECT_TRUE(IsString(Aggregate("MIN(V)", {T("а"), T("ё")}), "ё"));
    EXPECT_TRUE(IsBoolean(Aggregate("MIN(V)", {B(true), B(false), B(true)}), false));
    EXPECT_TRUE(IsBoolean(Aggregate("MAX(V)", {B(false), B(true), B(false)}), true));
    EXPECT_TRUE(IsInteger(Aggregate("MAX(V)", {I(3), I(-1), I(7), I(2)}), 7));
    EXPECT_TRUE(IsInteger(Aggregate("MIN(V)", {I(3), I(-1), I(7), I(2)}), -1));
    EXPECT_TRUE(IsFloat(Aggregate("MAX(V)", {I(1), F(2.5), I(2)}), 2.5));
    EXPECT_TRUE(IsInteger(Aggregate("MAX(V)", {F(2.5), I(3)}), 3));
    EXPECT_TRUE(IsFloat(Aggregate("MIN(V)", {I(3), F(1.5)}), 1.5));
    EXPECT_TRUE(IsError(Aggregate("MAX(V)", {I(1), T("a")}), "Wrong arguments for MAX"));
    EXPECT_TRUE(IsError(Aggregate("MIN(V)", {TRepEvValue::Error(S("bad")), I(1)}), "bad"));
    EXPECT_TRUE(IsError(Aggregate("MAX(V)", {I(1), TRepEvValue::Error(S("bad")), I(5)}), "bad"));
    EXPECT_TRUE(IsInteger(Aggregate("COUNT", {I(0), T("x"), B(true), I(0), I(0)}), 5));
    // Aggregates inside a larger expression keep their own totals.
    EXPECT_TRUE(IsInteger(Aggregate("MAX(V) - MIN(V) + COUNT", {I(4), I(9), I(1)}), 11));
}
