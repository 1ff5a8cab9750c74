// What every road that writes operations or balances must leave true in the
// stored data set, computed from the rows alone with the test's own
// arithmetic: every amount within the money range, every Rest equal to Beg
// plus the account's realised rows and within the balance bound (alone and
// with the planned rows), every row's year and month those of its date, and
// the opening's check quiet. The walks over the posting roads and over the
// results window share it, and the status-bar figures they compare.
#pragma once

#include "core/ZorbBound.h"
#include "core/ZorbDmCheck.h"
#include "platform/rtl/Money.h"
#include "platform/sqltable/Sqlite.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace zorbel::test::ledger {

using Int = __int128;

// A stored double in units of 1/10000, read through its decimal text (the
// value rounded to four places), independently of the program's conversion.
inline Int ExactUnits(double v)
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

inline std::string Text(Int v)
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
inline bool InBalance(Int units) { return units < LimitUnits && units > -LimitUnits; }

// The rows of the tables a posting road writes, as text, to tell that a
// refused step left nothing.
inline QString StoredRows(TSqliteDb &db, const char *table)
{
    TSqliteStatement st(db, QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(QLatin1String(table)));
    QString all;
    while (st.Step()) {
        for (int c = 0; c < st.ColumnCount(); ++c)
            all += (st.IsNull(c) ? QStringLiteral("~") : st.ColumnText(c)) + u'|';
        all += u'\n';
    }
    return all;
}
inline QString StoredState(TSqliteDb &db)
{
    return StoredRows(db, "Tb_Hist") + StoredRows(db, "Tb_Account") + StoredRows(db, "Tb_Items");
}

inline std::vector<int> AccountIds(TSqliteDb &db)
{
    std::vector<int> ids;
    TSqliteStatement st(db, QStringLiteral("SELECT Id_Account FROM Tb_Account ORDER BY Id_Account"));
    while (st.Step())
        ids.push_back(int(st.ColumnInt(0)));
    return ids;
}

// Everything the test knows of an account from its rows: Beg and Rest as
// stored, the sums of its realised and planned rows, and for a period
// [Begin, End] the realised rows before it, its incomes and expenses, and
// the planned rows from Today to End (those the closing balance's "( … )"
// adds when Today lies before End).
struct TAccountFigures {
    Int Beg = 0, Rest = 0, Realised = 0, Planned = 0;
    Int Before = 0, Income = 0, Expense = 0, PlannedInPeriod = 0;
    Int Opening() const { return Beg + Before; }
    Int Closing() const { return Opening() + Income - Expense; }
};
inline TAccountFigures AccountFigures(TSqliteDb &db, int account, double begin = -1e9, double end = 1e9,
                                      double today = 1e9)
{
    TAccountFigures s;
    TSqliteStatement a(db, QStringLiteral("SELECT Beg, Rest FROM Tb_Account WHERE Id_Account = ?"));
    a.BindInt(1, account);
    EXPECT_TRUE(a.Step()) << "account " << account;
    s.Beg = ExactUnits(a.ColumnDouble(0));
    s.Rest = ExactUnits(a.ColumnDouble(1));
    TSqliteStatement h(db, QStringLiteral("SELECT Kind, Dt, Ct, Date_Real FROM Tb_Hist WHERE Id_Account = ?"));
    h.BindInt(1, account);
    while (h.Step()) {
        const Int dt = ExactUnits(h.ColumnDouble(1)), ct = ExactUnits(h.ColumnDouble(2));
        const double day = h.ColumnDouble(3);
        if (h.ColumnText(0) == u"1") {
            s.Realised += dt - ct;
            if (day < begin) {
                s.Before += dt - ct;
            } else if (day <= end) {
                s.Income += dt;
                s.Expense += ct;
            }
        } else {
            s.Planned += dt - ct;
            if (today < end && day >= today && day <= end)
                s.PlannedInPeriod += dt - ct;
        }
    }
    return s;
}

// Rows whose Yr and Mn are not the year and month of their date, by the
// engine's own calendar (day 0 is 30 December 1899, Julian day 2415018.5).
inline int RowsOutOfTheirMonth(TSqliteDb &db)
{
    TSqliteStatement st(db, QStringLiteral(
        "SELECT count(*) FROM Tb_Hist WHERE Yr IS NOT cast(strftime('%Y', Date_Real + 2415018.5) AS integer) "
        "OR Mn IS NOT cast(strftime('%m', Date_Real + 2415018.5) AS integer)"));
    return st.Step() ? int(st.ColumnInt(0)) : -1;
}

// The stored data set's invariants (fatal failures: the walk stops at the
// first step that breaks one).
inline void CheckStoredLedger(TSqliteDb &db)
{
    TSqliteStatement amounts(db, QStringLiteral("SELECT Dt, Ct, Price, Qdt, Qct, Rate FROM Tb_Hist"));
    while (amounts.Step())
        for (int c = 0; c < 6; ++c)
            ASSERT_TRUE(amounts.IsNull(c) || MoneyInRange(amounts.ColumnDouble(c)))
                << c << " " << amounts.ColumnDouble(c);
    for (const int account : AccountIds(db)) {
        const TAccountFigures s = AccountFigures(db, account);
        ASSERT_EQ(Text(s.Rest), Text(s.Beg + s.Realised)) << "account " << account;
        ASSERT_TRUE(InBalance(s.Rest)) << "account " << account << " " << Text(s.Rest);
        ASSERT_TRUE(InBalance(s.Rest + s.Planned))
            << "account " << account << " " << Text(s.Rest) << " " << Text(s.Planned);
    }
    ASSERT_EQ(RowsOutOfTheirMonth(db), 0);
    ASSERT_EQ(ImpossibleValuesReport(db), QString());
}

} // namespace zorbel::test::ledger
