// The results window's queries on 100,000 operations (or the number given as
// the first argument) over 10 accounts and 5 years with 2,000 categories
// (tb_hist written with raw inserts in one transaction):
//   open     the grouped totals for one year with the default conditions
//            (the current account, realised operations), built and read;
//   refresh  after a condition change (a category ticked, a comment pattern):
//            the grouped totals rebuilt and read, and the other five queries
//            cut back and given the new lines.
//   dynamics the day rows of the whole five years for every account and
//            kind: the opening sums before the period, the day rows folded
//            from the operations as the window does, and the dynamics table
//            filled with running balances (1,826 rows); beside it the same
//            with the day query grouped by the engine, the reference.
// Targets: open <= 200 ms, refresh <= 100 ms, dynamics <= 150 ms. The window
// itself is not part of these figures.
#include "analysis/ZorbRstDynCalc.h"
#include "analysis/ZorbRstQuery.h"

#include "common/BenchSize.h"
#include "common/BenchTiming.h"
#include "platform/sqltable/Database.h"
#include "platform/sqltable/Query.h"
#include "platform/dataset/Fields.h"
#include "platform/rtl/Money.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <random>
#include <sqlite3.h>

using namespace zorbel;
using namespace zorbel::bench;

namespace {

void Check(int rc, sqlite3 *db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

// The operations, written straight into the file the database opens.
void Fill(const QString &file, int operations)
{
    sqlite3 *db = nullptr;
    Check(sqlite3_open(file.toUtf8().constData(), &db), db);
    Check(sqlite3_exec(db,
                       "create table tb_hist (id_account smallint, date_real date, date_create timestamp,"
                       " kind char(1), dt float, ct float, level1 smallint, level2 smallint, level3 smallint,"
                       " price float, id_person smallint, id_firm smallint, ref_account smallint,"
                       " comment varchar(200), qdt float, qct float, rate float, yr smallint, mn smallint,"
                       " b char(1));"
                       "create index ix_hist on tb_hist(id_account, date_real);begin;",
                       nullptr, nullptr, nullptr),
          db);
    sqlite3_stmt *st = nullptr;
    Check(sqlite3_prepare_v2(db,
                             "insert into tb_hist (id_account,date_real,kind,dt,ct,level1,level2,price,id_person,"
                             "id_firm,comment,rate,yr,mn) values (?,?,?,?,?,?,?,?,?,?,?,1,?,?)",
                             -1, &st, nullptr),
          db);
    std::mt19937 rng(7);
    const TDateTime start = EncodeDate(2021, 1, 1);
    for (int i = 0; i < operations; ++i) {
        const TDateTime d = start + double(rng() % 1826);
        int y = 0, m = 0, day = 0;
        DecodeDate(d, y, m, day);
        const bool income = rng() % 5 == 0;
        const int item = int(rng() % 2000);
        sqlite3_bind_int(st, 1, int(rng() % 10) + 1);
        sqlite3_bind_double(st, 2, d);
        sqlite3_bind_text(st, 3, rng() % 20 ? "1" : "2", -1, SQLITE_STATIC);
        if (income)
            sqlite3_bind_double(st, 4, double(rng() % 100000) / 100);
        else
            sqlite3_bind_null(st, 4);
        if (income)
            sqlite3_bind_null(st, 5);
        else
            sqlite3_bind_double(st, 5, double(rng() % 100000) / 100);
        sqlite3_bind_int(st, 6, item / 50 + 1);
        sqlite3_bind_int(st, 7, 100 + item);
        sqlite3_bind_double(st, 8, double(rng() % 1000));
        sqlite3_bind_int(st, 9, int(rng() % 30) + 1);
        sqlite3_bind_int(st, 10, int(rng() % 200) + 1);
        const std::string comment = "operation " + std::to_string(rng() % 5000);
        sqlite3_bind_text(st, 11, comment.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(st, 12, y);
        sqlite3_bind_int(st, 13, m);
        Check(sqlite3_step(st), db);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    Check(sqlite3_exec(db, "commit", nullptr, nullptr, nullptr), db);
    sqlite3_close(db);
}

int ReadAll(TQuery &q)
{
    q.Open();
    int n = 0;
    for (q.First(); !q.Eof(); q.Next())
        ++n;
    q.Close();
    return n;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    Fill(dir.filePath(QString::fromLatin1(TDatabase::DatabaseFileName)), OperationCount(argc, argv, 100000));
    TDatabase db;
    db.SetDatabaseName(QStringLiteral("DbZorb"));
    db.SetParams({QStringLiteral("PATH=") + dir.path()});
    db.Open();
    TQuery probe;
    probe.SetDatabase(&db);
    probe.SQL() = {QStringLiteral("select count(*) from tb_hist")};
    probe.Open();
    std::printf("operations: %d\n", probe.Fields()[0]->AsInteger());
    probe.Close();

    const TDateTime d1 = EncodeDate(2024, 1, 1), d2 = EncodeDate(2024, 12, 31);
    TQuery qres, qhs, qsm, qbeg, qday, qmn, qyr;
    for (TQuery *q : {&qres, &qhs, &qsm, &qbeg, &qday, &qmn, &qyr})
        q->SetDatabase(&db);
    TRstConditions base;
    base.Acc = {true, false, 3, QStringLiteral("acc")};
    TRstConditions changed = base;
    changed.Itm1 = {true, false, 7, QStringLiteral("item")};
    changed.Comment = QStringLiteral("operation 12");
    int rows = 0;
    auto rebuild = [&](const TRstConditions &c) {
        const TRstSql s = BuildRstSql(c);
        ApplyRstConditions(qres, TRstQueryKind::Res, s, d1, d2);
        rows = ReadAll(qres);
        ApplyRstConditions(qhs, TRstQueryKind::Hs, s, d1, d2);
        ApplyRstConditions(qsm, TRstQueryKind::Sm, s, d1, d2);
        ApplyRstConditions(qbeg, TRstQueryKind::BegSum, s, 0, d1 - 1);
        ApplyRstConditions(qday, TRstQueryKind::Day, s, d1, d2);
        ApplyRstConditions(qmn, TRstQueryKind::Mn, s, d1, d2);
        ApplyRstConditions(qyr, TRstQueryKind::Yr, s, d1, d2);
    };
    TRstConditions every;
    every.Kind = 2;
    TVemtMemTable dyn;
    int days = 0;
    // Folded: the window's road (the operations read once and added up per
    // day in memory); grouped: the day query grouped by the engine, the
    // reference the folded rows must equal.
    auto dynamics = [&](bool folded) {
        const TRstSql s = BuildRstSql(every);
        const TDateTime from = EncodeDate(2021, 1, 1), to = EncodeDate(2025, 12, 31);
        ApplyRstConditions(qbeg, TRstQueryKind::BegSum, s, 0, from - 1);
        qbeg.Open();
        const TDynOpening open{MoneyToUnits(qbeg.Fields()[0]->AsFloat()) - MoneyToUnits(qbeg.Fields()[1]->AsFloat()),
                               MoneyToUnits(qbeg.Fields()[2]->AsFloat()) - MoneyToUnits(qbeg.Fields()[3]->AsFloat())};
        qbeg.Close();
        ApplyRstConditions(qday, TRstQueryKind::Day, s, from, to);
        dyn.DisableControls();
        OpenDynTable(dyn, QStringLiteral("Дни"));
        TDynSource rows;
        if (folded) {
            rows = FoldDynSource(db, s, duDays, from, to).value_or(TDynSource{});
        } else {
            qday.Open();
            rows = ReadDynSource(qday, duDays);
            qday.Close();
        }
        FillDynamicRows(rows, duDays, open, dyn);
        dyn.EnableControls();
        days = dyn.RecordCount();
    };
    {
        // Both roads give the same rows, or the figures below compare nothing.
        const TRstSql s = BuildRstSql(every);
        const TDateTime from = EncodeDate(2021, 1, 1), to = EncodeDate(2025, 12, 31);
        ApplyRstConditions(qday, TRstQueryKind::Day, s, from, to);
        qday.Open();
        const TDynSource plain = ReadDynSource(qday, duDays);
        qday.Close();
        const std::optional<TDynSource> folded = FoldDynSource(db, s, duDays, from, to);
        if (!folded || folded->size() != plain.size()) {
            std::fprintf(stderr, "folded day rows differ from the grouped query\n");
            return 1;
        }
        for (size_t i = 0; i < plain.size(); ++i)
            for (size_t v = 0; v < 9; ++v) {
                const auto &a = (*folded)[i].Values[v], &b = plain[i].Values[v];
                if ((*folded)[i].Date != plain[i].Date || a.has_value() != b.has_value() ||
                    (a && MoneyToUnits(*a) != MoneyToUnits(*b))) {
                    std::fprintf(stderr, "folded day row %zu value %zu differs from the grouped query\n", i, v);
                    return 1;
                }
            }
    }
    std::vector<TContender> c{{"open (year, default conditions)", [&] { rebuild(base); }, {}},
                              {"refresh (category + comment)", [&] { rebuild(changed); }, {}},
                              {"dynamics by days (5 years, all)", [&] { dynamics(true); }, {}},
                              {"  reference: grouped day query", [&] { dynamics(false); }, {}}};
    RunInterleaved(c, 15);
    for (size_t i = 0; i < c.size(); ++i)
        std::printf("%-34s min %7.2f ms  median %7.2f ms  (%d %s last)\n", c[i].Name.c_str(), c[i].Min() * 1000,
                    c[i].Median() * 1000, i < 2 ? rows : days, i < 2 ? "groups" : "day rows");
    std::printf("dynamics folded / grouped: min %.2f  median %.2f\n", c[2].Min() / c[3].Min(),
                c[2].Median() / c[3].Median());
    return 0;
}
