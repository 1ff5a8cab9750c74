// The results window when a read of the data set fails: each figure that the
// read would have given is taken off, and the user is told through the
// program's notice. Reads are failed through the system-services seam (the
// data set's file), so the query layer and SQLite fail as on a bad disk.
#include "RstFixture.h"

#include "analysis/ZorbAnalysisForms.h"
#include "analysis/ZorbDays.h"
#include "analysis/ZorbRstDynCalc.h"
#include "analysis/ZorbRstPrint.h"
#include "support/FaultEnv.h"
#include "support/PageCache.h"

namespace zorbel::test {
namespace {

class RstReadFail : public RstFixture {
protected:
    // The notices seen while Body ran, each answered with OK.
    std::vector<TModalScript::TSeen> Notices(const std::function<void()> &Body)
    {
        TModalScript script;
        for (int i = 0; i < 4; ++i)
            script.Press(QStringLiteral("OK"));
        Body();
        return script.Seen();
    }
    // True when a notice of that beginning was seen, and nothing else.
    static bool OnlyNotice(const std::vector<TModalScript::TSeen> &Seen, const QString &Start)
    {
        return Seen.size() == 1 && Seen[0].Text.startsWith(Start.trimmed());
    }
    static QString Shown(const std::vector<TModalScript::TSeen> &Seen)
    {
        QStringList l;
        for (const auto &s : Seen)
            l << s.Name + QStringLiteral(": ") + s.Text;
        return l.join(u'|');
    }
    // The next statements read the data set's file, where the seam fails them.
    void Cold() { DropPageCache(main->Dm->Db); }
    TFaultEnv env;
    TSysEnvScope scope{env};
};

// The summary's opening reads the accounts and the rows before the period;
// without them "Начало" and "Остаток" would be wrong.
TEST_F(RstReadFail, SummaryIsNotShownWhenTheOpeningCannotBeRead)
{
    Populate(120);
    auto f = OpenWindow();
    f->RefreshResults();
    ASSERT_FALSE(f->TabRes.IsEmpty());
    Cold();
    env.FailCall(TSysOp::Read, 1, EIO); // the opening's first query
    const auto seen = Notices([&] { f->SbResClick(nullptr); });
    EXPECT_TRUE(OnlyNotice(seen, RstReadFailedText)) << Shown(seen).toStdString();
    // The pre-period sums failing alone: no summary either.
    env.Heal();
    Cold();
    env.FailCall(TSysOp::Read, 2, EIO);
    const auto second = Notices([&] { f->SbResClick(nullptr); });
    EXPECT_TRUE(OnlyNotice(second, RstReadFailedText)) << Shown(second).toStdString();
    // Healed, the summary shows.
    env.Heal();
    const auto healed = Notices([&] { f->SbResClick(nullptr); });
    ASSERT_EQ(healed.size(), 1u);
    EXPECT_FALSE(healed[0].Text.startsWith(RstReadFailedText.trimmed()));
}

// The totals read the grouped rows, then the names and balances of the
// accounts: a failure in either leaves no row and no total.
TEST_F(RstReadFail, TotalsShowNoFigureTheyCouldNotRead)
{
    Populate(120);
    auto f = OpenWindow();
    f->ButAcc->SetDown(true); // by account: the balance column is read too
    for (int nth : {1, 2}) {
        SCOPED_TRACE(nth);
        f->RefreshResults();
        ASSERT_FALSE(f->TabRes.IsEmpty());
        Cold();
        env.FailCall(TSysOp::Read, nth, EIO, true);
        const auto seen = Notices([&] { f->RefreshResults(); });
        env.Heal();
        EXPECT_TRUE(OnlyNotice(seen, RstReadFailedText)) << Shown(seen).toStdString();
        EXPECT_TRUE(f->TabRes.IsEmpty());
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(f->SbRes->PanelText(i), QString()) << i;
        EXPECT_TRUE(f->DBChPie->Series(0).Points().empty());
    }
}

// A chart whose table cannot be walked to the end shows no slice rather
// than the slices of the rows read before the failure.
TEST_F(RstReadFail, AChartIsEmptiedWhenItsTableFailsPartWay)
{
    Populate(120);
    auto f = OpenWindow();
    f->RefreshResults();
    ASSERT_GE(f->TabRes.RecordCount(), 3);
    ASSERT_FALSE(f->DBChPie->Series(0).Points().empty());
    bool armed = false;
    int rows = 0;
    f->TabRes.SetOnFilterRecord([&](TDataSet *, bool &Accept) {
        if (armed && ++rows == 2)
            throw EDatabaseError(QStringLiteral("injected failure"));
        Accept = true;
    });
    armed = true;
    const auto seen = Notices([&] { f->SetChartValueColumn(f->ChartColumn() == 1 ? 2 : 1); });
    f->TabRes.SetOnFilterRecord(nullptr);
    EXPECT_TRUE(OnlyNotice(seen, RstReadFailedText)) << Shown(seen).toStdString();
    EXPECT_TRUE(f->DBChPie->Series(0).Points().empty());
    EXPECT_TRUE(f->DBChBar->Series(0).Points().empty());
}

// The whole period is the data's range: when it cannot be read the period
// stays as it was, and the user learns that it is not the whole one.
TEST_F(RstReadFail, TheWholePeriodThatCannotBeReadIsSaidSo)
{
    Populate(60);
    auto f = OpenWindow();
    f->Period.Kind = rpWhole;
    f->Period.FirstDate = 0;
    Cold();
    env.FailCall(TSysOp::Read, 1, EIO);
    const auto seen = Notices([&] { f->LoadDateRange(); });
    env.Heal();
    EXPECT_TRUE(OnlyNotice(seen, RstReadFailedText)) << Shown(seen).toStdString();
    EXPECT_EQ(f->Period.FirstDate, 0);
    f->LoadDateRange();
    EXPECT_EQ(f->Period.FirstDate, EncodeDate(2024, 1, 1));
}

// The dynamics start from the opening: a failed read leaves no period.
TEST_F(RstReadFail, DynamicsAreEmptiedWhenTheirReadFails)
{
    Populate(120);
    auto f = OpenWindow();
    f->TcGrp->SetTabIndex(2);
    f->RefreshResults();
    for (int unit : {duDays, duWeeks, duMonths, duYears}) {
        SCOPED_TRACE(unit);
        f->CbDay->SetItemIndex(unit);
        f->FillDynamicsOfUnit();
        ASSERT_TRUE(f->TabDyn.Active());
        ASSERT_FALSE(f->TabDyn.IsEmpty());
        Cold();
        env.FailCall(TSysOp::Read, 1, EIO);
        const auto seen = Notices([&] { f->FillDynamicsOfUnit(); });
        env.Heal();
        EXPECT_TRUE(OnlyNotice(seen, RstReadFailedText)) << Shown(seen).toStdString();
        EXPECT_TRUE(!f->TabDyn.Active() || f->TabDyn.IsEmpty());
    }
}

// The statistics and the printouts carry the opening too.
TEST_F(RstReadFail, StatisticsAndPrintoutsStopWithANotice)
{
    Populate(120);
    auto f = OpenList();
    ASSERT_TRUE(f->Qhs().Active());
    Cold();
    env.FailCall(TSysOp::Read, 1, EIO);
    const auto stats = Notices([&] { f->ButSumHsClick(nullptr); });
    EXPECT_TRUE(OnlyNotice(stats, RstReadFailedText)) << Shown(stats).toStdString();
    env.Heal();
    Cold();
    env.FailCall(TSysOp::Read, 1, EIO);
    const auto list = Notices([&] { f->ButPrhClick(nullptr); });
    EXPECT_TRUE(OnlyNotice(list, PrintFailedText)) << Shown(list).toStdString();
    env.Heal();

    f->TcGrp->SetTabIndex(0);
    f->TcGrpChange(nullptr);
    ASSERT_FALSE(f->TabRes.IsEmpty());
    Cold();
    env.FailCall(TSysOp::Read, 1, EIO);
    const auto totals = Notices([&] { f->mpPrintClick(nullptr); });
    EXPECT_TRUE(OnlyNotice(totals, PrintFailedText)) << Shown(totals).toStdString();
}

// The list reopened in another order: a failed read leaves it closed. Its
// pages are held by the open cursors, so the failure is the query's own.
TEST_F(RstReadFail, AListThatCannotBeReadAgainIsClosedAndSaidSo)
{
    Populate(60);
    auto f = OpenList();
    ASSERT_TRUE(f->Qhs().Active());
    TColumn *date = nullptr;
    for (int i = 0; i < f->DBGTab->Columns().Count(); ++i)
        if (f->DBGTab->Columns()[i]->FieldName().compare(U("date_real"), Qt::CaseInsensitive) == 0)
            date = f->DBGTab->Columns()[i];
    ASSERT_NE(date, nullptr);
    const auto previous = f->Qhs().BeforeOpen;
    f->Qhs().BeforeOpen = [](TDataSet *) { throw EDatabaseError(QStringLiteral("injected failure")); };
    const auto seen = Notices([&] { f->DBGTabTitleClick(nullptr, date); });
    f->Qhs().BeforeOpen = previous;
    EXPECT_TRUE(OnlyNotice(seen, RstReadFailedText)) << Shown(seen).toStdString();
    EXPECT_FALSE(f->Qhs().Active());
}

// The group edit offers the people and firms to set: without their lists
// it would offer only the empty item, that is, to clear them.
TEST_F(RstReadFail, GroupEditIsNotOfferedWithoutItsLists)
{
    Populate(60);
    auto f = OpenList();
    ASSERT_TRUE(f->Qhs().Active());
    Cold();
    env.FailCall(TSysOp::Read, 1, EIO, true);
    const auto seen = Notices([&] { f->GroupEdit(); });
    env.Heal();
    EXPECT_TRUE(OnlyNotice(seen, U("Не удалось прочитать списки людей и фирм"))) << Shown(seen).toStdString();
}

// Deleting the list's plans is one step: a row that cannot be deleted
// keeps every plan, and the user is told.
TEST_F(RstReadFail, PlansAreDeletedAllOrNone)
{
    Populate(120);
    auto f = OpenList();
    f->CbKind->SetItemIndex(1);
    f->RefreshResults();
    const QString plans = U("select count(*) from tb_hist not indexed where kind || ''='2'");
    const QString before = Sqlite(plans);
    ASSERT_GT(before.toInt(), 2);
    TTable &h = main->Dm->Tb_Hist;
    int deletes = 0;
    const auto previous = h.BeforeDelete;
    h.BeforeDelete = [&deletes, previous](TDataSet *d) {
        if (previous)
            previous(d);
        if (++deletes == 2)
            throw EDatabaseError(QStringLiteral("injected failure"));
    };
    TModalScript script;
    script.Press(QStringLiteral("Yes")).Press(QStringLiteral("OK"));
    f->mDelPlanClick(nullptr);
    h.BeforeDelete = previous;
    ASSERT_EQ(script.Seen().size(), 2u);
    EXPECT_TRUE(script.Seen()[1].Text.contains(QStringLiteral("injected failure")));
    EXPECT_EQ(Sqlite(plans), before);
}

// The future days start from the realised balance: when it cannot be read,
// no day is listed and the caption names no balance.
TEST_F(RstReadFail, FutureDaysListNothingWhenTheStartCannotBeRead)
{
    Populate(120);
    TFormDays days(*main);
    days.StartDay = EncodeDate(2024, 6, 1);
    days.FillDays();
    ASSERT_FALSE(days.TbDays.IsEmpty());
    ASSERT_TRUE(days.Caption().startsWith(U("Начальный остаток = ")));
    Cold();
    env.FailCall(TSysOp::Read, 1, EIO); // the realised sums only
    const auto seen = Notices([&] { days.FillDays(); });
    env.Heal();
    EXPECT_TRUE(OnlyNotice(seen, DaysReadFailedText)) << Shown(seen).toStdString();
    EXPECT_TRUE(days.TbDays.IsEmpty());
    EXPECT_EQ(days.Caption(), U("Будущие дни с учётом планов"));
}

} // namespace
} // namespace zorbel::test
