// The grouped totals added up per group in memory against the engine's
// grouped query: the same groups in the same order and the same figures
// under every distribution and kind of condition, with transfers, a second
// currency, planned rows, null groups and rows on the period's edges; the
// values the pass does not add up as the engine does send the window back
// to the query, and the window shows the same table either way.
#include "RstFixture.h"
#include "analysis/ZorbRstQuery.h"
#include "platform/rtl/Money.h"

#include <cmath>

namespace zorbel::test {

namespace {

class RstTotalsFoldTest : public RstFixture {
protected:
    void SetUp() override
    {
        RstFixture::SetUp();
        Populate(700);
        TDataSetBuilder build(main->Dm->Db);
        // Transfers within a currency and into dollars, one of them planned,
        // one on the first day of the period and one on its last.
        build.Transfer(1, 2, from, 500, 500);
        build.Transfer(2, 3, EncodeDate(2024, 4, 1), 9000, 100);
        build.Transfer(1, 2, to, 70.5, 70.5, U("2"));
        // Just outside the period on both sides.
        build.Transfer(1, 3, from - 1, 11, 11);
        build.Transfer(3, 1, to + 1, 13, 13);
        // An operation without a second level, person or firm (the null
        // groups, which come first), a whole amount (the engine adds it as
        // an integer) and one without a date (outside every period).
        Exec(U("insert into tb_hist (id_account,date_real,date_create,kind,ct,level1,rate,yr,mn) "
               "values (1,45400,45400.25,'1',40,300,1,2024,4)"));
        Exec(U("insert into tb_hist (id_account,date_real,date_create,kind,ct,level1,rate,yr,mn) "
               "values (1,null,45000.25,'1',12.5,300,1,2024,5)"));
    }

    TRstTotals Grouped(const TRstConditions &C)
    {
        TQuery q;
        q.SetDatabase(&main->Dm->Db);
        ApplyRstConditions(q, TRstQueryKind::Res, BuildRstSql(C), from, to);
        q.Open();
        return ReadRstTotals(q);
    }

    // The folded rows equal the grouped ones: the same ids in the same
    // order, the same nulls, the same figures in 1/10000 (the sums may
    // differ in the last bits of a double, as they add in another order).
    void ExpectSame(const TRstConditions &C, const char *What, size_t AtLeast = 2)
    {
        SCOPED_TRACE(What);
        const TRstTotals want = Grouped(C);
        ASSERT_GE(want.size(), AtLeast);
        const std::optional<TRstTotals> got = FoldRstTotals(main->Dm->Db, BuildRstSql(C), from, to);
        ASSERT_TRUE(got);
        ASSERT_EQ(got->size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            const TRstTotalRow &g = (*got)[i], &w = want[i];
            EXPECT_EQ(g.Id, w.Id) << i;
            for (size_t v = 0; v < 6; ++v) {
                ASSERT_EQ(g.Sums[v].has_value(), w.Sums[v].has_value()) << i << " sum " << v;
                if (!w.Sums[v])
                    continue;
                EXPECT_EQ(MoneyToUnits(*g.Sums[v]), MoneyToUnits(*w.Sums[v])) << i << " sum " << v;
                EXPECT_NEAR(*g.Sums[v], *w.Sums[v], 1e-9 * std::max(1.0, std::fabs(*w.Sums[v]))) << i << " sum " << v;
            }
        }
    }

    static TRstBox Box(int Tag, bool Exclude = false) { return {true, Exclude, Tag, U("x")}; }

    const TDateTime from = EncodeDate(2024, 2, 15), to = EncodeDate(2025, 1, 10);
};

} // namespace

TEST_F(RstTotalsFoldTest, FoldedTotalsEqualTheGroupedQueryUnderEveryDistributionAndCondition)
{
    TRstConditions all;
    all.Kind = 2;
    for (const auto &[distribution, name] :
         {std::pair{TRstDistribution::Items, "categories"}, {TRstDistribution::Accounts, "accounts"},
          {TRstDistribution::Persons, "persons"}, {TRstDistribution::Firms, "firms"}}) {
        TRstConditions c = all;
        c.Distribution = distribution;
        ExpectSame(c, name);
    }
    {
        // The null group heads the persons.
        TRstConditions c = all;
        c.Distribution = TRstDistribution::Persons;
        const auto got = FoldRstTotals(main->Dm->Db, BuildRstSql(c), from, to);
        ASSERT_TRUE(got && !got->empty());
        EXPECT_FALSE(got->front().Id);
    }
    TRstConditions realised;
    realised.Acc = Box(1);
    ExpectSame(realised, "one account, realised");
    TRstConditions planned;
    planned.Kind = 1;
    planned.Acc = Box(3, true);
    ExpectSame(planned, "other accounts, planned", 1);
    TRstConditions group;
    group.Kind = 2;
    group.Acc = Box(0);
    group.AccGroup = true;
    group.GroupAccounts = {2, 3};
    ExpectSame(group, "the group of accounts");
    TRstConditions transfers;
    transfers.Kind = 2;
    transfers.Itm1 = Box(-1);
    transfers.Acc = Box(1);
    ExpectSame(transfers, "transfers by the other account", 1);
    TRstConditions noTransfers = all;
    noTransfers.Trans = true;
    ExpectSame(noTransfers, "without transfers");
    TRstConditions second;
    second.Kind = 2;
    second.Itm1 = Box(100);
    ExpectSame(second, "a first-level category by its second level");
    TRstConditions leaf;
    leaf.Kind = 2;
    leaf.Itm1 = Box(100);
    leaf.Itm2 = Box(110);
    leaf.Itm3 = Box(120);
    ExpectSame(leaf, "a third-level category", 1);
    TRstConditions typed;
    typed.Kind = 2;
    typed.Comment = U("50%");
    typed.Numbers[rnCt].Text = U("100");
    typed.Numbers[rnCt].Compare = rcGreater;
    typed.Mark = true;
    typed.MarkTag = 1;
    ExpectSame(typed, "a comment, an amount and no bookmark", 0);
    TRstConditions person;
    person.Kind = 2;
    person.Pers = Box(1);
    person.Firm = Box(1, true);
    ExpectSame(person, "a person, not a firm", 1);
}

TEST_F(RstTotalsFoldTest, ValuesThePassDoesNotModelLeaveItToTheQuery)
{
    TRstConditions all;
    all.Kind = 2;
    ASSERT_TRUE(FoldRstTotals(main->Dm->Db, BuildRstSql(all), from, to));
    // An amount stored as text (a file written by another tool).
    Exec(U("insert into tb_hist (id_account,date_real,date_create,kind,ct,level1,rate,yr,mn) "
           "values (1,45500,45500.5,'1','12 руб',300,1,2024,7)"));
    EXPECT_FALSE(FoldRstTotals(main->Dm->Db, BuildRstSql(all), from, to));
    Exec(U("delete from tb_hist where date_create=45500.5"));
    ASSERT_TRUE(FoldRstTotals(main->Dm->Db, BuildRstSql(all), from, to));
    // A category beyond the grouped query's small-integer id, and one that
    // is not whole.
    for (const char *level : {"70000", "300.5"}) {
        SCOPED_TRACE(level);
        Exec(U("insert into tb_hist (id_account,date_real,date_create,kind,ct,level1,rate,yr,mn) "
               "values (1,45500,45500.5,'1',3,") +
             QLatin1String(level) + U(",1,2024,7)"));
        EXPECT_FALSE(FoldRstTotals(main->Dm->Db, BuildRstSql(all), from, to));
        Exec(U("delete from tb_hist where date_create=45500.5"));
    }
}

TEST_F(RstTotalsFoldTest, TheWindowShowsTheGroupedQuerysTotalsWhetherFoldedOrNot)
{
    const auto windowRows = [&] {
        auto f = OpenWindow();
        f->Period.FromDate = from;
        f->Period.ToDate = to;
        f->TcGrp->SetTabIndex(0);
        f->RefreshResults();
        std::vector<QStringList> rows;
        for (f->TabRes.First(); !f->TabRes.Eof(); f->TabRes.Next()) {
            QStringList r;
            for (int i = 0; i < f->TabRes.FieldCount(); ++i)
                r << f->TabRes.Fields()[i]->DisplayText();
            rows.push_back(r);
        }
        rows.push_back({f->SbRes->PanelText(0), f->SbRes->PanelText(1), f->SbRes->PanelText(2)});
        return rows;
    };
    const auto folded = windowRows();
    ASSERT_GT(folded.size(), 3u);
    // A text expense without a rate on a category that has expenses: the
    // engine adds it as 0, so no figure changes, but the pass leaves the
    // totals to the grouped query.
    Exec(U("insert into tb_hist (id_account,date_real,date_create,kind,ct,level1,yr,mn) "
           "values (1,45400,45400.5,'1','x',300,2024,4)"));
    TRstConditions all;
    all.Kind = 2;
    ASSERT_FALSE(FoldRstTotals(main->Dm->Db, BuildRstSql(all), from, to));
    EXPECT_EQ(windowRows(), folded);
}

} // namespace zorbel::test
