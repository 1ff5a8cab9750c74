// The operations' day sums in memory against the queries they stand in for:
// after every kind of write (post, edit, realise, delete, transfer, move,
// copy into the future, packet, import, purge, restamping, raw statements,
// rolled-back transactions) each cached sum equals the query's, for every
// account, both kinds and ranges that cross the blocks of every level, and
// each row count equals the query's and the table's list of the range. The
// sums must also know what they cannot answer: rows they do not model,
// bounds that are not whole days, changes they did not see.
#include "core/ZorbLedger.h"
#include "core/ZorbPacket.h"
#include "core/ZorbSums.h"

#include "ZorbPostFixture.h"
#include "platform/rtl/Money.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

namespace zorbel {
namespace {

using namespace zorbel::test;

class HistSumsTest : public PostTest {
protected:
    // The totals by the ledger's own queries, as the balance routine reads them.
    void Query(TSumClass kind, int account, TDateTime d1, TDateTime d2, int64_t &in, int64_t &out)
    {
        QueryLedgerSums(dm, kind, account, d1, d2, in, out);
    }

    // The same totals summed in SQL as integers of 1/10000, row by row.
    void Exact(TSumClass kind, int account, TDateTime d1, TDateTime d2, int64_t &in, int64_t &out)
    {
        dm.Qtemp.Close();
        dm.Qtemp.SQL() = QStringList{
            QStringLiteral("select coalesce(sum(round(dt*10000)),0),coalesce(sum(round(ct*10000)),0) from tb_hist"),
            QStringLiteral("where id_account=%1 and date_real between %2 and %3 and kind%4")
                .arg(account)
                .arg(qint64(d1))
                .arg(qint64(d2))
                .arg(kind == TSumClass::Realised ? QStringLiteral("='1'") : QStringLiteral(">'1'"))};
        dm.Qtemp.Open();
        // Whole numbers below 2^53: exact as doubles.
        in = std::llround(dm.Qtemp.Fields()[0]->AsFloat());
        out = std::llround(dm.Qtemp.Fields()[1]->AsFloat());
        dm.Qtemp.Close();
    }

    // Ranges of every shape: before a date (the opening balance), a month, a
    // day, windows across the 64- and 4096-day blocks, centuries, reversed.
    std::vector<std::pair<TDateTime, TDateTime>> Ranges() const
    {
        const TDateTime t = Date();
        return {{0, t - 1},          {t, t},          {t - 40, t + 40},     {t - 63, t + 1},
                {t - 4100, t - 1},   {t - 70, t - 64}, {-800000, 2958465}, {t + 1, t + 100000},
                {t - 10000, t + 10000}, {t + 5, t - 5}};
    }

    // Every cached sum equals the query's to the cent and the exact row sum
    // to the unit. Requires the cache to be ready: a write it did not follow
    // leaves it not ready and fails here.
    void Compare(const char *after)
    {
        SCOPED_TRACE(after);
        ASSERT_TRUE(dm.HistSums.Ready());
        for (int account = 1; account <= 5; ++account)
            for (const TSumClass kind : {TSumClass::Realised, TSumClass::Planned})
                for (const auto &[d1, d2] : Ranges()) {
                    int64_t in = -1, out = -1, qin = 0, qout = 0, ein = 0, eout = 0;
                    ASSERT_TRUE(dm.HistSums.Sums(account, kind, d1, d2, in, out))
                        << "account " << account << " " << d1 << ".." << d2;
                    Query(kind, account, d1, d2, qin, qout);
                    Exact(kind, account, d1, d2, ein, eout);
                    EXPECT_EQ(in, ein) << "account " << account << " " << d1 << ".." << d2;
                    EXPECT_EQ(out, eout) << "account " << account << " " << d1 << ".." << d2;
                    EXPECT_EQ((in + 50) / 100, (qin + 50) / 100);
                    EXPECT_EQ((out + 50) / 100, (qout + 50) / 100);
                }
        CompareRows();
    }

    // The ledger's row counts of every account equal the query's and the
    // rows the table lists for the range.
    void CompareRows()
    {
        TTable &h = dm.Tb_Hist;
        for (int account = 1; account <= 5; ++account) {
            const std::optional<int64_t> all = dm.HistSums.Rows(account, true, 0, 0);
            ASSERT_TRUE(all) << "account " << account;
            EXPECT_EQ(*all, Count(QStringLiteral("id_account=%1").arg(account))) << "account " << account;
            for (const auto &[d1, d2] : Ranges()) {
                const std::optional<int64_t> n = dm.HistSums.Rows(account, false, d1, d2);
                ASSERT_TRUE(n) << "account " << account << " " << d1 << ".." << d2;
                EXPECT_EQ(*n, Count(QStringLiteral("id_account=%1 and date_real between %2 and %3")
                                        .arg(account)
                                        .arg(qint64(d1))
                                        .arg(qint64(d2))))
                    << "account " << account << " " << d1 << ".." << d2;
            }
            const Variant a = Variant(int16_t(account));
            const TDateTime t = Date();
            for (const bool whole : {true, false}) {
                if (whole)
                    h.SetRange({a}, {a});
                else
                    h.SetRange({a, Variant::FromDate(t - 40)}, {a, Variant::FromDate(t + 40)});
                const int counted = h.RecordCount(); // no list of the range yet
                h.Last();                            // lists the range
                EXPECT_EQ(counted, h.IsEmpty() ? 0 : h.RecNo()) << "account " << account << " whole " << whole;
            }
        }
        host.ApplyLedgerRange(dm);
    }

    void Sql(const QString &sql)
    {
        dm.Qtemp.Close();
        dm.Qtemp.SQL() = QStringList{sql};
        dm.Qtemp.ExecSQL();
    }

    bool Answers(int account)
    {
        int64_t in = 0, out = 0;
        return dm.HistSums.Sums(account, TSumClass::Realised, 0, Date(), in, out);
    }
};

TEST_F(HistSumsTest, EveryKindOfWriteKeepsTheSumsEqualToTheQueries)
{
    const TDateTime today = Date();
    Add(TCardMode::Expense, Bread(), 12.34, today - 3000);
    Add(TCardMode::Income, Salary(), 5000, today - 65);
    Add(TCardMode::Expense, Bread(), 99.99, today + 20); // planned
    Add(TCardMode::Transfer, Transfer(), 250, today - 4096, 2);
    EXPECT_FALSE(dm.HistSums.Ready());
    dm.HistSums.Build();
    Compare("the walk");

    Add(TCardMode::Expense, Bread(), 0.01, today);
    Compare("a new expense");
    const Variant stamp = LastStamp();
    Edit(stamp, 1234567.89);
    Compare("an edit");
    Add(TCardMode::Income, Salary(), 777.77, today + 3);
    Edit(LastStamp(), 777.78);
    Compare("a planned edit");

    Add(TCardMode::Transfer, Transfer(), 300, today - 1, 3, 3.33);
    Compare("a transfer across currencies");
    Add(TCardMode::Transfer, Transfer(), 40, today + 2, 2); // planned: no receiving leg
    post.EntryDate = host.entryDate = today + 2;
    Edit(LastStamp(), 40, true, 0);
    Compare("a realised transfer");

    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Date_Create"), stamp, {}));
    EXPECT_TRUE(post.DeleteOperation());
    Compare("a deleted expense");
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Ct"), Variant(300.0), {}));
    EXPECT_TRUE(post.DeleteOperation());
    Compare("a deleted transfer");

    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Ct"), Variant(12.34), {}));
    EXPECT_TRUE(post.MoveOperation(4, 0));
    Compare("a move to another account");
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Ct"), Variant(99.99), {}));
    EXPECT_EQ(post.CopyToFuture({int(today) + 10, int(today) + 70, int(today) + 5000}), 3);
    Compare("copies into the future");

    Sql(QStringLiteral("update tb_items set grp='5', sm=15.5 where id_itm=11"));
    post.EntryDate = host.entryDate = today;
    EXPECT_EQ(WritePacketLines(dm, 5, today - 2, today, {}).Written, 1);
    Compare("a packet");

    {
        // The import's way: its own statement inside one transaction.
        TTransactionScope tx(dm.Db);
        TSqliteStatement insert(dm.Db.Db(), QStringLiteral("insert into tb_hist(id_account,date_real,date_create,"
                                                             "kind,dt,ct,level1) values(?1,?2,?3,?4,?5,?6,0)"));
        for (int i = 0; i < 200; ++i) {
            insert.Reset();
            insert.BindInt(1, 1 + i % 4);
            insert.BindInt(2, int64_t(today) - 300 + i * 3);
            insert.BindDouble(3, 40000 + i / 1000.0);
            insert.BindText(4, i % 7 == 0 ? QStringLiteral("2") : QStringLiteral("1"));
            if (i % 3 == 0) {
                insert.BindDouble(5, 0.05 * i);
                insert.BindNull(6);
            } else {
                insert.BindNull(5);
                insert.BindDouble(6, 10.01 * i);
            }
            insert.Step();
        }
        insert.Reset();
        tx.Commit();
    }
    Compare("an import");

    Sql(QStringLiteral("update tb_hist set date_real=date_real+64, dt=dt*2 where id_account=1 and kind='1'"));
    Sql(QStringLiteral("update tb_hist set kind='1' where kind='2' and id_account=2"));
    Sql(QStringLiteral("delete from tb_hist where id_account=4 and ct>1000"));
    Compare("raw statements");

    dm.Tb_Hist.CancelRange();
    dm.Tb_Hist.First();
    EXPECT_TRUE(MoveOperationRow(dm, false));
    Compare("two rows restamped");

    post.EntryDate = today - 100;
    EXPECT_TRUE(post.Purge());
    Compare("a purge");
    EXPECT_EQ(dm.HistSums.Drops(), 0);
}

TEST_F(HistSumsTest, RolledBackWritesDropTheSums)
{
    const TDateTime today = Date();
    Add(TCardMode::Expense, Bread(), 10, today - 1);
    dm.HistSums.Build();
    Compare("the walk");

    {
        TTransactionScope tx(dm.Db);
        Sql(QStringLiteral("update tb_hist set ct=ct+1"));
        tx.Rollback();
    }
    EXPECT_FALSE(dm.HistSums.Ready());
    EXPECT_EQ(dm.HistSums.Drops(), 1);
    int64_t in = 0, out = 0;
    EXPECT_FALSE(dm.HistSums.Sums(1, TSumClass::Realised, 0, today, in, out));
    dm.HistSums.Build();
    Compare("rebuilt after a rollback");

    // A transfer whose target balance fails: the posting rolls both legs back.
    FailNthPost(dm.Tb_Account, 2);
    EXPECT_ANY_THROW(Add(TCardMode::Transfer, Transfer(), 70, today, 2));
    dm.Tb_Account.BeforePost = nullptr;
    EXPECT_FALSE(dm.HistSums.Ready());
    dm.HistSums.Build();
    Compare("rebuilt after a failed transfer");

    // A statement that fails half-way undoes its rows without a rollback
    // of the transaction around it: the counts of changes differ.
    Add(TCardMode::Expense, Bread(), 20, today);
    {
        TTransactionScope tx(dm.Db);
        Sql(QStringLiteral("create temp table once(x unique)"));
        EXPECT_ANY_THROW(Sql(QStringLiteral("insert into temp.once select 1 from tb_hist")));
        tx.Commit();
    }
    EXPECT_FALSE(dm.HistSums.Ready());

    // Another data set (or the same one opened again) starts without sums.
    dm.HistSums.Build();
    dm.CloseDataSet();
    EXPECT_FALSE(dm.HistSums.Ready());
    ASSERT_TRUE(dm.OpenDataSet({}).Opened);
    EXPECT_FALSE(dm.HistSums.Ready());
    dm.HistSums.Build();
    Compare("a data set opened again");

    // Changes of the structure drop it too, those of other tables do not.
    Sql(QStringLiteral("create temp table other(x)"));
    Sql(QStringLiteral("alter table other add column y"));
    dm.Db.ReleaseStatements(); // a table is dropped only between walks
    Sql(QStringLiteral("drop table other"));
    EXPECT_TRUE(dm.HistSums.Ready());
    Sql(QStringLiteral("alter table tb_hist add column spare integer"));
    EXPECT_FALSE(dm.HistSums.Ready());
    dm.HistSums.Build();
    Compare("rebuilt after a new column");
    Sql(QStringLiteral("create temp table tb_hist(x)"));
    EXPECT_FALSE(dm.HistSums.Ready());
}

// The window walks the table in slices between its events: every write
// between two slices, to rows the walk has passed, rows still ahead of it
// and rows moved across its position, must be in the finished sums.
class HistSumsSlicesTest : public HistSumsTest {
protected:
    HistSumsSlicesTest()
    {
        TTransactionScope tx(dm.Db);
        TSqliteStatement insert(dm.Db.Db(), QStringLiteral("insert into tb_hist(id_account,date_real,date_create,"
                                                             "kind,dt,ct,level1) values(?1,?2,?3,?4,?5,?6,0)"));
        const int64_t today = int64_t(Date());
        for (int i = 0; i < Rows; ++i) {
            insert.Reset();
            insert.BindInt(1, 1 + i % 4);
            insert.BindInt(2, today - 5000 + i * 3);
            insert.BindDouble(3, 40000 + i / 10000.0);
            insert.BindText(4, i % 5 == 0 ? QStringLiteral("2") : QStringLiteral("1"));
            insert.BindDouble(5, i % 3 == 0 ? 0.07 * i : 0);
            insert.BindDouble(6, i % 3 == 0 ? 0 : 1.01 * i);
            insert.Step();
        }
        insert.Reset();
        tx.Commit();
    }

    // One slice of the shortest kind (a batch of rows), the walk not done.
    void Slice()
    {
        ASSERT_EQ(dm.HistSums.BuildFor(0), THistSums::TProgress::Going);
        ASSERT_TRUE(dm.HistSums.Building());
        ASSERT_FALSE(dm.HistSums.Ready());
        int64_t in = 0, out = 0;
        EXPECT_FALSE(dm.HistSums.Sums(1, TSumClass::Realised, 0, Date(), in, out)); // the query answers meanwhile
    }

    void Finish()
    {
        int slices = 0;
        while (dm.HistSums.BuildFor(0) == THistSums::TProgress::Going)
            ++slices;
        EXPECT_FALSE(dm.HistSums.Building());
        ASSERT_TRUE(dm.HistSums.Ready());
        EXPECT_GT(slices, 0);
    }

    int64_t MaxRowid()
    {
        dm.Qtemp.Close();
        dm.Qtemp.SQL() = QStringList{QStringLiteral("select max(rowid) from tb_hist")};
        dm.Qtemp.Open();
        const int64_t n = dm.Qtemp.Fields()[0]->AsLargeInt();
        dm.Qtemp.Close();
        return n;
    }

    static constexpr int Rows = 3000;
};

TEST_F(HistSumsSlicesTest, WritesBetweenSlicesReachTheSums)
{
    const int64_t last = MaxRowid();
    const TDateTime today = Date();
    Slice();
    Slice(); // some 500 rows behind the walk
    // Rows on both sides of the walk's position: amounts, days, accounts.
    Sql(QStringLiteral("update tb_hist set ct=ct+1.5 where rowid%7=0"));
    Slice();
    Sql(QStringLiteral("update tb_hist set date_real=date_real+70, id_account=1+id_account%4 where rowid%11=0"));
    Sql(QStringLiteral("delete from tb_hist where rowid%13=0"));
    Slice();
    // Rows moved across the position, both ways.
    Sql(QStringLiteral("update tb_hist set rowid=rowid+%1 where rowid between 5 and 40").arg(last));
    Sql(QStringLiteral("update tb_hist set rowid=-rowid where rowid between %1 and %2").arg(last - 40).arg(last - 5));
    Slice();
    // Writes of the program's own: the card, a move, a rolled-back nothing.
    Add(TCardMode::Expense, Bread(), 12.34, today - 3);
    Add(TCardMode::Transfer, Transfer(), 250, today - 64, 2);
    Slice();
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Ct"), Variant(12.34), {}));
    EXPECT_TRUE(post.MoveOperation(4, 0));
    Sql(QStringLiteral("insert into tb_hist(id_account,date_real,date_create,kind,dt,ct,level1) "
                       "select id_account,date_real+1,date_create+1,kind,dt,ct,0 from tb_hist where rowid%17=0"));
    Finish();
    Compare("writes between the slices");
    EXPECT_EQ(dm.HistSums.Drops(), 0);
}

TEST_F(HistSumsSlicesTest, ARollbackOrANewSchemaDuringTheWalkStartsItAgain)
{
    Slice();
    Slice();
    {
        TTransactionScope tx(dm.Db);
        Sql(QStringLiteral("update tb_hist set ct=ct+1"));
        Sql(QStringLiteral("delete from tb_hist where rowid%3=0"));
        tx.Rollback();
    }
    EXPECT_FALSE(dm.HistSums.Building());
    Slice();
    Slice();
    // Nothing of the walk stays open between slices: a table can be dropped
    // and the file packed (which may renumber rows) with the walk under way.
    Sql(QStringLiteral("create table spare(x)"));
    Slice();
    EXPECT_NO_THROW(Sql(QStringLiteral("drop table spare")));
    EXPECT_NO_THROW(dm.Db.Pack());
    Slice();
    Sql(QStringLiteral("alter table tb_hist add column spare integer"));
    Finish();
    Compare("a rollback, a dropped table, a packed file and a new column during the walk");

    // A blocking build is the same walk to its end.
    dm.HistSums.Drop();
    Slice();
    dm.HistSums.Build();
    ASSERT_TRUE(dm.HistSums.Ready());
    Compare("a blocking build");
}

TEST_F(HistSumsTest, RowsItCannotModelLeaveTheirAccountToTheQuery)
{
    const TDateTime today = Date();
    Add(TCardMode::Expense, Bread(), 10, today - 1);
    GoAccount(2);
    Add(TCardMode::Expense, Bread(), 20, today - 1);
    dm.HistSums.Build();
    ASSERT_TRUE(Answers(1));

    const QString insert = QStringLiteral("insert into tb_hist(id_account,date_real,date_create,kind,dt,ct) "
                                          "values(%1,%2,%3,%4,%5,%6)");
    const struct {
        const char *What;
        QString Values;
    } odd[] = {
        {"a day with a time", insert.arg(1).arg(double(today) - 0.5).arg(41000.1).arg("'1'").arg("null").arg(5)},
        {"half a unit", insert.arg(1).arg(qint64(today)).arg(41000.2).arg("'1'").arg("null").arg("0.00005")},
        {"a text amount", insert.arg(1).arg(qint64(today)).arg(41000.3).arg("'1'").arg("'двенадцать'").arg("null")},
        {"an amount beyond the range", insert.arg(1).arg(qint64(today)).arg(41000.4).arg("'1'").arg("1e300").arg("null")},
        {"another kind", insert.arg(1).arg(qint64(today)).arg(41000.5).arg("'3'").arg(1).arg("null")},
        {"no kind", insert.arg(1).arg(qint64(today)).arg(41000.6).arg("null").arg(1).arg("null")},
        {"a text date", insert.arg(1).arg("'2024-01-01'").arg(41000.7).arg("'1'").arg(1).arg("null")},
    };
    for (const auto &row : odd) {
        SCOPED_TRACE(row.What);
        Sql(row.Values);
        EXPECT_FALSE(Answers(1));
        EXPECT_TRUE(Answers(2));
        // Rows are counted whatever their kind and amounts; a date that is
        // not a whole day leaves the ranges of days to the list.
        EXPECT_EQ(dm.HistSums.Rows(1, true, 0, 0), std::optional<int64_t>(2));
        const std::optional<int64_t> days = dm.HistSums.Rows(1, false, today - 1, today);
        if (std::string(row.What) == "a day with a time")
            EXPECT_FALSE(days);
        else
            EXPECT_EQ(days, std::optional<int64_t>(std::string(row.What) == "a text date" ? 1 : 2));
        Sql(QStringLiteral("delete from tb_hist where date_create between 41000 and 41001"));
        EXPECT_TRUE(Answers(1));
    }
    // A row whose account is not a whole number: no account is answered.
    Sql(insert.arg(1.5).arg(qint64(today)).arg(41000.8).arg("'1'").arg(1).arg("null"));
    EXPECT_FALSE(Answers(1));
    EXPECT_FALSE(Answers(2));
    EXPECT_FALSE(dm.HistSums.Rows(2, true, 0, 0));
    Sql(QStringLiteral("delete from tb_hist where date_create between 41000 and 41001"));
    Compare("odd rows gone");

    // Bounds that are not whole days are the query's.
    int64_t in = 0, out = 0;
    EXPECT_FALSE(dm.HistSums.Sums(1, TSumClass::Realised, 0, today + 0.5, in, out));
    // An amount with the last bits of a computation still counts.
    Sql(insert.arg(1).arg(qint64(today)).arg(41000.9).arg("'1'").arg("null").arg(0.1 + 0.2));
    EXPECT_TRUE(Answers(1));
    Compare("a computed amount");
}

TEST_F(HistSumsTest, TheBalanceRoutineShowsTheSameFiguresWithAndWithoutTheSums)
{
    const TDateTime today = Date();
    for (int i = 0; i < 60; ++i)
        Add(i % 4 == 0 ? TCardMode::Income : TCardMode::Expense, i % 4 == 0 ? Salary() : Bread(), 1.01 * (i + 1),
            today - 200 + i * 5);
    TBalanceContext c;
    c.Today = today;
    c.AllEnd = today + 100;
    const auto totals = [&](TPeriod period, bool whole) {
        c.Period = period;
        c.WholeView = whole;
        TLedgerTotals t;
        UpdateLedgerBalances(dm, c, true, 0, t);
        return QStringList(std::begin(t.Panels), std::end(t.Panels)) << t.PlannedIncomeText << t.PlannedExpenseText
                                                                      << t.Hint;
    };
    const TPeriod periods[] = {LedgerPeriod(pkMonth, today, today - 300, today + 100),
                               LedgerPeriod(pkYear, today - 100, today - 300, today + 100),
                               {today - 300, today + 100}};
    for (const TPeriod &p : periods) {
        const QStringList byQuery = totals(p, p.End == c.AllEnd);
        dm.HistSums.Build();
        ASSERT_TRUE(dm.HistSums.Ready());
        EXPECT_EQ(totals(p, p.End == c.AllEnd), byQuery);
        dm.HistSums.Drop();
    }
}

} // namespace
} // namespace zorbel
