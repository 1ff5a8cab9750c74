// Posting without a window: new, edited, realised and deleted operations,
// transfer pairs, copies into the future, moves between accounts, purges,
// failures injected between two writes, and a long random walk checked
// against the sqlite3 command-line shell reading the same file.
#include "core/ZorbPost.h"

#include "core/ZorbBound.h"

#include "ZorbPostFixture.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"
#include "platform/sqltable/Sqlite.h"
#include "support/FaultEnv.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <random>

namespace zorbel {
namespace {

using namespace zorbel::test;

// ---- new, edited, realised ----------------------------------------------------

TEST_F(PostTest, NewExpenseRealisedTodayPlannedTomorrow)
{
    Add(TCardMode::Expense, Bread(), 100, Date());
    EXPECT_DOUBLE_EQ(Rest(1), 900);
    EXPECT_EQ(Count(U("kind='1' and ct=100 and level3=11 and level2=10 and level1=0")), 1);
    Add(TCardMode::Expense, Bread(), 40, Date() + 1);
    EXPECT_DOUBLE_EQ(Rest(1), 900);
    EXPECT_EQ(Count(U("kind='2' and ct=40")), 1);
    // The planned totals were refreshed for the planned row too.
    EXPECT_EQ(host.balanceUpdates, 2);
    int y = 0, m = 0, d = 0;
    DecodeDate(Date() + 1, y, m, d);
    EXPECT_EQ(Count(QStringLiteral("ct=40 and yr=%1 and mn=%2").arg(y).arg(m)), 1);
}

TEST_F(PostTest, RealisedOrPlannedByTheEntryDateAgainstToday)
{
    TFaultEnv env;
    env.SetNow(QDateTime(QDate(2031, 3, 10), QTime(23, 59)));
    TSysEnvScope scope(env);
    const TDateTime today = EncodeDate(2031, 3, 10);
    Add(TCardMode::Expense, Bread(), 10, today);
    Add(TCardMode::Expense, Bread(), 20, today + 1);
    Add(TCardMode::Expense, Bread(), 30, today - 400);
    EXPECT_EQ(Count(U("ct=10 and kind='1'")), 1);
    EXPECT_EQ(Count(U("ct=20 and kind='2'")), 1);
    EXPECT_EQ(Count(U("ct=30 and kind='1' and yr=2030 and mn=2")), 1);
    EXPECT_DOUBLE_EQ(Rest(1), 960);
}

TEST_F(PostTest, EditingChangesRestByTheDifferenceOnlyWhenRealised)
{
    Add(TCardMode::Expense, Bread(), 100, Date());
    Edit(LastStamp(), 80);
    EXPECT_DOUBLE_EQ(Rest(1), 920); // 20.00 back into the account
    Add(TCardMode::Income, Salary(), 500, Date());
    Edit(LastStamp(), 450);
    EXPECT_DOUBLE_EQ(Rest(1), 1370);
    Add(TCardMode::Expense, Bread(), 30, Date() + 3);
    Edit(LastStamp(), 70);
    EXPECT_DOUBLE_EQ(Rest(1), 1370);
    // Realising the planned 70 takes the full amount.
    Edit(LastStamp(), 70, true);
    EXPECT_DOUBLE_EQ(Rest(1), 1300);
    EXPECT_EQ(Count(U("kind='2'")), 0);
}

TEST_F(PostTest, CardDeltasFollowTheRules)
{
    Add(TCardMode::Expense, Bread(), 100, Date());
    TTable &h = dm.Tb_Hist;
    ASSERT_TRUE(h.Locate(QStringLiteral("Date_Create"), LastStamp(), {}));
    h.Edit();
    const int64_t shown = CardDeltaOnShow(TCardMode::Expense, true, h);
    EXPECT_EQ(shown, 1000000);
    h.FieldByName(QStringLiteral("Ct"))->SetAsFloat(80);
    EXPECT_EQ(CardDeltaOnOk(shown, false, h), 200000);
    h.FieldByName(QStringLiteral("Kind"))->SetAsString(QStringLiteral("2"));
    EXPECT_EQ(CardDeltaOnOk(shown, false, h), shown); // planned keeps it
    EXPECT_EQ(CardDeltaOnOk(shown, true, h), -800000); // realising a planned 80
    h.Cancel();
}

TEST_F(PostTest, NewOperationTakesTheCategorysMemoryAndTheDaysRate)
{
    Add(TCardMode::Expense, Bread(), 55.5, Date());
    TTable &items = dm.Tb_Items;
    ASSERT_TRUE(items.FindKey({Variant(int16_t(11))}));
    EXPECT_DOUBLE_EQ(items.FieldByName(QStringLiteral("Sm"))->AsFloat(), 55.5);
    EXPECT_DOUBLE_EQ(items.FieldByName(QStringLiteral("Dte"))->AsFloat(), Date());
    post.Mem.Sum = post.Mem.Rate = true;
    post.CardMode = TCardMode::Expense;
    TTable &h = dm.Tb_Hist;
    h.Insert();
    TPosting::SetOperationCategory(h, Bread());
    post.PrepareNew();
    EXPECT_DOUBLE_EQ(h.FieldByName(QStringLiteral("Ct"))->AsFloat(), 55.5);
    EXPECT_DOUBLE_EQ(h.FieldByName(QStringLiteral("Rate"))->AsFloat(), 1); // the account's: no rate that day
    h.Cancel();
    // An operation with its own rate updates the currency's rate in every account.
    GoAccount(3);
    post.Mem = {};
    post.CardMode = TCardMode::Expense;
    h.Insert();
    TPosting::SetOperationCategory(h, Bread());
    post.PrepareNew();
    h.FieldByName(QStringLiteral("Ct"))->SetAsFloat(10);
    h.FieldByName(QStringLiteral("Rate"))->SetAsFloat(92.5);
    TCardResult card;
    card.BalanceDelta = CardDeltaOnOk(0, false, h);
    post.PostOperation(true, card);
    EXPECT_DOUBLE_EQ(Number(U("select rate from tb_account where id_account=4")), 92.5);
    EXPECT_DOUBLE_EQ(Number(U("select rate from tb_account where id_account=1")), 1);
    EXPECT_DOUBLE_EQ(post.DayRate(3, Date()), 92.5);
    EXPECT_DOUBLE_EQ(post.DayRate(3, Date() - 1), 0);
    // When the currency's rate cannot be written the operation stands and
    // the person is told the rate did not change.
    EXPECT_TRUE(host.notices.isEmpty());
    dm.QRate.SQL() = QStringList{QStringLiteral("update tb_account set NoSuchColumn=:Rate where Currency=:Currency")};
    h.Insert();
    TPosting::SetOperationCategory(h, Bread());
    post.PrepareNew();
    h.FieldByName(QStringLiteral("Ct"))->SetAsFloat(10);
    h.FieldByName(QStringLiteral("Rate"))->SetAsFloat(93);
    card.BalanceDelta = CardDeltaOnOk(0, false, h);
    post.PostOperation(true, card);
    EXPECT_EQ(Count(U("id_account=3 and ct=10 and rate=93")), 1);
    EXPECT_DOUBLE_EQ(Rest(3), 280);
    EXPECT_DOUBLE_EQ(Number(U("select rate from tb_account where id_account=4")), 92.5);
    ASSERT_EQ(host.notices.size(), 1);
    EXPECT_TRUE(host.notices[0].startsWith(U("Операция записана, но курс валюты «$» не изменён: ")))
        << host.notices[0].toStdString();
}

TEST_F(PostTest, RateTypedOnATransferBecomesTheCurrencysRate)
{
    GoAccount(3);
    post.Mem = {};
    post.CardMode = TCardMode::Transfer;
    TTable &h = dm.Tb_Hist;
    h.Insert();
    TPosting::SetOperationCategory(h, Transfer());
    post.PrepareNew();
    h.FieldByName(QStringLiteral("Ct"))->SetAsFloat(10);
    h.FieldByName(QStringLiteral("Rate"))->SetAsFloat(93.25);
    h.FieldByName(QStringLiteral("Ref_Account"))->SetAsInteger(1);
    TCardResult card;
    card.TargetAccount = 1;
    card.BalanceDelta = CardDeltaOnOk(CardDeltaOnShow(TCardMode::Transfer, false, h), false, h);
    post.PostOperation(true, card);
    post.CardMode = TCardMode::Idle;
    EXPECT_DOUBLE_EQ(Number(U("select rate from tb_account where id_account=3")), 93.25);
    EXPECT_DOUBLE_EQ(Number(U("select rate from tb_account where id_account=4")), 93.25);
    EXPECT_DOUBLE_EQ(Number(U("select rate from tb_account where id_account=1")), 1);
    EXPECT_EQ(Count(U("id_account=1 and level1=-1 and dt=10")), 1);
}

TEST_F(PostTest, CategoryPathAndMatching)
{
    TTable &h = dm.Tb_Hist;
    h.Insert();
    TPosting::SetOperationCategory(h, Bread());
    EXPECT_TRUE(TPosting::CategoryMatchesRow(h, Bread()));
    EXPECT_FALSE(TPosting::CategoryMatchesRow(h, {10, 1, 0, 0}));
    EXPECT_EQ(TPosting::OperationCategory(h), 11);
    TPosting::SetOperationCategory(h, {10, 1, 0, 0});
    EXPECT_TRUE(h.FieldByName(QStringLiteral("Level3"))->IsNull());
    EXPECT_EQ(h.FieldByName(QStringLiteral("Level2"))->AsInteger(), 10);
    EXPECT_EQ(TPosting::OperationCategory(h), 10);
    TPosting::SetOperationCategory(h, {0, 0, 0, 0});
    EXPECT_EQ(TPosting::OperationCategory(h), 0);
    EXPECT_TRUE(TPosting::CategoryMatchesRow(h, {0, 0, 0, 0}));
    EXPECT_TRUE(TPosting::CategoryMatchesRow(h, Transfer())); // the transfer node matches every row
    h.Cancel();
}

// ---- transfers ----------------------------------------------------------------

TEST_F(PostTest, TransferInOneCurrencyCreditsTheSentSum)
{
    Add(TCardMode::Transfer, Transfer(), 200, Date(), 2);
    EXPECT_DOUBLE_EQ(Rest(1), 800);
    EXPECT_DOUBLE_EQ(Rest(2), 5200);
    EXPECT_EQ(Count(U("id_account=2 and level1=-1 and dt=200 and ct is null and ref_account=1 and kind='1'")), 1);
    // Editing the realised transfer moves the receiving leg by the difference.
    Edit(LastStamp(), 150);
    EXPECT_DOUBLE_EQ(Rest(1), 850);
    EXPECT_DOUBLE_EQ(Rest(2), 5150);
    EXPECT_EQ(Count(U("id_account=2 and dt=150")), 1);
    // Every id is an account, a negative one (files written elsewhere hold
    // them) as well: a transfer to it writes its leg and its balance.
    for (const char *sql : {"update tb_account set id_account=-1 where id_account=2",
                            "update tb_hist set id_account=-1 where id_account=2",
                            "update tb_hist set ref_account=-1 where ref_account=2"}) {
        dm.Qtemp.Close();
        dm.Qtemp.SQL() = QStringList{QString::fromLatin1(sql)};
        dm.Qtemp.ExecSQL();
    }
    dm.Tb_Account.Refresh();
    GoAccount(1);
    Add(TCardMode::Transfer, Transfer(), 40, Date(), -1);
    EXPECT_DOUBLE_EQ(Rest(1), 810);
    EXPECT_DOUBLE_EQ(Rest(-1), 5190);
    EXPECT_EQ(Count(U("id_account=-1 and level1=-1 and dt=40 and ref_account=1 and kind='1'")), 1);
}

// With no rate of its own that day, the receiving leg takes the target
// account's rate as it stands: none when the account has none (a rate of 0
// would be refused by the card when the leg is opened).
TEST_F(PostTest, ReceivingLegTakesTheTargetsRateOrNone)
{
    post.Mem.Rate = true;
    GoAccount(2);
    dm.Tb_Account.Edit();
    dm.Tb_Account.FieldByName(QStringLiteral("Rate"))->Clear();
    dm.Tb_Account.Post();
    GoAccount(1);
    Add(TCardMode::Transfer, Transfer(), 200, Date(), 2);
    EXPECT_EQ(Count(U("id_account=2 and level1=-1 and dt=200 and rate is null")), 1);
}

TEST_F(PostTest, CrossCurrencyTransferCreditsTheReceivedAmount)
{
    Add(TCardMode::Transfer, Transfer(), 900, Date(), 3, 10, 90);
    EXPECT_DOUBLE_EQ(Rest(1), 100);
    EXPECT_DOUBLE_EQ(Rest(3), 310);
    EXPECT_EQ(Count(U("id_account=3 and dt=10 and price=90 and level1=-1")), 1);
}

TEST_F(PostTest, RealisingAPlannedTransferWritesTheReceivingLeg)
{
    Add(TCardMode::Transfer, Transfer(), 300, Date() + 2, 2);
    EXPECT_EQ(Count(U("id_account=2")), 0); // a planned transfer has no receiving leg
    EXPECT_DOUBLE_EQ(Rest(1), 1000);
    Edit(LastStamp(), 300, true);
    EXPECT_DOUBLE_EQ(Rest(1), 700);
    EXPECT_DOUBLE_EQ(Rest(2), 5300);
    EXPECT_EQ(Count(U("id_account=2 and dt=300 and kind='1'")), 1);
}

// Both legs of a transfer count in the month of their date, whichever way
// the transfer was written: new, realised, its date moved by the card's
// "Дата" to another month or year, in one currency or across currencies.
TEST_F(PostTest, BothLegsOfATransferCountInTheMonthOfTheirDate)
{
    struct TCase {
        int Target;
        double Received, CrossRate;
        TDateTime Written, MovedTo;
        bool Planned;
    };
    const TCase cases[] = {
        {2, 0, 0, EncodeDate(2026, 11, 30), EncodeDate(2026, 12, 1), false},
        {2, 0, 0, EncodeDate(2025, 12, 31), EncodeDate(2026, 1, 1), false},
        {3, 10, 90, EncodeDate(2026, 3, 15), EncodeDate(2025, 7, 4), false},
        {2, 0, 0, Date() + 40, EncodeDate(2024, 2, 29), true},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(FormatDateTime(QStringLiteral("dd.mm.yyyy"), c.Written).toStdString());
        GoAccount(1);
        Add(TCardMode::Transfer, Transfer(), 900, c.Written, c.Target, c.Received, c.CrossRate);
        const Variant stamp = LastStamp();
        EXPECT_EQ(RowsOutOfTheirMonth(), 0);
        Edit(stamp, 900, c.Planned, c.Received, c.MovedTo);
        EXPECT_EQ(Count(QStringLiteral("level1=-1 and date_real=%1").arg(int(c.MovedTo))), 2);
        EXPECT_EQ(RowsOutOfTheirMonth(), 0);
    }
}

TEST_F(PostTest, DeletingTheSendingLegDeletesBothAndRestoresBothBalances)
{
    Add(TCardMode::Transfer, Transfer(), 900, Date(), 3, 10, 90);
    const Variant stamp = LastStamp();
    // The receiving leg offers no delete.
    GoAccount(3);
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Date_Create"), stamp, {}));
    EXPECT_FALSE(post.DeleteOperation());
    EXPECT_EQ(Count(U("level1=-1")), 2);
    GoAccount(1);
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Date_Create"), stamp, {}));
    EXPECT_TRUE(post.DeleteOperation());
    EXPECT_EQ(Count(U("level1=-1")), 0);
    EXPECT_DOUBLE_EQ(Rest(1), 1000);
    EXPECT_DOUBLE_EQ(Rest(3), 300);
    EXPECT_EQ(dm.Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsInteger(), 1);
}

TEST_F(PostTest, DeletingAPlannedRowChangesNoRestButRefreshesTotals)
{
    Add(TCardMode::Expense, Bread(), 60, Date() + 5);
    const int updates = host.balanceUpdates;
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Date_Create"), LastStamp(), {}));
    EXPECT_TRUE(post.DeleteOperation());
    EXPECT_DOUBLE_EQ(Rest(1), 1000);
    EXPECT_EQ(host.balanceUpdates, updates + 1);
    EXPECT_EQ(Count(QStringLiteral("1=1")), 0);
}

TEST_F(PostTest, EditedReceivingLegNotFoundIsReported)
{
    Add(TCardMode::Transfer, Transfer(), 200, Date(), 2);
    const Variant stamp = LastStamp();
    Scalar(U("select 1")); // keep Qtemp usable
    dm.Db.Db().Exec(QStringLiteral("delete from tb_hist where id_account=2"));
    dm.Tb_Hist.Refresh();
    Edit(stamp, 150);
    EXPECT_EQ(host.notices, QStringList{U("Соответствующая строка не найдена!")});
    EXPECT_DOUBLE_EQ(Rest(1), 850); // the sending leg stays as posted
    EXPECT_DOUBLE_EQ(Rest(2), 5200);
}

// The other leg is found by its account and stamp whatever day it bears (a
// file written elsewhere may date it apart, and give both legs a stamp that
// is no whole millisecond), and among other rows of that account and day.
TEST_F(PostTest, ReceivingLegDatedApartIsStillEditedAndDeletedWithItsSendingLeg)
{
    GoAccount(2);
    Add(TCardMode::Expense, Bread(), 10, Date() - 3);
    GoAccount(1);
    Add(TCardMode::Transfer, Transfer(), 200, Date(), 2);
    Scalar(U("select 1")); // keep Qtemp usable
    dm.Db.Db().Exec(QStringLiteral("update tb_hist set date_real=date_real-3 where id_account=2 and level1=-1"));
    dm.Db.Db().Exec(QStringLiteral("update tb_hist set date_create=date_create+0.37/86400000.0 where level1=-1"));
    const auto legStamps = [&] {
        QStringList out;
        TSqliteStatement st(dm.Db.Db(), QStringLiteral("select date_create from tb_hist where level1=-1"));
        while (st.Step())
            out << QString::number(st.ColumnDouble(0), 'g', 17);
        return out;
    };
    ASSERT_EQ(legStamps().size(), 2);
    const Variant stamp = Variant::FromDate(legStamps()[0].toDouble());
    ASSERT_NE(stamp.AsDate() * 86400000.0, std::round(stamp.AsDate() * 86400000.0));
    dm.Tb_Hist.Refresh();
    ASSERT_EQ(Count(U("id_account=2 and level1=-1 and dt=200")), 1);
    Edit(stamp, 150);
    EXPECT_TRUE(host.notices.isEmpty()) << host.notices.join(u'|').toStdString();
    EXPECT_EQ(legStamps(), QStringList(2, QString::number(stamp.AsDate(), 'g', 17)));
    EXPECT_EQ(Count(U("id_account=2 and level1=-1 and dt=150")), 1);
    EXPECT_EQ(Count(U("id_account=2")), 2); // the expense of that day is untouched
    EXPECT_DOUBLE_EQ(Rest(1), 850);
    EXPECT_DOUBLE_EQ(Rest(2), 5140);
    dm.Db.Db().Exec(QStringLiteral("update tb_hist set date_real=date_real-3 where id_account=2 and level1=-1"));
    dm.Tb_Hist.Refresh();
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Date_Create"), stamp, {}));
    EXPECT_TRUE(post.DeleteOperation());
    EXPECT_EQ(Count(U("level1=-1")), 0);
    EXPECT_EQ(Count(U("id_account=2")), 1);
    EXPECT_DOUBLE_EQ(Rest(1), 1000);
    EXPECT_DOUBLE_EQ(Rest(2), 4990);
}

// ---- failures between two writes ------------------------------------------------

TEST_F(PostTest, FailureWritingTheReceivingLegLeavesEverythingAsBefore)
{
    Add(TCardMode::Transfer, Transfer(), 100, Date(), 2);
    const QString before = Scalar(U("select group_concat(id_account||':'||coalesce(dt,'')||':'||coalesce(ct,''),',') from tb_hist"));
    FailNthPost(dm.Tb_Hist, 2); // the sending leg posts, the receiving leg fails
    EXPECT_THROW(Add(TCardMode::Transfer, Transfer(), 250, Date(), 2), EDatabaseError);
    EXPECT_EQ(Scalar(U("select group_concat(id_account||':'||coalesce(dt,'')||':'||coalesce(ct,''),',') from tb_hist")), before);
    EXPECT_DOUBLE_EQ(Rest(1), 900);
    EXPECT_DOUBLE_EQ(Rest(2), 5100);
    EXPECT_EQ(dm.Tb_Hist.State(), dsBrowse);
}

TEST_F(PostTest, FailingFileWriteOfATransferLeavesEverythingAsBefore)
{
    Add(TCardMode::Transfer, Transfer(), 100, Date(), 2);
    TFaultEnv env;
    env.FailCall(TSysOp::Write, 1, ENOSPC); // the data set's file refuses the transfer's pages once
    {
        TSysEnvScope scope(env);
        EXPECT_THROW(Add(TCardMode::Transfer, Transfer(), 250, Date(), 2), Exception);
    }
    EXPECT_GE(env.Calls(TSysOp::Write), 1);
    EXPECT_EQ(Count(U("level1=-1")), 2);
    EXPECT_DOUBLE_EQ(Rest(1), 900);
    EXPECT_DOUBLE_EQ(Rest(2), 5100);
    // The data set goes on working.
    Add(TCardMode::Transfer, Transfer(), 50, Date(), 2);
    EXPECT_DOUBLE_EQ(Rest(1), 850);
    EXPECT_DOUBLE_EQ(Rest(2), 5150);
}

TEST_F(PostTest, FailureOfTheTargetBalanceLeavesEverythingAsBefore)
{
    FailNthPost(dm.Tb_Account, 2); // the sender's Rest posts, the target's fails
    EXPECT_THROW(Add(TCardMode::Transfer, Transfer(), 250, Date(), 2), EDatabaseError);
    EXPECT_EQ(Count(QStringLiteral("1=1")), 0);
    EXPECT_DOUBLE_EQ(Rest(1), 1000);
    EXPECT_DOUBLE_EQ(Rest(2), 5000);
}

TEST_F(PostTest, FailureDeletingTheSecondLegLeavesBothLegs)
{
    Add(TCardMode::Transfer, Transfer(), 100, Date(), 2);
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Date_Create"), LastStamp(), {}));
    FailNthPost(dm.Tb_Account, 2); // the partner's Rest posts, the own Rest fails
    EXPECT_THROW(post.DeleteOperation(), EDatabaseError);
    EXPECT_EQ(Count(U("level1=-1")), 2);
    EXPECT_DOUBLE_EQ(Rest(1), 900);
    EXPECT_DOUBLE_EQ(Rest(2), 5100);
}

TEST_F(PostTest, FailureOfTheTargetBalanceUndoesAMove)
{
    Add(TCardMode::Expense, Bread(), 50, Date());
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Date_Create"), LastStamp(), {}));
    FailNthPost(dm.Tb_Account, 1);
    EXPECT_FALSE(post.MoveOperation(2, 0));
    EXPECT_EQ(Count(U("id_account=1 and ct=50")), 1);
    EXPECT_DOUBLE_EQ(Rest(1), 950);
    EXPECT_DOUBLE_EQ(Rest(2), 5000);
}

// ---- copy, move, purge ------------------------------------------------------------

TEST_F(PostTest, CopiesArePlannedWithTheirOwnStampsAndNoMark)
{
    Add(TCardMode::Expense, Bread(), 12.5, Date());
    TTable &h = dm.Tb_Hist;
    ASSERT_TRUE(h.Locate(QStringLiteral("Date_Create"), LastStamp(), {}));
    h.Edit();
    h.FieldByName(QStringLiteral("B"))->SetAsString(QStringLiteral("+"));
    h.FieldByName(QStringLiteral("Comment"))->SetAsString(U("Батон"));
    h.Post();
    const int today = int(Date());
    EXPECT_EQ(post.CopyToFuture({today + 10, today + 40}), 2);
    EXPECT_EQ(Count(U("kind='2' and ct=12.5 and level3=11 and comment='Батон' and b is null and id_account=1")), 2);
    EXPECT_EQ(Scalar(U("select count(distinct date_create) from tb_hist")).toInt(), 3);
    EXPECT_DOUBLE_EQ(Rest(1), 987.5);
}

TEST(FutureRange, EndsThisOrNextMonthByTheDay)
{
    TDateTime from = 0, to = 0;
    DefaultFutureRange(EncodeDate(2027, 1, 13), from, to); // tomorrow is the 14th
    EXPECT_EQ(from, EncodeDate(2027, 1, 14));
    EXPECT_EQ(to, EncodeDate(2027, 1, 31));
    DefaultFutureRange(EncodeDate(2027, 1, 14), from, to); // the 15th: to the end of February
    EXPECT_EQ(to, EncodeDate(2027, 2, 28));
    DefaultFutureRange(EncodeDate(2027, 12, 31), from, to); // across the year
    EXPECT_EQ(from, EncodeDate(2028, 1, 1));
    EXPECT_EQ(to, EncodeDate(2028, 1, 31));
    DefaultFutureRange(EncodeDate(2028, 1, 30) + 0.5, from, to);
    EXPECT_EQ(to, EncodeDate(2028, 2, 29));
}

TEST_F(PostTest, MovingARealisedExpenseMovesItsAmount)
{
    Add(TCardMode::Expense, Bread(), 50, Date());
    Add(TCardMode::Expense, Bread(), 20, Date() + 1);
    TTable &h = dm.Tb_Hist;
    ASSERT_TRUE(h.Locate(QStringLiteral("Ct"), Variant(50.0), {}));
    EXPECT_TRUE(post.MoveOperation(2, 1.5));
    EXPECT_DOUBLE_EQ(Rest(1), 1000);
    EXPECT_DOUBLE_EQ(Rest(2), 4950);
    EXPECT_EQ(Count(U("id_account=2 and ct=50 and rate=1.5")), 1);
    ASSERT_TRUE(h.Locate(QStringLiteral("Ct"), Variant(20.0), {}));
    EXPECT_TRUE(post.MoveOperation(2, 0)); // planned: no balance moves
    EXPECT_DOUBLE_EQ(Rest(1), 1000);
    EXPECT_DOUBLE_EQ(Rest(2), 4950);
    EXPECT_EQ(Count(U("id_account=1")), 0);
    EXPECT_EQ(RateFromAccountLine(U("Банк = 5 000,00 руб,   курс=1,5")), 1.5);
    EXPECT_EQ(RateFromAccountLine(U("Банк = 5 000,00 руб")), 0);
}

TEST_F(PostTest, PurgeFoldsOldHistoryIntoOpeningSumsAndKeepsEveryRest)
{
    const TDateTime today = Date();
    Add(TCardMode::Expense, Bread(), 100, today - 20);
    Add(TCardMode::Income, Salary(), 700, today - 10);
    Add(TCardMode::Transfer, Transfer(), 300, today - 5, 2);
    Add(TCardMode::Expense, Bread(), 40, today - 1);
    Add(TCardMode::Expense, Bread(), 40, today + 30); // planned, after the date
    const double rest1 = Rest(1), rest2 = Rest(2);
    post.EntryDate = today - 2;
    EXPECT_TRUE(post.Purge());
    EXPECT_EQ(Count(QStringLiteral("date_real<%1").arg(int(today - 2))), 0);
    EXPECT_EQ(Count(QStringLiteral("1=1")), 2);
    EXPECT_DOUBLE_EQ(Beg(1), 1000 - 100 + 700 - 300);
    EXPECT_DOUBLE_EQ(Beg(2), 5300);
    EXPECT_DOUBLE_EQ(Rest(1), rest1);
    EXPECT_DOUBLE_EQ(Rest(2), rest2);
    EXPECT_TRUE(dm.Modified());
}

// A purge that cannot fold every account (a failing post, or an opening sum
// the balance bound refuses) deletes nothing, changes no sum and says why.
TEST_F(PostTest, FailedPurgeChangesNothingAndSaysWhy)
{
    const TDateTime today = Date();
    const double big = 99999999999.99;
    struct TCase {
        const char *Name;
        std::function<void()> Arrange;
        QString Reason;
    };
    const TCase cases[] = {
        {"a failing post",
         [&] {
             Add(TCardMode::Expense, Bread(), 100, today - 20);
             Add(TCardMode::Transfer, Transfer(), 300, today - 5, 2);
             FailNthPost(dm.Tb_Account, 2); // the second account's fold fails
         },
         QStringLiteral("injected failure")},
        {"an opening sum past the bound",
         [&] {
             // Six incomes before the date, one expense after: Rest stays
             // inside the bound, the folded opening sum would not.
             for (int i = 0; i < 5; ++i)
                 Add(TCardMode::Income, Salary(), big, today - 20);
             Add(TCardMode::Expense, Bread(), big, today - 1);
             Add(TCardMode::Income, Salary(), big, today - 20);
         },
         BalanceRangeMessage(U("Кошелёк"), false)},
    };
    const auto accountCheck = dm.Tb_Account.BeforePost;
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.Name);
        Scalar(U("select 1")); // keep Qtemp usable
        dm.Db.Db().Exec(QStringLiteral("delete from tb_hist"));
        dm.Db.Db().Exec(QStringLiteral("update tb_account set beg=rest"));
        dm.Tb_Hist.Refresh();
        dm.Tb_Account.Refresh();
        host.notices.clear();
        c.Arrange();
        const QString before = Scalar(U("select group_concat(id_account||':'||beg||':'||rest, ',') from tb_account")) +
                               Scalar(U("select count(*) from tb_hist"));
        post.EntryDate = today - 10;
        EXPECT_FALSE(post.Purge());
        EXPECT_EQ(Scalar(U("select group_concat(id_account||':'||beg||':'||rest, ',') from tb_account")) +
                      Scalar(U("select count(*) from tb_hist")),
                  before);
        ASSERT_EQ(host.notices.size(), 1);
        EXPECT_EQ(host.notices[0], U("История не очищена, ничего не удалено: ") + c.Reason);
        dm.Tb_Account.BeforePost = accountCheck;
    }
}

// ---- the random walk --------------------------------------------------------------

// Runs SQL through the sqlite3 shell on the data set's file: an oracle that
// shares no code with the program.
QStringList Shell(const QString &file, const QString &sql)
{
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {QStringLiteral("-readonly"), file, sql});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {QStringLiteral("sqlite3 failed: ") + QString::fromUtf8(p.readAllStandardError())};
    return QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

TEST_F(PostTest, RandomWalkKeepsBalancesAndPairs)
{
    std::mt19937 rnd(20261208);
    const auto pick = [&](int n) { return int(rnd() % unsigned(n)); };
    const TDateTime today = Date();
    TTable &h = dm.Tb_Hist;
    int done = 0;
    for (int step = 0; step < 2000; ++step) {
        const int account = 1 + pick(4);
        GoAccount(account);
        const double sum = (1 + pick(50000)) / 100.0;
        const TDateTime day = today - pick(30) + (pick(4) == 0 ? 5 : 0); // a quarter planned
        const int action = pick(10);
        if (action <= 2) {
            Add(pick(2) ? TCardMode::Expense : TCardMode::Income, pick(2) ? Bread() : Salary(), sum, day);
        } else if (action == 3) {
            const int target = 1 + (account + pick(3)) % 4; // another account
            const bool cross = (account <= 2) != (target <= 2);
            Add(TCardMode::Transfer, Transfer(), sum, day, target, cross ? sum / 90 + 0.01 : 0, cross ? 90 : 0);
        } else if (!h.IsEmpty()) {
            h.SetRecNo(1 + pick(h.RecordCount()));
            const bool receiving = h.FieldByName(QStringLiteral("Level1"))->AsInteger() == -1 &&
                                   h.FieldByName(QStringLiteral("Ct"))->IsNull();
            const bool planned = h.FieldByName(QStringLiteral("Kind"))->AsString() == u"2";
            const Variant stamp = h.FieldByName(QStringLiteral("Date_Create"))->AsVariant();
            const bool cross = h.FieldByName(QStringLiteral("Level1"))->AsInteger() == -1 && !receiving &&
                               ((account <= 2) != (h.FieldByName(QStringLiteral("Ref_Account"))->AsInteger() <= 2));
            if (receiving)
                continue;
            if (action <= 5)
                Edit(stamp, sum, false, cross ? sum / 90 : 0);
            else if (action == 6 && planned)
                Edit(stamp, sum, true, cross ? sum / 90 : 0);
            else if (action <= 8)
                post.DeleteOperation();
            else
                post.MoveOperation(1 + (account + pick(3)) % 4, pick(2) ? 2.5 : 0);
        }
        ++done;
    }
    EXPECT_GT(done, 1500);
    // Every Rest is Beg plus realised income minus expense.
    const QStringList wrong = Shell(dm.Db.FileName(),
        U("select a.id_account, a.rest, a.beg + coalesce((select sum(coalesce(dt,0)) - sum(coalesce(ct,0)) "
          "from tb_hist h not indexed where h.id_account=a.id_account and h.kind collate binary='1'),0) as expected "
          "from tb_account a not indexed where abs(a.rest - expected) > 0.00005;"));
    EXPECT_TRUE(wrong.isEmpty()) << wrong.join(u'\n').toStdString();
    // Every realised transfer leg has exactly one partner.
    const QStringList unpaired = Shell(dm.Db.FileName(),
        U("select id_account, date_create from tb_hist h not indexed where level1=-1 and kind collate binary='1' and "
          "(select count(*) from tb_hist p not indexed where p.id_account=h.ref_account "
          "and p.date_create=h.date_create and p.kind collate binary='1' and p.level1=-1 "
          "and p.ref_account=h.id_account) <> 1;"));
    EXPECT_TRUE(unpaired.isEmpty()) << unpaired.join(u'\n').toStdString();
    const QStringList counts = Shell(dm.Db.FileName(),
        U("select count(*), sum(level1=-1), sum(kind collate binary='2') from tb_hist not indexed;"));
    ASSERT_EQ(counts.size(), 1);
    const QStringList c = counts[0].split(u'|');
    EXPECT_GT(c[0].toInt(), 200);
    EXPECT_GT(c[1].toInt(), 20);
    EXPECT_GT(c[2].toInt(), 10);
}

} // namespace
} // namespace zorbel
