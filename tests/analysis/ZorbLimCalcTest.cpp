// Turnovers against limits and plans: every month, depth, contents and
// account scope of a random ledger checked against sums over its operations,
// the totals strip against sums over the rows, and the cases worked by hand.
#include "AnalysisLedger.h"
#include "analysis/ZorbDiffCalc.h"
#include "analysis/ZorbLimCalc.h"
#include "platform/rtl/Money.h"

#include <cmath>
#include <functional>
#include <map>

namespace zorbel {
namespace {

using test::TAnalysisLedger;
using test::TOp;
using Opt = std::optional<double>;

const char *const kValues[] = {"Lim", "Ct", "CtP", "Dt", "DtP", "Bal", "Rb", "QLim", "Qdt", "QdtP",
                               "Qct", "QctP", "QBal", "QRb", "RbX", "QRbX"};

struct TRow {
    std::map<QString, Opt> V;
    QString Itm;
};

std::map<int, TRow> ReadRows(TVemtMemTable &t)
{
    std::map<int, TRow> rows;
    for (t.First(); !t.Eof(); t.Next()) {
        TRow &r = rows[t.FieldByName(QStringLiteral("id_itm"))->AsInteger()];
        r.Itm = t.FieldByName(QStringLiteral("itm"))->AsString();
        for (const char *name : kValues) {
            const TField *f = t.FieldByName(QString::fromLatin1(name));
            r.V[QString::fromLatin1(name)] = f->IsNull() ? Opt() : Opt(f->AsFloat());
        }
    }
    return rows;
}

void Add(Opt &sum, const Opt &v, double sign = 1)
{
    if (v)
        sum = sum.value_or(0) + sign * *v;
}

class LimCalcTest : public ::testing::Test {
protected:
    TAnalysisLedger L;
    TVemtMemTable Lim, Sum;
    void SetUp() override { OpenLimTables(Lim, Sum); }
    std::map<int, TRow> Run(int y, int m, int depth, const TAccountScope &scope, TLimContents contents)
    {
        ComputeLimitTurnovers(L.Ds.Dm.Db, {y, m, depth, scope, contents}, Lim);
        return ReadRows(Lim);
    }
};

// The expected rows: categories and their limits as the fixture made them.
struct TItem {
    QString Path, C;
    Opt Lim, QLim;
};

TEST_F(LimCalcTest, EveryDepthAndContentsMatchTheOperations)
{
    L.AddRandom(900, 17);
    const QString out = QStringLiteral("Статья расхода"), in = QStringLiteral("Статья дохода");
    const std::map<int, TItem> items{
        {-1, {QStringLiteral("ПЕРЕВОД"), QStringLiteral("-"), {}, {}}},
        {0, {out, QStringLiteral("-"), {}, {}}},
        {1, {in, QStringLiteral("+"), {}, {}}},
        {L.Food, {out + QStringLiteral(":Еда"), QStringLiteral("-"), {}, {}}},
        {L.Bread, {out + QStringLiteral(":Еда:Хлеб"), QStringLiteral("-"), {}, {}}},
        {L.FoodOther, {out + QStringLiteral(":Еда:Прочее"), QStringLiteral("-"), {}, {}}},
        {L.Salary, {in + QStringLiteral(":Зарплата"), QStringLiteral("+"), 1000, {}}},
        {L.SalaryOther, {in + QStringLiteral(":Зарплата:Прочее"), QStringLiteral("+"), {}, {}}},
        {L.Auto, {QStringLiteral("Авто"), QStringLiteral("-"), -500, {}}},
        {L.Petrol, {QStringLiteral("Авто:Бензин"), QStringLiteral("-"), {}, 40}}};
    const TAccountScope scopes[] = {{1, QStringLiteral("$"), false, false},
                                    {2, QStringLiteral("$"), true, false},
                                    {2, QStringLiteral("$"), true, true}};
    int checkedRows = 0;
    for (const auto &[y, m] : {std::pair{2020, 2}, {2019, 12}, {2022, 1}, {2021, 7}})
        for (const TAccountScope &scope : scopes)
            for (int depth = 1; depth <= 3; ++depth)
                for (int contents = 0; contents <= 2; ++contents) {
                    SCOPED_TRACE(testing::Message() << y << "-" << m << " scope " << scope.AccountId
                                                    << scope.SameCurrency << scope.NoTransfers << " depth " << depth
                                                    << " contents " << contents);
                    // Sums per category and kind.
                    struct TSums {
                        Opt Dt, Ct, Qdt, Qct;
                    };
                    std::map<std::pair<int, char>, TSums> sums;
                    for (const TOp &op : L.Ops) {
                        const bool inScope = scope.SameCurrency ? TAnalysisLedger::Currency(op.Acc) == scope.Currency
                                                                : op.Acc == scope.AccountId;
                        if (!inScope || (scope.NoTransfers && op.L1 == -1) || op.Year() != y || op.Month() != m)
                            continue;
                        const int id = depth == 3 && op.L3 ? *op.L3 : depth >= 2 && op.L2 ? *op.L2 : *op.L1;
                        TSums &s = sums[{id, op.Kind}];
                        Add(s.Dt, op.Dt);
                        Add(s.Ct, op.Ct);
                        Add(s.Qdt, op.Qdt);
                        Add(s.Qct, op.Qct);
                    }
                    std::map<int, std::map<QString, Opt>> want;
                    for (const auto &[key, s] : sums) {
                        const auto item = items.find(key.first);
                        if (item == items.end())
                            continue; // a category that does not exist
                        const TItem &it = item->second;
                        if (contents == 1 && !it.Lim && !it.QLim)
                            continue;
                        auto &w = want[key.first];
                        w["Lim"] = it.Lim;
                        w["QLim"] = it.QLim;
                        const QString p = key.second == '2' ? QStringLiteral("P") : QString();
                        w[QStringLiteral("Dt") + p] = s.Dt;
                        w[QStringLiteral("Ct") + p] = s.Ct ? Opt(-*s.Ct) : Opt();
                        w[QStringLiteral("Qdt") + p] = s.Qdt;
                        w[QStringLiteral("Qct") + p] = s.Qct ? Opt(-*s.Qct) : Opt();
                        if (key.second == '2')
                            continue;
                        w["Bal"] = w["Dt"].value_or(0) + w["Ct"].value_or(0);
                        w["QBal"] = w["Qdt"].value_or(0) + w["Qct"].value_or(0);
                        if (it.Lim) {
                            const Opt turnover = *it.Lim > 0 ? w["Dt"] : w["Ct"];
                            if (turnover) {
                                w["Rb"] = *it.Lim > 0 ? *turnover - *it.Lim : *it.Lim - *turnover;
                                if (*turnover != 0)
                                    w["RbX"] = std::nearbyint(*turnover * 100 / *it.Lim);
                            }
                        }
                        if (it.QLim) {
                            const Opt turnover = w["Qdt"]; // the only quantity limit is >= 0
                            if (turnover) {
                                w["QRb"] = *turnover - *it.QLim;
                                if (*turnover != 0)
                                    w["QRbX"] = std::nearbyint(*turnover * 100 / *it.QLim);
                            }
                        }
                    }
                    if (contents == 2)
                        for (const auto &[id, it] : items)
                            if ((it.Lim || it.QLim) && !want.contains(id)) {
                                want[id]["Lim"] = it.Lim;
                                want[id]["QLim"] = it.QLim;
                            }

                    const auto got = Run(y, m, depth, scope, TLimContents(contents));
                    ASSERT_EQ(got.size(), want.size());
                    for (const auto &[id, w] : want) {
                        ASSERT_TRUE(got.contains(id)) << id;
                        const TRow &r = got.at(id);
                        EXPECT_EQ(r.Itm, items.at(id).Path);
                        for (const char *name : kValues) {
                            const QString n = QString::fromLatin1(name);
                            const Opt expected = w.contains(n) ? w.at(n) : Opt();
                            ASSERT_EQ(r.V.at(n).has_value(), expected.has_value()) << id << " " << name;
                            if (expected) {
                                EXPECT_NEAR(*r.V.at(n), *expected, 1e-6) << id << " " << name;
                            }
                        }
                        ++checkedRows;
                    }

                    // The totals strip: sums over the rows in units.
                    ComputeLimitTotals(Lim, Sum);
                    ASSERT_EQ(Sum.RecordCount(), got.empty() ? 0 : 2);
                    if (got.empty())
                        continue;
                    int64_t lPlus = 0, lMinus = 0, dt = 0, ct = 0, dtP = 0, ctP = 0, qdt = 0, qct = 0;
                    for (const auto &entry : got) {
                        const auto &r = entry.second;
                        const int64_t lim = r.V.at("Lim") ? MoneyToUnits(*r.V.at("Lim")) : 0;
                        (lim > 0 ? lPlus : lMinus) += lim;
                        auto u = [&r](const char *n) { return r.V.at(n) ? MoneyToUnits(*r.V.at(n)) : 0; };
                        dt += u("Dt");
                        ct += u("Ct");
                        dtP += u("DtP");
                        ctP += u("CtP");
                        qdt += u("Qdt");
                        qct += u("Qct");
                    }
                    Sum.First();
                    EXPECT_EQ(Sum.FieldByName(QStringLiteral("itm"))->AsString(), QStringLiteral("Деньги"));
                    auto sum = [this](const char *n) {
                        const TField *f = Sum.FieldByName(QString::fromLatin1(n));
                        return f->IsNull() ? std::optional<int64_t>() : MoneyToUnits(f->AsFloat());
                    };
                    EXPECT_EQ(sum("SumDt"), dt);
                    EXPECT_EQ(sum("SumCt"), ct);
                    EXPECT_EQ(sum("SumBal"), dt + ct);
                    EXPECT_EQ(sum("SumPlan"), dtP + ctP);
                    EXPECT_EQ(sum("SumBalPlan"), dt + ct + dtP + ctP);
                    EXPECT_EQ(sum("SumLimDt"), lPlus ? std::optional(lPlus) : std::nullopt);
                    EXPECT_EQ(sum("SumResDt"), lPlus ? std::optional(dt - lPlus) : std::nullopt);
                    EXPECT_EQ(sum("SumLimCt"), lMinus ? std::optional(lMinus) : std::nullopt);
                    EXPECT_EQ(sum("SumResCt"), lMinus ? std::optional(lMinus - ct) : std::nullopt);
                    Sum.Next();
                    EXPECT_EQ(Sum.FieldByName(QStringLiteral("itm"))->AsString(), QStringLiteral("Кол-во"));
                    EXPECT_EQ(sum("SumDt"), qdt ? std::optional(qdt) : std::nullopt);
                    EXPECT_EQ(sum("SumCt"), qct ? std::optional(qct) : std::nullopt);
                }
    EXPECT_GT(checkedRows, 200); // the ledger reaches every kind of row
}

TEST_F(LimCalcTest, LimitsWorkedByHand)
{
    const TAccountScope acc1{1, QStringLiteral("$"), false, false};
    auto op = [this](int day, char kind, Opt dt, Opt ct, int l1, std::optional<int> l2 = {}, Opt qdt = {}) {
        L.Add({1, EncodeDate(2005, 1, day), kind, dt, ct, qdt, {}, l1, l2, {}});
    };
    op(3, '1', {}, 300.0, L.Auto);               // expense 300 against a limit of 500
    op(4, '1', 400.0, {}, 1, L.Salary);          // income 400 against 1000
    op(5, '2', {}, 70.0, 0, L.Food);             // only planned
    op(6, '1', {}, 11.0, 0);                     // booked on the root itself
    op(7, '1', {}, 9.0, 0, L.Food);
    op(8, '1', {}, 25.0, L.Auto, L.Petrol, 50.0); // 50 units against a quantity limit of 40
    auto rows = Run(2005, 1, 2, acc1, TLimContents::AllTurnovers);
    const TRow &autoRow = rows.at(L.Auto);
    EXPECT_EQ(autoRow.V.at("Lim"), -500);
    EXPECT_EQ(autoRow.V.at("Ct"), -300);
    EXPECT_EQ(autoRow.V.at("Rb"), -200);
    EXPECT_EQ(autoRow.V.at("RbX"), 60);
    const TRow &salary = rows.at(L.Salary);
    EXPECT_EQ(salary.V.at("Rb"), -600);
    EXPECT_EQ(salary.V.at("RbX"), 40);
    const TRow &food = rows.at(L.Food);
    EXPECT_EQ(food.V.at("CtP"), -70);
    EXPECT_EQ(food.V.at("Ct"), -9);
    EXPECT_EQ(food.V.at("Bal"), -9);
    EXPECT_EQ(rows.at(0).V.at("Ct"), -11); // separate from its subcategory
    const TRow &petrol = rows.at(L.Petrol);
    EXPECT_EQ(petrol.V.at("QLim"), 40);
    EXPECT_EQ(petrol.V.at("QRb"), 10);
    EXPECT_EQ(petrol.V.at("QRbX"), 125);
    EXPECT_EQ(petrol.Itm, QStringLiteral("Авто:Бензин"));

    // Over the limit: 600 of 500 (the subcategory's 25 stand on its own row).
    op(9, '1', {}, 300.0, L.Auto);
    rows = Run(2005, 1, 2, acc1, TLimContents::AllTurnovers);
    EXPECT_EQ(rows.at(L.Auto).V.at("Rb"), 100);
    EXPECT_EQ(rows.at(L.Auto).V.at("RbX"), 120);
    // A planned-only category shows no balance.
    L.Add({1, EncodeDate(2005, 2, 1), '2', 5.0, {}, {}, {}, 1, {}, {}});
    rows = Run(2005, 2, 1, acc1, TLimContents::AllTurnovers);
    EXPECT_EQ(rows.at(1).V.at("DtP"), 5);
    EXPECT_FALSE(rows.at(1).V.at("Bal"));
    EXPECT_FALSE(rows.at(1).V.at("Rb"));
    // Limited categories without turnover, with their limits only.
    rows = Run(2005, 2, 2, acc1, TLimContents::TurnoversAndLimits);
    EXPECT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows.at(L.Salary).V.at("Lim"), 1000);
    EXPECT_FALSE(rows.at(L.Salary).V.at("Dt"));
    EXPECT_EQ(rows.at(L.Salary).Itm, QStringLiteral("Статья дохода:Зарплата"));
    EXPECT_EQ(rows.at(L.Petrol).V.at("QLim"), 40);

    // The totals: the money row always shows the four sums, the quantity row
    // only what is not 0.
    ComputeLimitTotals(Lim, Sum);
    Sum.First();
    EXPECT_EQ(Sum.FieldByName(QStringLiteral("SumDt"))->AsFloat(), 0);
    EXPECT_FALSE(Sum.FieldByName(QStringLiteral("SumDt"))->IsNull());
    EXPECT_EQ(Sum.FieldByName(QStringLiteral("SumPlan"))->AsFloat(), 5);
    EXPECT_EQ(Sum.FieldByName(QStringLiteral("SumLimDt"))->AsFloat(), 1000);
    EXPECT_EQ(Sum.FieldByName(QStringLiteral("SumLimPlanDt"))->AsFloat(), 995);
    EXPECT_EQ(Sum.FieldByName(QStringLiteral("SumLimCt"))->AsFloat(), -500);
    Sum.Next();
    EXPECT_TRUE(Sum.FieldByName(QStringLiteral("SumDt"))->IsNull());
    EXPECT_EQ(Sum.FieldByName(QStringLiteral("SumLimDt"))->AsFloat(), 40);
    EXPECT_EQ(Sum.FieldByName(QStringLiteral("SumResDt"))->AsFloat(), 40);
    // A month without operations and without limits to list: nothing.
    EXPECT_TRUE(Run(2007, 3, 1, acc1, TLimContents::AllTurnovers).empty());
    ComputeLimitTotals(Lim, Sum);
    EXPECT_TRUE(Sum.IsEmpty());
}

// Every row the table holds, field by field, in table order.
QStringList TableText(TVemtMemTable &t)
{
    QStringList rows;
    for (t.First(); !t.Eof(); t.Next()) {
        QStringList cells;
        for (int i = 0; i < t.FieldCount(); ++i)
            cells << t.Fields()[i]->AsString();
        rows << cells.join(u'|');
    }
    return rows;
}

// A post the memory table refuses, at any row of the year, the month or the
// totals strip, stops the computation with that failure (no row dropped in
// silence) and leaves the table browsing with its controls on, so the next
// computation gives exactly the rows of an undisturbed one.
TEST_F(LimCalcTest, ARefusedPostIsReportedAndTheNextRunStartsClean)
{
    const TAccountScope acc1{1, QStringLiteral("$"), false, false};
    L.Add({1, EncodeDate(2005, 1, 3), '1', {}, 300.0, {}, {}, L.Auto, {}, {}});
    L.Add({1, EncodeDate(2005, 1, 4), '1', 400.0, {}, {}, {}, 1, L.Salary, {}});
    L.Add({1, EncodeDate(2005, 3, 7), '1', {}, 9.0, {}, {}, 0, L.Food, {}});
    TVemtMemTable year;
    OpenDiffTable(year);
    const struct {
        const char *Name;
        TVemtMemTable &Table;
        std::function<void()> Run;
    } cases[] = {
        {"year", year, [&] { ComputeYearItemTotals(L.Ds.Dm.Db, {2005, 2, acc1, true}, year); }},
        {"month", Lim,
         [&] { ComputeLimitTurnovers(L.Ds.Dm.Db, {2005, 1, 2, acc1, TLimContents::TurnoversAndLimits}, Lim); }},
        {"totals", Sum, [&] { ComputeLimitTotals(Lim, Sum); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        c.Run();
        const QStringList undisturbed = TableText(c.Table);
        ASSERT_GE(undisturbed.size(), 2);
        for (int refused = 1; refused <= undisturbed.size(); ++refused) {
            SCOPED_TRACE(refused);
            int posts = 0;
            c.Table.BeforePost = [&](TDataSet *) {
                if (++posts == refused)
                    DatabaseError(QStringLiteral("refused"));
            };
            EXPECT_THROW(c.Run(), EDatabaseError);
            c.Table.BeforePost = nullptr;
            EXPECT_EQ(c.Table.State(), dsBrowse);
            EXPECT_FALSE(c.Table.ControlsDisabled());
            c.Run();
            EXPECT_EQ(TableText(c.Table), undisturbed);
        }
    }
}

TEST(LimitPercent, HalvesGoToEven)
{
    EXPECT_EQ(LimitPercent(1, 8), 12);    // 12,5
    EXPECT_EQ(LimitPercent(3, 8), 38);    // 37,5
    EXPECT_EQ(LimitPercent(-300, -500), 60);
    EXPECT_EQ(LimitPercent(1e12, 0.0001), 2147483647); // no overflow
}

} // namespace
} // namespace zorbel
