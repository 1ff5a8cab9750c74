// libFuzzer target: the input, read as UTF-8, is a report expression. It is
// compiled against a memory table and a report environment, evaluated in
// plain and aggregate passes over the table's records, and its totals are
// cleared and read again. Any crash, sanitizer report, hang or escaping
// exception is a finding; so is a value that breaks the value rules (a
// string longer than 255 characters, a float that is not finite).
#include "memtable/VemtMemTable.h"
#include "report/RepExpr.h"

#include <QCoreApplication>
#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace zorbel;

namespace {

struct Scene {
    TVemtMemTable table;
    std::vector<TDataSet *> list{&table};
    TRepEvEnvironment env;

    Scene()
    {
        table.SetName(QStringLiteral("Q"));
        table.FieldDefs().Add(QStringLiteral("nm"), ftString, 20);
        table.FieldDefs().Add(QStringLiteral("amt"), ftFloat);
        table.FieldDefs().Add(QStringLiteral("qty"), ftInteger);
        table.FieldDefs().Add(QStringLiteral("ok"), ftBoolean);
        table.FieldDefs().Add(QStringLiteral("d"), ftDate);
        table.FieldDefs().Add(QStringLiteral("big"), ftLargeint);
        table.Open();
        const char *const names[] = {"Хлеб", "", "milk"};
        for (int i = 0; i < 3; ++i) {
            table.Append();
            table.FieldByName(QStringLiteral("nm"))->SetAsString(QString::fromUtf8(names[i]));
            if (i != 1) {
                table.FieldByName(QStringLiteral("amt"))->SetAsFloat(i * 1e300 + 0.5);
                table.FieldByName(QStringLiteral("qty"))->SetAsInteger(i == 2 ? 2147483647 : -7);
                table.FieldByName(QStringLiteral("ok"))->SetAsBoolean(i == 0);
                table.FieldByName(QStringLiteral("d"))->SetAsDateTime(46000 + i);
            }
            table.Post();
        }
        env.SetDataSetList(&list);
        env.DefineVariable(QStringLiteral("PAGENUMBER"), QStringLiteral("0"));
        env.DefineVariable(QStringLiteral("REPORTTITLE"), QStringLiteral("''"));
        env.DefineVariable(QStringLiteral("LOOP"), QStringLiteral("LOOP + 1"));
        env.DefineVariable(QStringLiteral("TOTAL"), QStringLiteral("SUM(amt) + COUNT"));
        env.CompileAll();
    }
};

void Check(const TRepEvValue &v)
{
    const bool textual = v.Kind == TRepEvKind::String || v.Kind == TRepEvKind::Error;
    if ((textual && v.Text.size() > RepEvMaxString) || (v.Kind == TRepEvKind::Float && !std::isfinite(v.FloatValue)) ||
        int(v.Kind) > int(TRepEvKind::Error)) {
        std::fprintf(stderr, "bad value of kind %d\n", int(v.Kind));
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "exprfuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static Scene scene;

    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        TRepEvaluator evaluator;
        evaluator.SetDataSetList(&scene.list);
        evaluator.LocalEnvironment = &scene.env;
        evaluator.Compile(text);
        evaluator.ClearTotals();
        int page = 0;
        for (scene.table.First(); !scene.table.Eof(); scene.table.Next()) {
            TRepEvEnvironment::SetIntegerConstant(scene.env.GetVariableElement(QStringLiteral("PAGENUMBER")), ++page);
            evaluator.Accumulate();
            Check(evaluator.Evaluate());
        }
        (void)evaluator.HasAggregates();
        evaluator.ClearTotals();
        Check(evaluator.Evaluate());
        evaluator.SetDataSetList(nullptr);
        evaluator.Discard();
        Check(evaluator.EvaluateText(text));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "escaped exception: %s\n", e.what());
        std::abort();
    }
    return 0;
}
