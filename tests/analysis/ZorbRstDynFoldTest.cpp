// The dynamics' day, month and year rows folded in memory from the
// operations against the same rows grouped by the engine: equal under every
// kind of condition, over periods that cut months and years, with transfers,
// a second currency, planned rows, three category levels and undated rows;
// the values the fold does not model send the window back to the query.
#include "RstFixture.h"
#include "analysis/ZorbRstDynCalc.h"
#include "platform/rtl/Money.h"

#include <cmath>

namespace zorbel::test {

namespace {

class RstDynFoldTest : public RstFixture {
protected:
    void SetUp() override
    {
        RstFixture::SetUp();
        Populate(700);
        TDataSetBuilder build(main->Dm->Db);
        // Transfers within a currency and into dollars, one of them planned.
        build.Transfer(1, 2, EncodeDate(2024, 3, 31), 500, 500);
        build.Transfer(2, 3, EncodeDate(2024, 4, 1), 9000, 100);
        build.Transfer(1, 2, EncodeDate(2024, 12, 31), 70.5, 70.5, U("2"));
        // An operation without a date (outside every period) and one without
        // a year: the months' null group, which comes first.
        Exec(U("insert into tb_hist (id_account,date_real,date_create,kind,ct,level1,rate,yr,mn) "
               "values (1,null,45000.25,'1',12.5,300,1,2024,5)"));
        Exec(U("insert into tb_hist (id_account,date_real,date_create,kind,dt,level1,rate,yr,mn) "
               "values (2,45400,45400.25,'1',40.75,200,1,null,4)"));
    }

    TDynSource Grouped(const TRstConditions &C, TRstQueryKind Kind, int Unit, TDateTime D1, TDateTime D2)
    {
        TQuery q;
        q.SetDatabase(&main->Dm->Db);
        ApplyRstConditions(q, Kind, BuildRstSql(C), D1, D2);
        q.Open();
        return ReadDynSource(q, Unit);
    }

    // The folded rows equal the grouped ones: the same keys in the same
    // order, the same nulls, the same figures in 1/10000 (the sums may
    // differ in the last bits of a double, as they add in another order).
    void ExpectSame(const TRstConditions &C, TDateTime D1, TDateTime D2, const char *What, bool Days = true)
    {
        const std::pair<int, TRstQueryKind> units[] = {
            {duDays, TRstQueryKind::Day}, {duMonths, TRstQueryKind::Mn}, {duYears, TRstQueryKind::Yr}};
        for (const auto &[unit, kind] : units) {
            if (unit == duDays && !Days)
                continue;
            SCOPED_TRACE(std::string(What) + " unit " + std::to_string(unit));
            const TDynSource want = Grouped(C, kind, unit, D1, D2);
            const std::optional<TDynSource> got = FoldDynSource(main->Dm->Db, BuildRstSql(C), unit, D1, D2);
            ASSERT_TRUE(got);
            ASSERT_EQ(got->size(), want.size());
            for (size_t i = 0; i < want.size(); ++i) {
                const TDynSourceRow &g = (*got)[i], &w = want[i];
                EXPECT_EQ(g.Date, w.Date) << i;
                EXPECT_EQ(g.Yr, w.Yr) << i;
                EXPECT_EQ(g.Mn, w.Mn) << i;
                for (size_t v = 0; v < 9; ++v) {
                    ASSERT_EQ(g.Values[v].has_value(), w.Values[v].has_value()) << i << " value " << v;
                    if (!w.Values[v])
                        continue;
                    EXPECT_EQ(MoneyToUnits(*g.Values[v]), MoneyToUnits(*w.Values[v])) << i << " value " << v;
                    EXPECT_NEAR(*g.Values[v], *w.Values[v], 1e-9 * std::max(1.0, std::fabs(*w.Values[v])))
                        << i << " value " << v;
                }
            }
        }
    }

    static TRstBox Box(int Tag, bool Exclude = false) { return {true, Exclude, Tag, U("x")}; }
};

TEST_F(RstDynFoldTest, FoldedRowsEqualTheGroupedQueryUnderEveryCondition)
{
    const TDateTime from = EncodeDate(2024, 2, 15), to = EncodeDate(2025, 1, 10);
    TRstConditions all;
    all.Kind = 2;
    ExpectSame(all, from, to, "every operation");
    ExpectSame(all, EncodeDate(2023, 1, 1), EncodeDate(2026, 12, 31), "the whole range");
    ExpectSame(all, -1e6, 1e6, "every date");
    {
        // The year the month query leaves null heads the months.
        const auto months = FoldDynSource(main->Dm->Db, BuildRstSql(all), duMonths, from, to);
        ASSERT_TRUE(months && !months->empty());
        EXPECT_FALSE(months->front().Yr);
        EXPECT_EQ(months->front().Mn, 4);
    }

    TRstConditions realised;
    realised.Acc = Box(1);
    ExpectSame(realised, from, to, "one account, realised");
    TRstConditions planned;
    planned.Kind = 1;
    planned.Acc = Box(3, true);
    ExpectSame(planned, from, to, "other accounts, planned");
    TRstConditions group;
    group.Kind = 2;
    group.Acc = Box(0);
    group.AccGroup = true;
    group.GroupAccounts = {2, 3};
    ExpectSame(group, from, to, "the group of accounts");
    TRstConditions transfers;
    transfers.Kind = 2;
    transfers.Itm1 = Box(-1);
    ExpectSame(transfers, from, to, "transfers");
    TRstConditions noTransfers = all;
    noTransfers.Trans = true;
    ExpectSame(noTransfers, from, to, "without transfers");
    TRstConditions leaf;
    leaf.Kind = 2;
    leaf.Itm1 = Box(100);
    leaf.Itm2 = Box(110);
    leaf.Itm3 = Box(120);
    ExpectSame(leaf, from, to, "a third-level category");
    TRstConditions typed;
    typed.Kind = 2;
    typed.Comment = U("50%");
    typed.Numbers[rnCt].Text = U("100");
    typed.Numbers[rnCt].Compare = rcGreater;
    typed.Mark = true;
    typed.MarkTag = 1;
    ExpectSame(typed, from, to, "a comment, an amount and no bookmark");
    TRstConditions person;
    person.Kind = 2;
    person.Pers = Box(1);
    person.Firm = Box(2, true);
    ExpectSame(person, from, to, "a person, not a firm");
}

TEST_F(RstDynFoldTest, ValuesTheFoldDoesNotModelLeaveItToTheQuery)
{
    const TDateTime from = EncodeDate(2024, 1, 1), to = EncodeDate(2024, 12, 31);
    TRstConditions all;
    all.Kind = 2;
    ASSERT_TRUE(FoldDynSource(main->Dm->Db, BuildRstSql(all), duDays, from, to));
    // An amount stored as text (a file written by another tool).
    Exec(U("insert into tb_hist (id_account,date_real,date_create,kind,ct,level1,rate,yr,mn) "
           "values (1,45500,45500.5,'1','12 руб',300,1,2024,7)"));
    EXPECT_FALSE(FoldDynSource(main->Dm->Db, BuildRstSql(all), duDays, from, to));
    EXPECT_FALSE(FoldDynSource(main->Dm->Db, BuildRstSql(all), duMonths, from, to));
    Exec(U("delete from tb_hist where date_create=45500.5"));
    ASSERT_TRUE(FoldDynSource(main->Dm->Db, BuildRstSql(all), duDays, from, to));
    // A date with a time of day: its own group, which the day rows label as
    // the day; left to the query.
    Exec(U("insert into tb_hist (id_account,date_real,date_create,kind,ct,level1,rate,yr,mn) "
           "values (1,45500.5,45500.5,'1',3,300,1,2024,7)"));
    EXPECT_FALSE(FoldDynSource(main->Dm->Db, BuildRstSql(all), duDays, from, to));
    // The month and year rows group by yr and mn, which are whole: folded.
    ExpectSame(all, from, to, "a date with a time, by months and years", false);
}

TEST_F(RstDynFoldTest, TheWindowShowsTheGroupedQuerysRowsWhetherFoldedOrNot)
{
    // An amount the fold leaves to the query; the window's rows for days
    // and weeks are those of the grouped query either way.
    const auto windowRows = [&](int Unit) {
        auto f = OpenWindow();
        f->Period.FromDate = EncodeDate(2024, 2, 1);
        f->Period.ToDate = EncodeDate(2025, 2, 28);
        f->CbDay->SetItemIndex(Unit);
        f->Cbars->SetItemIndex(2);
        f->TcGrp->SetTabIndex(2);
        f->TcGrpChange(f.get());
        std::vector<QStringList> rows;
        for (f->TabDyn.First(); !f->TabDyn.Eof(); f->TabDyn.Next()) {
            QStringList r;
            for (int i = 0; i < f->TabDyn.FieldCount(); ++i)
                r << f->TabDyn.Fields()[i]->DisplayText();
            rows.push_back(r);
        }
        return rows;
    };
    const auto folded = windowRows(duDays), foldedWeeks = windowRows(duWeeks);
    ASSERT_GT(folded.size(), 100u);
    ASSERT_GT(foldedWeeks.size(), 40u);
    // A text expense on a day that has expenses, without a rate: the engine
    // adds it as 0, so no figure changes, but the fold leaves the period to
    // the query.
    Exec(U("insert into tb_hist (id_account,date_real,date_create,kind,ct,level1,yr,mn) "
           "values (1,:d,45327.5,'1','x',300,2024,2)").replace(U(":d"), QString::number(EncodeDate(2024, 2, 5))));
    TRstConditions all;
    all.Kind = 2;
    ASSERT_FALSE(FoldDynSource(main->Dm->Db, BuildRstSql(all), duDays, EncodeDate(2024, 2, 1), EncodeDate(2025, 2, 28)));
    EXPECT_EQ(windowRows(duDays), folded);
    EXPECT_EQ(windowRows(duWeeks), foldedWeeks);
}

// How the engine reads one of the window's queries: the details of its plan.
QString Plan(TDatabase &Db, TRstQueryKind Kind, const TRstConditions &C, TDateTime D1, TDateTime D2)
{
    TQuery q;
    q.SetDatabase(&Db);
    ApplyRstConditions(q, Kind, BuildRstSql(C), D1, D2);
    TQuery plan;
    plan.SetDatabase(&Db);
    plan.SQL() = QStringList{QStringLiteral("explain query plan")} + q.SQL();
    for (int i = 0; i < q.ParamCount(); ++i)
        plan.ParamByName(q.Params()[i]->Name())->SetValue(q.Params()[i]->Value());
    plan.Open();
    QStringList details;
    for (; !plan.Eof(); plan.Next())
        details << plan.FieldByName(QStringLiteral("detail"))->AsString();
    return details.join(u';');
}

TEST_F(RstDynFoldTest, PeriodQueriesOfEveryAccountReadTheDateIndexAlone)
{
    // A year of every account, realised or of every kind, by categories,
    // accounts or people: the totals, the opening sums and the dynamics read
    // the period's entries of the date index, never every row of the table;
    // the list comes in date order without a sort.
    const TDateTime from = EncodeDate(2024, 1, 1), to = EncodeDate(2024, 12, 31);
    TRstConditions all;
    all.Kind = 2;
    TRstConditions realisedFood;
    realisedFood.Itm1 = Box(100);
    TRstConditions byPerson;
    byPerson.Kind = 2;
    byPerson.Distribution = TRstDistribution::Persons;
    byPerson.Firm = Box(2, true);
    for (const TRstConditions *c : {&all, &realisedFood, &byPerson}) {
        for (TRstQueryKind kind : {TRstQueryKind::Res, TRstQueryKind::Sm, TRstQueryKind::BegSum, TRstQueryKind::Day,
                                   TRstQueryKind::Mn, TRstQueryKind::Yr, TRstQueryKind::DayTerms}) {
            const QString plan = Plan(main->Dm->Db, kind, *c, from, to);
            EXPECT_TRUE(plan.startsWith(U("SEARCH tb_hist USING COVERING INDEX Tb_Hist_Date (Date_Real>? AND "
                                          "Date_Real<?)")))
                << int(kind) << ": " << plan.toStdString();
        }
        // The day rows come grouped as the index holds them, so the window
        // takes the grouped query; the months need a sort and are folded.
        TQuery day, month;
        for (TQuery *q : {&day, &month})
            q->SetDatabase(&main->Dm->Db);
        ApplyRstConditions(day, TRstQueryKind::Day, BuildRstSql(*c), from, to);
        ApplyRstConditions(month, TRstQueryKind::Mn, BuildRstSql(*c), from, to);
        EXPECT_TRUE(GroupsWithoutSort(day));
        EXPECT_FALSE(GroupsWithoutSort(month));
        const QString list = Plan(main->Dm->Db, TRstQueryKind::Hs, *c, from, to);
        EXPECT_TRUE(list.startsWith(U("SEARCH tb_hist USING INDEX Tb_Hist_Date"))) << list.toStdString();
        EXPECT_FALSE(list.contains(U("TEMP B-TREE"))) << list.toStdString();
    }
}

} // namespace

} // namespace zorbel::test
