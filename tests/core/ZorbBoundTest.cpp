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
#include "core/ZorbDmCheck.h"
#include "core/ZorbLedger.h"
#include "core/ZorbPacket.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"
#include "platform/sqltable/Sqlite.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace zorbel {
namespace {

using namespace zorbel::test;

using Int = __int128;

// A stored double in units of 1/10000, read through its decimal text (the
// value rounded to four places), independently of the program's conversion.
Int ExactUnits(double v)
{
    char text[512];
    std::snprintf(text, sizeof text, "%.4f", v);
    Int units = 0;
    bool negative = false;
    for (const char *p = text; *p; ++p) {
        if (*p == '-')
            negative = true;
        else if (*p >= '0' && *p <= '9')
            units = units * 10 + (*p - '0');
    }
    return negative ? -units : units;
}

std::string Text(Int v)
{
    if (v == 0)
        return "0";
    std::string s;
    const bool negative = v < 0;
    for (Int a = negative ? -v : v; a > 0; a /= 10)
        s.insert(s.begin(), char('0' + int(a % 10)));
    return negative ? "-" + s : s;
}

constexpr Int LimitUnits = Int(BalanceLimitUnits);
bool InBalance(Int units) { return units < LimitUnits && units > -LimitUnits; }

class BoundTest : public PostTest {
protected:
    // The rows of a table as text, to tell that a refused step left nothing.
    QString Rows(const char *table)
    {
        TSqliteStatement st(dm.Db.Db(), QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(QLatin1String(table)));
        QString all;
        while (st.Step()) {
            for (int c = 0; c < st.ColumnCount(); ++c)
                all += (st.IsNull(c) ? QStringLiteral("~") : st.ColumnText(c)) + u'|';
            all += u'\n';
        }
        return all;
    }
    QString State() { return Rows("Tb_Hist") + Rows("Tb_Account") + Rows("Tb_Items"); }

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

    // Everything the test knows of an account from the rows alone.
    struct TAccountSums {
        Int Beg = 0, Rest = 0, Realised = 0, Planned = 0;
    };
    TAccountSums Sums(int account, TDateTime d1 = -1e9, TDateTime d2 = 1e9, Int *income = nullptr,
                      Int *expense = nullptr)
    {
        TAccountSums s;
        TSqliteStatement a(dm.Db.Db(), QStringLiteral("SELECT Beg, Rest FROM Tb_Account WHERE Id_Account = ?"));
        a.BindInt(1, account);
        EXPECT_TRUE(a.Step());
        s.Beg = ExactUnits(a.ColumnDouble(0));
        s.Rest = ExactUnits(a.ColumnDouble(1));
        TSqliteStatement h(dm.Db.Db(),
                           QStringLiteral("SELECT Kind, Dt, Ct, Date_Real FROM Tb_Hist WHERE Id_Account = ?"));
        h.BindInt(1, account);
        while (h.Step()) {
            const Int dt = ExactUnits(h.ColumnDouble(1)), ct = ExactUnits(h.ColumnDouble(2));
            const double day = h.ColumnDouble(3);
            if (h.ColumnText(0) == u"1") {
                s.Realised += dt - ct;
                if (income && day >= d1 && day <= d2) {
                    *income += dt;
                    *expense += ct;
                }
            } else {
                s.Planned += dt - ct;
            }
        }
        return s;
    }

    // The invariants after every step: every stored amount within the money
    // range, every balance within the balance bound (alone and with the
    // planned rows), Rest equal to Beg plus the realised rows, the status
    // bar's figures equal to the rows' sums, and the opening's check quiet.
    void Check(const std::string &what)
    {
        SCOPED_TRACE(what);
        TSqliteStatement amounts(dm.Db.Db(), QStringLiteral("SELECT Dt, Ct, Price, Qdt, Qct, Rate FROM Tb_Hist"));
        while (amounts.Step())
            for (int c = 0; c < 6; ++c)
                ASSERT_TRUE(amounts.IsNull(c) || MoneyInRange(amounts.ColumnDouble(c)))
                    << c << " " << amounts.ColumnDouble(c);
        const TDateTime today = Date();
        int y = 0, m = 0, d = 0;
        DecodeDate(today, y, m, d);
        TBalanceContext context;
        context.Period = {EncodeDate(y, m, 1), IncMonth(EncodeDate(y, m, 1), 1) - 1};
        context.AllEnd = context.Period.End + 400;
        context.Today = today;
        const int current = dm.Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsInteger();
        for (int account = 1; account <= 4; ++account) {
            Int income = 0, expense = 0;
            const TAccountSums s = Sums(account, context.Period.Begin, context.Period.End, &income, &expense);
            ASSERT_EQ(Text(s.Rest), Text(s.Beg + s.Realised)) << "account " << account;
            ASSERT_TRUE(InBalance(s.Rest)) << Text(s.Rest);
            ASSERT_TRUE(InBalance(s.Rest + s.Planned)) << "account " << account << " " << Text(s.Rest) << " " << Text(s.Planned);
            Int before = 0, ignored = 0;
            Sums(account, -1e9, context.Period.Begin - 1, &before, &ignored);
            before -= ignored;
            GoAccount(account);
            TLedgerTotals totals;
            UpdateLedgerBalances(dm, context, true, 0, totals);
            EXPECT_EQ(Text(totals.OpeningBalance), Text(s.Beg + before)) << "account " << account;
            EXPECT_EQ(Text(totals.Income), Text(income)) << "account " << account;
            EXPECT_EQ(Text(totals.Expense), Text(expense)) << "account " << account;
            const Int closing = s.Beg + before + income - expense;
            EXPECT_TRUE(totals.Panels[7].startsWith(
                Trim(FormatFloat(QStringLiteral("#,##0.00"), double(closing) / 10000))))
                << totals.Panels[7].toStdString();
        }
        GoAccount(current);
        EXPECT_EQ(ImpossibleValuesReport(dm.Db.Db()), QString());
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
        const TAccountSums sums = Sums(account);
        const int action = pick(12);
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
                WritePacketLines(dm, 7, day, today, {});
            } else if (!h.IsEmpty()) {
                h.SetRecNo(1 + pick(h.RecordCount()));
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
                } else if (action == 8 && planned) {
                    Edit(stamp, amount(), true, cross ? amount() : 0);
                } else if (action == 9) {
                    post.DeleteOperation();
                } else if (action == 10 && !transfer) {
                    const int target = 1 + (account + pick(3)) % 4;
                    what += " move to " + std::to_string(target) + " planned " + std::to_string(planned);
                    const bool moved = post.MoveOperation(target, 0);
                    EXPECT_EQ(moved, State() != before) << what; // a refused move changes nothing
                } else if (!transfer) {
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
}

} // namespace
} // namespace zorbel
