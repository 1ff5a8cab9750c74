// Evaluating one compiled report expression per record: an expression of ten
// operators with two field references, over a memory table of 1,000,000
// records. Reports evaluations per second with and without the cost of moving
// to the next record, beside the same formula written in C++ over the same
// records as the reference. The sums of all three runs must agree.
#include "memtable/VemtMemTable.h"
#include "report/RepExpr.h"

#include "../BenchTiming.h"

#include <QCoreApplication>
#include <chrono>
#include <cmath>
#include <cstdio>

using namespace zorbel;
using zorbel::bench::BestSeconds;

namespace {

constexpr int kRecords = 1000000;
constexpr int kRuns = 3;
// Ten operators, two field references.
const char *const kExpression = "((a + 1) * 2 - b / 4 + 3) * 5 - (6 - 2) / 8 + 7";

double Formula(double a, int b) { return ((a + 1) * 2 - b / 4.0 + 3) * 5 - (6 - 2) / 8.0 + 7; }

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TVemtMemTable table;
    table.SetName(QStringLiteral("Q"));
    table.FieldDefs().Add(QStringLiteral("a"), ftFloat);
    table.FieldDefs().Add(QStringLiteral("b"), ftInteger);
    table.Open();
    TField *a = table.FieldByName(QStringLiteral("a"));
    TField *b = table.FieldByName(QStringLiteral("b"));
    for (int i = 0; i < kRecords; ++i) {
        table.Append();
        a->SetAsFloat(i * 0.25);
        b->SetAsInteger(i % 1000);
        table.Post();
    }

    std::vector<TDataSet *> list{&table};
    TRepEvaluator evaluator;
    evaluator.SetDataSetList(&list);
    evaluator.Compile(QString::fromLatin1(kExpression));

    double exprSum = 0;
    const double withNext = BestSeconds(kRuns, [&] {
        exprSum = 0;
        for (table.First(); !table.Eof(); table.Next())
            exprSum += evaluator.Evaluate().FloatValue;
    });
    double moveSum = 0;
    const double moveOnly = BestSeconds(kRuns, [&] {
        moveSum = 0;
        for (table.First(); !table.Eof(); table.Next())
            moveSum += 1;
    });
    // The same expression over one record, as often: the evaluation alone.
    table.First();
    double sameSum = 0;
    const double evalOnly = BestSeconds(kRuns, [&] {
        sameSum = 0;
        for (int i = 0; i < kRecords; ++i)
            sameSum += evaluator.Evaluate().FloatValue;
    });
    double refSum = 0;
    const double reference = BestSeconds(kRuns, [&] {
        refSum = 0;
        for (table.First(); !table.Eof(); table.Next()) {
            double av = 0;
            int bv = 0;
            static_cast<TFloatField *>(a)->GetValue(av);
            static_cast<TIntegerField *>(b)->GetValue(bv);
            refSum += Formula(av, bv);
        }
    });

    std::printf("expression: %s over %d records, best of %d runs\n", kExpression, kRecords, kRuns);
    std::printf("  evaluate on one record:        %.3f s  %.2f M evaluations/s\n", evalOnly, kRecords / evalOnly / 1e6);
    std::printf("  evaluate + next record:        %.3f s  %.2f M records/s\n", withNext, kRecords / withNext / 1e6);
    std::printf("  next record only:              %.3f s\n", moveOnly);
    std::printf("  evaluation share of the walk:  %.2f M evaluations/s\n", kRecords / (withNext - moveOnly) / 1e6);
    std::printf("  reference C++ formula + next:  %.3f s  %.2f M records/s\n", reference, kRecords / reference / 1e6);
    const bool agree = std::fabs(exprSum - refSum) <= 1e-9 * std::fabs(refSum) && moveSum == kRecords;
    std::printf("  sums %s (%.6g, %.6g)\n", agree ? "agree" : "DIFFER", exprSum, refSum);
    return agree ? 0 : 1;
}
