// The two bounds every posting road keeps: an amount, price, quantity or
// rate within the money range, and an account's balance (alone and with its
// planned operations) within the balance bound. Each road is tried at and
// past the bounds; a random walk over the posting roads with amounts near
// them checks after every step that the stored balances and the status-bar
// figures equal sums the test makes itself from the rows, exactly, and that
// nothing out of bound was ever stored.
#include "core/ZorbBound.h"

#include "ZorbPostFixture.h"
#include "core/ZorbCardRules.h"
#include "core/ZorbLedger.h"
#include "core/ZorbPacket.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"
#include "platform/sqltable/Sqlite.h"
#include "support/LedgerInvariants.h"

#include <gtest/gtest.h>

#include <random>

namespace zorbel {
namespace {

using namespace zorbel::test;

using namespace zorbel::test::ledger;

class BoundTest : public PostTest {
protected:
    QString State() { return StoredState(dm.Db.Db()); }

    // Adds an operation whose sum field gets Sum as a number, the way the
    // derived roads ("=", AutoSum, AutoCor) write it; false when refused.
    bool AddAmount(TCardMode mode, double sum, TDateTime entry)
    {
        try {
            Add(mode, mode == TCardMode::Income ? Salary() : Bread(), sum, entry);
            return true;
        } catch (const EConvertError &e) {
            lastRefusal = e.Message();
            return false;
        }
    }

    TAccountFigures Sums(int account) { return AccountFigures(dm.Db.Db(), account); }

    // The invariants after every step: those of the stored data set, and
    // the status bar's figures of each account equal to its rows' sums.
    void Check(const std::string &what)
    {
        SCOPED_TRACE(what);
        CheckStoredLedger(dm.Db.Db());
        const TDateTime today = Date();
        int y = 0, m = 0, d = 0;
        DecodeDate(today, y, m, d);
        TBalanceContext context;
        context.Period = {EncodeDate(y, m, 1), IncMonth(EncodeDate(y, m, 1), 1) - 1};
        context.AllEnd = context.Period.End + 400;
        context.Today = today;
        const int current = dm.Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsInteger();
        for (const int account : AccountIds(dm.Db.Db())) {
            const TAccountFigures s = AccountFigures(dm.Db.Db(), account, context.Period.Begin, context.Period.End);
            GoAccount(account);
            TLedgerTotals totals;
            UpdateLedgerBalances(dm, context, true, 0, totals);
            EXPECT_EQ(Text(totals.OpeningBalance), Text(s.Opening())) << "account " << account;
            EXPECT_EQ(Text(totals.Income), Text(s.Income)) << "account " << account;
            EXPECT_EQ(Text(totals.Expense), Text(s.Expense)) << "account " << account;
            EXPECT_TRUE(totals.Panels[7].startsWith(
                Trim(FormatFloat(QStringLiteral("#,##0.00"), double(s.Closing()) / 10000))))
                << totals.Panels[7].toStdString();
        }
        GoAccount(current);
        EXPECT_EQ(dm.Tb_Hist.State(), dsBrowse);
    }

    QString lastRefusal;
};

// The balance bound is the one below which a balance kept as a double gives
// its units back exactly; above it some unit values share a double (so a
// larger bound, such as 2^53 / 10^4, would let a stored balance drift).
TEST(BalanceLimit, IsWhereUnitsStillSurviveTheDouble)
{
    EXPECT_EQ(BalanceLimit, 549755813888.0);
    EXPECT_EQ(BalanceLimitUnits, int64_t(549755813888) * 10000);
    for (int64_t k = 1; k < 20000; ++k) {
        const int64_t u = BalanceLimitUnits - k;
        ASSERT_EQ(MoneyToUnits(UnitsToMoney(u)), u) << u;
        ASSERT_EQ(MoneyToUnits(UnitsToMoney(-u)), -u) << u;
    }
    int lost = 0;
    for (int64_t k = 0; k < 20000; ++k)
        lost += MoneyToUnits(UnitsToMoney(BalanceLimitUnits + k)) != BalanceLimitUnits + k;
    EXPECT_GT(lost, 1000);
    // Four amounts of the money bound fit.
    EXPECT_LT(4 * MoneyLimit, BalanceLimit);
}

// However a value reaches an operation row (set as a number, as the "="
// button, AutoSum, AutoCor, the receiving leg and packets do), the post
// refuses one past the money bound with the typed road's reason, and
// nothing of the step remains.
TEST_F(BoundTest, PostingRefusesAnAmountPastTheBoundWhateverSetIt)
{
    const QString before = State();
    const double derived = DeriveField(1, TCardMode::Expense, 0, MoneyToUnits(99999999999), MoneyToUnits(99999), 0,
                                       false)->Value;
    EXPECT_EQ(derived, 9999899999900000.0);
    EXPECT_FALSE(AddAmount(TCardMode::Expense, derived, Date()));
    EXPECT_EQ(lastRefusal, MoneyRangeMessage());
    EXPECT_FALSE(AddAmount(TCardMode::Income, -1e11, Date()));
    EXPECT_FALSE(AddAmount(TCardMode::Expense, std::nan(""), Date()));
    EXPECT_EQ(State(), before);
    for (const char *field : {"Price", "Qdt", "Rate"}) {
        TTable &h = dm.Tb_Hist;
        post.CardMode = TCardMode::Expense;
        h.Insert();
        TPosting::SetOperationCategory(h, Bread());
        post.PrepareNew();
        h.FieldByName(QStringLiteral("Ct"))->SetAsFloat(10);
        h.FieldByName(QLatin1String(field))->SetAsFloat(1e11);
        TCardResult card;
        card.BalanceDelta = -100000;
        try {
            post.PostOperation(true, card);
            ADD_FAILURE() << field << " posted";
        } catch (const EConvertError &e) {
            EXPECT_EQ(e.Message(), MoneyRangeMessage()) << field;
        }
        EXPECT_EQ(h.State(), dsBrowse);
        EXPECT_EQ(State(), before) << field;
    }
    // The receiving leg of a cross-currency transfer.
    try {
        Add(TCardMode::Transfer, Transfer(), 900, Date(), 3, 5e11);
        ADD_FAILURE() << "transfer posted";
    } catch (const EConvertError &e) {
        EXPECT_EQ(e.Message(), MoneyRangeMessage());
    }
    EXPECT_EQ(State(), before);
    // The largest amount in range posts.
    EXPECT_TRUE(AddAmount(TCardMode::Expense, 99999999999.9999, Date()));
    Check("largest amount");
}

// Copies into the future of a row stored before the bound existed (its
// quantity past it) are refused, not multiplied; a packet line whose
// remembered sum is past the bound is not written, the others are.
TEST_F(BoundTest, CopiesAndPacketsKeepTheBound)
{
    Add(TCardMode::Expense, Bread(), 25, Date());
    TSqliteStatement(dm.Db.Db(), QStringLiteral("UPDATE Tb_Hist SET Qdt = 1e15")).Step();
    dm.Tb_Hist.Refresh();
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Date_Create"), LastStamp(), {}));
    const int t = int(Date());
    EXPECT_EQ(post.CopyToFuture({t + 3, t + 4}), 0);
    EXPECT_EQ(Count(QStringLiteral("kind='2'")), 0);
    EXPECT_EQ(host.notices, QStringList{MoneyRangeMessage()}); // told why, not dropped silently
    TSqliteStatement(dm.Db.Db(), QStringLiteral("UPDATE Tb_Hist SET Qdt = NULL")).Step();
    dm.Tb_Hist.Refresh();

    const auto line = [&](int id, const QString &name, double sum) {
        AddItem(id, name, 0, 1);
        ASSERT_TRUE(dm.Tb_Items.FindKey({Variant(int16_t(id))}));
        dm.Tb_Items.Edit();
        dm.Tb_Items.FieldByName(QStringLiteral("C"))->SetAsString(QStringLiteral("-"));
        dm.Tb_Items.FieldByName(QStringLiteral("Grp"))->SetAsString(QStringLiteral("5"));
        dm.Tb_Items.FieldByName(QStringLiteral("Sm"))->SetAsFloat(sum);
        dm.Tb_Items.Post();
    };
    line(30, U("Молоко"), 40);
    line(31, U("Огромное"), 2e11);
    const TPacketResult r = WritePacketLines(dm, 5, Date(), Date(), {});
    EXPECT_EQ(r.Written, 1);
    EXPECT_EQ(r.NotWritten, QStringList{U("Огромное")});
    EXPECT_EQ(Count(QStringLiteral("ct=40")), 1);
    EXPECT_EQ(Count(QStringLiteral("ct>1e11")), 0);
    EXPECT_DOUBLE_EQ(Rest(1), 1000 - 25 - 40);
}

// Four expenses each inside the money bound take the balance past 10^11:
// posting accepts them and the next opening's check of stored values no
// longer calls the account impossible. A step past the balance bound is
// refused in Russian, alone and with planned rows, and leaves nothing.
TEST_F(BoundTest, BalancesStayWithinTheOneBoundPostingAndOpeningShare)
{
    for (const double sum : {100000.0, 999999999.99, 99999999999.0, 10.0})
        ASSERT_TRUE(AddAmount(TCardMode::Expense, sum, Date())) << sum << lastRefusal.toStdString();
    EXPECT_EQ(Text(Sums(1).Rest), Text(Int(1000 - 100000 - 10) * 10000 - Int(99999999999) * 10000 -
                                       Int(99999999999) * 100));
    EXPECT_EQ(ImpossibleValuesReport(dm.Db.Db()), QString());
    Check("four expenses");

    // Bank: 5000 and five incomes of 99 999 999 999 stay inside, a sixth not.
    GoAccount(2);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(AddAmount(TCardMode::Income, 99999999999.0, Date())) << i << lastRefusal.toStdString();
    const QString before = State();
    EXPECT_FALSE(AddAmount(TCardMode::Income, 99999999999.0, Date()));
    EXPECT_EQ(lastRefusal, BalanceRangeMessage(U("Банк"), false));
    EXPECT_EQ(State(), before);
    // Planned: the balance with the planned rows is bounded too.
    EXPECT_TRUE(AddAmount(TCardMode::Income, 40000000000.0, Date() + 3));
    EXPECT_FALSE(AddAmount(TCardMode::Income, 40000000000.0, Date() + 4));
    EXPECT_EQ(lastRefusal, BalanceRangeMessage(U("Банк"), true));
    // ... and a realised row counts against the planned ones.
    EXPECT_FALSE(AddAmount(TCardMode::Income, 20000000000.0, Date()));
    EXPECT_EQ(lastRefusal, BalanceRangeMessage(U("Банк"), true));
    // Spending is always possible.
    EXPECT_TRUE(AddAmount(TCardMode::Expense, 99999999999.0, Date()));
    Check("bank");

    // A transfer into the full account is refused as a whole: no leg stays.
    GoAccount(1);
    const QString full = State();
    GoAccount(2);
    TTable &h = dm.Tb_Hist;
    ASSERT_TRUE(AddAmount(TCardMode::Income, 99999999999.0, Date()));
    GoAccount(1);
    const QString nearly = State();
    EXPECT_THROW(Add(TCardMode::Transfer, Transfer(), 60000000000.0, Date(), 2), EConvertError);
    EXPECT_EQ(State(), nearly);
    // The current account stays the sender's.
    EXPECT_EQ(dm.Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsInteger(), 1);
    EXPECT_EQ(h.State(), dsBrowse);
    EXPECT_NE(full, nearly);

    // Moving an income into the full account is refused and moves nothing.
    ASSERT_TRUE(AddAmount(TCardMode::Income, 99999999999.0, Date())) << lastRefusal.toStdString();
    ASSERT_TRUE(h.Locate(QStringLiteral("Date_Create"), LastStamp(), {}));
    const QString unmoved = State();
    host.notices.clear();
    EXPECT_FALSE(post.MoveOperation(2, 0));
    EXPECT_EQ(State(), unmoved);
    EXPECT_EQ(host.notices, QStringList{BalanceRangeMessage(U("Банк"), false)});
    Check("transfer and move");
}

// A file written before, whose stored balance is already past the bound,
// opens with the report (never refused) and is repaired by postings that
// bring the balance back; one that takes it further is refused.
TEST_F(BoundTest, ABalanceStoredPastTheBoundIsReportedAndCanComeBack)
{
    TSqliteStatement(dm.Db.Db(), QStringLiteral("UPDATE Tb_Account SET Rest = 6e11, Beg = 6e11 WHERE Id_Account = 2"))
        .Step();
    EXPECT_TRUE(ImpossibleValuesReport(dm.Db.Db()).contains(U("Tb_Account, строк: 1; счета: «Банк»")));
    dm.Tb_Account.Refresh();
    GoAccount(2);
    EXPECT_FALSE(AddAmount(TCardMode::Income, 10, Date()));
    EXPECT_EQ(lastRefusal, BalanceRangeMessage(U("Банк"), false));
    EXPECT_TRUE(AddAmount(TCardMode::Expense, 10, Date()));
    // Editing the account's name keeps working.
    dm.Tb_Account.Edit();
    dm.Tb_Account.FieldByName(QStringLiteral("Account"))->SetAsString(U("Банк 2"));
    EXPECT_NO_THROW(dm.Tb_Account.Post());
    // A stored balance just inside the bound is no impossible value.
    TSqliteStatement(dm.Db.Db(), QStringLiteral("UPDATE Tb_Account SET Rest = -549755813887.9999, "
                                                "Beg = 549755813887.9999 WHERE Id_Account = 2"))
        .Step();
    EXPECT_EQ(ImpossibleValuesReport(dm.Db.Db()), QString());
}

// Deleting a row refreshes the totals even when its amount moves the balance
// by nothing (a row stored before the bound, whose units do not exist).
TEST_F(BoundTest, DeletingRefreshesTheBalanceWhateverTheAmount)
{
    Add(TCardMode::Expense, Bread(), 30, Date());
    TSqliteStatement(dm.Db.Db(), QStringLiteral("UPDATE Tb_Hist SET Ct = 9999899999900000")).Step();
    dm.Tb_Hist.Refresh();
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Date_Create"), LastStamp(), {}));
    const int updates = host.balanceUpdates;
    EXPECT_TRUE(post.DeleteOperation());
    EXPECT_EQ(host.balanceUpdates, updates + 1);
    EXPECT_EQ(Count(QStringLiteral("1=1")), 0);
}

// The random walk over the posting roads with amounts near both bounds.
TEST_F(BoundTest, RandomRoadsNearTheBoundsKeepEveryFigureExact)
{
    for (int id : {40, 41}) {
        AddItem(id, id == 40 ? U("Пакет малый") : U("Пакет большой"), 0, 1);
        ASSERT_TRUE(dm.Tb_Items.FindKey({Variant(int16_t(id))}));
        dm.Tb_Items.Edit();
        dm.Tb_Items.FieldByName(QStringLiteral("C"))->SetAsString(QStringLiteral("-"));
        dm.Tb_Items.FieldByName(QStringLiteral("Grp"))->SetAsString(QStringLiteral("7"));
        dm.Tb_Items.FieldByName(QStringLiteral("Sm"))->SetAsFloat(id == 40 ? 12.34 : 99999999999.5);
        dm.Tb_Items.Post();
    }
    std::mt19937_64 rnd(20261210);
    const auto pick = [&](int n) { return int(rnd() % uint64_t(n)); };
    const TDateTime today = Date();
    TTable &h = dm.Tb_Hist;
    int accepted = 0, refusedMoney = 0, refusedBalance = 0;
    int packets[2] = {}, purges[2] = {}, rates = 0, moves = 0; // [refused, written]
    // An amount: small, at the money bound, just past it, or derived from a
    // price and a quantity (the "=" road), any of which may pass it.
    const auto amount = [&]() -> double {
        switch (pick(6)) {
        case 0: return 99999999999.9999 - pick(1000000) / 10000.0;
        case 1: return 1e11 + pick(1000) / 100.0;
        case 2: {
            const int64_t p = MoneyToUnits(1 + pick(99999999)), q = MoneyToUnits(1 + pick(3000));
            return DeriveField(1, TCardMode::Expense, 0, p, q, 0, false)->Value;
        }
        case 3: return 30000000000.0 + pick(100000000);
        default: return (1 + pick(10000000)) / 100.0;
        }
    };
    for (int step = 0; step < 400; ++step) {
        const int account = 1 + pick(4);
        GoAccount(account);
        const TDateTime day = pick(4) == 0 ? today + 1 + pick(20) : today - pick(20);
        const QString before = State();
        const TAccountFigures sums = Sums(account);
        const int action = pick(15);
        std::string what = "step " + std::to_string(step) + " action " + std::to_string(action);
        try {
            if (action <= 3) {
                // Push towards the bound: the direction the balance already has.
                const double sum = amount();
                const bool income = action == 0 ? sums.Rest >= 0 : pick(2) == 0;
                const TCardMode mode = income ? TCardMode::Income : TCardMode::Expense;
                const bool planned = day > today;
                const Int units = MoneyInRange(sum) ? Int(MoneyToUnits(sum)) * (income ? 1 : -1) : 0;
                const bool expected = MoneyInRange(sum) && (planned || InBalance(sums.Rest + units)) &&
                                      InBalance(sums.Rest + sums.Planned + units);
                what += " add " + std::to_string(sum);
                EXPECT_EQ(AddAmount(mode, sum, day), expected) << what << " " << lastRefusal.toStdString();
                if (!expected) {
                    // The reason: the amount, else the balance alone, else with the planned rows.
                    const QString name = dm.Tb_Account.FieldByName(QStringLiteral("Account"))->AsString();
                    const QString reason = !MoneyInRange(sum) ? MoneyRangeMessage()
                                           : !planned && !InBalance(sums.Rest + units)
                                               ? BalanceRangeMessage(name, false)
                                               : BalanceRangeMessage(name, true);
                    EXPECT_EQ(lastRefusal, reason) << what;
                    throw EConvertError(lastRefusal);
                }
            } else if (action == 4) {
                const int target = 1 + (account + pick(3)) % 4;
                const bool cross = (account <= 2) != (target <= 2);
                const double sum = amount();
                Add(TCardMode::Transfer, Transfer(), sum, day, target, cross ? amount() : 0, cross ? 90 : 0);
            } else if (action == 5) {
                OpenPacket(dm, 7);
                ++packets[0];
                WritePacketLines(dm, 7, day, today, {});
                --packets[0], ++packets[1];
            } else if (action == 13) {
                // A rate typed on an operation of a dollar account is the
                // currency's new rate, on every account of that currency.
                if (account <= 2)
                    continue;
                const double rate = 50 + pick(10000) / 100.0;
                what += " rate " + std::to_string(rate);
                Add(TCardMode::Expense, Bread(), (1 + pick(100000)) / 100.0, day, std::nullopt, 0, 0, rate);
                TSqliteStatement others(dm.Db.Db(), U("select count(*) from tb_account where currency = '$' and "
                                                      "rate is not ?"));
                others.BindDouble(1, rate);
                ASSERT_TRUE(others.Step());
                EXPECT_EQ(others.ColumnInt(0), 0) << what;
                ++rates;
            } else if (action == 14) {
                // A purge before a day of the last month: it folds every
                // account's older rows into its opening sum, or (when one
                // is past the bound) deletes nothing and says why.
                if (pick(5) != 0)
                    continue;
                post.EntryDate = today - 5 - pick(25);
                what += " purge";
                host.notices.clear();
                const bool purged = post.Purge();
                ++purges[purged];
                if (purged) {
                    EXPECT_EQ(Count(QStringLiteral("date_real < %1").arg(double(post.EntryDate), 0, 'f', 6)), 0) << what;
                    EXPECT_TRUE(host.notices.isEmpty()) << what;
                } else {
                    EXPECT_EQ(State(), before) << what << ": a refused purge left something";
                    EXPECT_EQ(host.notices.size(), 1) << what;
                    EXPECT_TRUE(host.notices.value(0).startsWith(U("История не очищена, ничего не удалено: "))) << what;
                }
            } else if (!h.IsEmpty()) {
                h.SetRecNo(1 + pick(h.RecordCount()));
                // The card's "Дата" moving a transfer (else any row) into
                // another month.
                for (int n = h.RecordCount(), i = 0; action == 12 && i < n; ++i) {
                    if (h.FieldByName(QStringLiteral("Level1"))->AsInteger() == -1 &&
                        !h.FieldByName(QStringLiteral("Ct"))->IsNull())
                        break;
                    h.SetRecNo(1 + (h.RecNo() % n));
                }
                const bool transfer = h.FieldByName(QStringLiteral("Level1"))->AsInteger() == -1;
                const bool receiving = transfer && h.FieldByName(QStringLiteral("Ct"))->IsNull();
                const bool planned = h.FieldByName(QStringLiteral("Kind"))->AsString() == u"2";
                const Variant stamp = h.FieldByName(QStringLiteral("Date_Create"))->AsVariant();
                const bool cross = transfer && !receiving &&
                                   ((account <= 2) != (h.FieldByName(QStringLiteral("Ref_Account"))->AsInteger() <= 2));
                if (receiving)
                    continue;
                if (action <= 7) {
                    Edit(stamp, amount(), false, cross ? amount() : 0);
                } else if (action == 12) {
                    const TDateTime to = today - 75 + pick(110);
                    what += " date to " + std::to_string(int(to)) + " transfer " + std::to_string(transfer);
                    const TField *sum = h.FieldByName(transfer || h.FieldByName(QStringLiteral("Dt"))->IsNull()
                                                          ? QStringLiteral("Ct") : QStringLiteral("Dt"));
                    Edit(stamp, sum->AsFloat(), false, cross ? amount() : 0, to);
                    moves += transfer;
                } else if (action == 8 && planned) {
                    Edit(stamp, amount(), true, cross ? amount() : 0);
                } else if (action == 9) {
                    post.DeleteOperation();
                } else if (action == 10 && !transfer) {
                    const int target = 1 + (account + pick(3)) % 4;
                    what += " move to " + std::to_string(target) + " planned " + std::to_string(planned);
                    const bool moved = post.MoveOperation(target, 0);
                    EXPECT_EQ(moved, State() != before) << what; // a refused move changes nothing
                } else if (action == 11 && !transfer) {
                    post.CopyToFuture({int(today) + 2 + pick(30)});
                }
            }
            accepted += State() != before;
        } catch (const EConvertError &e) {
            (e.Message() == MoneyRangeMessage() ? refusedMoney : refusedBalance) += 1;
            EXPECT_EQ(State(), before) << what << ": a refused step left something";
            EXPECT_TRUE(e.Message() == MoneyRangeMessage() || e.Message().contains(U("остаток счёта")))
                << e.Message().toStdString();
        }
        Check(what);
        if (HasFatalFailure() || testing::Test::HasFailure())
            return;
    }
    EXPECT_GT(accepted, 150);
    EXPECT_GT(refusedMoney, 10);
    EXPECT_GT(refusedBalance, 5);
    EXPECT_GT(packets[0], 0);
    EXPECT_GT(packets[1], 5);
    EXPECT_GT(purges[1], 2);
    EXPECT_GT(rates, 5);
    EXPECT_GT(moves, 3);
    std::printf("walk: %d packets refused, %d written; %d purges refused, %d done; %d rates, %d transfer moves\n",
                packets[0], packets[1], purges[0], purges[1], rates, moves);
}

} // namespace
} // namespace zorbel
