// Environments: variables, their compilation as a group, the literals the
// report run patches in place, recursion, the global environment and the
// stored form of a layout's variables.
#include "RepExprSupport.h"

#include <QCoreApplication>

using namespace zorbel;
using namespace zorbel::test;

namespace {

// A report layout's environment as a new layout defines it.
void DefineReportVariables(TRepEvEnvironment &env)
{
    env.DefineVariable(QStringLiteral("PAGENUMBER"), QStringLiteral("0"));
    env.DefineVariable(QStringLiteral("COLUMNNUMBER"), QStringLiteral("0"));
    env.DefineVariable(QStringLiteral("REPORTTITLE"), QStringLiteral("''"));
}

} // namespace

TEST(RepExprEnvironment, ReportVariablesArePatchedInPlace)
{
    TRepEvEnvironment env;
    DefineReportVariables(env);
    EXPECT_EQ(env.StoredNames(), QStringList({"PAGENUMBER", "COLUMNNUMBER", "REPORTTITLE"}));
    EXPECT_EQ(env.GetVariableElement(QStringLiteral("PAGENUMBER")), nullptr); // not compiled yet

    env.CompileAll();
    ASSERT_TRUE(env.IsCompiled());
    TRepEvaluator footer;
    footer.LocalEnvironment = &env;
    footer.Compile(QStringLiteral("'Страница ' + PAGENUMBER + ' из ' + REPORTTITLE"));
    TRepEvElement *page = env.GetVariableElement(QStringLiteral("pagenumber"));
    TRepEvElement *title = env.GetVariableElement(QStringLiteral("REPORTTITLE"));
    ASSERT_NE(page, nullptr);
    ASSERT_NE(title, nullptr);
    TRepEvEnvironment::SetStringConstant(title, S("Итоги"));
    for (int n = 1; n <= 3; ++n) {
        TRepEvEnvironment::SetIntegerConstant(page, n);
        EXPECT_TRUE(IsString(footer.Evaluate(), QStringLiteral("Страница %1 из Итоги").arg(n)));
    }
    // Patching the wrong kind of element changes nothing.
    TRepEvEnvironment::SetStringConstant(page, S("x"));
    TRepEvEnvironment::SetIntegerConstant(title, 5);
    EXPECT_TRUE(IsInteger(env.GetVariableValue(QStringLiteral("PAGENUMBER")), 3));
    EXPECT_TRUE(IsString(env.GetVariableValue(QStringLiteral("REPORTTITLE")), "Итоги"));
    TRepEvEnvironment::SetConstantResult(page, TRepEvValue::Float(2.5));
    EXPECT_TRUE(IsFloat(env.GetVariableValue(QStringLiteral("PAGENUMBER")), 2.5));
    TRepEvEnvironment::SetConstantResult(title, TRepEvValue::Integer(1));
    EXPECT_TRUE(IsString(env.GetVariableValue(QStringLiteral("REPORTTITLE")), "Итоги"));
    TRepEvEnvironment::SetConstantResult(title, TRepEvValue::String(S("Другой")));
    EXPECT_TRUE(IsString(env.GetVariableValue(QStringLiteral("REPORTTITLE")), "Другой"));
    EXPECT_TRUE(IsError(env.GetVariableValue(QStringLiteral("NOPE")), "Unknown function : NOPE"));

    footer.Discard();
    env.DiscardAll();
    EXPECT_FALSE(env.IsCompiled());
    EXPECT_EQ(env.GetVariableElement(QStringLiteral("PAGENUMBER")), nullptr);
}

TEST(RepExprEnvironment, DefineDeleteAndLookup)
{
    TRepEvEnvironment env;
    DefineReportVariables(env);
    // Defining an existing name (any case) keeps its expression.
    env.DefineVariable(QStringLiteral("PageNumber"), QStringLiteral("99"));
    EXPECT_EQ(env.Count(), 3);
    EXPECT_EQ(env.StoredExpressions(), QStringList({"0", "0", "''"}));
    env.DefineVariable(QStringLiteral("Rate"), QStringLiteral("2.5"));
    EXPECT_EQ(env.Names(3), QStringLiteral("RATE"));
    env.DeleteVariable(QStringLiteral("columnnumber"));
    env.DeleteVariable(QStringLiteral("missing"));
    EXPECT_EQ(env.StoredNames(), QStringList({"PAGENUMBER", "REPORTTITLE", "RATE"}));

    TRepFiFo queue;
    EXPECT_TRUE(IsError(env.CreateVariableElement(QStringLiteral("nope"))->ComputeValue(queue), "Unknown function : nope"));

    // Variables compile with the environment; one defined while it is
    // compiled is compiled at once.
    env.CompileAll();
    env.DefineVariable(QStringLiteral("Twice"), QStringLiteral("Rate * 2"));
    TRepEvaluator e;
    e.LocalEnvironment = &env;
    EXPECT_TRUE(IsFloat(e.EvaluateText(QStringLiteral("twice + [rate]")), 7.5));
    // A variable is no aggregate for the expression that uses it.
    e.Compile(QStringLiteral("Rate"));
    EXPECT_FALSE(e.HasAggregates());
    e.Discard();
    env.DiscardAll();
}

TEST(RepExprEnvironment, VariablesWithAggregatesKeepTheirOwnTotals)
{
    TRepEvEnvironment env;
    env.DefineVariable(QStringLiteral("N"), QStringLiteral("COUNT"));
    env.CompileAll();
    TRepEvaluator e;
    e.LocalEnvironment = &env;
    e.Compile(QStringLiteral("N + COUNT"));
    // Only the expression's own COUNT accumulates.
    e.Accumulate();
    e.Accumulate();
    EXPECT_TRUE(IsInteger(e.Evaluate(), 2));
    // ClearTotals of the variable element clears the variable's evaluator.
    env.Variable(0)->OwnEvaluator->Accumulate();
    EXPECT_TRUE(IsInteger(e.Evaluate(), 3));
    e.ClearTotals();
    EXPECT_TRUE(IsInteger(e.Evaluate(), 1));
    env.Variable(0)->ClearTotals();
    EXPECT_TRUE(IsInteger(e.Evaluate(), 0));
    e.Discard();
    env.DiscardAll();
}

TEST(RepExprEnvironment, RecursionAndUncompiledVariables)
{
    TRepEvEnvironment env;
    env.DefineVariable(QStringLiteral("SELF"), QStringLiteral("SELF + 1"));
    env.DefineVariable(QStringLiteral("A"), QStringLiteral("B"));
    env.DefineVariable(QStringLiteral("B"), QStringLiteral("A"));
    env.DefineVariable(QStringLiteral("OK"), QStringLiteral("1"));
    TRepEvaluator e;
    e.LocalEnvironment = &env;
    // Not compiled: the variable's own evaluator raises, and a later
    // evaluation after compiling works (nothing stays marked busy).
    e.Compile(QStringLiteral("OK + 1"));
    EXPECT_THROW(e.Evaluate(), ERepExprError);
    env.CompileAll();
    EXPECT_TRUE(IsInteger(e.Evaluate(), 2));
    EXPECT_TRUE(IsError(e.EvaluateText(QStringLiteral("SELF")), "Recursive calls not allowed"));
    EXPECT_TRUE(IsError(e.EvaluateText(QStringLiteral("A")), "Recursive calls not allowed"));
    EXPECT_TRUE(IsInteger(e.EvaluateText(QStringLiteral("OK")), 1));
    env.DiscardAll();
}

TEST(RepExprEnvironment, LongVariableChainsStopCleanly)
{
    TRepEvEnvironment env;
    for (int i = 0; i < 200; ++i)
        env.DefineVariable(QStringLiteral("V%1").arg(i), i == 199 ? QStringLiteral("1") : QStringLiteral("V%1 + 1").arg(i + 1));
    env.CompileAll();
    TRepEvaluator e;
    e.LocalEnvironment = &env;
    EXPECT_TRUE(IsInteger(e.EvaluateText(QStringLiteral("V195")), 5));
    EXPECT_TRUE(IsError(e.EvaluateText(QStringLiteral("V0")), "Expression too complex"));
    env.DiscardAll();
}

TEST(RepExprEnvironment, FieldsOfTheEnvironmentDatasets)
{
    auto table = MakeTable(QStringLiteral("Q"));
    table->Append();
    table->FieldByName(QStringLiteral("amt"))->SetAsFloat(4);
    table->Post();
    std::vector<TDataSet *> list{table.get()};
    TRepEvEnvironment env;
    env.SetDataSetList(&list);
    env.DefineVariable(QStringLiteral("HALF"), QStringLiteral("amt / 2"));
    env.CompileAll();
    EXPECT_TRUE(IsFloat(env.GetVariableValue(QStringLiteral("HALF")), 2));
    env.DiscardAll();
    // Without a list of its own the environment makes an empty one.
    TRepEvEnvironment bare;
    EXPECT_NE(bare.GetDataSetList(), nullptr);
    EXPECT_TRUE(bare.GetDataSetList()->empty());
}

TEST(RepExprEnvironment, StoredVariablesReplaceTheEnvironment)
{
    TRepEvEnvironment env;
    DefineReportVariables(env);
    env.DefineVariable(QStringLiteral("EXTRA"), QStringLiteral("5"));
    env.LoadStored({"PAGENUMBER", "COLUMNNUMBER", "REPORTTITLE"}, {"0", "0", "''"});
    EXPECT_EQ(env.StoredNames(), QStringList({"PAGENUMBER", "COLUMNNUMBER", "REPORTTITLE"}));
    EXPECT_EQ(env.StoredExpressions(), QStringList({"0", "0", "''"}));
    env.DefineVariable(QStringLiteral("PAGENUMBER"), QStringLiteral("7"));
    EXPECT_EQ(env.StoredExpressions().at(0), QStringLiteral("0"));
    // Uneven lists lose no name and invent none.
    env.LoadStored({"A", "B"}, {"1"});
    EXPECT_EQ(env.StoredNames(), QStringList({"A", "B"}));
    EXPECT_EQ(env.StoredExpressions(), QStringList({"1", ""}));
    env.LoadStored({"A"}, {"1", "2"});
    EXPECT_EQ(env.Count(), 1);
    env.CompileAll();
    EXPECT_TRUE(IsInteger(env.GetVariableValue(QStringLiteral("A")), 1));
    env.DiscardAll();
}

TEST(RepExprEnvironment, GlobalVariablesStayCompiled)
{
    TRepEvEnvironment &global = GlobalEnvironment();
    EXPECT_GE(global.IndexOf(QStringLiteral("APPSTARTTIME")), 0);
    EXPECT_GE(global.IndexOf(QStringLiteral("AppStartDate")), 0);
    {
        TRepEvaluator first;
        EXPECT_TRUE(IsString(first.EvaluateText(QStringLiteral("AppName")), QCoreApplication::applicationName()));
    }
    // The first evaluator is gone; the global variables are still compiled.
    EXPECT_TRUE(global.IsCompiled());
    TRepEvaluator second;
    EXPECT_TRUE(IsString(second.EvaluateText(QStringLiteral("APPNAME")), QCoreApplication::applicationName()));
    const TRepEvValue date = second.EvaluateText(QStringLiteral("AppStartDate"));
    EXPECT_EQ(date.Kind, TRepEvKind::String);
    EXPECT_EQ(date.Text.size(), 10);

    // A report environment compiled and discarded does not release them.
    TRepEvEnvironment report;
    DefineReportVariables(report);
    report.CompileAll();
    const int uses = global.UseCount();
    report.DiscardAll();
    EXPECT_EQ(global.UseCount(), uses);
    EXPECT_TRUE(global.IsCompiled());
    // A local variable hides a global one of the same name.
    TRepEvEnvironment local;
    local.DefineVariable(QStringLiteral("AppName"), QStringLiteral("'local'"));
    local.CompileAll();
    TRepEvaluator third;
    third.LocalEnvironment = &local;
    EXPECT_TRUE(IsString(third.EvaluateText(QStringLiteral("AppName")), "local"));
    local.DiscardAll();
}
