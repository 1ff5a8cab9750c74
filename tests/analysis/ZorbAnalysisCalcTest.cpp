// The monthly balances, the year by category, the future days and the
// turnovers against limits, each computed over a random ledger of four years
// and two currencies and checked against a plain computation over the same
// operations (TAnalysisLedger::Ops); plus the cases worked by hand.
#include "AnalysisLedger.h"
#include "analysis/ZorbDaysCalc.h"
#include "analysis/ZorbDiffCalc.h"
#include "analysis/ZorbLimCalc.h"
#include "analysis/ZorbRestCalc.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"
#include "support/FaultEnv.h"
#include "support/PageCache.h"

#include <array>
#include <cstring>
#include <map>
#include <set>
#include <tuple>

namespace zorbel {
namespace {

using test::TAnalysisLedger;
using test::TOp;
using Opt = std::optional<double>;

int64_t Units(const Opt &v) { return v ? MoneyToUnits(*v) : 0; }

bool InScope(const TOp &op, const TAccountScope &s)
{
    if (s.NoTransfers && op.L1 == -1)
        return false;
    return s.SameCurrency ? TAnalysisLedger::Currency(op.Acc) == s.Currency : op.Acc == s.AccountId;
}

std::vector<TAccountScope> Scopes()
{
    return {{1, QStringLiteral("$"), false, false}, {2, QStringLiteral("$"), false, true},
            {1, QStringLiteral("$"), true, false},  {2, QStringLiteral("$"), true, true},
            {3, QStringLiteral("EUR"), true, false}};
}

Opt FieldValue(TDataSet &t, const QString &name)
{
    const TField *f = t.FieldByName(name);
    return f->IsNull() ? Opt() : Opt(f->AsFloat());
}

// Takes Sums' own image back with the first account's first realised day
// raised by 10 000,00 of income: day sums that fit the table but are not
// the rows', as they answer until the walk has checked them.
void AdoptEditedImage(THistSums &Sums)
{
    QByteArray image = Sums.Image();
    // The image's header (60 bytes), the first account's number and counts
    // (32), its realised days' count (4), the first day's number (8): its Dt.
    constexpr qsizetype FirstDt = 60 + 32 + 4 + 8;
    ASSERT_GT(image.size(), FirstDt + 8);
    int64_t dt = 0;
    std::memcpy(&dt, image.constData() + FirstDt, 8);
    dt += 100000000;
    std::memcpy(image.data() + FirstDt, &dt, 8);
    ASSERT_TRUE(Sums.Adopt(image));
    ASSERT_TRUE(Sums.Ready());
    ASSERT_FALSE(Sums.Checked());
}

class AnalysisCalcTest : public ::testing::Test {
protected:
    TAnalysisLedger L;
    TDatabase &Db() { return L.Ds.Dm.Db; }
};

// ---- monthly balances --------------------------------------------------------

TEST_F(AnalysisCalcTest, MonthlyBalancesFollowEveryMonthOfTheScope)
{
    L.AddRandom(600);
    TVemtMemTable rest, years;
    OpenRestTables(rest, years);
    for (const TAccountScope &scope : Scopes()) {
        SCOPED_TRACE(QStringLiteral("%1 %2 %3").arg(scope.AccountId).arg(scope.SameCurrency).arg(scope.NoTransfers)
                         .toStdString());
        std::map<std::pair<int, int>, std::pair<int64_t, int64_t>> months;
        for (const TOp &op : L.Ops)
            if (op.Kind == '1' && InScope(op, scope)) {
                auto &m = months[{op.Year(), op.Month()}];
                m.first += Units(op.Dt);
                m.second += Units(op.Ct);
            }
        int64_t b = 0;
        for (int acc = 1; acc <= 3; ++acc)
            if (scope.SameCurrency ? TAnalysisLedger::Currency(acc) == scope.Currency : acc == scope.AccountId)
                b += MoneyToUnits(TAnalysisLedger::Beg(acc));
        const QStringList yearTexts = ComputeMonthlyBalances(Db(), scope, TAnalysisLedger::Beg(scope.AccountId),
                                                             rest, years);
        ASSERT_EQ(rest.RecordCount(), int(months.size()));
        rest.First();
        std::map<int, std::array<std::optional<int64_t>, 12>> yearRests;
        std::map<int, std::pair<int64_t, int64_t>> yearSums;
        for (const auto &[ym, sums] : months) {
            b += sums.first - sums.second;
            EXPECT_EQ(rest.FieldByName(QStringLiteral("y"))->AsInteger(), ym.first);
            EXPECT_EQ(rest.FieldByName(QStringLiteral("m"))->AsInteger(), ym.second);
            EXPECT_EQ(MoneyToUnits(rest.FieldByName(QStringLiteral("Dt"))->AsFloat()), sums.first);
            EXPECT_EQ(MoneyToUnits(rest.FieldByName(QStringLiteral("Ct"))->AsFloat()), sums.second);
            EXPECT_EQ(MoneyToUnits(rest.FieldByName(QStringLiteral("Bn"))->AsFloat()), sums.first - sums.second);
            EXPECT_EQ(MoneyToUnits(rest.FieldByName(QStringLiteral("Rest"))->AsFloat()), b);
            EXPECT_EQ(rest.FieldByName(QStringLiteral("Per"))->AsString(), MonthLabel(ym.first, ym.second));
            yearRests[ym.first][size_t(ym.second - 1)] = b;
            yearSums[ym.first].first += sums.first;
            yearSums[ym.first].second += sums.second;
            rest.Next();
        }
        ASSERT_EQ(years.RecordCount(), int(yearRests.size()));
        ASSERT_EQ(yearTexts.size(), qsizetype(yearRests.size()));
        years.First();
        for (const auto &[year, rests] : yearRests) {
            EXPECT_EQ(years.FieldByName(QStringLiteral("Yr"))->AsInteger(), year);
            EXPECT_EQ(yearTexts.at(std::distance(yearRests.begin(), yearRests.find(year))), QString::number(year));
            int64_t sum = 0;
            int count = 0;
            for (int i = 1; i <= 12; ++i) {
                const Opt rs = FieldValue(years, QStringLiteral("Rs%1").arg(i));
                const auto &want = rests[size_t(i - 1)];
                ASSERT_EQ(rs.has_value(), want.has_value()) << year << "/" << i;
                if (want) {
                    EXPECT_EQ(MoneyToUnits(*rs), *want);
                    if (*want != 0) {
                        sum += *want;
                        ++count;
                    }
                }
                EXPECT_EQ(FieldValue(years, QStringLiteral("Dt%1").arg(i)).has_value(), want.has_value());
            }
            EXPECT_EQ(MoneyToUnits(years.FieldByName(QStringLiteral("SmDt"))->AsFloat()), yearSums[year].first);
            EXPECT_EQ(MoneyToUnits(years.FieldByName(QStringLiteral("SmCt"))->AsFloat()), yearSums[year].second);
            EXPECT_EQ(MoneyToUnits(years.FieldByName(QStringLiteral("SmBn"))->AsFloat()),
                      yearSums[year].first - yearSums[year].second);
            // The average to the cent (the export wrote four decimals).
            EXPECT_EQ(MoneyToUnits(years.FieldByName(QStringLiteral("SmRs"))->AsFloat()),
                      count ? RoundHalfEven(static_cast<long double>(sum) / count / 100) * 100 : 0);
            years.Next();
        }
    }
}

TEST_F(AnalysisCalcTest, MonthlyBalancesOfAnEmptyAccountAndOfOneOperation)
{
    TVemtMemTable rest, years;
    OpenRestTables(rest, years);
    const TAccountScope scope{3, QStringLiteral("EUR"), false, false};
    EXPECT_TRUE(ComputeMonthlyBalances(Db(), scope, 50, rest, years).isEmpty());
    EXPECT_TRUE(rest.IsEmpty());
    EXPECT_TRUE(years.IsEmpty());
    // One expense, plus a planned one and a dollar one that never count.
    L.Add({3, EncodeDate(2020, 2, 29), '1', {}, 20.25, {}, {}, 0, {}, {}});
    L.Add({3, EncodeDate(2020, 3, 1), '2', 99.0, {}, {}, {}, 1, {}, {}});
    L.Add({1, EncodeDate(2020, 2, 1), '1', 7.0, {}, {}, {}, 1, {}, {}});
    EXPECT_EQ(ComputeMonthlyBalances(Db(), scope, 50, rest, years), QStringList{QStringLiteral("2020")});
    ASSERT_EQ(rest.RecordCount(), 1);
    EXPECT_EQ(rest.FieldByName(QStringLiteral("Per"))->AsString(), QStringLiteral("фев.20"));
    EXPECT_DOUBLE_EQ(rest.FieldByName(QStringLiteral("Rest"))->AsFloat(), 29.75);
    EXPECT_DOUBLE_EQ(years.FieldByName(QStringLiteral("Rs2"))->AsFloat(), 29.75);
    EXPECT_DOUBLE_EQ(years.FieldByName(QStringLiteral("SmRs"))->AsFloat(), 29.75);
    EXPECT_TRUE(years.FieldByName(QStringLiteral("Rs3"))->IsNull());
}

TEST_F(AnalysisCalcTest, ATransferWithinTheCurrencyMovesBothSidesButNotTheBalance)
{
    L.Add({1, EncodeDate(2021, 5, 3), '1', {}, 40.0, {}, {}, -1, {}, {}});
    L.Add({2, EncodeDate(2021, 5, 3), '1', 40.0, {}, {}, {}, -1, {}, {}});
    TVemtMemTable rest, years;
    OpenRestTables(rest, years);
    ComputeMonthlyBalances(Db(), {1, QStringLiteral("$"), true, false}, 10, rest, years);
    ASSERT_EQ(rest.RecordCount(), 1);
    EXPECT_DOUBLE_EQ(rest.FieldByName(QStringLiteral("Dt"))->AsFloat(), 40);
    EXPECT_DOUBLE_EQ(rest.FieldByName(QStringLiteral("Ct"))->AsFloat(), 40);
    EXPECT_DOUBLE_EQ(rest.FieldByName(QStringLiteral("Rest"))->AsFloat(), 110.5); // 10 + 100,50
    ComputeMonthlyBalances(Db(), {1, QStringLiteral("$"), true, true}, 10, rest, years);
    EXPECT_TRUE(rest.IsEmpty());
}

TEST_F(AnalysisCalcTest, MonthsFromTheDaySumsEqualTheQueryOnes)
{
    L.AddRandom(900, 17);
    // A realised month whose only operation has no amount (a month with a
    // row of zeros), and a month of planned operations only (no row).
    L.Add({2, EncodeDate(2024, 3, 10), '1', {}, {}, {}, {}, 0, {}, {}});
    L.Add({2, EncodeDate(2024, 5, 10), '2', 12.0, {}, {}, {}, 1, {}, {}});
    THistSums &sums = L.Ds.Dm.HistSums;
    const TAccountScope plainScopes[] = {{1, QStringLiteral("$"), false, false},
                                         {2, QStringLiteral("$"), false, false},
                                         {1, QStringLiteral("$"), true, false},
                                         {3, QStringLiteral("EUR"), true, false},
                                         {7, QStringLiteral("?"), false, false}};
    EXPECT_FALSE(MonthsFromSums(Db(), plainScopes[0], sums)); // not built yet
    sums.Build();
    ASSERT_TRUE(sums.Ready());
    const auto check = [&](const char *when) {
        for (const TAccountScope &scope : plainScopes) {
            SCOPED_TRACE(std::string(when) + " " + std::to_string(scope.AccountId) + " " +
                         std::to_string(scope.SameCurrency));
            const std::optional<TRestMonths> fast = MonthsFromSums(Db(), scope, sums);
            ASSERT_TRUE(fast);
            EXPECT_EQ(*fast, MonthsFromQuery(Db(), scope));
        }
    };
    // Whole tables: the window's figures, in the fields named, are the same
    // with the sums as by the query alone.
    const auto sameTables = [&](const auto &scope, std::initializer_list<const char *> fields) {
        TVemtMemTable a, ay, b, by;
        OpenRestTables(a, ay);
        OpenRestTables(b, by);
        EXPECT_EQ(ComputeMonthlyBalances(Db(), scope, 10, a, ay, &sums), ComputeMonthlyBalances(Db(), scope, 10, b, by));
        ASSERT_EQ(a.RecordCount(), b.RecordCount());
        for (a.First(), b.First(); !a.Eof(); a.Next(), b.Next())
            for (const char *f : fields)
                EXPECT_EQ(a.FieldByName(QString::fromLatin1(f))->AsString(),
                          b.FieldByName(QString::fromLatin1(f))->AsString());
    };
    check("built");
    // Sums taken back and not yet checked leave the window to the query.
    AdoptEditedImage(sums);
    sameTables(plainScopes[0], {"Rest"});
    sums.Build();
    check("checked");
    const TRestMonths two = MonthsFromQuery(Db(), plainScopes[1]);
    ASSERT_TRUE(two.count({2024, 3}));
    EXPECT_EQ(two.at({2024, 3}), std::make_pair(int64_t(0), int64_t(0)));
    EXPECT_FALSE(two.count({2024, 5})); // the random operations end in 2022
    // The sums follow rows written afterwards, across a month's edge.
    L.Add({1, EncodeDate(2022, 6, 30), '1', {}, 33.33, {}, {}, 0, {}, {}});
    L.Add({1, EncodeDate(2022, 7, 1), '1', 44.44, {}, {}, {}, 1, {}, {}});
    L.Exec(QStringLiteral("update tb_hist set kind='2' where id_account=3 and date_real<%1").arg(EncodeDate(2020, 1, 1)));
    check("after changes");
    sameTables(plainScopes[2], {"y", "m", "Dt", "Ct", "Bn", "Rest"});
    // What the sums cannot answer goes to the query: transfers left out, a
    // text amount on an account of the scope.
    EXPECT_FALSE(MonthsFromSums(Db(), {1, QStringLiteral("$"), true, true}, sums));
    L.Exec(QStringLiteral("insert into tb_hist (id_account,date_real,date_create,kind,ct,level1,rate,yr,mn) "
                          "values (3,%1,%1.5,'1','12 руб',0,1,2021,1)").arg(EncodeDate(2021, 1, 4)));
    EXPECT_FALSE(MonthsFromSums(Db(), plainScopes[3], sums));
    EXPECT_TRUE(MonthsFromSums(Db(), plainScopes[2], sums)); // the other currency's accounts still answer
}

// ---- a year by category ------------------------------------------------------

// The year's operations are folded in memory as they stream; a value the fold
// does not model (an amount stored as text; the engine reads a text without
// a number as 0)
// sends the computation to the grouped query. Both give the same table.
TEST_F(AnalysisCalcTest, YearByCategoryFoldedAndGroupedByTheQueryAgree)
{
    L.AddRandom(900, 23);
    const auto read = [&](int Year, int Level, const TAccountScope &Scope) {
        TVemtMemTable table;
        OpenDiffTable(table);
        const TDiffOutcome got = ComputeYearItemTotals(Db(), {Year, Level, Scope, true}, table);
        QStringList rows{QString::number(got.Count) + u'|' + QString::number(got.GrandTotal)};
        for (table.First(); !table.Eof(); table.Next()) {
            QStringList r;
            for (int i = 0; i < table.FieldCount(); ++i)
                r << table.Fields()[i]->DisplayText();
            rows << r.join(u'|');
        }
        return rows;
    };
    const TAccountScope scopes[] = {{1, QStringLiteral("$"), true, false}, {2, QStringLiteral("$"), false, true}};
    std::map<std::tuple<int, int, int>, QStringList> folded;
    for (int year : {2019, 2020, 2022})
        for (int level = 1; level <= 3; ++level)
            for (int s = 0; s < 2; ++s) {
                const QStringList rows = read(year, level, scopes[s]);
                ASSERT_GT(rows.size(), 2);
                folded[std::make_tuple(year, level, s)] = rows;
            }
    // A text expense in every year, in a group that has expenses (level 1
    // is 0 for the bread of the food group), on both accounts of the scopes.
    for (int year : {2019, 2020, 2022})
        for (int acc : {1, 2})
            L.Exec(QStringLiteral("insert into tb_hist (id_account,date_real,date_create,kind,ct,level1,level2,level3,"
                                  "rate,yr,mn) values (%1,%2,%2.5,'1','руб',0,%3,%4,1,%5,3)")
                       .arg(acc)
                       .arg(EncodeDate(year, 3, 9))
                       .arg(L.Food)
                       .arg(L.Bread)
                       .arg(year));
    for (const auto &[key, rows] : folded) {
        const auto &[year, level, s] = key;
        EXPECT_EQ(read(year, level, scopes[s]), rows) << year << " " << level << " " << s;
    }
}

TEST_F(AnalysisCalcTest, YearByCategoryMatchesTheOperationsAtEachLevel)
{
    L.AddRandom(700, 5);
    const std::map<int, QString> names{{-1, QStringLiteral("ПЕРЕВОД")},     {0, QStringLiteral("Статья расхода")},
                                       {1, QStringLiteral("Статья дохода")}, {L.Food, QStringLiteral("Еда")},
                                       {L.Bread, QStringLiteral("Хлеб")},    {L.FoodOther, QStringLiteral("Прочее")},
                                       {L.Salary, QStringLiteral("Зарплата")}, {L.SalaryOther, QStringLiteral("Прочее")},
                                       {L.Auto, QStringLiteral("Авто")},      {L.Petrol, QStringLiteral("Бензин")}};
    TVemtMemTable table;
    OpenDiffTable(table);
    for (const TAccountScope &scope : Scopes())
        for (int level = 1; level <= 3; ++level)
            for (int year : {2019, 2020, 2022, 2030}) {
                SCOPED_TRACE(testing::Message() << scope.AccountId << scope.SameCurrency << scope.NoTransfers
                                                << " level " << level << " year " << year);
                // Net per query group, then per name and month.
                std::map<std::tuple<int, int, int, int>, int64_t> groups;
                for (const TOp &op : L.Ops)
                    if (op.Kind == '1' && op.Year() == year && InScope(op, scope))
                        groups[{op.Month(), op.L1.value_or(-999), level > 1 ? op.L2.value_or(-999) : 0,
                                level > 2 ? op.L3.value_or(-999) : 0}] += Units(op.Dt) - Units(op.Ct);
                std::map<QString, std::array<int64_t, 12>> want;
                for (const auto &[key, net] : groups) {
                    if (net == 0)
                        continue;
                    const auto [m, l1, l2, l3] = key;
                    QString name = names.contains(l1) ? names.at(l1) : QString();
                    for (int part : {l2, l3}) {
                        if (part == 0 || !names.contains(part))
                            break;
                        name += u':' + names.at(part);
                    }
                    want[name][size_t(m - 1)] += net;
                }
                const TDiffOutcome got = ComputeYearItemTotals(Db(), {year, level, scope, true}, table);
                ASSERT_EQ(got.Count, int(want.size()));
                ASSERT_EQ(table.RecordCount(), want.empty() ? 0 : got.Count + 1); // no totals row when empty
                int64_t grand = 0;
                std::array<int64_t, 12> monthTotals{};
                // The totals row " " sorts before every name but the empty one.
                std::map<QString, std::array<Opt, 13>> totalsRow;
                std::set<QString> seen;
                for (table.First(); !table.Eof(); table.Next()) {
                    const QString itm = table.FieldByName(QStringLiteral("Itm"))->AsString();
                    if (itm == QStringLiteral(" ")) {
                        auto &r = totalsRow[itm];
                        for (int i = 0; i < 12; ++i)
                            r[size_t(i)] = FieldValue(table, QStringLiteral("Rs%1").arg(i + 1));
                        r[12] = FieldValue(table, QStringLiteral("SmRs"));
                        continue;
                    }
                    ASSERT_TRUE(want.contains(itm)) << "[" << itm.toStdString() << "]" << itm.size();
                    seen.insert(itm);
                    int64_t rowSum = 0;
                    for (int i = 0; i < 12; ++i) {
                        const int64_t w = want[itm][size_t(i)];
                        const Opt v = FieldValue(table, QStringLiteral("Rs%1").arg(i + 1));
                        EXPECT_EQ(v ? MoneyToUnits(*v) : 0, w);
                        EXPECT_EQ(v.has_value(), w != 0);
                        rowSum += w;
                        monthTotals[size_t(i)] += w;
                    }
                    const Opt sum = FieldValue(table, QStringLiteral("SmRs"));
                    EXPECT_EQ(sum.has_value(), rowSum != 0);
                    EXPECT_EQ(sum ? MoneyToUnits(*sum) : 0, rowSum);
                    grand += rowSum;
                }
                EXPECT_EQ(int(seen.size()), got.Count);
                EXPECT_EQ(got.GrandTotal, grand);
                ASSERT_EQ(totalsRow.size(), want.empty() ? 0u : 1u);
                if (!want.empty()) {
                    const auto &r = totalsRow.begin()->second;
                    EXPECT_EQ(Units(r[12]), grand);
                    for (int i = 0; i < 12; ++i)
                        EXPECT_EQ(Units(r[size_t(i)]), monthTotals[size_t(i)]);
                }
            }
}

TEST_F(AnalysisCalcTest, YearByCategoryEdgeCases)
{
    const TAccountScope acc1{1, QStringLiteral("$"), false, false};
    // Equal income and expense in one month: no value that month; a row
    // whose months net to 0 keeps an empty sum.
    L.Add({1, EncodeDate(2020, 1, 5), '1', 30.0, {}, {}, {}, 0, L.Food, {}});
    L.Add({1, EncodeDate(2020, 1, 6), '1', {}, 30.0, {}, {}, 0, L.Food, {}});
    L.Add({1, EncodeDate(2020, 2, 5), '1', 12.5, {}, {}, {}, 0, L.Food, L.Bread});
    L.Add({1, EncodeDate(2020, 3, 5), '1', {}, 12.5, {}, {}, 0, L.Food, L.Bread});
    // Level 2 operations without a level 2 stand under the level-1 name.
    L.Add({1, EncodeDate(2020, 4, 1), '1', {}, 7.0, {}, {}, 0, {}, {}});
    // Two missing categories in one month merge, and their amounts add up.
    L.Add({1, EncodeDate(2020, 5, 1), '1', {}, 3.0, {}, {}, 98, {}, {}});
    L.Add({1, EncodeDate(2020, 5, 2), '1', {}, 4.0, {}, {}, 99, {}, {}});
    // Planned operations never count.
    L.Add({1, EncodeDate(2020, 6, 1), '2', {}, 1000.0, {}, {}, 0, L.Food, {}});
    TVemtMemTable t;
    OpenDiffTable(t);
    const TDiffOutcome o = ComputeYearItemTotals(Db(), {2020, 2, acc1, false}, t);
    EXPECT_EQ(o.Count, 3);
    std::map<QString, std::array<Opt, 13>> rows;
    for (t.First(); !t.Eof(); t.Next()) {
        auto &r = rows[t.FieldByName(QStringLiteral("Itm"))->AsString()];
        for (int i = 1; i <= 12; ++i)
            r[size_t(i - 1)] = FieldValue(t, QStringLiteral("Rs%1").arg(i));
        r[12] = FieldValue(t, QStringLiteral("SmRs"));
    }
    const QString food = QStringLiteral("Статья расхода:Еда");
    ASSERT_TRUE(rows.contains(food));
    EXPECT_FALSE(rows[food][0]);
    EXPECT_DOUBLE_EQ(rows[food][1].value_or(0), 12.5);
    EXPECT_DOUBLE_EQ(rows[food][2].value_or(0), -12.5);
    EXPECT_FALSE(rows[food][12]); // the months net to 0
    EXPECT_DOUBLE_EQ(rows[QStringLiteral("Статья расхода")][3].value_or(0), -7);
    EXPECT_DOUBLE_EQ(rows[QString()][4].value_or(0), -7);
    EXPECT_EQ(o.GrandTotal, MoneyToUnits(-14));
    // A year without operations: nothing, not even with the totals row asked for.
    EXPECT_EQ(ComputeYearItemTotals(Db(), {2021, 1, acc1, true}, t).Count, 0);
    EXPECT_TRUE(t.IsEmpty());
}

// ---- future days -------------------------------------------------------------

TEST_F(AnalysisCalcTest, FutureDaysRunFromTheRealisedBalance)
{
    L.AddRandom(500, 3);
    const TDateTime today = EncodeDate(2021, 6, 15);
    TVemtMemTable days;
    OpenDaysTable(days);
    for (int acc = 1; acc <= 3; ++acc) {
        double start = TAnalysisLedger::Beg(acc);
        std::map<TDateTime, std::pair<double, double>> later;
        for (const TOp &op : L.Ops) {
            if (op.Acc != acc)
                continue;
            if (op.Date <= today && op.Kind == '1')
                start += op.Dt.value_or(0) - op.Ct.value_or(0);
            if (op.Date > today) {
                later[op.Date].first += op.Dt.value_or(0);
                later[op.Date].second += op.Ct.value_or(0);
            }
        }
        const int64_t got = FillDays(Db(), acc, TAnalysisLedger::Beg(acc), today, days);
        EXPECT_NEAR(UnitsToMoney(got), start, 1e-6);
        ASSERT_EQ(days.RecordCount(), int(later.size()));
        double rest = start;
        days.First();
        for (const auto &[date, sums] : later) {
            rest += sums.first - sums.second;
            EXPECT_EQ(days.FieldByName(QStringLiteral("Date_Real"))->AsDateTime(), date);
            EXPECT_NEAR(days.FieldByName(QStringLiteral("Dt"))->AsFloat(), sums.first, 1e-6);
            EXPECT_NEAR(days.FieldByName(QStringLiteral("Ct"))->AsFloat(), sums.second, 1e-6);
            EXPECT_NEAR(days.FieldByName(QStringLiteral("Rest"))->AsFloat(), rest, 1e-6);
            days.Next();
        }
    }
}

// The realised balance up to the day from the ledger's day sums equals the
// query's, for every account, before and after changes the sums follow; a
// row they do not model leaves it to the query.
TEST_F(AnalysisCalcTest, FutureDaysStartFromTheDaySumsAsFromTheQuery)
{
    L.AddRandom(700, 9);
    THistSums &sums = L.Ds.Dm.HistSums;
    const auto table = [&](int Acc, TDateTime Today, THistSums *Sums) {
        TVemtMemTable days;
        OpenDaysTable(days);
        QStringList rows{QString::number(FillDays(Db(), Acc, TAnalysisLedger::Beg(Acc), Today, days, Sums))};
        for (days.First(); !days.Eof(); days.Next())
            rows << days.FieldByName(QStringLiteral("Date_Real"))->AsString() + u'|' +
                        days.FieldByName(QStringLiteral("Rest"))->AsString();
        return rows;
    };
    const auto same = [&](const char *When) {
        for (int acc = 1; acc <= 4; ++acc)
            for (const TDateTime today : {EncodeDate(2019, 12, 31), EncodeDate(2021, 6, 15), EncodeDate(2030, 1, 1)})
                EXPECT_EQ(table(acc, today, &sums), table(acc, today, nullptr)) << When << " " << acc << " " << today;
    };
    sums.Build();
    ASSERT_TRUE(sums.Ready());
    int64_t in = 0, out = 0;
    ASSERT_TRUE(sums.Sums(1, TSumClass::Realised, -1099511627775.0, EncodeDate(2021, 6, 15), in, out));
    EXPECT_NE(in - out, 0);
    same("built");
    AdoptEditedImage(sums);
    same("taken back, not yet checked");
    sums.Build();
    same("checked");
    // A realised row long before every other, and one on the day itself.
    L.Add({1, EncodeDate(1950, 1, 2), '1', 1234.56, {}, {}, {}, 1, {}, {}});
    L.Add({2, EncodeDate(2021, 6, 15), '1', {}, 99.99, {}, {}, 0, {}, {}});
    same("after rows were added");
    // An amount the sums do not model: the query answers, with its figure.
    L.Exec(QStringLiteral("insert into tb_hist (id_account,date_real,date_create,kind,ct,level1,rate,yr,mn) "
                          "values (2,%1,%1.5,'1','5 руб',0,1,2020,1)").arg(EncodeDate(2020, 1, 6)));
    EXPECT_FALSE(sums.Sums(2, TSumClass::Realised, -1099511627775.0, EncodeDate(2021, 6, 15), in, out));
    same("with a text amount");
}

TEST_F(AnalysisCalcTest, FutureDaysLeaveTodaysPlansOut)
{
    const TDateTime today = EncodeDate(2024, 3, 10);
    L.Add({2, today, '2', {}, 500.0, {}, {}, 0, {}, {}});     // planned today: nowhere
    L.Add({2, today, '1', 20.0, {}, {}, {}, 1, {}, {}});      // realised today: in the start
    L.Add({2, today + 1, '1', {}, 5.0, {}, {}, 0, {}, {}});   // realised tomorrow: listed
    L.Add({2, today + 3, '2', 2.5, {}, {}, {}, 1, {}, {}});   // planned later: listed
    TVemtMemTable days;
    OpenDaysTable(days);
    EXPECT_EQ(FillDays(Db(), 2, 100.5, today, days), 1205000);
    ASSERT_EQ(days.RecordCount(), 2);
    EXPECT_DOUBLE_EQ(days.FieldByName(QStringLiteral("Rest"))->AsFloat(), 115.5);
    EXPECT_TRUE(days.FieldByName(QStringLiteral("Dt"))->IsNull());
    days.Next();
    EXPECT_DOUBLE_EQ(days.FieldByName(QStringLiteral("Rest"))->AsFloat(), 118);
    // Nothing after today.
    EXPECT_EQ(FillDays(Db(), 2, 100.5, today + 10, days), 1155000); // the plan is not realised
    EXPECT_TRUE(days.IsEmpty());
}

// A balance of eleven digits moved by a cent a day for a thousand days: added
// in floating point it loses a cent (100 000 000 009,98); in units it stays.
TEST_F(AnalysisCalcTest, FutureDaysBalanceKeepsItsCentsOverManyDays)
{
    const TDateTime today = EncodeDate(2024, 3, 10);
    constexpr int Days = 1000;
    for (int i = 1; i <= Days; ++i)
        L.Add({2, today + i, i % 2 ? '1' : '2', 0.01, {}, {}, {}, 1, {}, {}});
    TVemtMemTable days;
    OpenDaysTable(days);
    const double beg = 99999999999.99;
    EXPECT_EQ(FillDays(Db(), 2, beg, today, days), MoneyToUnits(beg));
    ASSERT_EQ(days.RecordCount(), Days);
    int64_t rest = MoneyToUnits(beg);
    for (days.First(); !days.Eof(); days.Next()) {
        rest += 100;
        ASSERT_EQ(days.FieldByName(QStringLiteral("Rest"))->AsFloat(), UnitsToMoney(rest)) << days.RecNo();
    }
    days.Last();
    EXPECT_EQ(FormatFloat(QStringLiteral("#,##0.00"), days.FieldByName(QStringLiteral("Rest"))->AsFloat()),
              QStringLiteral("100 000 000 009,99").replace(u' ', QChar(0xA0)));
}

// The realised sums cannot be read while the days can: no list that starts
// from 0, but a failure and an empty list.
TEST_F(AnalysisCalcTest, FutureDaysRaiseWhenTheStartCannotBeRead)
{
    const TDateTime today = EncodeDate(2024, 3, 10);
    L.Add({2, today - 1, '1', 20.0, {}, {}, {}, 1, {}, {}});
    L.Add({2, today + 1, '2', {}, 5.0, {}, {}, 0, {}, {}});
    TVemtMemTable days;
    OpenDaysTable(days);
    ASSERT_EQ(FillDays(Db(), 2, 100.5, today, days), 1205000);
    ASSERT_EQ(days.RecordCount(), 1);
    test::TFaultEnv env;
    TSysEnvScope scope(env);
    test::DropPageCache(Db());
    env.FailCall(TSysOp::Read, 1, EIO); // the first query's read only
    EXPECT_THROW(FillDays(Db(), 2, 100.5, today, days), Exception);
    EXPECT_TRUE(days.IsEmpty());
    // Healed: the same list again.
    env.Heal();
    EXPECT_EQ(FillDays(Db(), 2, 100.5, today, days), 1205000);
    EXPECT_EQ(days.RecordCount(), 1);
}

// ---- the index the analyses read -----------------------------------------------

// Every cell of a memory table, row by row, as shown.
QStringList TableText(TDataSet &Table)
{
    QStringList rows;
    for (Table.First(); !Table.Eof(); Table.Next()) {
        QStringList r;
        for (int i = 0; i < Table.FieldCount(); ++i)
            r << Table.Fields()[i]->DisplayText();
        rows << r.join(u'|');
    }
    return rows;
}

// The year by category, the month against limits and the future days read
// their columns from the balance sums' index; without it they read the rows.
// Both give the same tables, over currencies, plans, transfers, quantities,
// a missing category and every level.
TEST_F(AnalysisCalcTest, AnalysesFromTheIndexEqualThoseFromTheRows)
{
    L.AddRandom(1500, 31);
    L.Exec(QStringLiteral("update tb_items set lim=id_itm*10, qlim=id_itm where id_itm%2=0"));
    const auto all = [&] {
        QStringList out;
        TVemtMemTable diff, lim, sums, days;
        OpenDiffTable(diff);
        OpenLimTables(lim, sums);
        OpenDaysTable(days);
        for (const TAccountScope &scope : Scopes())
            for (int level = 1; level <= 3; ++level) {
                for (int year : {2019, 2021, 2022}) {
                    const TDiffOutcome o = ComputeYearItemTotals(Db(), {year, level, scope, true}, diff);
                    out << QStringLiteral("diff %1 %2 %3").arg(year).arg(o.Count).arg(o.GrandTotal);
                    out << TableText(diff);
                }
                for (int month : {1, 6, 12}) {
                    ComputeLimitTurnovers(Db(), {2020, month, level, scope, TLimContents::TurnoversAndLimits}, lim);
                    ComputeLimitTotals(lim, sums);
                    lim.Sort();
                    out << QStringLiteral("lim %1").arg(month) << TableText(lim) << TableText(sums);
                }
            }
        for (int acc : {1, 2, 3})
            out << QString::number(FillDays(Db(), acc, TAnalysisLedger::Beg(acc), EncodeDate(2021, 7, 1), days))
                << TableText(days);
        return out;
    };
    const QStringList fromIndex = all();
    ASSERT_GT(fromIndex.size(), 500);
    Db().ReleaseStatements(); // no statement of the runs above holds the index
    L.Exec(QStringLiteral("drop index Tb_Hist_Cover"));
    EXPECT_EQ(all(), fromIndex);
}

} // namespace
} // namespace zorbel
