// The ledger without a window: period arithmetic and date steps, display
// formats, the key range, the balance routine against sums that the sqlite3
// program computes over the same database file, and the exchange of two
// operations within a day, with transfers and with an injected failure.
#include "ZorbDmFixture.h"

#include "core/ZorbDm.h"
#include "core/ZorbLedger.h"
#include "core/ZorbText.h"
#include "platform/rtl/Money.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

TEST(LedgerPeriod, EveryKindAroundADate)
{
    const TDateTime all0 = D(1924, 1, 1), all1 = D(2124, 1, 1);
    const auto is = [](TPeriod p, TDateTime b, TDateTime e) { return p.Begin == b && p.End == e; };
    EXPECT_TRUE(is(LedgerPeriod(pkTotal, D(2024, 5, 5), all0, all1), all0, all1));
    EXPECT_TRUE(is(LedgerPeriod(pkYear, D(2024, 5, 5), all0, all1), D(2024, 1, 1), D(2024, 12, 31)));
    EXPECT_TRUE(is(LedgerPeriod(pkQuarter, D(2024, 5, 5), all0, all1), D(2024, 4, 1), D(2024, 6, 30)));
    EXPECT_TRUE(is(LedgerPeriod(pkQuarter, D(2024, 12, 31), all0, all1), D(2024, 10, 1), D(2024, 12, 31)));
    EXPECT_TRUE(is(LedgerPeriod(pkQuarter, D(2024, 1, 1), all0, all1), D(2024, 1, 1), D(2024, 3, 31)));
    EXPECT_TRUE(is(LedgerPeriod(pkMonth, D(2024, 2, 10), all0, all1), D(2024, 2, 1), D(2024, 2, 29)));
    EXPECT_TRUE(is(LedgerPeriod(pkMonth, D(2023, 2, 10), all0, all1), D(2023, 2, 1), D(2023, 2, 28)));
    EXPECT_TRUE(is(LedgerPeriod(pkDay, D(2024, 2, 10) + 0.75, all0, all1), D(2024, 2, 10), D(2024, 2, 10)));
    // 7 April 2024 is a Sunday: the week is Monday 1 .. Sunday 7.
    EXPECT_TRUE(is(LedgerPeriod(pkWeek, D(2024, 4, 7), all0, all1), D(2024, 4, 1), D(2024, 4, 7)));
    // A Monday starts its own week; a week may cross a year.
    EXPECT_TRUE(is(LedgerPeriod(pkWeek, D(2024, 4, 8), all0, all1), D(2024, 4, 8), D(2024, 4, 14)));
    EXPECT_TRUE(is(LedgerPeriod(pkWeek, D(2025, 1, 1), all0, all1), D(2024, 12, 30), D(2025, 1, 5)));
}

TEST(LedgerPeriod, StepsByTagAndKind)
{
    const TDateTime today = D(2024, 6, 1);
    // 31 January, one month on: 29 February in a leap year, 28 otherwise.
    EXPECT_EQ(StepEntryDate(pkMonth, D(2024, 1, 31), 4, today), D(2024, 2, 29));
    EXPECT_EQ(StepEntryDate(pkMonth, D(2023, 1, 31), 4, today), D(2023, 2, 28));
    EXPECT_EQ(StepEntryDate(pkMonth, D(2024, 3, 31), 3, today), D(2024, 2, 29));
    EXPECT_EQ(StepEntryDate(pkYear, D(2024, 2, 29), 4, today), D(2025, 2, 28));
    EXPECT_EQ(StepEntryDate(pkQuarter, D(2024, 11, 30), 4, today), D(2025, 2, 28));
    EXPECT_EQ(StepEntryDate(pkWeek, D(2024, 1, 3), 3, today), D(2023, 12, 27));
    EXPECT_EQ(StepEntryDate(pkDay, D(2024, 1, 1), 3, today), D(2023, 12, 31));
    EXPECT_EQ(StepEntryDate(pkMonth, D(2024, 1, 1), 1, today), D(2023, 12, 31));
    EXPECT_EQ(StepEntryDate(pkMonth, D(2024, 1, 1), 2, today), D(2024, 1, 2));
    // The whole period: both period steps go to today.
    EXPECT_EQ(StepEntryDate(pkTotal, D(2020, 1, 1), 3, today), today);
    EXPECT_EQ(StepEntryDate(pkTotal, D(2020, 1, 1), 4, today), today);
    EXPECT_EQ(StepEntryDate(pkMonth, D(2020, 1, 1), 7, today), D(2020, 1, 1));
}

TEST(LedgerFormats, DecimalsAndDisplayFormats)
{
    EXPECT_EQ(DecimalsFormat(1), "0.0000");
    EXPECT_EQ(DecimalsFormat(3), "0.00");
    EXPECT_EQ(DecimalsFormat(5), "0");
    EXPECT_EQ(DecimalsFormat(0), "0.####");
    EXPECT_EQ(DecimalsFormat(9), "0.####");
    const TDisplayFormats f = MakeDisplayFormats(2, 3, 0);
    EXPECT_EQ(f.Qnt, "0.000");
    EXPECT_EQ(f.Prc, "#,##0.00");
    EXPECT_EQ(f.Rte, "0.########");
    EXPECT_EQ(MakeDisplayFormats(0, 0, 4).Rte, "0.0");
    // 7 April 2024 is a Sunday.
    EXPECT_EQ(EntryDateCaption(D(2024, 4, 7)), U("07.04.24 Вс"));
}

// The fixture data set opened in a data module, with account 1 current.
class LedgerData : public ::testing::Test {
protected:
    LedgerData()
    {
        dm.Db.SetParams({QStringLiteral("PATH=") + dir.path()});
        MakeFixture(dir.path());
        EXPECT_TRUE(dm.OpenDataSet({}).Opened);
        EXPECT_TRUE(dm.Tb_Account.Locate("Id_Account", Variant(1), {}));
    }
    // Money text with the no-break thousands separator of the Russian format.
    static QString Money(const char *text)
    {
        return U(text).replace(QRegularExpression("(?<=\\d) (?=\\d)"), QString(QChar(0xA0)));
    }
    QString Sqlite(const QString &sql) { return SqliteShell(dm.Db.FileName(), sql); }
    // Realised (kind) income minus expense of an account over day serials
    // d1..d2, in units, as sqlite3 sums it.
    int64_t Net(int account, TDateTime d1, TDateTime d2, const char *kind = "kind collate binary='1'")
    {
        const QString s = Sqlite(QString("select round((ifnull(sum(dt),0)-ifnull(sum(ct),0))*10000) from tb_hist not indexed "
                                         "where id_account=%1 and %2 and date_real between %3 and %4")
                                     .arg(account)
                                     .arg(kind)
                                     .arg(qint64(d1))
                                     .arg(qint64(d2)));
        return int64_t(s.toDouble());
    }
    double Rest(int account)
    {
        return Sqlite(QString("select rest from tb_account not indexed where id_account=%1").arg(account)).toDouble();
    }
    QStringList Stamps(const QString &where)
    {
        return Sqlite("select id_account||':'||date_create from tb_hist not indexed where " + where + " order by 1")
            .split('\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir dir;
    TDm dm;
};

TEST_F(LedgerData, RangeHoldsExactlyTheAccountsRowsOfThePeriod)
{
    SetLedgerRange(dm.Tb_Hist, 1, {D(2024, 1, 10), D(2024, 2, 3)}, false);
    EXPECT_EQ(dm.Tb_Hist.RecordCount(), 4); // 10.01 twice, 15.01, 03.02
    for (dm.Tb_Hist.First(); !dm.Tb_Hist.Eof(); dm.Tb_Hist.Next()) {
        EXPECT_EQ(dm.Tb_Hist.FieldByName("Id_Account")->AsInteger(), 1);
        const double d = dm.Tb_Hist.FieldByName("Date_Real")->AsDateTime();
        EXPECT_TRUE(d >= D(2024, 1, 10) && d <= D(2024, 2, 3));
    }
    SetLedgerRange(dm.Tb_Hist, 1, {}, true);
    EXPECT_EQ(Sqlite("select count(*) from tb_hist not indexed where id_account=1").toInt(), dm.Tb_Hist.RecordCount());
    SetLedgerRange(dm.Tb_Hist, 2, {}, true);
    EXPECT_EQ(dm.Tb_Hist.RecordCount(), 1);
}

TEST_F(LedgerData, TotalsOfAPeriodMatchSqlite)
{
    TBalanceContext c;
    c.Period = {D(2024, 2, 1), D(2024, 2, 29)};
    c.AllEnd = D(2124, 1, 1);
    c.Today = D(2024, 2, 10);
    TLedgerTotals t;
    UpdateLedgerBalances(dm, c, true, 0, t);
    const int64_t beg = MoneyToUnits(1000);
    EXPECT_EQ(t.OpeningBalance, beg + Net(1, 0, D(2024, 1, 31)));
    EXPECT_EQ(t.Income - t.Expense, Net(1, D(2024, 2, 1), D(2024, 2, 29)));
    EXPECT_EQ(t.Expense, MoneyToUnits(1150)); // 250 and the 900 transfer; the planned 400 is left out
    EXPECT_EQ(t.Panels[0], U("Начало"));
    EXPECT_EQ(t.Panels[1], Money("5 870,00"));
    EXPECT_EQ(t.Panels[5], Money("1 150,00"));
    // A planned expense after today inside the month: the closing panel
    // carries the closing balance with the planned amounts.
    EXPECT_EQ(t.Panels[7], Money("4 720,00  (4 320,00)"));
    EXPECT_EQ(t.PlannedExpenseText, Money("1 150,00  (1 550,00)"));
    EXPECT_TRUE(t.PlannedIncomeText.isEmpty());
    EXPECT_FALSE(t.Repaired);
    // Postings keep the opening balance; only the period's sums are re-read.
    t.OpeningBalance = 7;
    UpdateLedgerBalances(dm, c, false, 0, t);
    EXPECT_EQ(t.OpeningBalance, 7);
    EXPECT_EQ(t.Panels[1], U("0,00"));
    // After the planned day nothing is planned any more.
    c.Today = D(2024, 2, 29);
    UpdateLedgerBalances(dm, c, true, 0, t);
    EXPECT_EQ(t.Panels[7], Money("4 720,00"));
    EXPECT_TRUE(t.PlannedExpenseText.isEmpty());
}

TEST_F(LedgerData, DeltaIsAddedAndTheWholeViewRepairsBeyondAThousandth)
{
    TBalanceContext c;
    c.Period = {D(1924, 1, 1), D(2124, 1, 1)};
    c.AllEnd = c.Period.End;
    c.WholeView = true;
    c.Today = D(2024, 2, 10);
    const int64_t computed = MoneyToUnits(1000) + Net(1, 0, D(2124, 1, 1));
    TLedgerTotals t;

    // Within 0.001 of the operations: the stored value stays.
    const double near = UnitsToMoney(computed + 10);
    dm.Tb_Account.Edit();
    dm.Tb_Account.FieldByName("Rest")->SetAsFloat(near);
    dm.Tb_Account.Post();
    UpdateLedgerBalances(dm, c, true, 0, t);
    EXPECT_FALSE(t.Repaired);
    EXPECT_DOUBLE_EQ(Rest(1), near);

    // Beyond it: corrected to the computed balance.
    dm.Tb_Account.Edit();
    dm.Tb_Account.FieldByName("Rest")->SetAsFloat(UnitsToMoney(computed + 11));
    dm.Tb_Account.Post();
    UpdateLedgerBalances(dm, c, true, 0, t);
    EXPECT_TRUE(t.Repaired);
    EXPECT_EQ(MoneyToUnits(Rest(1)), computed);

    // Not in the whole view: a wrong balance is left alone, but Delta is added.
    c.WholeView = false;
    UpdateLedgerBalances(dm, c, true, MoneyToUnits(12.5), t);
    EXPECT_FALSE(t.Repaired);
    EXPECT_EQ(MoneyToUnits(Rest(1)), computed + 125000);

    // The status bar switched off: Delta still posts, the totals and the
    // repair do not run.
    c.WholeView = true;
    c.ShowStatus = false;
    t = {};
    UpdateLedgerBalances(dm, c, true, -125000, t);
    EXPECT_EQ(MoneyToUnits(Rest(1)), computed);
    EXPECT_TRUE(t.Panels[7].isEmpty());
    dm.Tb_Account.Edit();
    dm.Tb_Account.FieldByName("Rest")->SetAsFloat(1);
    dm.Tb_Account.Post();
    UpdateLedgerBalances(dm, c, true, 0, t);
    EXPECT_DOUBLE_EQ(Rest(1), 1);
}

TEST_F(LedgerData, MoveOperationRowExchangesStampsWithinTheDay)
{
    // 10 January holds rows with stamps s1 and s9 in account 1.
    SetLedgerRange(dm.Tb_Hist, 1, {D(2024, 1, 10), D(2024, 1, 10)}, false);
    dm.Tb_Hist.First();
    EXPECT_EQ(dm.Tb_Hist.FieldByName("Comment")->AsString(), U("Хлеб белый"));
    EXPECT_FALSE(MoveOperationRow(dm, true)); // nothing above the first row
    EXPECT_TRUE(MoveOperationRow(dm, false));
    EXPECT_EQ(dm.Tb_Hist.FieldByName("Comment")->AsString(), U("Хлеб белый"));
    EXPECT_NEAR(dm.Tb_Hist.FieldByName("Date_Create")->AsDateTime(), Stamp(9), 1e-9);
    dm.Tb_Hist.First();
    EXPECT_EQ(dm.Tb_Hist.FieldByName("Comment")->AsString(), U("ХЛЕБ"));
    EXPECT_NEAR(dm.Tb_Hist.FieldByName("Date_Create")->AsDateTime(), Stamp(1), 1e-9);
    EXPECT_FALSE(MoveOperationRow(dm, true));
    EXPECT_EQ(Sqlite("select count(*) from tb_hist not indexed").toInt(), 9);
}

TEST_F(LedgerData, MovingATransferLegTakesItsPartnersStampAlong)
{
    // 5 February: the transfer leg (s5, partner in account 3) and a new row.
    dm.Tb_Hist.CancelRange();
    dm.Tb_Hist.Insert();
    dm.Tb_Hist.FieldByName("Id_Account")->SetAsInteger(1);
    dm.Tb_Hist.FieldByName("Date_Real")->SetAsDateTime(D(2024, 2, 5));
    dm.Tb_Hist.FieldByName("Date_Create")->SetAsDateTime(Stamp(50));
    dm.Tb_Hist.FieldByName("Kind")->SetAsString("1");
    dm.Tb_Hist.FieldByName("Ct")->SetAsFloat(5);
    dm.Tb_Hist.FieldByName("Level1")->SetAsInteger(0);
    dm.Tb_Hist.Post();
    SetLedgerRange(dm.Tb_Hist, 1, {D(2024, 2, 5), D(2024, 2, 5)}, false);
    dm.Tb_Hist.First();
    ASSERT_EQ(dm.Tb_Hist.FieldByName("Level1")->AsInteger(), -1);
    ASSERT_TRUE(MoveOperationRow(dm, false));
    // The pair shares the new stamp; the plain row took the old one.
    const QString s5 = Sqlite("select date_create from tb_hist not indexed where id_account=3");
    EXPECT_EQ(Sqlite("select date_create from tb_hist not indexed where id_account=1 and level1=-1 and date_real=45327"), s5);
    EXPECT_EQ(Sqlite("select count(*) from tb_hist not indexed where date_create=(select date_create from "
                     "tb_hist not indexed where id_account=3)")
                  .toInt(), 2);
    EXPECT_EQ(Sqlite("select count(*) from tb_hist not indexed where id_account=1 and ct=5 and date_create=(select "
                     "date_create from tb_hist not indexed where id_account=1 and date_real=45327 and level1=0)")
                  .toInt(),
              1);
    EXPECT_EQ(dm.Tb_Hist.FieldByName("Level1")->AsInteger(), -1);
    dm.Tb_Hist.First();
    EXPECT_EQ(dm.Tb_Hist.FieldByName("Ct")->AsFloat(), 5);
}

TEST_F(LedgerData, AFailedMoveLeavesEveryStampAsItWas)
{
    const QString before = Stamps("1=1").join(',');
    // The last of the three steps fails: a trigger refuses the row that
    // would take the neighbour's stamp s9.
    dm.Db.Db().Exec(QString("create temp trigger refuse before update on tb_hist when "
                            "abs(new.date_create-%1)<1e-9 begin select raise(abort,'refused'); end")
                        .arg(Stamp(9), 0, 'g', 17));
    SetLedgerRange(dm.Tb_Hist, 1, {D(2024, 1, 10), D(2024, 1, 10)}, false);
    dm.Tb_Hist.First();
    EXPECT_FALSE(MoveOperationRow(dm, false));
    EXPECT_EQ(Stamps("1=1").join(','), before);
    EXPECT_EQ(dm.Tb_Hist.RecordCount(), 2);
}

} // namespace
} // namespace zorbel::test
